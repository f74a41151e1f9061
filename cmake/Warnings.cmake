# Every target of the project compiles with the same warnings; OCU_WERROR turns them into errors (CI does).
option(OCU_WERROR "Treat warnings as errors" OFF)

function(ocu_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow)
    if(OCU_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
