# Installs the device library into a prefix under the build tree, builds the small front-end
# against the installed package (and nothing else), and runs it against the emulated reader.
#
# Expects: READER_BUILD_DIR, FRONTEND_SOURCE_DIR, WORK_DIR, GENERATOR, CXX_COMPILER, BUILD_TYPE.
cmake_minimum_required(VERSION 3.25)

set(prefix "${WORK_DIR}/prefix")
set(build "${WORK_DIR}/build")
file(REMOVE_RECURSE "${WORK_DIR}")

execute_process(
    COMMAND "${CMAKE_COMMAND}" --install "${READER_BUILD_DIR}" --prefix "${prefix}"
    COMMAND_ERROR_IS_FATAL ANY)

execute_process(
    COMMAND "${CMAKE_COMMAND}" -S "${FRONTEND_SOURCE_DIR}" -B "${build}" -G "${GENERATOR}"
            "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}" "-DCMAKE_BUILD_TYPE=${BUILD_TYPE}"
            "-DCMAKE_PREFIX_PATH=${prefix}" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF
    COMMAND_ERROR_IS_FATAL ANY)

# The package must have come from the prefix, not from the build tree.
file(STRINGS "${build}/CMakeCache.txt" found REGEX "^ReaderDevice_DIR:")
string(FIND "${found}" "${prefix}/" at)
if(NOT at GREATER -1)
    message(FATAL_ERROR "ReaderDevice was not found in the install prefix: ${found}")
endif()

execute_process(
    COMMAND "${CMAKE_COMMAND}" --build "${build}"
    COMMAND_ERROR_IS_FATAL ANY)

execute_process(
    COMMAND "${build}/reader-frontend"
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "reader-frontend failed: ${result}")
endif()
