# OCU_SANITIZE selects an instrumented build: "address" (with undefined behaviour checks) or "thread".
set(OCU_SANITIZE "" CACHE STRING "Sanitizer build: empty, address or thread")
set_property(CACHE OCU_SANITIZE PROPERTY STRINGS "" address thread)

if(OCU_SANITIZE STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
elseif(OCU_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
elseif(NOT OCU_SANITIZE STREQUAL "")
    message(FATAL_ERROR "OCU_SANITIZE must be empty, address or thread, not '${OCU_SANITIZE}'")
endif()
