# OCU_SANITIZE selects an instrumented build: "address" (with undefined behaviour checks) or "thread".
set(OCU_SANITIZE "" CACHE STRING "Sanitizer build: empty, address or thread")
set_property(CACHE OCU_SANITIZE PROPERTY STRINGS "" address thread)

if(OCU_SANITIZE STREQUAL "address")
    # float-cast-overflow is not part of gcc's "undefined": a level computed as not-a-number or beyond the
    # integer range is exactly the fault that the image arithmetic must not make.
    add_compile_options(-fsanitize=address,undefined,float-cast-overflow -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined,float-cast-overflow)
    add_link_options(-fsanitize=address,undefined,float-cast-overflow)
elseif(OCU_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
elseif(NOT OCU_SANITIZE STREQUAL "")
    message(FATAL_ERROR "OCU_SANITIZE must be empty, address or thread, not '${OCU_SANITIZE}'")
endif()
