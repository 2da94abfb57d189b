// SPDX-License-Identifier: GPL-3.0-or-later
#include "problems/operations.h"

#include <cmath>

#include "words/words.h"

namespace problems {

const Operation kOperations[kOperationCount] = {
    {words::kAddition, "plus", "+", kAdditionIndex, [](double a, double b) { return a + b; },
     [](double r, double m) { return r * 2 * m; }, false},
    {words::kSubtraction, "minus", "-", kSubtractionIndex, [](double a, double b) { return a - b; },
     [](double r, double m) { return r * m; }, false},
    {words::kMultiplication, "times", "x", kMultiplicationIndex, [](double a, double b) { return a * b; },
     [](double r, double m) { return r * (m * m); }, false},
    {words::kDivision, "divided by", "/", kDivisionIndex, [](double a, double b) { return a / b; },
     [](double r, double m) { return r * m / 2; }, true},
};

const Operation* findOperation(const std::optional<std::string>& word) {
    if (!word) return nullptr;
    for (const auto& op : kOperations)
        if (*word == op.word) return &op;
    return nullptr;
}

std::optional<double> workedAnswer(const Operation& op, double top, double bottom) {
    const double result = op.combine(top, bottom);
    if (!std::isfinite(result)) return std::nullopt;
    return result;
}

}  // namespace problems
