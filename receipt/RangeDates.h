#pragma once

// Dates the main window works out once from "now": the bounds of the records list's
// "最近一个月记录" range and the default charging period of a new receipt.

#include <QDateTime>
#include <QString>

struct DisplayRangeTexts {
    QString start; // m_strRangeStart: one month back, "%d-%d-%d 00:00:00"
    QString end;   // m_strRangeEnd: today, "%d-%d-%d 23:59:59"
};

// The month back is as long as the previous month: on 31 March (February of 28 days) it starts
// on 3 March, on 15 January on 15 December.
DisplayRangeTexts RangeDatesFor(const QDateTime& now);

struct ChargingPeriod {
    QDateTime start; // the 1st of now's month, 00:00:00
    QDateTime end;   // the last day of now's month, 23:00:00
};

ChargingPeriod DefaultChargingPeriod(const QDateTime& now);
