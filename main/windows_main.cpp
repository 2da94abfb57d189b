// SPDX-License-Identifier: GPL-3.0-or-later
#include <windows.h>
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return 0; }
