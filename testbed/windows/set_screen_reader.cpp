// SPDX-License-Identifier: GPL-3.0-or-later
// set_screen_reader on|off: turns the screen-reader switch of Windows on or
// off as a screen reader does (SPI_SETSCREENREADER, stored and announced to
// every window), then prints the switch as read back: "on" or "off".
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2 || (std::wcscmp(argv[1], L"on") != 0 && std::wcscmp(argv[1], L"off") != 0)) {
        std::fputs("usage: set_screen_reader on|off\n", stderr);
        return 2;
    }
    const BOOL on = std::wcscmp(argv[1], L"on") == 0;
    if (!SystemParametersInfoW(SPI_SETSCREENREADER, on, nullptr, SPIF_UPDATEINIFILE | SPIF_SENDCHANGE)) return 1;
    BOOL now = FALSE;
    if (!SystemParametersInfoW(SPI_GETSCREENREADER, 0, &now, 0)) return 1;
    std::puts(now ? "on" : "off");
    return 0;
}
