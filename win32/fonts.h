// SPDX-License-Identifier: GPL-3.0-or-later
// The window's fonts on GDI, by the design's names and at its pixel sizes,
// and the measuring of captions.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

#include "ui/control.h"

namespace win32 {

// The font of a row at a size in pixels (ui::fontPixels at the window's
// scale): its family (or the design's default), bold as FW_BOLD.
HFONT makeFont(const ui::Font& f, int pixels);

// The size of a one-line caption in a font, in pixels (height: the font's).
SIZE textSize(HFONT font, const std::wstring& text);
// Where the ink of a one-line caption lies from the pen's start: its first
// and last inked pixel.
std::pair<int, int> inkSpan(HFONT font, const std::wstring& text);

}  // namespace win32
