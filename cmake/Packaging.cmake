# The packages, made by CPack from the install rules (scripts/make-packages.sh makes them all).
#
#   Linux build (DEB):   n64-update        the update program
#                        reader-tool       the front-end: dump, verify, write, trace, check
#                        reader-emulator   the mounted emulated reader (Depends: fuse3)
#                        libreader-device-dev   headers, static libraries, CMake package ReaderDevice
#   Windows builds (ZIP), one per architecture: n64-update-<version>-windows-<arch>.zip with the
#                        programs, README.txt and CHANGES.txt (CRLF line ends), LICENSE and
#                        SHA256SUMS
#
# Each install component is one Debian package; a Windows zip holds the program components and
# the documents. The version is the project's (cmake/Version.cmake). Packages land in
# <build>/packages.
#
# What a distribution expects of a Debian package: a Maintainer with name and address
# (READER_PACKAGE_MAINTAINER, one cache variable for every package), the changelog as
# /usr/share/doc/<package>/changelog.gz (from packaging/changelog, cmake/Changelog.cmake), the
# licence as its copyright file, a manual page for each program (cmake/ManPages.cmake) and bash
# completion for reader-tool (packaging/bash-completion/). Every package is made again after
# CPack, sorted and stamped with the commit's time, so that two builds of a commit are
# byte-identical (cmake/ReproduciblePackages.cmake). The target package-contents builds exactly
# what the packages hold.
#
# A new program joins with its install rule, its component and its manual page, in the marked
# spot below.

include(Changelog)
include(ManPages)

set(READER_PACKAGE_MAINTAINER "the n64-update authors <authors@n64-update.example.org>"
    CACHE STRING "Maintainer of the Debian packages, \"Name <address>\": a distributor sets their own")
if(NOT READER_PACKAGE_MAINTAINER MATCHES "^[^<>@]*[^<>@ ] <[^<>@ ]+@[^<>@ ]+\\.[^<>@ ]+>$")
    message(FATAL_ERROR "READER_PACKAGE_MAINTAINER is '${READER_PACKAGE_MAINTAINER}': Debian wants "
                        "a name and an address, \"Name <someone@example.org>\"")
endif()

if(WIN32)
    # On Windows the programs sit at the top of the zip, next to README.txt.
    set(READER_INSTALL_PROGRAMDIR .)
else()
    set(READER_INSTALL_PROGRAMDIR ${CMAKE_INSTALL_BINDIR})
endif()

# The install components that hold programs, in the order of the packages.
set(READER_PROGRAM_COMPONENTS update)

install(TARGETS n64-update RUNTIME DESTINATION ${READER_INSTALL_PROGRAMDIR} COMPONENT update)
reader_man_page_by_hand(NAME n64-update COMPONENT update SOURCE packaging/man/n64-update.1.in)
set(CPACK_COMPONENT_UPDATE_DISPLAY_NAME "n64-update")
set(CPACK_COMPONENT_UPDATE_DESCRIPTION
    "Firmware update for the N64 USB cartridge reader")
