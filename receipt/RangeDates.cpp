#include "receipt/RangeDates.h"

// Days are counted on the calendar rather than in 86400-second steps, so that a daylight-saving
// change inside the month cannot move a bound to the neighbouring day.

DisplayRangeTexts RangeDatesFor(const QDateTime& now) {
    const QDate today = now.date();
    const QDate lastOfPreviousMonth = QDate(today.year(), today.month(), 1).addDays(-1);
    const QDate start = today.addDays(-lastOfPreviousMonth.day());
    return {QString::asprintf("%d-%d-%d 00:00:00", start.year(), start.month(), start.day()),
            QString::asprintf("%d-%d-%d 23:59:59", today.year(), today.month(), today.day())};
}

ChargingPeriod DefaultChargingPeriod(const QDateTime& now) {
    const QDate first(now.date().year(), now.date().month(), 1);
    const QDate last = first.addMonths(1).addDays(-1);
    // Copies of now keep its kind of time (local, UTC or a zone).
    QDateTime start = now;
    start.setDate(first);
    start.setTime(QTime(0, 0, 0));
    QDateTime end = now;
    end.setDate(last);
    end.setTime(QTime(23, 0, 0));
    return {start, end};
}
