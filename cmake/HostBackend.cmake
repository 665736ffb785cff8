# The host services have one backend per operating system; the build picks the native one.
if(WIN32)
    set(READER_HOST_BACKEND "win32")
else()
    set(READER_HOST_BACKEND "linux")
    # The mount table and the block devices behind the volumes.
    set(READER_HOST_BACKEND_EXTRA_SOURCES linux_mounts.cpp linux_devices.cpp)
endif()
message(STATUS "Host backend: ${READER_HOST_BACKEND}")
