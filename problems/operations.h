// SPDX-License-Identifier: GPL-3.0-or-later
// The four operations and everything that differs between them: one table
// instead of four near-copies of each handler.
#pragma once

#include <optional>
#include <string>

namespace problems {

struct Operation {
    const char* word;    // value of `operation`, caption under the pictures, spoken
    const char* spoken;  // the word in a spoken problem
    const char* sign;    // the sign on the card
    int index;           // its place in kOperations, below
    double (*combine)(double top, double bottom);
    // A wrong answer before rounding, from a draw r and the largest operand m.
    double (*wrongAnswer)(double r, double m);
    bool division;
};

inline constexpr int kAdditionIndex = 0;
inline constexpr int kSubtractionIndex = 1;
inline constexpr int kMultiplicationIndex = 2;
inline constexpr int kDivisionIndex = 3;
inline constexpr int kOperationCount = 4;
extern const Operation kOperations[kOperationCount];

// The operation a stored word names; none for an empty or unknown word.
const Operation* findOperation(const std::optional<std::string>& word);

// The answer of a card; none when the calculation cannot be carried out (a
// zero divisor).
std::optional<double> workedAnswer(const Operation& op, double top, double bottom);

}  // namespace problems
