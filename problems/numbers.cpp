// SPDX-License-Identifier: GPL-3.0-or-later
#include "problems/numbers.h"

#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace problems {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// libc++ before 17 (Emscripten's) has no floating-point to_chars or
// from_chars; there the C library stands in, which is musl, whose numbers
// know no decimal point but '.', whatever the locale.
#if defined(_LIBCPP_VERSION) && _LIBCPP_VERSION < 170000

// The digits of value in printf's %g with the given precision.
std::string toGeneral(double value, int digits) {
    char buf[64];
    const int n = std::snprintf(buf, sizeof buf, "%.*g", digits, value);
    return std::string(buf, static_cast<std::size_t>(n));
}

// Reads [first, last), a number from_chars accepts whole; false when it is
// too large for a double or so small that it would read as zero.
bool fromChars(const char* first, const char* last, double& value) {
    const std::string text(first, last);
    errno = 0;
    const double read = std::strtod(text.c_str(), nullptr);
    // strtod also flags a subnormal result, which from_chars returns.
    if (errno == ERANGE && (std::isinf(read) || read == 0)) return false;
    value = read;
    return true;
}

#else

std::string toGeneral(double value, int digits) {
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, digits);
    return std::string(buf, res.ptr);
}

bool fromChars(const char* first, const char* last, double& value) {
    return std::from_chars(first, last, value).ec != std::errc::result_out_of_range;
}

#endif

std::string formatSignificant(double value, int digits) {
    if (value == 0) return "0";  // also folds -0 into "0"
    // to_chars ignores the process locale (Qt sets it from the environment),
    // so the decimal point is always a point.
    std::string s = toGeneral(value, digits);
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
    if (!fromChars(first, text.data() + i, value)) return *first == '-' ? -HUGE_VAL : HUGE_VAL;
    return value;
}

std::string writeNumber(double value) { return formatSignificant(value, 15); }

std::string writeSingle(float value) { return formatSignificant(static_cast<double>(value), 7); }

}  // namespace problems
