# The project's changelog, packaging/changelog, in Debian's changelog format (newest entry first),
# made at build time into what each package carries:
#
#   reader_changelog(DEBIAN output)    changelog.gz, gzip -9n (no name, no time): Debian's form for
#                                      a native package, /usr/share/doc/<package>/changelog.gz
#   reader_changelog(WINDOWS output)   CHANGES.txt with CRLF line ends, for the Windows zips
#
# Both fail the build when the latest entry's version is not the project's version
# (project(... VERSION ...)): a release gets its entry before it is packed.
#
# The same file runs in script mode: -DCHANGELOG=... -DVERSION=... -DFORM=DEBIAN|WINDOWS
# -DOUTPUT=...

if(CMAKE_SCRIPT_MODE_FILE)
    cmake_minimum_required(VERSION 3.25)
    file(STRINGS "${CHANGELOG}" first LIMIT_COUNT 1)
    if(NOT first MATCHES "^[a-z0-9][a-z0-9.+-]* \\(([^) ]+)\\) [^;]+; urgency=")
        message(FATAL_ERROR "${CHANGELOG} does not begin with an entry line "
                            "(\"n64-update (${VERSION}) unstable; urgency=medium\"): '${first}'")
    endif()
    if(NOT CMAKE_MATCH_1 STREQUAL VERSION)
        message(FATAL_ERROR "The latest entry of ${CHANGELOG} is for version ${CMAKE_MATCH_1}, but "
                            "the project's version is ${VERSION}: add an entry for ${VERSION} at "
                            "the top of the changelog (or correct project(... VERSION ...))")
    endif()
    if(FORM STREQUAL "DEBIAN")
        execute_process(COMMAND gzip -9nc "${CHANGELOG}" OUTPUT_FILE "${OUTPUT}.tmp"
                        RESULT_VARIABLE status)
        if(NOT status EQUAL 0)
            message(FATAL_ERROR "gzip of ${CHANGELOG} failed")
        endif()
    elseif(FORM STREQUAL "WINDOWS")
        file(READ "${CHANGELOG}" text)
        string(REPLACE "\r\n" "\n" text "${text}")
        string(REPLACE "\n" "\r\n" text "${text}")
        file(WRITE "${OUTPUT}.tmp" "${text}")
    else()
        message(FATAL_ERROR "Changelog.cmake: FORM is DEBIAN or WINDOWS, not '${FORM}'")
    endif()
    file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
    return()
endif()

set(READER_CHANGELOG "${PROJECT_SOURCE_DIR}/packaging/changelog")
set(READER_CHANGELOG_SCRIPT "${CMAKE_CURRENT_LIST_FILE}")

function(reader_changelog form output)
    add_custom_command(
        OUTPUT "${output}"
        COMMAND "${CMAKE_COMMAND}" "-DCHANGELOG=${READER_CHANGELOG}" "-DVERSION=${PROJECT_VERSION}"
                "-DFORM=${form}" "-DOUTPUT=${output}" -P "${READER_CHANGELOG_SCRIPT}"
        DEPENDS "${READER_CHANGELOG}" "${READER_CHANGELOG_SCRIPT}"
        COMMENT "Changelog for the packages"
        VERBATIM)
    add_custom_target(reader-changelog ALL DEPENDS "${output}")
    set_property(GLOBAL APPEND PROPERTY READER_PACKAGE_DOCUMENT_TARGETS reader-changelog)
endfunction()
