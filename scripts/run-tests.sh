#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_missing "${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
build
cd "$BUILD"
ctest --output-on-failure --timeout 900 "$@"
