# The protections Debian builds its own packages with, for every build that is not instrumented: checked
# buffer copies where the compiler knows the sizes, stack canaries, and a read-only table of imported
# functions once the program has started (relro with immediate binding). The sanitizers bring their own
# checks, and _FORTIFY_SOURCE needs an optimised build.
if(OCU_SANITIZE STREQUAL "")
    add_compile_options(-fstack-protector-strong "$<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>")
    add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()
