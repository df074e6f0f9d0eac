#include "records/CsvExport.h"
#include "records/RecordsModel.h"

#include <QSaveFile>
#include <QStringEncoder>

namespace {

constexpr int kExportedColumns = 24; // column 24 (the row layout) stays out of the file

// A spreadsheet would split a cell at its comma or stumble over a bare quote: such a cell goes
// between double quotes with its quotes doubled. Line breaks become blanks so that a record stays
// on one line.
void appendCell(QString& line, QString text) {
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"'))) {
        text.replace(QStringLiteral("\""), QStringLiteral("\"\""));
        line += QLatin1Char('"') + text + QLatin1Char('"');
    } else {
        line += text;
    }
    line += QLatin1Char(',');
}

// A spreadsheet runs a cell that begins with one of these as a formula (=HYPERLINK(...) and the
// like); the apostrophe makes it text, as it does for the receipt number. A cell that is a whole
// number ("-12.5") stays a number.
QString neutralised(const QString& text) {
    static const QString kFormulaStarts = QStringLiteral("=+-@\t");
    if (text.isEmpty() || !kFormulaStarts.contains(text.front()))
        return text;
    bool number = false;
    text.toDouble(&number);
    return number ? text : QLatin1Char('\'') + text;
}

QString lineText(const RecordsModel& model, int row) {
    QString line;
    for (int c = 0; c < kExportedColumns && c < model.columnCount(); ++c) {
        if (row < 0)
            appendCell(line, neutralised(model.heading(c)));
        else if (c == RecordColumn::No)
            // The apostrophe keeps the leading zeros of the number in a spreadsheet.
            appendCell(line, QLatin1Char('\'') + model.cell(row, c));
        else
            appendCell(line, neutralised(model.cell(row, c)));
    }
    return line;
}

} // namespace

QByteArray BuildCsvLine(const RecordsModel& model, int row) {
    QStringEncoder gbk("GB18030");
    return gbk.encode(lineText(model, row));
}

QByteArray BuildCsv(const RecordsModel& model) {
    QStringEncoder gbk("GB18030");
    QByteArray out;
    for (int r = -1; r < model.rowCount(); ++r) {
        out += gbk.encode(lineText(model, r));
        out += "\r\n";
    }
    return out;
}

bool ExportCsvFile(const QString& path, const RecordsModel& model,
                   const std::function<bool(int done, int total)>& progress) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QStringEncoder gbk("GB18030");
    const int total = model.rowCount();
    for (int r = -1; r < total; ++r) {
        QByteArray line = gbk.encode(lineText(model, r));
        line += "\r\n";
        if (file.write(line) != line.size()) {
            file.cancelWriting();
            return false;
        }
        if (progress && r >= 0 && (r % 1024 == 1023 || r + 1 == total) && !progress(r + 1, total)) {
            file.cancelWriting();
            return false;
        }
    }
    return file.commit();
}

QByteArray BuildCsvTable(const QList<QStringList>& lines) {
    QStringEncoder gbk("GB18030");
    QByteArray out;
    for (const QStringList& cells : lines) {
        QString line;
        for (const QString& cell : cells)
            appendCell(line, neutralised(cell));
        // A table has as many columns as cells: no empty one at the end of a line.
        line.chop(1);
        out += gbk.encode(line);
        out += "\r\n";
    }
    return out;
}

bool WriteCsvTable(const QString& path, const QList<QStringList>& lines) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = BuildCsvTable(lines);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

QString ProposedCsvFileName(const QDate& date) {
    return QString::asprintf("%d-%d-%d", date.year(), date.month(), date.day()) +
           QStringLiteral("记录表导出备份.csv");
}
