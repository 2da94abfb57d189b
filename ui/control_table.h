// SPDX-License-Identifier: GPL-3.0-or-later
// The window's design: every control with its kind, container, place, look and
// state at creation. Within one container the rows run from front to back.
#pragma once

#include <string>
#include <vector>

#include "ui/control.h"

namespace ui {

// The design area of the window, in twips.
inline constexpr int kDesignWidth = 14085;
inline constexpr int kDesignHeight = 10800;
inline constexpr int kTwipsPerPixel = 15;

// The font of a control whose row names no family or size.
inline constexpr const char* kDefaultFontFamily = "MS Sans Serif";
inline constexpr double kDefaultFontPoints = 8.25;

const std::vector<ControlSpec>& controlTable();

// The keyboard's way through the window (Tab), one stop a row. The controls
// of a stop lie at one place and take turns (the two loudspeakers). "Close
// Program" is no stop: no run of keys may end the lesson.
const std::vector<std::vector<std::string>>& tabOrder();
// The control that has the keyboard focus when the window opens: the card,
// so that Space alone plays.
inline constexpr const char* kFirstFocus = "lblClickMe";

// The window's colours beyond its rows. The ring round the control that has
// the keyboard focus: contrast 6.67:1 against the lavender panel and 11.45:1
// against the white card (WCAG 2 relative luminance).
inline constexpr Color kFocusRing{0, 0, 200};
// The ring is three pixels wide, a pixel clear of the control.
inline constexpr int kFocusRingGap = 1, kFocusRingWidth = 3;
// The caption of a disabled label.
inline constexpr Color kDisabledText{128, 128, 128};
// A bordered frame's etched edge: the shadow line and the light one beside it.
inline constexpr Color kEtchShadow{128, 128, 128};
inline constexpr Color kEtchLight = kWhite;


}  // namespace ui
