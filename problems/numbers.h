// SPDX-License-Identifier: GPL-3.0-or-later
// Numbers as the card and the lists show them: read from the start of a text,
// written in plain decimal form.
#pragma once

#include <string>
#include <string_view>

namespace problems {

// Reads a decimal number from the start of a text: leading blanks, a sign,
// digits, a decimal point and an exponent; reading stops at the first
// character that cannot continue the number. A text without a number is 0.
double readNumber(std::string_view text);

// Plain decimal form without a leading blank: "24", "0", "-3", "2.25"; up to
// fifteen significant digits.
std::string writeNumber(double value);

// The same for a single-precision value, with up to seven significant digits.
std::string writeSingle(float value);

}  // namespace problems
