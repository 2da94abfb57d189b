// SPDX-License-Identifier: GPL-3.0-or-later
// The window covering the screen.
#pragma once

class QWidget;

namespace qt {

// Covers the primary screen in the full-screen state the desktop knows
// (EWMH on X11, xdg-shell on Wayland), and without a window manager by the
// screen's geometry. Where the window manager refuses full screen, the
// window becomes frameless with the screen's geometry and one line on
// stderr says so.
void showCoveringScreen(QWidget& window);

}  // namespace qt
