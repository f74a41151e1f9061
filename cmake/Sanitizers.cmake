# OCU_SANITIZE selects an instrumented build: "address" (with undefined behaviour checks), "thread", or
# "fuzzer" (clang only: address and undefined behaviour checks with libFuzzer's coverage, for fuzz/).
set(OCU_SANITIZE "" CACHE STRING "Sanitizer build: empty, address, thread or fuzzer")
set_property(CACHE OCU_SANITIZE PROPERTY STRINGS "" address thread fuzzer)

if(OCU_SANITIZE STREQUAL "address")
    # float-cast-overflow is not part of gcc's "undefined": a level computed as not-a-number or beyond the
    # integer range is exactly the fault that the image arithmetic must not make.
    add_compile_options(-fsanitize=address,undefined,float-cast-overflow -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined,float-cast-overflow)
    add_link_options(-fsanitize=address,undefined,float-cast-overflow)
elseif(OCU_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
elseif(OCU_SANITIZE STREQUAL "fuzzer")
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
elseif(NOT OCU_SANITIZE STREQUAL "")
    message(FATAL_ERROR "OCU_SANITIZE must be empty, address, thread or fuzzer, not '${OCU_SANITIZE}'")
endif()
