// SPDX-License-Identifier: GPL-3.0-or-later
// What screen readers hear: plain-English names and descriptions for the
// controls the child can use, and accessible interfaces for the lightweight
// labels and images, which are painted by their container and so are not
// widgets of their own.
#pragma once

#include <string>
#include <string_view>

namespace ui::qt {

class FormView;

struct AccessibleText {
    std::string name;
    std::string description;
    bool withCaption = false;  // the name is followed by the control's caption
};

// The words for one control; nullptr for controls that have none.
const AccessibleText* accessibleText(std::string_view control);

// Names the view's real widgets and makes Qt ask us for the window, its
// frames and picture boxes. Called by the view itself.
void installAccessibility(FormView& view);

}  // namespace ui::qt
