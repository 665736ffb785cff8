# Cross build for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64).
#
# The "posix" flavour of the compiler is used because its C++ library has the full thread support
# that GoogleTest and the emulator's clock need; with static linking its thread library
# (winpthread) goes into the program, so n64-update.exe needs no DLL beyond Windows' own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(READER_MINGW_TRIPLE x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${READER_MINGW_TRIPLE}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${READER_MINGW_TRIPLE}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${READER_MINGW_TRIPLE}-windres)
find_program(READER_MINGW_OBJDUMP NAMES ${READER_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${READER_MINGW_TRIPLE})
# Prefixes named in CMAKE_PREFIX_PATH hold Windows builds too (for instance the device library's
# package installed for a front-end): search them as they are, not below the MinGW root.
list(APPEND CMAKE_FIND_ROOT_PATH ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything static: the C++ runtime, libgcc and winpthread live inside each executable.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Libraries found with find_package as well: Debian's MinGW-w64 zlib (libz-mingw-w64-dev) ships
# both libz.a and the import library libz.dll.a, and FindZLIB would otherwise take the latter, which
# makes the program need zlib1.dll.
set(ZLIB_USE_STATIC_LIBS ON)

# Test programs run under Wine, in a Wine prefix of the build directory (see wine-run.sh).
set(CMAKE_CROSSCOMPILING_EMULATOR
    "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;--prefix;${CMAKE_BINARY_DIR}/wineprefix")
