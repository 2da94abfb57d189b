# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-building the Windows program on Debian with mingw-w64 (the posix
# thread model, for std::thread and std::mutex):
#   cmake -S . -B build-windows --toolchain cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ABACORN_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ABACORN_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ABACORN_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${ABACORN_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ABACORN_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Every program links the C and C++ runtimes and winpthreads statically, so
# that it needs no DLL but the system's. (Programs with a Unicode entry
# point, wWinMain, add -municode themselves.)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
# Where the tests' programs run: Wine, in a prefix the test names.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
