# Version resources and application manifests for the Windows programs we ship.
#
#   reader_add_windows_resources(TARGET n64-update
#                                DESCRIPTION "Firmware update for the N64 cartridge reader"
#                                [ORIGINAL_FILENAME n64-update.exe]   # default: TARGET.exe
#                                [PRODUCT_NAME n64-update])           # default: the project's name
#
# compiles, with windres, into the program:
#   - a VERSIONINFO: product name, file description, file and product version (the project's
#     version, cmake/Version.cmake), original file name, the authors and the licence;
#   - an application manifest that asks for requestedExecutionLevel "asInvoker" and names Windows 7
#     to 11 as supported systems.
# The manifest is not decoration. Windows' installer detection takes a 32-bit program without a
# manifest whose name contains "update" (or "setup", "install", "patch") for an installer and
# asks for administrator rights before it starts; n64-update.exe would be one. asInvoker says the
# program runs with the rights of whoever starts it, which is all it needs to write to the
# reader's removable drive. The supportedOS entries keep Windows from running the program in a
# compatibility mode of an older system.
#
# The target is added to the list of shipped Windows programs (the global property
# READER_WINDOWS_PROGRAMS), over which tests/CMakeLists.txt runs its checks: only Windows' own
# DLLs imported, a console program of the build's architecture, both resources present. Outside
# a Windows build the function does nothing.

if(WIN32)
    enable_language(RC)
endif()

set(READER_WINDOWS_RESOURCE_TEMPLATES "${CMAKE_CURRENT_LIST_DIR}/templates")

function(reader_add_windows_resources)
    cmake_parse_arguments(PARSE_ARGV 0 RES "" "TARGET;DESCRIPTION;ORIGINAL_FILENAME;PRODUCT_NAME"
                          "")
    if(NOT RES_TARGET OR NOT RES_DESCRIPTION)
        message(FATAL_ERROR "reader_add_windows_resources needs TARGET and DESCRIPTION")
    endif()
    if(NOT WIN32)
        return()
    endif()
    if(NOT RES_ORIGINAL_FILENAME)
        set(RES_ORIGINAL_FILENAME "${RES_TARGET}.exe")
    endif()
    if(NOT RES_PRODUCT_NAME)
        set(RES_PRODUCT_NAME "${PROJECT_NAME}")
    endif()

    # The values the templates take, as resource-script strings (a quote is written twice).
    string(REPLACE "\"" "\"\"" READER_RC_DESCRIPTION "${RES_DESCRIPTION}")
    string(REPLACE "\"" "\"\"" READER_RC_PRODUCT_NAME "${RES_PRODUCT_NAME}")
    string(REPLACE "\"" "\"\"" READER_RC_ORIGINAL_FILENAME "${RES_ORIGINAL_FILENAME}")
    string(REPLACE "\"" "\"\"" READER_RC_INTERNAL_NAME "${RES_TARGET}")
    # and the description once more as XML text for the manifest.
    string(REPLACE "&" "&amp;" READER_MANIFEST_DESCRIPTION "${RES_DESCRIPTION}")
    string(REPLACE "<" "&lt;" READER_MANIFEST_DESCRIPTION "${READER_MANIFEST_DESCRIPTION}")
    string(REPLACE ">" "&gt;" READER_MANIFEST_DESCRIPTION "${READER_MANIFEST_DESCRIPTION}")

    set(dir "${CMAKE_CURRENT_BINARY_DIR}/${RES_TARGET}_resources")
    set(READER_RC_MANIFEST "${dir}/${RES_TARGET}.manifest")
    configure_file("${READER_WINDOWS_RESOURCE_TEMPLATES}/windows_program.manifest.in"
                   "${READER_RC_MANIFEST}" @ONLY)
    configure_file("${READER_WINDOWS_RESOURCE_TEMPLATES}/windows_program.rc.in"
                   "${dir}/${RES_TARGET}.rc" @ONLY)
    target_sources(${RES_TARGET} PRIVATE "${dir}/${RES_TARGET}.rc")
    # windres reads the manifest through the script; rebuild when it changes.
    set_source_files_properties("${dir}/${RES_TARGET}.rc" PROPERTIES
                                OBJECT_DEPENDS "${READER_RC_MANIFEST}")

    set_property(TARGET ${RES_TARGET} PROPERTY READER_ORIGINAL_FILENAME "${RES_ORIGINAL_FILENAME}")
    set_property(TARGET ${RES_TARGET} PROPERTY READER_FILE_DESCRIPTION "${RES_DESCRIPTION}")
    set_property(TARGET ${RES_TARGET} PROPERTY READER_PRODUCT_NAME "${RES_PRODUCT_NAME}")
    set_property(GLOBAL APPEND PROPERTY READER_WINDOWS_PROGRAMS ${RES_TARGET})
endfunction()
