#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds and runs the whole test suite.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_missing "${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
# Warnings fail the test build. The logic's sanitized build is made now
# too, while the processors are free; its test only runs it.
build -DABACORN_WERROR=ON
"$ROOT/tests/sanitized-core-tests.sh" "$ROOT" "$BUILD-sanitize" --build-only
cd "$BUILD"
# The end-to-end tests spend most of their time waiting for a window, a
# word or a sound, so several run at once; the ones that need the machine
# to themselves say so (RUN_SERIAL in tests/CMakeLists.txt).
ctest --output-on-failure --timeout 900 --parallel "$(( $(nproc) + 1 ))" "$@"
