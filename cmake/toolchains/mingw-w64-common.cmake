# What both Windows cross builds share; the architecture's toolchain file sets CMAKE_SYSTEM_PROCESSOR
# and READER_MINGW_TRIPLE and includes this file.
#
# The "posix" flavour of the compiler is used because its C++ library has the full thread support
# that GoogleTest and the emulator's clock need; with static linking its thread library
# (winpthread) goes into the program, so each program needs no DLL beyond Windows' own.
set(CMAKE_SYSTEM_NAME Windows)

find_program(CMAKE_C_COMPILER NAMES ${READER_MINGW_TRIPLE}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${READER_MINGW_TRIPLE}-g++-posix REQUIRED)
# The version resources and manifests of the programs (cmake/WindowsResources.cmake).
find_program(CMAKE_RC_COMPILER NAMES ${READER_MINGW_TRIPLE}-windres REQUIRED)
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
