#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds and runs the whole test suite.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_missing "${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}"
# The tests build the same sources three times (the tests' build, the
# logic's sanitized build, the package) and again on every clean clone:
# ccache keeps what the compiler made, in the user's cache directory.
# Paths under the clone are hashed relative to it, so a clone elsewhere
# finds the same entries; CMake reads the launcher from the environment
# when it configures a build directory. The cache directory is named
# outright, as debhelper gives the package build a home of its own.
export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR="$ROOT" CCACHE_NOHASHDIR=true
CCACHE_DIR=$(ccache --get-config cache_dir)
export CCACHE_DIR
# Warnings fail the test build. The logic's sanitized build and the
# package are made by their tests, at a low priority beside the others.
build -DABACORN_WERROR=ON
cd "$BUILD"
# The end-to-end tests spend most of their time waiting for a window, a
# word or a sound, so several run at once; the ones that need the machine
# to themselves say so (RUN_SERIAL in tests/CMakeLists.txt).
ctest --output-on-failure --timeout 900 --parallel "$(( 2 * $(nproc) + 1 ))" "$@"
