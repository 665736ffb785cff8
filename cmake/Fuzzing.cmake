# libFuzzer targets (the "fuzz" preset, built with clang). Each target runs under AddressSanitizer
# and UndefinedBehaviorSanitizer; the seed corpus of a target lives in fuzz/corpus/<target>/.
option(READER_FUZZ "Build the libFuzzer targets (needs clang)" OFF)

if(READER_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "READER_FUZZ needs clang (use the fuzz preset)")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

function(reader_add_fuzzer name)
    add_executable(${name} ${ARGN})
    target_link_libraries(${name} PRIVATE update_client reader_emulator)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    reader_set_warnings(${name})
endfunction()
