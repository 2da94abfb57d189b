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
    bool namedByShowing = false;  // of two that take turns: being shown tells a state
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
    Text,        // a label that takes no click: read as the words it shows
    PushButton,  // a push button with words of its own
    Plain,       // a push button without words (the focus button): no name
    ComboBox,    // a number list
    List,        // the seconds list
};
// An image that takes no click is painting only: None.
Role accessibleRole(const Control& c);

// Whether the shown control tells the speech's state by its name (the
// loudspeakers, which take turns).
bool namedByShowing(const Control& c);

}  // namespace ui
