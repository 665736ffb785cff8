# The host services have one backend per operating system, chosen here by the system the build is
# for (CMAKE_SYSTEM_NAME, which a cross build's toolchain file sets). A backend's own sources are
# named after it (platform/linux_*.cpp, platform/win32_*.cpp); what any POSIX system would share
# lives in platform/posix_*.cpp. A system that has no backend yet stops the configuration here
# rather than compiling another system's: docs/porting.md says what a new backend needs.
#
# Sets READER_HOST_BACKEND (the backend's name), READER_HOST_SOURCES (its files in platform/) and
# READER_HOST_NATIVE_PREFIXES (the file-name prefixes that belong to this build), and provides
#
#   reader_native_sources(OUTPUT_VARIABLE source...)
#
# which keeps those sources that belong to this build: a source named after a backend or after
# POSIX (linux_..., posix_..., win32_...) only where that code is native, any other source always.

# Every prefix that names backend code, native or not.
set(READER_HOST_ALL_PREFIXES linux posix win32)

if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
    set(READER_HOST_BACKEND win32)
    set(READER_HOST_NATIVE_PREFIXES win32)
    set(READER_HOST_SOURCES win32_host.cpp)
elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    set(READER_HOST_BACKEND linux)
    set(READER_HOST_NATIVE_PREFIXES linux posix)
    # The drives from the mount table, sysfs and udev's links; the console is POSIX's.
    set(READER_HOST_SOURCES linux_host.cpp linux_mounts.cpp linux_devices.cpp posix_console.cpp)
else()
    message(FATAL_ERROR
        "There is no host backend for ${CMAKE_SYSTEM_NAME} yet: the host services exist for "
        "Windows (win32) and Linux (linux) only. docs/porting.md describes what a backend for "
        "another system needs.")
endif()
message(STATUS "Host backend: ${READER_HOST_BACKEND}")

function(reader_native_sources output)
    set(kept "")
    foreach(source IN LISTS ARGN)
        get_filename_component(name "${source}" NAME)
        set(native TRUE)
        foreach(prefix IN LISTS READER_HOST_ALL_PREFIXES)
            if(name MATCHES "^${prefix}_" AND NOT prefix IN_LIST READER_HOST_NATIVE_PREFIXES)
                set(native FALSE)
            endif()
        endforeach()
        if(native)
            list(APPEND kept "${source}")
        endif()
    endforeach()
    set(${output} "${kept}" PARENT_SCOPE)
endfunction()
