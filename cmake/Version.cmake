# The one version of everything this project ships: project(... VERSION ...) in the top-level
# CMakeLists.txt. It reaches
#   - the programs, through the generated header reader_version.hpp (target reader_version):
#       #include "reader_version.hpp"   // reader::kReaderVersion, "1.0.0"
#   - the Windows programs' version resources (cmake/WindowsResources.cmake);
#   - the packages (cmake/Packaging.cmake) and the installed CMake package's version file.
configure_file("${CMAKE_CURRENT_LIST_DIR}/templates/reader_version.hpp.in"
               "${PROJECT_BINARY_DIR}/generated/reader_version.hpp" @ONLY)

add_library(reader_version INTERFACE)
target_include_directories(reader_version INTERFACE "${PROJECT_BINARY_DIR}/generated")
target_compile_features(reader_version INTERFACE cxx_std_20)
