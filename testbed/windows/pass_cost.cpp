// SPDX-License-Identifier: GPL-3.0-or-later
// pass_cost [SECONDS]: what one pass over a window's pending events costs on
// this machine right now, in microseconds, printed on one line. It shows a
// window of its own, then runs passes of the trainer's own event pump for
// about SECONDS (0.5 unless told) and divides. Under Wine a pass is a round
// trip to the wineserver, whose cost depends on the machine and its load:
// the tests size their waits for the trainer's counted pauses with it.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cwchar>

#include "win32/ports.h"

int wmain(int argc, wchar_t** argv) {
    const double seconds = argc > 1 ? std::wcstod(argv[1], nullptr) : 0.5;
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"AbacornPassCost";
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowW(wc.lpszClassName, L"pass cost", WS_POPUP | WS_VISIBLE, 0, 0, 320, 240, nullptr,
                              nullptr, wc.hInstance, nullptr);
    if (!hwnd) return 1;
    win32::Win32EventPump pump;
    // The first passes paint and map the window.
    for (int i = 0; i < 2000; ++i) pump.processEvents();

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto until = start + std::chrono::duration<double>(seconds);
    long passes = 0;
    auto now = start;
    // The clock is read every 100 passes so that it weighs little in a pass.
    while (now < until) {
        for (int i = 0; i < 100; ++i) pump.processEvents();
        passes += 100;
        now = Clock::now();
    }
    const double us = std::chrono::duration<double, std::micro>(now - start).count() / static_cast<double>(passes);
    std::printf("%.3f\n", us);
    std::fflush(stdout);
    DestroyWindow(hwnd);
    return 0;
}
