# Run by CPack (CPACK_PRE_BUILD_SCRIPTS) after it has installed a Windows zip's files into its
# staging folder and before it zips them: writes SHA256SUMS there, one line per file of the zip as
# sha256sum writes it ("<hash>  <name>"), names as they stand in the zip, in name order.
cmake_minimum_required(VERSION 3.25)

set(top "${CPACK_TEMPORARY_DIRECTORY}")
if(NOT top OR NOT IS_DIRECTORY "${top}")
    message(FATAL_ERROR "WriteChecksums.cmake: no staging folder (CPACK_TEMPORARY_DIRECTORY)")
endif()

file(GLOB_RECURSE names LIST_DIRECTORIES false RELATIVE "${top}" "${top}/*")
list(REMOVE_ITEM names SHA256SUMS)
if(NOT names)
    message(FATAL_ERROR "WriteChecksums.cmake: nothing to sum in ${top}")
endif()
list(SORT names)
set(text "")
foreach(name IN LISTS names)
    file(SHA256 "${top}/${name}" hash)
    string(APPEND text "${hash}  ${name}\n")
endforeach()
file(WRITE "${top}/SHA256SUMS" "${text}")
message(STATUS "SHA256SUMS of ${names}")
