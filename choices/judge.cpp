// SPDX-License-Identifier: GPL-3.0-or-later
#include "choices/judge.h"

#include "problems/numbers.h"

namespace choices {

bool isRightAnswer(const std::optional<float>& answer, std::string_view caption) {
    return answer == static_cast<float>(problems::readNumber(caption));
}

}  // namespace choices
