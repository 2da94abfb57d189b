# SPDX-License-Identifier: GPL-3.0-or-later
# Tests of the browser build (included by tests/CMakeLists.txt under
# Emscripten, after the logic's suites): node runs them, with the runtime's
# threads and exit code.
add_test(NAME core_tests_web COMMAND core_tests --gtest_brief=1)
add_test(NAME conformance_tests_web COMMAND conformance_tests --gtest_brief=1)
set_tests_properties(core_tests_web conformance_tests_web PROPERTIES LABELS web TIMEOUT 600)
