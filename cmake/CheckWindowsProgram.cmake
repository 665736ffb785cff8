# Fails unless PROGRAM is a Windows console program for ARCHITECTURE (x86_64 or i686): the kind of
# file that starts in the Command Prompt it was run from (subsystem "Windows CUI"), in the PE
# format of that architecture (PE32+ for x86_64, PE32 for i686).
#   cmake -DOBJDUMP=i686-w64-mingw32-objdump -DPROGRAM=n64-update.exe -DARCHITECTURE=i686
#         -P CheckWindowsProgram.cmake
cmake_minimum_required(VERSION 3.25)

if(ARCHITECTURE STREQUAL "x86_64")
    set(format "pei-x86-64")
    set(magic "020b")
    set(magic_name "PE32+")
elseif(ARCHITECTURE STREQUAL "i686")
    set(format "pei-i386")
    set(magic "010b")
    set(magic_name "PE32")
else()
    message(FATAL_ERROR "unknown ARCHITECTURE '${ARCHITECTURE}' (x86_64 or i686)")
endif()

execute_process(COMMAND "${OBJDUMP}" -f -p "${PROGRAM}"
                OUTPUT_VARIABLE dump
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} could not read ${PROGRAM}")
endif()

set(faults "")
string(REGEX MATCH "file format ([^\r\n]+)" found_format "${dump}")
if(NOT CMAKE_MATCH_1 STREQUAL format)
    list(APPEND faults "file format '${CMAKE_MATCH_1}', not '${format}'")
endif()
string(REGEX MATCH "\nMagic[ \t]+([0-9a-fA-F]+)" found_magic "${dump}")
string(TOLOWER "${CMAKE_MATCH_1}" found_magic)
if(NOT found_magic STREQUAL magic)
    list(APPEND faults "optional header magic '${found_magic}', not ${magic} (${magic_name})")
endif()
# IMAGE_SUBSYSTEM_WINDOWS_CUI
string(REGEX MATCH "\nSubsystem[ \t]+([0-9a-fA-F]+)" found_subsystem "${dump}")
if(NOT CMAKE_MATCH_1 MATCHES "^0*3$")
    list(APPEND faults "subsystem '${CMAKE_MATCH_1}', not 3 (Windows CUI, a console program)")
endif()

if(faults)
    # One line per fault, unwrapped, for whoever reads the log (and for the checks of this check).
    foreach(fault IN LISTS faults)
        message(STATUS "fault: ${fault}")
    endforeach()
    list(JOIN faults "; " text)
    message(FATAL_ERROR "${PROGRAM} is not a ${ARCHITECTURE} console program: ${text}")
endif()
message(STATUS "${PROGRAM}: ${format}, ${magic_name}, Windows CUI")
