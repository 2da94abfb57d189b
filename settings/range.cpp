// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/range.h"

#include "problems/numbers.h"

namespace settings {

double selectedValue(const ui::Control& list) { return problems::readNumber(list.itemText(list.selectedIndex())); }

bool validRange(double minimum, double maximum) { return !(maximum < minimum); }

}  // namespace settings
