#include "problems/operations.h"

#include <cmath>

namespace problems {

const Operation kOperations[kOperationCount] = {
    {"addition", "plus", "+", 0, [](double a, double b) { return a + b; },
     [](double r, double m) { return r * 2 * m; }, false},
    {"subtraction", "minus", "-", 1, [](double a, double b) { return a - b; },
     [](double r, double m) { return r * m; }, false},
    {"multiplication", "times", "x", 2, [](double a, double b) { return a * b; },
     [](double r, double m) { return r * (m * m); }, false},
    {"division", "divided by", "/", 3, [](double a, double b) { return a / b; },
     [](double r, double m) { return r * m / 2; }, true},
};

const Operation* findOperation(const std::optional<std::string>& word) {
    if (!word) return nullptr;
    for (const auto& op : kOperations)
        if (*word == op.word) return &op;
    return nullptr;
}

std::optional<double> largestAnswer(const Operation& op, double maximum) {
    const double result = op.combine(maximum, maximum);
    if (!std::isfinite(result)) return std::nullopt;
    return result;
}

}  // namespace problems
