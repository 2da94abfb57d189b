// SPDX-License-Identifier: GPL-3.0-or-later
// The model's UTF-8 text as the Win32 API's UTF-16.
#pragma once

#include <windows.h>

#include <string>

namespace win32 {

inline std::wstring wide(const std::string& s) {
    if (s.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

}  // namespace win32
