// SPDX-License-Identifier: GPL-3.0-or-later
// Small windows of the tests' own, for the rules in ui/: one row of a design
// table at a time.
#pragma once

#include <string>
#include <utility>

#include "ui/control.h"

namespace testbed {

// A control of that kind in that container, at that place in twips.
inline ui::ControlSpec designRow(std::string name, ui::Kind kind, std::string container, int left = 0, int top = 0,
                                 int width = 0, int height = 0) {
    ui::ControlSpec row;
    row.name = std::move(name);
    row.kind = kind;
    row.container = std::move(container);
    row.left = left;
    row.top = top;
    row.width = width;
    row.height = height;
    return row;
}

}  // namespace testbed
