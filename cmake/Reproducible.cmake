# Reproducible builds: two builds of one commit, in different folders and at different times, give
# byte-identical programs, Debian packages and Windows zips.
#
#   READER_SOURCE_DATE_EPOCH   the one time stamp of this source tree, in seconds since 1970:
#                              SOURCE_DATE_EPOCH from the environment when it is set; otherwise
#                              the commit time of HEAD when the source is a git checkout of its
#                              own; otherwise the date of the latest entry of packaging/changelog.
#                              It dates the man pages and every member of the packages
#                              (cmake/ManPages.cmake, cmake/Packaging.cmake). `cmake --preset`
#                              reads it afresh, so scripts/make-packages.sh always stamps the
#                              commit being packed.
#
# and, when this is the top-level project (a front-end that includes it keeps its own flags):
#   - no build folder inside the programs: file names in __FILE__, assert messages and debug
#     information are relative to the source and build folders (-ffile-prefix-map). Debug builds
#     keep full paths, so that a debugger finds the sources wherever it is started;
#   - no link time in the PE header of a Windows program (--no-insert-timestamp leaves it 0).

function(reader_changelog_epoch changelog result)
    # The trailer line of the latest entry: " -- NAME <ADDRESS>  Wed, 09 Dec 2026 08:04:41 +0000".
    set(epoch "")
    if(EXISTS "${changelog}")
        file(STRINGS "${changelog}" trailers REGEX "^ -- .*>  .*$" LIMIT_COUNT 1)
        if(trailers MATCHES ">  (.*)$")
            execute_process(COMMAND date -u -d "${CMAKE_MATCH_1}" +%s
                            OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                            RESULT_VARIABLE status ERROR_QUIET)
            if(NOT status EQUAL 0)
                set(epoch "")
            endif()
        endif()
    endif()
    set(${result} "${epoch}" PARENT_SCOPE)
endfunction()

function(reader_source_date_epoch result)
    if(DEFINED ENV{SOURCE_DATE_EPOCH})
        if(NOT "$ENV{SOURCE_DATE_EPOCH}" MATCHES "^[0-9]+$")
            message(FATAL_ERROR "SOURCE_DATE_EPOCH is '$ENV{SOURCE_DATE_EPOCH}': it must be a "
                                "number of seconds since 1970, or unset")
        endif()
        set(${result} "$ENV{SOURCE_DATE_EPOCH}" PARENT_SCOPE)
        return()
    endif()
    # The commit time, but only of a checkout of this project itself: a source tree unpacked
    # inside another repository must not take that repository's time.
    find_package(Git QUIET)
    if(GIT_FOUND)
        execute_process(COMMAND "${GIT_EXECUTABLE}" rev-parse --show-toplevel
                        WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
                        OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE
                        RESULT_VARIABLE status ERROR_QUIET)
        if(status EQUAL 0)
            file(REAL_PATH "${top}" top)
            file(REAL_PATH "${PROJECT_SOURCE_DIR}" source)
        endif()
        if(status EQUAL 0 AND top STREQUAL source)
            execute_process(COMMAND "${GIT_EXECUTABLE}" log -1 --format=%ct
                            WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
                            OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                            RESULT_VARIABLE status ERROR_QUIET)
            if(status EQUAL 0 AND epoch MATCHES "^[0-9]+$")
                set(${result} "${epoch}" PARENT_SCOPE)
                return()
            endif()
        endif()
    endif()
    reader_changelog_epoch("${PROJECT_SOURCE_DIR}/packaging/changelog" epoch)
    if(epoch MATCHES "^[0-9]+$")
        set(${result} "${epoch}" PARENT_SCOPE)
        return()
    endif()
    message(WARNING "No SOURCE_DATE_EPOCH, no git commit and no dated changelog entry: the "
                    "packages carry the time of the build and are not reproducible")
    string(TIMESTAMP now "%s" UTC)
    set(${result} "${now}" PARENT_SCOPE)
endfunction()

reader_source_date_epoch(READER_SOURCE_DATE_EPOCH)
message(STATUS "Source date (SOURCE_DATE_EPOCH): ${READER_SOURCE_DATE_EPOCH}")

if(PROJECT_IS_TOP_LEVEL)
    if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
        # Generated sources live in the binary folder, which may sit inside the source folder
        # (build/<preset>): either mapping names them the same way in every checkout.
        add_compile_options(
            "$<$<NOT:$<CONFIG:Debug>>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.>"
            "$<$<NOT:$<CONFIG:Debug>>:-ffile-prefix-map=${PROJECT_BINARY_DIR}=./build>")
    endif()
    if(WIN32 AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        add_link_options("LINKER:--no-insert-timestamp")
    endif()
endif()
