#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds and runs the whole test suite.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_missing "${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
# Warnings fail the test build.
build -DABACORN_WERROR=ON
if [ $# -eq 0 ]; then
  # The window's logic once more under AddressSanitizer and
  # UndefinedBehaviorSanitizer (any report fails the run), with the short
  # random-event torture among its tests.
  cmake -S "$ROOT" -B "$BUILD-sanitize" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DABACORN_SANITIZE=ON -DABACORN_BENCHMARKS=OFF -DABACORN_WERROR=ON >/dev/null
  cmake --build "$BUILD-sanitize" --parallel "$(nproc)" --target core_tests
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$BUILD-sanitize/tests/core_tests" --gtest_brief=1
fi
cd "$BUILD"
ctest --output-on-failure --timeout 900 "$@"
