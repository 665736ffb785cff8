# Installs the device library into a prefix under the build tree, builds the small front-end
# against the installed package (and nothing else), and runs it against the emulated reader.
#
# Expects: READER_BUILD_DIR, FRONTEND_SOURCE_DIR, WORK_DIR, GENERATOR, CXX_COMPILER, BUILD_TYPE;
# for a cross build also TOOLCHAIN_FILE, RUNNER (the emulator that runs its programs), EXE_SUFFIX,
# and BUILD_ONLY when nothing here can run the build's programs (then the front-end is built and
# not run).
cmake_minimum_required(VERSION 3.25)

set(prefix "${WORK_DIR}/prefix")
set(build "${WORK_DIR}/build")
file(REMOVE_RECURSE "${WORK_DIR}")

set(config_args)
if(BUILD_TYPE)
    set(config_args --config "${BUILD_TYPE}")
endif()
set(toolchain_args)
if(TOOLCHAIN_FILE)
    set(toolchain_args "-DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN_FILE}")
endif()

execute_process(
    COMMAND "${CMAKE_COMMAND}" --install "${READER_BUILD_DIR}" --prefix "${prefix}" ${config_args}
    COMMAND_ERROR_IS_FATAL ANY)

execute_process(
    COMMAND "${CMAKE_COMMAND}" -S "${FRONTEND_SOURCE_DIR}" -B "${build}" -G "${GENERATOR}"
            "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}" "-DCMAKE_BUILD_TYPE=${BUILD_TYPE}"
            "-DCMAKE_PREFIX_PATH=${prefix}" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF
            ${toolchain_args}
    COMMAND_ERROR_IS_FATAL ANY)

# The package must have come from the prefix, not from the build tree.
file(STRINGS "${build}/CMakeCache.txt" found REGEX "^ReaderDevice_DIR:")
string(FIND "${found}" "${prefix}/" at)
if(NOT at GREATER -1)
    message(FATAL_ERROR "ReaderDevice was not found in the install prefix: ${found}")
endif()

execute_process(
    COMMAND "${CMAKE_COMMAND}" --build "${build}" ${config_args}
    COMMAND_ERROR_IS_FATAL ANY)

# Single-configuration generators put the program in the build directory, multi-configuration
# ones in a folder named after the configuration.
set(program "${build}/reader-frontend${EXE_SUFFIX}")
if(NOT EXISTS "${program}")
    set(program "${build}/${BUILD_TYPE}/reader-frontend${EXE_SUFFIX}")
endif()
if(BUILD_ONLY)
    if(NOT EXISTS "${program}")
        message(FATAL_ERROR "reader-frontend was not built: ${program}")
    endif()
    message(STATUS "built, not run (nothing here runs this build's programs): ${program}")
    return()
endif()
execute_process(
    COMMAND ${RUNNER} "${program}"
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "reader-frontend failed: ${result}")
endif()
