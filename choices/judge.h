// SPDX-License-Identifier: GPL-3.0-or-later
// Judging a pick among the answer choices.
#pragma once

#include <optional>
#include <string_view>

namespace choices {

// Whether a choice's caption holds the answer: compared by value in single
// precision, exactly, so "12" and "12.0" both match 12 and the tile need not
// be the one where the answer was placed. No answer matches nothing.
bool isRightAnswer(const std::optional<float>& answer, std::string_view caption);

}  // namespace choices
