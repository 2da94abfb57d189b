// SPDX-License-Identifier: GPL-3.0-or-later
// The child windows of the controls a child clicks, picks in or reaches with
// Tab: which window class each kind gets and how it is made and placed.
#pragma once

#include <windows.h>

#include "win32/views.h"

namespace win32 {

// The window class of the frames, which paint their own controls.
inline constexpr const wchar_t* kFrameClass = L"AbacornFrame";

// Makes a control's window in its container's window, at the control's
// rectangle at the window's scale (dots per inch) and in its state: a
// frame of kFrameClass; an owner-drawn BUTTON for a picture box, a
// graphical button and a label or image that takes clicks, its text the
// control's accessible name; a plain BUTTON; a drop-down list COMBOBOX
// whose closed box has the design's height; a LISTBOX. A tooltip of the
// design goes with it. nullptr for other kinds.
HWND createChildWindow(const ControlView& v, HWND parent, int dpi);

// Moves a control's window to the control's rectangle.
void placeChildWindow(const ControlView& v, int dpi);
// Hands a control's window its font made anew for another scale, and
// places and sizes it for that scale.
void setChildFont(const ControlView& v, int dpi);

}  // namespace win32
