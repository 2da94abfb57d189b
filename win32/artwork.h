// SPDX-License-Identifier: GPL-3.0-or-later
// The artwork, embedded in the program as bitmap resources.
#pragma once

#include <windows.h>

#include <string>

namespace win32 {

// The resource name of a picture path ":/assets/speaker_on.jpg":
// SPEAKER_ON_JPG. The build turns each file into a 24-bit bitmap of that
// name (JPEG and GIF too: GDI draws bitmaps only).
std::wstring pictureResource(const std::string& path);

// The picture as a bitmap, with its size; nullptr when the program holds
// none of that name (the window then shows nothing in its place). The icon
// is no bitmap: it is the program's icon resource.
HBITMAP loadPicture(const std::string& path, SIZE& size);

}  // namespace win32
