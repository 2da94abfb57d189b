# SPDX-License-Identifier: GPL-3.0-or-later
# Tests of the browser build (included by tests/CMakeLists.txt under
# Emscripten): the logic's suite, with GoogleTest built from Debian's
# sources by the same compiler, run under node.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
add_executable(core_tests ${abacorn_core_test_sources})
target_link_libraries(core_tests PRIVATE abacorn_testbed gtest gtest_main)
add_executable(conformance_tests ${abacorn_conformance_test_sources})
target_link_libraries(conformance_tests PRIVATE abacorn_testbed gtest gtest_main)
# node runs them, with the runtime's threads and exit code.
add_test(NAME core_tests_web COMMAND core_tests --gtest_brief=1)
add_test(NAME conformance_tests_web COMMAND conformance_tests --gtest_brief=1)
set_tests_properties(core_tests_web conformance_tests_web PROPERTIES LABELS web TIMEOUT 600)
