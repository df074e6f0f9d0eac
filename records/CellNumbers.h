#pragma once

// Numbers at the start of a list cell's UTF-8 text, read without making a QString: the fill, the
// summary and the sort read millions of them.

#include <QByteArrayView>

#include <charconv>
#include <cmath>
#include <limits>

namespace records {

inline const char* skipBlanks(const char* p, const char* end) {
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v'))
        ++p;
    return p;
}

// The leading number of a cell, as the C library reads it; text that is no number, and a number
// too large to hold, count 0. Unlike strtod this does not depend on the process locale.
inline double leadingDouble(QByteArrayView text) {
    const char* end = text.data() + text.size();
    const char* p = skipBlanks(text.data(), end);
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-'))
        negative = *p++ == '-';
    if (p == end || *p == '+' || *p == '-')
        return 0;
    double value = 0;
    const auto result = std::from_chars(p, end, value, std::chars_format::general);
    if (result.ec != std::errc() || !std::isfinite(value))
        return 0;
    return negative ? -value : value;
}

// The leading whole number, saturated at the limits of the type.
inline long long leadingInteger(QByteArrayView text) {
    const char* end = text.data() + text.size();
    const char* p = skipBlanks(text.data(), end);
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-'))
        negative = *p++ == '-';
    constexpr long long kLimit = std::numeric_limits<long long>::max();
    long long value = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        const int digit = *p - '0';
        if (value > (kLimit - digit) / 10)
            return negative ? -kLimit : kLimit;
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

} // namespace records
