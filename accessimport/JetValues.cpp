#include "accessimport/JetValues.h"

#include <QDate>
#include <QStringDecoder>
#include <QtEndian>

#include <cmath>

namespace accessimport {

QString jetDateText(double days) {
    // Jet's own range: 100-01-01 to 9999-12-31.
    if (!std::isfinite(days) || days < -657434.0 || days >= 2958466.0)
        return {};
    const double whole = std::trunc(days);
    // Rounded once, on the whole time of day: 10:00:00 stored as 0.41666666666666663 must not
    // read as 09:59:59, nor 23:59:59.6 as a 24th hour of the same day.
    qint64 seconds = std::llround(std::fabs(days - whole) * 86400.0);
    qint64 day = static_cast<qint64>(whole);
    if (seconds == 86400) {
        seconds = 0;
        ++day;
    }
    const QDate date = QDate(1899, 12, 30).addDays(day);
    if (!date.isValid() || date.year() > 9999)
        return {};
    return QStringLiteral("%1-%2-%3 %4:%5:%6")
        .arg(date.year(), 4, 10, QLatin1Char('0'))
        .arg(date.month(), 2, 10, QLatin1Char('0'))
        .arg(date.day(), 2, 10, QLatin1Char('0'))
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString currencyText(qint64 units) {
    // The magnitude as unsigned, so that the most negative value has one too.
    const quint64 magnitude = units < 0 ? 0 - static_cast<quint64>(units) : static_cast<quint64>(units);
    return QStringLiteral("%1%2.%3")
        .arg(units < 0 ? QStringLiteral("-") : QString())
        .arg(magnitude / 10000)
        .arg(magnitude % 10000, 4, 10, QLatin1Char('0'));
}

namespace {

QString utf16Text(QByteArrayView bytes, bool* ok) {
    QString text(bytes.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] = QChar(qFromLittleEndian<quint16>(bytes.data() + 2 * i));
    // Half a surrogate pair is no character.
    *ok = bytes.size() % 2 == 0;
    for (qsizetype i = 0; i < text.size() && *ok; ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            *ok = false;
    }
    return text;
}

} // namespace

QString jetText(QByteArrayView bytes, bool jet3, bool* ok) {
    if (jet3) {
        QStringDecoder decoder("GBK", QStringDecoder::Flag::Stateless);
        QString text = decoder(bytes);
        *ok = decoder.isValid() && !decoder.hasError();
        return text;
    }
    if (bytes.size() < 2 || static_cast<unsigned char>(bytes[0]) != 0xFF ||
        static_cast<unsigned char>(bytes[1]) != 0xFE)
        return utf16Text(bytes, ok);
    // Compressed: one byte a character below U+0100, a 0 byte switching to two bytes a
    // character and back.
    QByteArray wide;
    wide.reserve(2 * bytes.size());
    bool narrow = true;
    for (qsizetype i = 2; i < bytes.size();) {
        if (bytes[i] == 0) {
            narrow = !narrow;
            ++i;
        } else if (narrow) {
            wide.append(bytes[i++]);
            wide.append('\0');
        } else if (i + 1 < bytes.size()) {
            wide.append(bytes[i++]);
            wide.append(bytes[i++]);
        } else {
            *ok = false;
            return {};
        }
    }
    return utf16Text(wide, ok);
}

} // namespace accessimport
