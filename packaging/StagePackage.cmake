# Runs inside cpack on the staged tree, before it is packed: what Debian's policy asks of every package
# beyond the installed files. The package's manual pages compressed, and its documentation folder with
# the copyright file and a changelog made from the release's version and date.
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/RunChecked.cmake)
set(usr ${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
if(NOT IS_DIRECTORY ${usr}/bin)
    message(FATAL_ERROR "StagePackage: no staged tree in ${usr}")
endif()

# -n: no name or time stamp inside, so that the same page always gives the same bytes.
file(GLOB_RECURSE pages ${usr}/share/man/*.[1-9])
foreach(page IN LISTS pages)
    ocu_run(gzip -9nf ${page})
endforeach()

set(doc ${usr}/share/doc/${CPACK_DEBIAN_PACKAGE_NAME})
file(MAKE_DIRECTORY ${doc})
file(CHMOD ${usr}/share/doc ${doc} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                               WORLD_READ WORLD_EXECUTE)
file(COPY ${CPACK_OCU_PACKAGING_DIR}/copyright DESTINATION ${doc}
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# A native package: its own version is the release's, so its changelog is changelog.gz.
execute_process(COMMAND date -u -R -d "${CPACK_OCU_RELEASE_DATE} 00:00"
                OUTPUT_VARIABLE released OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR released STREQUAL "")
    message(FATAL_ERROR "StagePackage: the release date '${CPACK_OCU_RELEASE_DATE}' is not a date")
endif()
file(WRITE ${doc}/changelog
     "${CPACK_DEBIAN_PACKAGE_NAME} (${CPACK_PACKAGE_VERSION}) stable; urgency=medium\n\n"
     "  * Release ${CPACK_PACKAGE_VERSION}.\n\n"
     " -- ${CPACK_PACKAGE_CONTACT}  ${released}\n")
ocu_run(gzip -9nf ${doc}/changelog)
