// SPDX-License-Identifier: GPL-3.0-or-later
// What screen readers get from the window: plain-English names and
// descriptions for the controls the child can use, and the part each
// control plays. A binding hands them to its platform's accessibility
// interface as they are.
#pragma once

#include <string>
#include <string_view>

#include "ui/control.h"

namespace ui {

struct AccessibleText {
    std::string name;
    std::string description;
    bool withCaption = false;  // the name is followed by the control's caption
};

// The words for one control; nullptr for controls that have none.
const AccessibleText* accessibleText(std::string_view control);

// The name a screen reader reads for a control: its words (an answer adds
// the number it shows), else its caption. A frame's caption is a name only
// where the frame draws it.
std::string accessibleName(const Control& c);
// Its description; empty for a control without words.
std::string accessibleDescription(const Control& c);

enum class Role {
    None,        // shapes, lines and the timer: nothing to read
    Window,      // the window itself
    Grouping,    // a frame
    Button,      // a picture box, and a label or image that takes a click
    PushButton,  // a push button with words of its own
    Plain,       // a push button without words (the focus button): no name
    ComboBox,    // a number list
    List,        // the seconds list
};
Role accessibleRole(const Control& c);

// Whether a label or image stands in the tree as a node of its own: those
// that take a click. The others are painting only.
inline bool inAccessibleTree(const Control& c) { return isLightweight(c.kind()) && c.handler != nullptr; }

}  // namespace ui
