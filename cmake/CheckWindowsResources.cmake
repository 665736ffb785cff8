# Fails unless PROGRAM carries the resources that cmake/WindowsResources.cmake gives a shipped
# Windows program:
#   - a version resource (type 16, RT_VERSION) and an application manifest (type 24,
#     RT_MANIFEST, id 1) in the resource directory;
#   - the manifest's text: requestedExecutionLevel "asInvoker" and the supportedOS entries of
#     Windows 7, 8, 8.1 and 10/11;
#   - the fixed version numbers VERSION.0, and the version strings FileVersion and ProductVersion
#     (VERSION), OriginalFilename, FileDescription and ProductName.
#   cmake -DOBJDUMP=... -DPROGRAM=n64-update.exe -DVERSION=1.0.0 -DORIGINAL_FILENAME=n64-update.exe
#         -DDESCRIPTION=... -DPRODUCT_NAME=n64-update -P CheckWindowsResources.cmake
cmake_minimum_required(VERSION 3.25)

foreach(variable OBJDUMP PROGRAM VERSION ORIGINAL_FILENAME DESCRIPTION PRODUCT_NAME)
    if(NOT DEFINED ${variable} OR "${${variable}}" STREQUAL "")
        message(FATAL_ERROR "CheckWindowsResources.cmake needs ${variable}")
    endif()
endforeach()

set(faults "")

# The resource directory as objdump lists it: the entries of the first level are the types.
execute_process(COMMAND "${OBJDUMP}" -p "${PROGRAM}"
                OUTPUT_VARIABLE dump
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} could not read ${PROGRAM}")
endif()
foreach(type IN ITEMS "000010;version resource (RT_VERSION)" "000018;manifest (RT_MANIFEST)")
    list(GET type 0 id)
    list(GET type 1 what)
    if(NOT dump MATCHES "\n[0-9a-f]+   Entry: ID: 0x${id},")
        list(APPEND faults "no ${what} in the resource directory")
    endif()
endforeach()

file(READ "${PROGRAM}" image HEX)

# Hex of a text as single bytes (the manifest is UTF-8) and as UTF-16LE (version strings).
function(bytes_hex text output)
    string(HEX "${text}" hex)
    set(${output} "${hex}" PARENT_SCOPE)
endfunction()
function(utf16_hex text output)
    string(HEX "${text}" hex)
    string(REGEX REPLACE "(..)" "\\100" hex "${hex}")
    set(${output} "${hex}" PARENT_SCOPE)
endfunction()

foreach(text IN ITEMS
        "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"
        "<supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/>"
        "<supportedOS Id=\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\"/>"
        "<supportedOS Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"/>"
        "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>")
    bytes_hex("${text}" hex)
    string(FIND "${image}" "${hex}" at)
    if(at EQUAL -1)
        list(APPEND faults "the manifest lacks ${text}")
    endif()
endforeach()

# VS_FIXEDFILEINFO: its signature 0xFEEF04BD and structure version 1.0, then the file version
# as two 32-bit words, (major << 16 | minor) and (patch << 16 | 0), all little-endian.
string(REPLACE "." ";" numbers "${VERSION}")
list(GET numbers 0 major)
list(GET numbers 1 minor)
list(GET numbers 2 patch)
function(word16_hex value output)
    math(EXPR low "${value} & 0xFF" OUTPUT_FORMAT HEXADECIMAL)
    math(EXPR high "(${value} >> 8) & 0xFF" OUTPUT_FORMAT HEXADECIMAL)
    string(REGEX REPLACE "^0x" "" low "${low}")
    string(REGEX REPLACE "^0x" "" high "${high}")
    string(LENGTH "${low}" length)
    if(length EQUAL 1)
        set(low "0${low}")
    endif()
    string(LENGTH "${high}" length)
    if(length EQUAL 1)
        set(high "0${high}")
    endif()
    string(TOLOWER "${low}${high}" hex)
    set(${output} "${hex}" PARENT_SCOPE)
endfunction()
word16_hex(${major} major_hex)
word16_hex(${minor} minor_hex)
word16_hex(${patch} patch_hex)
set(fixed "bd04effe00000100${minor_hex}${major_hex}0000${patch_hex}")
string(FIND "${image}" "${fixed}" at)
if(at EQUAL -1)
    list(APPEND faults "no fixed file version ${VERSION}.0")
endif()

# A String of the StringFileInfo block: the key, its NUL, padding to four bytes, the value, its
# NUL (the padding is 0 or 2 bytes, depending on the key's length).
foreach(pair IN ITEMS
        "FileVersion|${VERSION}"
        "ProductVersion|${VERSION}"
        "OriginalFilename|${ORIGINAL_FILENAME}"
        "FileDescription|${DESCRIPTION}"
        "ProductName|${PRODUCT_NAME}")
    string(FIND "${pair}" "|" bar)
    string(SUBSTRING "${pair}" 0 ${bar} key)
    math(EXPR after "${bar} + 1")
    string(SUBSTRING "${pair}" ${after} -1 value)
    utf16_hex("${key}" key_hex)
    utf16_hex("${value}" value_hex)
    string(FIND "${image}" "${key_hex}0000${value_hex}0000" at)
    if(at EQUAL -1)
        string(FIND "${image}" "${key_hex}00000000${value_hex}0000" at)
    endif()
    if(at EQUAL -1)
        list(APPEND faults "no version string ${key} \"${value}\"")
    endif()
endforeach()

if(faults)
    # One line per fault, unwrapped, for whoever reads the log (and for the checks of this check).
    foreach(fault IN LISTS faults)
        message(STATUS "fault: ${fault}")
    endforeach()
    list(JOIN faults "; " text)
    message(FATAL_ERROR "${PROGRAM}: ${text}")
endif()
message(STATUS "${PROGRAM}: manifest (asInvoker, Windows 7 to 11) and version ${VERSION}")
