# SPDX-License-Identifier: GPL-3.0-or-later
# Building the pure layers and the window's logic for the browser with
# Debian's emscripten package (its libraries prebuilt, no network):
#   cmake -S . -B build-web --toolchain cmake/emscripten.cmake
# The top CMakeLists.txt then builds no Qt, no voice and no desktop file.
# ctest runs the programs under node; node 18 and later have a fetch() that
# this Emscripten's loader takes for a browser's, and fails to load the .wasm.
find_program(ABACORN_NODE NAMES node nodejs REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR "${ABACORN_NODE};--no-experimental-fetch")
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
# The logic throws and catches (a failing engine, a bad setting), which is
# off in emcc by default. No threads: a page gets them only when its host
# sends cross-origin isolation headers, and the browser's speech needs none.
set(CMAKE_CXX_FLAGS_INIT "-fexceptions")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fexceptions -sEXIT_RUNTIME=1")
