// SPDX-License-Identifier: GPL-3.0-or-later
// Making the six answer captions differ from each other.
#pragma once

#include <array>
#include <string>

namespace choices {

using Board = std::array<std::string, 6>;

// One pass: each caption from the second on that equals an earlier one (as it
// stands at that moment) is raised by exactly 1. Nothing is ever lowered, so
// every value on the board before the pass is still on it afterwards.
void separateDuplicates(Board& board);

// Whether any two captions are equal, text for text.
bool hasDuplicates(const Board& board);

}  // namespace choices
