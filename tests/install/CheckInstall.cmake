# Installs the build into a fresh prefix and checks what a desktop and a user find there: every program,
# each with a manual page and answering --help, --version and an unknown option the same way; the
# launcher, the icons and the metainfo.
cmake_minimum_required(VERSION 3.25)
foreach(var BUILD PREFIX VERSION)
    if(NOT ${var})
        message(FATAL_ERROR "usage: cmake -DBUILD=<build> -DPREFIX=<empty folder> -DVERSION=<x.y.z> -P CheckInstall.cmake")
    endif()
endforeach()

file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX} RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cmake --install failed")
endif()

set(failures "")
set(id org.ocuviewer.ocuviewer)
set(expected
    bin/ocuviewer
    bin/ocusnap-info
    bin/ocusnap-record
    share/applications/${id}.desktop
    share/metainfo/${id}.metainfo.xml
    share/icons/hicolor/scalable/apps/${id}.svg
    share/man/man1/ocuviewer.1)
foreach(size 16 24 32 48 64 128 256)
    list(APPEND expected share/icons/hicolor/${size}x${size}/apps/${id}.png)
endforeach()
foreach(file IN LISTS expected)
    if(NOT EXISTS ${PREFIX}/${file})
        string(APPEND failures "  missing: ${file}\n")
    endif()
endforeach()

file(GLOB programs ${PREFIX}/bin/*)
foreach(program IN LISTS programs)
    get_filename_component(name ${program} NAME)
    if(NOT EXISTS ${PREFIX}/share/man/man1/${name}.1)
        string(APPEND failures "  ${name}: no manual page\n")
    else()
        # Every page carries its date and the version, as man shows them at its foot.
        file(STRINGS ${PREFIX}/share/man/man1/${name}.1 title REGEX "^\\.TH " LIMIT_COUNT 1)
        if(NOT title MATCHES "^\\.TH [^ ]+ 1 \"[A-Z][a-z]+ [0-9]+\" \"OcuViewer ${VERSION}\"")
            string(APPEND failures "  ${name}: the manual page's title line lacks date or version: ${title}\n")
        endif()
    endif()
    # Without a display: neither answer may need one.
    # The same short and long options everywhere.
    foreach(option -v --version)
        execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
                                QT_QPA_PLATFORM=xcb ${program} ${option}
                        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
        if(NOT rc EQUAL 0 OR NOT out MATCHES "^${name} ${VERSION}\n$")
            string(APPEND failures "  ${name} ${option}: status ${rc}, printed '${out}${err}'\n")
        endif()
    endforeach()
    foreach(option -h --help)
        execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
                                QT_QPA_PLATFORM=xcb ${program} ${option}
                        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
        if(NOT rc EQUAL 0 OR NOT out MATCHES "--help" OR NOT out MATCHES "--version")
            string(APPEND failures "  ${name} ${option}: status ${rc}, printed '${out}${err}'\n")
        endif()
    endforeach()
    execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb
                            ${program} --no-such-option
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 2 OR NOT err MATCHES "no-such-option" OR NOT err MATCHES "[Uu]sage")
        string(APPEND failures "  ${name} --no-such-option: status ${rc}, printed '${out}' and '${err}'\n")
    endif()
endforeach()

if(failures)
    message(FATAL_ERROR "The installed tree in ${PREFIX} falls short:\n${failures}")
endif()
list(LENGTH programs count)
message(STATUS "${count} programs installed with their pages, the launcher, icons and metainfo")
