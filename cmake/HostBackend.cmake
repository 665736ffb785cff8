# The host services have one backend per operating system; the build picks the native one.
if(WIN32)
    set(READER_HOST_BACKEND "win32")
else()
    set(READER_HOST_BACKEND "posix")
endif()
message(STATUS "Host backend: ${READER_HOST_BACKEND}")
