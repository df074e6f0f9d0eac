#include "receipt/CapitalWords.h"

#include <cmath>

namespace {

const QString& digitChars() {
    static const QString s = QStringLiteral("零壹贰叁肆伍陆柒捌玖");
    return s;
}

const QString& positionUnits() {
    static const QString s = QStringLiteral("元拾佰仟万拾佰仟亿拾佰仟");
    return s;
}

const QString& fractionWords() {
    static const QString s = QStringLiteral("整角分");
    return s;
}

constexpr int kMaxIntegerDigits = 12;

QChar digitChar(QChar digit) {
    return digitChars().at(digit.unicode() - u'0');
}

// The words of a non-negative amount already written with two decimals.
QString wordsOf(const QString& figure) {
    qsizetype point = figure.indexOf(QLatin1Char('.'));
    if (point < 0)
        point = figure.size();
    if (point > kMaxIntegerDigits)
        return {};

    QString tail;
    bool pendingZero = false;
    bool pendingSection = false;
    for (qsizetype k = 0; k < point; ++k) {
        const QChar digit = figure.at(point - 1 - k);
        if (k % 4 == 0 && k > 0)
            pendingSection = true;
        if (digit == QLatin1Char('0')) {
            if (k % 4 != 0)
                pendingZero = true;
            continue;
        }
        QString head(digitChar(digit));
        if (k > 0) {
            head += positionUnits().at(k);
            if (k % 4 != 0 && pendingSection)
                head += positionUnits().at(4 * (k / 4));
            pendingSection = false;
        }
        if (pendingZero) {
            if (!tail.isEmpty())
                head += digitChars().at(0);
            pendingZero = false;
        }
        tail = head + tail;
    }
    tail += positionUnits().at(0);

    const QChar tenths = point + 1 < figure.size() ? figure.at(point + 1) : QLatin1Char('0');
    const QChar hundredths = point + 2 < figure.size() ? figure.at(point + 2) : QLatin1Char('0');
    if (tenths == QLatin1Char('0') && hundredths == QLatin1Char('0'))
        return tail + fractionWords().at(0);
    tail += digitChar(tenths);
    if (tenths != QLatin1Char('0'))
        tail += fractionWords().at(1);
    if (hundredths != QLatin1Char('0')) {
        tail += digitChar(hundredths);
        tail += fractionWords().at(2);
    }
    return tail;
}

} // namespace

QString AmountInCapitals(double amount) {
    if (!std::isfinite(amount))
        return {};
    QString figure = QString::asprintf("%.2f", amount);
    bool negative = figure.startsWith(QLatin1Char('-'));
    if (negative)
        figure.remove(0, 1);
    // Only digits and one point may reach the tables.
    for (const QChar c : figure) {
        if (c != QLatin1Char('.') && (c < QLatin1Char('0') || c > QLatin1Char('9')))
            return {};
    }
    // Nothing at all to write would leave "元整" alone on the receipt.
    if (figure == QLatin1String("0.00"))
        return QStringLiteral("零元整");
    const QString words = wordsOf(figure);
    if (words.isEmpty())
        return {};
    return negative ? QStringLiteral("负") + words : words;
}
