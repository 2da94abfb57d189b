#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds and runs the whole test suite.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_missing "${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}" "${WEB_PACKAGES[@]}"
# The tests build the same sources four times (the tests' build, the
# logic's sanitized build, the Windows one, the package) and again on
# every clean clone: ccache keeps what the compiler made, in the user's
# cache directory.
# Paths under the clone are hashed relative to it, so a clone elsewhere
# finds the same entries; CMake reads the launcher from the environment
# when it configures a build directory. The cache directory is named
# outright, as debhelper gives the package build a home of its own.
export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR="$ROOT" CCACHE_NOHASHDIR=true
CCACHE_DIR=$(ccache --get-config cache_dir)
export CCACHE_DIR
# Every build the tests use, with warnings as errors, before any test
# runs, so that no test's time limit holds a build: the tests' own; the
# logic and the trainer under the sanitizers; the Windows program, its
# setup and the cross-built test programs; the browser's site and its
# test programs. (The Debian package's build is itself a test,
# install_e2e.)
build -DABACORN_WERROR=ON
"$ROOT/scripts/build-sanitized.sh" "$BUILD-sanitize"
ABACORN_WINDOWS_BUILD_DIR="$BUILD-windows" ABACORN_WINDOWS_TESTS=ON \
  "$ROOT/scripts/build-windows.sh" "$BUILD-windows/out"
ABACORN_WEB_BUILD_DIR="$BUILD-web" ABACORN_WEB_TESTS=ON "$ROOT/scripts/build-web.sh" "$BUILD-web/out"
install_axe_core "$BUILD-web/node"
cd "$BUILD"
# The end-to-end tests spend most of their time waiting for a window, a
# word or a sound, so several run at once; the ones that need the machine
# to themselves say so (RUN_SERIAL in tests/CMakeLists.txt).
status=0
ctest --output-on-failure --timeout 900 --parallel "$(( 2 * $(nproc) + 1 ))" "$@" || status=$?
# What a pass over the trainer's events cost in each Windows test: a slow
# machine shows here, passed tests included.
awk '/^[0-9]+\/[0-9]+ Testing: /{test=$3} test ~ /^windows/ && /pass cost, /{sub(/.*pass cost, /, ""); print "pass cost in " test ": " $0}' \
  Testing/Temporary/LastTest.log 2>/dev/null || true
exit "$status"
