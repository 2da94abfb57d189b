// SPDX-License-Identifier: GPL-3.0-or-later
// Where the design lands on a screen at start, and the largest scale at which
// all of it shows there.
#pragma once

#include "ui/control.h"

namespace ui {

// Start-up's placement of the design on the screen: the main panel centred,
// the banner right above it.
void placeAtStartup(Controls& controls, int screenWidthTwips, int screenHeightTwips);
// The largest scale, in dots per inch, at which start-up's placement on a
// screen of the given pixels shows all of the panel and its banner (never
// below 1). The panel is centred, so the banner's height is kept free below
// it too.
int fittingDpi(const Controls& controls, int screenWidthPixels, int screenHeightPixels);

}  // namespace ui
