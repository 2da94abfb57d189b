// SPDX-License-Identifier: GPL-3.0-or-later
// The fonts the window's design names, as Qt fonts on this desktop.
#pragma once

#include <QFont>

#include "ui/control.h"

namespace qt {

// The font a control is designed with, in pixels at the design's scale.
QFont makeFont(const ui::Font& f);

// Gives the design's Windows families their Linux stand-ins; once per program.
void installFontSubstitutes();

}  // namespace qt
