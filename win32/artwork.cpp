// SPDX-License-Identifier: GPL-3.0-or-later
#include "win32/artwork.h"

#include <cwctype>

namespace win32 {

std::wstring pictureResource(const std::string& path) {
    const std::string file = path.substr(path.find_last_of('/') + 1);
    std::wstring name;
    for (char ch : file) name += ch == '.' ? L'_' : static_cast<wchar_t>(std::towupper(static_cast<unsigned char>(ch)));
    return name;
}

HBITMAP loadPicture(const std::string& path, SIZE& size) {
    size = SIZE{};
    const std::wstring name = pictureResource(path);
    auto* bitmap = static_cast<HBITMAP>(
        LoadImageW(GetModuleHandleW(nullptr), name.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!bitmap) return nullptr;
    BITMAP info{};
    GetObjectW(bitmap, sizeof info, &info);
    size = SIZE{info.bmWidth, info.bmHeight};
    return bitmap;
}

}  // namespace win32
