# SPDX-License-Identifier: GPL-3.0-or-later
# Tests of the Windows build (included by tests/CMakeLists.txt when
# cross-building, after the logic's suites).
# The Win32 binding over real windows: its MSAA objects, asked in process;
# its windows at other scales.
add_executable(win32_tests test_win32_accessibility.cpp test_win32_scale.cpp)
target_link_libraries(win32_tests PRIVATE abacorn_win32 gtest gtest_main oleacc ole32 oleaut32)

# The SAPI voice against a voice object of the test's own (run under Wine).
add_executable(sapi_voice_tests test_sapi_voice.cpp)
target_link_libraries(sapi_voice_tests PRIVATE abacorn_voices abacorn_testbed abacorn_testbed_sapi gtest gtest_main)

# The screen reader's channel (UI Automation notifications) on a stand-in
# for the function that raises them.
add_executable(uia_notification_tests test_uia_notification.cpp)
target_link_libraries(uia_notification_tests PRIVATE abacorn_voices abacorn_testbed gtest gtest_main)
