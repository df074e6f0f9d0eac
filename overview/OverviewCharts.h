#pragma once

// The overview's two charts, built from its figures. Amounts are written in full with two
// decimals ("7,739,600.00"), what the operator typed (a room, a fee's caption) shows as typed, and
// no label is laid over another.

#include "overview/OverviewData.h"

#include <QList>
#include <QRectF>
#include <QString>

class QChart;

// "7,739,600.00": two decimals and a comma between thousands.
QString GroupedMoney(double value);

// The stacked parts of each month's income (a part that is zero in every month left out; rent
// always there) under partNames, with the total over the bar of each month that has receipts.
QChart* BuildIncomeChart(const QList<MonthIncome>& months, const QStringList& partNames);

// One line per meter on an axis of its own, over the months that have a receipt, unusual months
// marked; hot water only for a room that has it.
QChart* BuildUsageChart(const RoomUsage& usage, const QString& room);

// The totals over the bars as they are placed now, in the chart's coordinates.
struct ChartLabel {
    QRectF rect;
    QString text;
};
QList<ChartLabel> BarTotalLabels(const QChart* chart);
