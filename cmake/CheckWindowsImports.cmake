# Fails unless the Windows program imports only DLLs that every Windows installation has, so that
# n64-update.exe runs from a USB stick on a bare machine with no runtime to install.
#   cmake -DOBJDUMP=x86_64-w64-mingw32-objdump -DPROGRAM=n64-update.exe -P CheckWindowsImports.cmake
cmake_minimum_required(VERSION 3.25)
set(allowed
    kernel32.dll
    msvcrt.dll
    user32.dll
    advapi32.dll
    ntdll.dll
    ucrtbase.dll)

execute_process(COMMAND "${OBJDUMP}" -p "${PROGRAM}"
                OUTPUT_VARIABLE dump
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} could not read ${PROGRAM}")
endif()

string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
if(NOT lines)
    message(FATAL_ERROR "${PROGRAM} lists no imported DLL at all; is it a Windows program?")
endif()
set(foreign "")
foreach(line IN LISTS lines)
    string(REGEX REPLACE "DLL Name: " "" dll "${line}")
    string(STRIP "${dll}" dll)
    string(TOLOWER "${dll}" name)
    message(STATUS "imports ${dll}")
    # The Universal C runtime's API sets are part of Windows 10 and later.
    if(name MATCHES "^api-ms-win-crt-.*\\.dll$")
        continue()
    endif()
    if(NOT name IN_LIST allowed)
        list(APPEND foreign "${dll}")
    endif()
endforeach()
if(foreign)
    message(FATAL_ERROR "${PROGRAM} needs DLLs that Windows does not have: ${foreign}")
endif()
