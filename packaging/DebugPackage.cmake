# Runs inside cpack on the staged tree, before it is packed: strips every program as Debian strips its
# own, and packs the debugging symbols into <package>-dbgsym beside the package, as Debian's debug
# packages hold them: one file per program under /usr/lib/debug/.build-id, found by the program's build
# id (gdb and debuginfod look there).
# CPack's own debug package is not used: the one of CMake 3.25 lists its files in md5sums under the
# paths of the build machine, and has no copyright.
set(root ${CPACK_TEMPORARY_DIRECTORY})
set(name ${CPACK_DEBIAN_PACKAGE_NAME})
set(version ${CPACK_PACKAGE_VERSION})
set(dbgsym ${name}-dbgsym)
set(tree ${CPACK_TOPLEVEL_DIRECTORY}/${dbgsym})
set(out ${CPACK_PACKAGE_DIRECTORY}/${dbgsym}_${version}_${CPACK_DEBIAN_PACKAGE_ARCHITECTURE}.deb)
find_program(OBJCOPY objcopy REQUIRED)
find_program(READELF readelf REQUIRED)
find_program(DPKG_DEB dpkg-deb REQUIRED)

include(${CMAKE_CURRENT_LIST_DIR}/../cmake/RunChecked.cmake)

file(REMOVE_RECURSE ${tree})
file(GLOB_RECURSE staged LIST_DIRECTORIES false ${root}/*)
set(build_ids "")
foreach(file IN LISTS staged)
    if(IS_SYMLINK ${file})
        continue()
    endif()
    file(READ ${file} magic LIMIT 4 HEX)
    if(NOT magic STREQUAL "7f454c46")
        continue()
    endif()
    ocu_run(${READELF} --notes ${file})
    if(NOT output MATCHES "Build ID: ([0-9a-f][0-9a-f])([0-9a-f]+)")
        message(FATAL_ERROR "DebugPackage: ${file} has no build id")
    endif()
    list(APPEND build_ids ${CMAKE_MATCH_1}${CMAKE_MATCH_2})
    set(debug ${tree}/usr/lib/debug/.build-id/${CMAKE_MATCH_1}/${CMAKE_MATCH_2}.debug)
    get_filename_component(folder ${debug} DIRECTORY)
    file(MAKE_DIRECTORY ${folder})
    ocu_run(${OBJCOPY} --only-keep-debug --compress-debug-sections ${file} ${debug})
    # .comment (the compiler's version) and .note (not .note.gnu.build-id) are of no use at run time.
    ocu_run(${OBJCOPY} --strip-all --remove-section=.comment --remove-section=.note ${file})
    ocu_run(${OBJCOPY} --add-gnu-debuglink=${debug} ${file})
    file(CHMOD ${debug} FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endforeach()
if(NOT build_ids)
    message(FATAL_ERROR "DebugPackage: no program in ${root}")
endif()

# The documentation is the package's own, as in Debian's debug packages.
file(MAKE_DIRECTORY ${tree}/usr/share/doc ${tree}/DEBIAN)
file(CHMOD_RECURSE ${tree} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                                                 GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
file(CREATE_LINK ${name} ${tree}/usr/share/doc/${dbgsym} SYMBOLIC)

file(GLOB_RECURSE debug_files LIST_DIRECTORIES false RELATIVE ${tree} ${tree}/usr/lib/*)
set(md5sums "")
set(kib 0)
foreach(file IN LISTS debug_files)
    file(MD5 ${tree}/${file} md5)
    string(APPEND md5sums "${md5}  ${file}\n")
    file(SIZE ${tree}/${file} size)
    math(EXPR kib "${kib} + (${size} + 1023) / 1024")
endforeach()
file(WRITE ${tree}/DEBIAN/md5sums "${md5sums}")
list(JOIN build_ids " " build_ids)
file(WRITE ${tree}/DEBIAN/control
     "Package: ${dbgsym}\n"
     "Source: ${name}\n"
     "Version: ${version}\n"
     "Auto-Built-Package: debug-symbols\n"
     "Architecture: ${CPACK_DEBIAN_PACKAGE_ARCHITECTURE}\n"
     "Maintainer: ${CPACK_PACKAGE_CONTACT}\n"
     "Installed-Size: ${kib}\n"
     "Depends: ${name} (= ${version})\n"
     "Section: debug\n"
     "Priority: optional\n"
     "Description: debug symbols for ${name}\n"
     "Build-Ids: ${build_ids}\n")
ocu_run(${DPKG_DEB} --root-owner-group --build ${tree} ${out})
message(STATUS "DebugPackage: ${out}")
