#include "data/Money.h"
#include "data/JetSql.h"
#include "data/Settings.h"

#include <cmath>

double FormNumber(const QString& text) {
    return textToDouble(text);
}

QString FormatAmount(double value) {
    return jet::number2(value);
}

QString FormatRoundedTotal(double value) {
    if (!std::isfinite(value))
        value = 0.0;
    // "%.0f" of an integral value is exact at any size, where "%d" would overflow past 2^31;
    // adding 0.0 turns a negative zero into zero.
    const double whole = std::trunc(value + 0.5) + 0.0;
    return QString::asprintf("%.0f", std::isfinite(whole) ? whole : 0.0);
}
