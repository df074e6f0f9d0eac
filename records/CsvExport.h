#pragma once

// The export of the records list to a comma-separated file in the Chinese code page (GB18030,
// which is GBK for every GBK character and keeps every other one): a
// heading line and one line per row in the list's current order, columns 0 to 23, each cell
// followed by a comma and every line ended by CR LF.

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>

#include <functional>

class RecordsModel;

// Line r of the file without its line end: r = -1 is the heading line, r >= 0 the list row r.
QByteArray BuildCsvLine(const RecordsModel& model, int row);
// The whole file.
QByteArray BuildCsv(const RecordsModel& model);

// Writes the file as a whole or not at all: a path that cannot be created or written, or a
// progress callback that answers false, leaves any existing file as it was.
bool ExportCsvFile(const QString& path, const RecordsModel& model,
                   const std::function<bool(int done, int total)>& progress = {});

// Any table (heading line first) in the same encoding and quoting as the records export, but no
// comma after a line's last cell; written as a whole or not at all.
QByteArray BuildCsvTable(const QList<QStringList>& lines);
bool WriteCsvTable(const QString& path, const QList<QStringList>& lines);

// "%d-%d-%d记录表导出备份.csv" of a date.
QString ProposedCsvFileName(const QDate& date);
