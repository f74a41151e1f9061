# For the scripts that build and check the package (cmake -P, and cpack's own scripts): a command whose
# failure ends the script with what it printed. Its standard output is left in `output`.
function(ocu_run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${ARGN} failed (${rc}):\n${out}${err}")
    endif()
    set(output "${out}" PARENT_SCOPE)
endfunction()
