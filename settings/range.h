// SPDX-License-Identifier: GPL-3.0-or-later
// The number range the child picks in the two lists.
#pragma once

#include "ui/control.h"

namespace settings {

// The number a range list shows as selected; 0 when nothing is selected.
double selectedValue(const ui::Control& list);

// A range is valid while its minimum is not above its maximum, compared as
// numbers ("9" is below "10").
bool validRange(double minimum, double maximum);

}  // namespace settings
