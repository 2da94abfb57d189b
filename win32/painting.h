// SPDX-License-Identifier: GPL-3.0-or-later
// How the window's controls look on GDI: the painting of a container with
// its lightweight controls, and the fitting of captions to their labels.
#pragma once

#include <windows.h>

#include <string>

#include "ui/control.h"

namespace win32 {

struct ControlView;
class ControlViews;

// A design colour (the system's window text colour for windowText).
COLORREF toColorRef(ui::Color c);

// Paints a container (the window or a frame) of the given size into dc,
// whose origin is the container's top-left corner: its background, a
// frame's border and caption, then its labels, shapes, lines and images,
// back to front, then the focus ring when it lies in this container
// (ring: the focused control's rectangle, or nullptr). The owner-drawn
// windows of label-like controls paint the same scene under their
// rectangle, so that what lies behind them shows through.
void paintScene(const ControlViews& views, const std::string& container, HDC dc, SIZE size, const RECT* ring);

// A picture box and a graphical push button, as ui/look.h describes them.
void paintPictureBox(const ControlViews& views, const ControlView& v, HDC dc, SIZE size);
void paintFlatButton(const ControlView& v, HDC dc, SIZE size, bool down, int dpi);

// Fits a label to its caption (ui::fitLabel): an auto-size label takes the
// caption's size, a fixed-size one a smaller font when it is too wide.
void fitLabel(ControlView& v, int dpi);

}  // namespace win32
