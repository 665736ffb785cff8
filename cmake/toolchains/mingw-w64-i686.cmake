# Cross build for 32-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-i686-posix).
#
# Nothing of this build runs here: the build machines' kernels have no 32-bit support, so 32-bit
# Wine stops with "Exec format error" (and installing Debian's 32-bit Wine would turn the plain
# "wine" command into the 32-bit loader, breaking the 64-bit tests). Hence no
# CMAKE_CROSSCOMPILING_EMULATOR: the tests are built, with warnings as errors, and the programs
# are checked as files (their imports, their resources, their kind and architecture).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(READER_MINGW_TRIPLE i686-w64-mingw32)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake")
