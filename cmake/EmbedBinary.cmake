# Compiles a binary file into a program.
#
# Included from a CMakeLists.txt, it provides
#
#   reader_embed_binary(TARGET target INPUT file OUTPUT name.inc SIZE bytes)
#
# which, at build time, turns INPUT into OUTPUT (in the current binary directory): the bytes as a
# comma-separated list of hexadecimal literals, sixteen to a line, ready to be included into an
# array initialiser. The conversion runs this same file in CMake's script mode, so it needs
# nothing but CMake on the build machine and works the same when cross-compiling. The build fails
# when the file does not hold exactly SIZE bytes. The directory of OUTPUT is added to the target's
# include path.

if(CMAKE_SCRIPT_MODE_FILE)
    # Script mode: -DINPUT=... -DOUTPUT=... -DSIZE=...
    file(READ "${INPUT}" hex HEX)
    string(LENGTH "${hex}" digits)
    math(EXPR size "${digits} / 2")
    if(NOT size EQUAL SIZE)
        message(FATAL_ERROR "${INPUT} holds ${size} bytes; ${SIZE} expected")
    endif()
    # Sixteen bytes (32 digits) to a line, then each pair of digits as a literal.
    string(REGEX REPLACE "(................................)" "\\1\n" lines "${hex}")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${lines}")
    get_filename_component(name "${INPUT}" NAME)
    file(WRITE "${OUTPUT}.tmp" "// ${name}, ${size} bytes. Made at build time; do not edit.\n${bytes}")
    file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
    return()
endif()

set(READER_EMBED_BINARY_SCRIPT "${CMAKE_CURRENT_LIST_FILE}")

function(reader_embed_binary)
    cmake_parse_arguments(PARSE_ARGV 0 EMBED "" "TARGET;INPUT;OUTPUT;SIZE" "")
    set(output "${CMAKE_CURRENT_BINARY_DIR}/embedded/${EMBED_OUTPUT}")
    file(MAKE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}/embedded")
    add_custom_command(
        OUTPUT "${output}"
        COMMAND "${CMAKE_COMMAND}" "-DINPUT=${EMBED_INPUT}" "-DOUTPUT=${output}"
                "-DSIZE=${EMBED_SIZE}" -P "${READER_EMBED_BINARY_SCRIPT}"
        DEPENDS "${EMBED_INPUT}" "${READER_EMBED_BINARY_SCRIPT}"
        COMMENT "Embedding ${EMBED_OUTPUT}"
        VERBATIM)
    target_sources(${EMBED_TARGET} PRIVATE "${output}")
    target_include_directories(${EMBED_TARGET} PRIVATE "${CMAKE_CURRENT_BINARY_DIR}/embedded")
endfunction()
