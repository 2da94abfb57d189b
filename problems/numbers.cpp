// SPDX-License-Identifier: GPL-3.0-or-later
#include "problems/numbers.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace problems {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string formatSignificant(double value, int digits) {
    if (value == 0) return "0";  // also folds -0 into "0"
    // to_chars ignores the process locale (Qt sets it from the environment),
    // so the decimal point is always a point.
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, digits);
    std::string s(buf, res.ptr);
    const auto e = s.find('e');
    std::string mantissa = s.substr(0, e);
    std::string exponent = e == std::string::npos ? "" : s.substr(e);
    if (mantissa.find('.') != std::string::npos) {
        while (!mantissa.empty() && mantissa.back() == '0') mantissa.pop_back();
        if (!mantissa.empty() && mantissa.back() == '.') mantissa.pop_back();
    }
    return mantissa + exponent;
}

}  // namespace

double readNumber(std::string_view text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
    const std::size_t start = i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    const std::size_t digitsStart = i;
    while (i < n && isDigit(text[i])) ++i;
    std::size_t mantissaDigits = i - digitsStart;
    if (i < n && text[i] == '.') {
        ++i;
        const std::size_t fracStart = i;
        while (i < n && isDigit(text[i])) ++i;
        mantissaDigits += i - fracStart;
    }
    if (mantissaDigits == 0) return 0;
    // An exponent counts only when at least one digit follows it.
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < n && (text[j] == '+' || text[j] == '-')) ++j;
        if (j < n && isDigit(text[j])) {
            while (j < n && isDigit(text[j])) ++j;
            i = j;
        }
    }
    const char* first = text.data() + start;
    if (*first == '+') ++first;  // from_chars takes no plus sign
    double value = 0;
    const auto res = std::from_chars(first, text.data() + i, value);
    if (res.ec == std::errc::result_out_of_range) return *first == '-' ? -HUGE_VAL : HUGE_VAL;
    return value;
}

std::string writeNumber(double value) { return formatSignificant(value, 15); }

std::string writeSingle(float value) { return formatSignificant(static_cast<double>(value), 7); }

}  // namespace problems
