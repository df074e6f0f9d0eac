#include "data/Settings.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>

QString g_strCurrentUser;
QString g_strCurrentPower;

bool isOrdinaryUser() {
    return g_strCurrentPower == QLatin1String("0");
}

QString powerText(const QString& power) {
    return power == QLatin1String("0") ? QStringLiteral("普通用户") : QStringLiteral("管理员");
}

int textToInt(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    errno = 0;
    const long v = std::strtol(bytes.constData(), nullptr, 10);
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return static_cast<int>(v);
}

double textToDouble(const QString& text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text.at(i).isSpace())
        ++i;
    bool negative = false;
    if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    // The number can only be made of ASCII; anything after it is ignored, as strtod does.
    QByteArray ascii;
    for (; i < n && text.at(i).unicode() < 0x80; ++i)
        ascii += static_cast<char>(text.at(i).unicode());
    if (ascii.isEmpty() || ascii.front() == '+' || ascii.front() == '-')
        return 0.0;
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(ascii.constData(), ascii.constData() + ascii.size(), value);
    Q_UNUSED(ptr);
    if (ec != std::errc() || !std::isfinite(value))
        return 0.0;
    return negative ? -value : value;
}