set(CPACK_DEBIAN_UPDATE_PACKAGE_NAME "n64-update")
set(CPACK_DEBIAN_UPDATE_DESCRIPTION
    "firmware update for the N64 USB cartridge reader
n64-update finds the reader's removable drive, checks which firmware it
runs, restarts it into its bootloader and programs and verifies the
firmware that it carries, block by block, so that an interrupted update
never leaves the reader unusable. It takes no arguments.")

if(TARGET reader-emulator)
    list(APPEND READER_PROGRAM_COMPONENTS emulator)
    install(TARGETS reader-emulator RUNTIME DESTINATION ${READER_INSTALL_PROGRAMDIR}
            COMPONENT emulator)
    # It has --help but no --version.
    reader_man_page_from_help(TARGET reader-emulator COMPONENT emulator
                              SUMMARY "emulated USB cartridge reader, mounted with FUSE"
                              INCLUDE packaging/man/reader-emulator.h2m
                              VERSION_STRING "${PROJECT_VERSION}")
    set(CPACK_COMPONENT_EMULATOR_DISPLAY_NAME "reader-emulator")
    set(CPACK_COMPONENT_EMULATOR_DESCRIPTION "The emulated cartridge reader, mounted with FUSE")
    set(CPACK_DEBIAN_EMULATOR_PACKAGE_NAME "reader-emulator")
    set(CPACK_DEBIAN_EMULATOR_PACKAGE_DEPENDS "fuse3")
    set(CPACK_DEBIAN_EMULATOR_DESCRIPTION
        "emulated USB cartridge reader, mounted as a directory with FUSE
reader-emulator mounts a directory that behaves like the cartridge
reader's drive: CMD.CMD, T-DRIVER.DMP and DUMP.ROM with the reader's
behaviour behind them, for developing and testing front-ends and the
update program without the hardware.")
endif()

if(TARGET reader-tool)
    list(APPEND READER_PROGRAM_COMPONENTS tool)
    install(TARGETS reader-tool RUNTIME DESTINATION ${READER_INSTALL_PROGRAMDIR} COMPONENT tool)
    reader_man_page_from_help(TARGET reader-tool COMPONENT tool COMMANDS
                              SUMMARY "dumps, verifies, writes and traces cartridges"
                              INCLUDE packaging/man/reader-tool.h2m)
    if(NOT WIN32)
        install(FILES "${PROJECT_SOURCE_DIR}/packaging/bash-completion/reader-tool"
                DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions"
                COMPONENT tool)
    endif()
    set(CPACK_COMPONENT_TOOL_DISPLAY_NAME "reader-tool")
    set(CPACK_COMPONENT_TOOL_DESCRIPTION
        "Dumps, verifies, writes and traces cartridges with the USB cartridge reader")
    set(CPACK_DEBIAN_TOOL_PACKAGE_NAME "reader-tool")
    set(CPACK_DEBIAN_TOOL_DESCRIPTION
        "dumps, verifies, writes and traces cartridges with the USB cartridge reader
reader-tool is the command-line front-end of the cartridge reader family
(HND, N64, SFC, FC2, NES and PCE readers): it dumps a cartridge into a
file, written whole or not at all, verifies it with a second read, reports
its size, CRC32 and SHA-1 and checks its header (N64 header checksums, SFC
internal header), writes files to cartridges, shows the cartridge status
and traces 6502 code. A shell takes the same commands one per line.")
endif()

set(CPACK_PACKAGE_NAME "n64-update")
set(CPACK_PACKAGE_VENDOR "the n64-update authors")
set(CPACK_PACKAGE_CONTACT "${READER_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${READER_PACKAGE_MAINTAINER}")
# Each Debian package's description begins with its own summary line. CPack would put the
# package-wide summary (by default the project's description) in front of it, unless that summary
# is CPack's own default text, which it then leaves out: so the default it is.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CMAKE_PROJECT_NAME} built using CMake")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/packages")
set(CPACK_STRIP_FILES ON)
# CPack and what it runs take the commit's time, and every package is made again, sorted and
# stamped with it.
set(CPACK_READER_SOURCE_DATE_EPOCH "${READER_SOURCE_DATE_EPOCH}")
set(CPACK_PROJECT_CONFIG_FILE "${PROJECT_SOURCE_DIR}/cmake/CPackSourceDate.cmake")
set(CPACK_POST_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/cmake/ReproduciblePackages.cmake")
# Only what a component names goes into a package.
set(CPACK_MONOLITHIC_INSTALL OFF)

if(WIN32)
    set(READER_ZIP_ARCHITECTURE "${CMAKE_SYSTEM_PROCESSOR}")
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(READER_ZIP_BITS 64)
        set(READER_ZIP_RUNS_ON "64-bit Windows 7 to 11")
    else()
        set(READER_ZIP_BITS 32)
        set(READER_ZIP_RUNS_ON "32-bit and 64-bit Windows 7 to 11")
    endif()
    # Windows' own editors expect CRLF line ends.
    configure_file("${PROJECT_SOURCE_DIR}/packaging/windows/README.txt.in"
                   "${PROJECT_BINARY_DIR}/packaging/README.txt" @ONLY NEWLINE_STYLE CRLF)
    configure_file("${PROJECT_SOURCE_DIR}/LICENSE" "${PROJECT_BINARY_DIR}/packaging/LICENSE"
                   @ONLY NEWLINE_STYLE CRLF)
    reader_changelog(WINDOWS "${PROJECT_BINARY_DIR}/packaging/CHANGES.txt")
    install(FILES "${PROJECT_BINARY_DIR}/packaging/README.txt"
                  "${PROJECT_BINARY_DIR}/packaging/LICENSE"
                  "${PROJECT_BINARY_DIR}/packaging/CHANGES.txt"
            DESTINATION . COMPONENT documents)

    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME
        "${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-windows-${READER_ZIP_ARCHITECTURE}")
    # The zip is one staging folder into which the program components and the documents are
    # installed one after the other (the library's "dev" component stays out), so that the
    # checksum script below sees, and the zip takes, every file in one place.
    set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
    set(CPACK_INSTALL_CMAKE_PROJECTS "")
    foreach(component IN LISTS READER_PROGRAM_COMPONENTS ITEMS documents)
        list(APPEND CPACK_INSTALL_CMAKE_PROJECTS
             "${PROJECT_BINARY_DIR}" "${PROJECT_NAME}" "${component}" "/")
    endforeach()
    # SHA256SUMS of everything in the zip, written into the staging folder before it is zipped.
    set(CPACK_PRE_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/cmake/WriteChecksums.cmake")
else()
    # Debian's copyright file of each package carries the licence, and each package has the
    # changelog.
    reader_changelog(DEBIAN "${PROJECT_BINARY_DIR}/packaging/changelog.gz")
    foreach(component IN LISTS READER_PROGRAM_COMPONENTS ITEMS dev)
        string(TOUPPER "${component}" upper)
        if(component STREQUAL "dev")
            set(package "libreader-device-dev")
        else()
            set(package "${CPACK_DEBIAN_${upper}_PACKAGE_NAME}")
        endif()
        install(FILES "${PROJECT_SOURCE_DIR}/LICENSE"
                DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/doc/${package}"
                RENAME copyright COMPONENT ${component})
        install(FILES "${PROJECT_BINARY_DIR}/packaging/changelog.gz"
                DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/doc/${package}" COMPONENT ${component})
    endforeach()

    set(CPACK_COMPONENT_DEV_DISPLAY_NAME "libreader-device-dev")
    set(CPACK_COMPONENT_DEV_DESCRIPTION
        "The device library of the cartridge reader family, for front-ends")
    set(CPACK_DEBIAN_DEV_PACKAGE_NAME "libreader-device-dev")
    set(CPACK_DEBIAN_DEV_PACKAGE_SECTION "libdevel")
    set(CPACK_DEBIAN_DEV_DESCRIPTION
        "device library of the USB cartridge reader family (development files)
Headers, static libraries and the CMake package ReaderDevice
(find_package(ReaderDevice)): reader::device recognises the reader
variants and fills a table of handler slots for a front-end;
reader::emulator plays a reader of any variant in process, for tests.")

    set(CPACK_GENERATOR DEB)
    set(CPACK_DEB_COMPONENT_INSTALL ON)
    set(CPACK_COMPONENTS_ALL ${READER_PROGRAM_COMPONENTS} dev)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
    set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
    # The C and C++ libraries the programs link, worked out by dpkg-shlibdeps.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
endif()

# Exactly what the packages hold, for a build that only packs (the reproducibility check).
add_custom_target(package-contents)
add_dependencies(package-contents n64-update)
foreach(program reader-tool reader-emulator)
    if(TARGET ${program})
        add_dependencies(package-contents ${program})
    endif()
endforeach()
if(NOT WIN32)
    add_dependencies(package-contents reader_text reader_platform reader_device reader_emulator)
endif()
get_property(documents GLOBAL PROPERTY READER_PACKAGE_DOCUMENT_TARGETS)
if(documents)
    add_dependencies(package-contents ${documents})
endif()

include(CPack)
