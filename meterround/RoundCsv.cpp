#include "meterround/RoundCsv.h"

#include "overview/OverviewData.h"
#include "records/CsvExport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QStandardPaths>
#include <QStringDecoder>

namespace {

struct Column {
    const char* heading;
    RoundField field;
    bool hot;     // only with the three-row form
    bool reading; // on the paper table too
};

// The headings are the table's own and stay as they are whatever the form's captions say, so
// that a table filled on a phone reads back after the captions changed.
constexpr Column kColumns[] = {
    {"水表上次", RoundField::WaterLast, false, true}, {"水表本次", RoundField::WaterThis, false, true},
    {"电表上次", RoundField::ElecLast, false, true},  {"电表本次", RoundField::ElecThis, false, true},
    {"热水表上次", RoundField::HotLast, true, true},  {"热水表本次", RoundField::HotThis, true, true},
    {"房租", RoundField::Rent, false, false},         {"卫生费", RoundField::Clean, false, false},
    {"押金", RoundField::TV, false, false},           {"管理费", RoundField::Manage, false, false},
    {"网费", RoundField::Net, false, false},          {"其他费用", RoundField::Other, false, false},
};

const QString kRoomHeading = QStringLiteral("房间");
const QString kTenantHeading = QStringLiteral("租户");

QList<QStringList> table(const QList<RoundRow>& rows, bool threeRow, bool draft) {
    QStringList heading{kRoomHeading, kTenantHeading};
    for (const Column& c : kColumns)
        if ((threeRow || !c.hot) && (draft || c.reading))
            heading << QString::fromUtf8(c.heading);
    QList<QStringList> out{heading};
    for (const RoundRow& row : rows) {
        if (row.charged() || (draft && !row.edited))
            continue;
        QStringList line{row.room, row.tenant};
        for (const Column& c : kColumns)
            if ((threeRow || !c.hot) && (draft || c.reading))
                line << RoundFieldText(row, c.field);
        out << line;
    }
    return out;
}

// A spreadsheet may have kept the apostrophe the export put before a formula-like cell.
QString cellText(const QString& cell) {
    if (cell.size() > 1 && cell.front() == QLatin1Char('\'') && QStringLiteral("=+-@\t").contains(cell.at(1)))
        return cell.mid(1).trimmed();
    return cell.trimmed();
}

} // namespace

QList<QStringList> RoundReadingsTable(const QList<RoundRow>& rows, bool threeRow) {
    return table(rows, threeRow, false);
}

QList<QStringList> RoundDraftTable(const QList<RoundRow>& rows, bool threeRow) {
    return table(rows, threeRow, true);
}

QList<QStringList> ParseRoundCsv(const QByteArray& bytes) {
    QString text;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        text = QString::fromUtf8(bytes.mid(3));
    else
        text = QStringDecoder("GB18030").decode(bytes);
    QList<QStringList> lines;
    QStringList cells;
    QString cell;
    bool quoted = false;
    bool any = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"'))
                cell += text.at(++i);
            else if (c == QLatin1Char('"'))
                quoted = false;
            else
                cell += c;
        } else if (c == QLatin1Char('"')) {
            quoted = any = true;
        } else if (c == QLatin1Char(',')) {
            cells << cell;
            cell.clear();
            any = true;
        } else if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            if (any || !cell.isEmpty())
                lines << (cells << cell);
            cells.clear();
            cell.clear();
            any = false;
        } else {
            cell += c;
            any = true;
        }
    }
    if (any || !cell.isEmpty())
        lines << (cells << cell);
    return lines;
}

RoundImport ApplyRoundTable(QList<RoundRow>& rows, const QList<QStringList>& tableLines, bool emptyClears) {
    RoundImport out;
    if (tableLines.isEmpty() || cellText(tableLines.first().value(0)) != kRoomHeading)
        return out;
    out.readable = true;
    QList<std::pair<int, RoundField>> columns;
    const QStringList& heading = tableLines.first();
    for (int i = 0; i < heading.size(); ++i)
        for (const Column& c : kColumns)
            if (cellText(heading[i]) == QString::fromUtf8(c.heading))
                columns.append({i, c.field});
    QHash<QString, int> byKey;
    for (int i = 0; i < rows.size(); ++i)
        byKey.insert(RoomKey(rows[i].room), i);
    for (int n = 1; n < tableLines.size(); ++n) {
        const QStringList& line = tableLines[n];
        const QString room = cellText(line.value(0));
        if (room.isEmpty())
            continue;
        const auto at = byKey.constFind(RoomKey(room));
        if (at == byKey.constEnd()) {
            out.unknownRooms << room;
            continue;
        }
        RoundRow& row = rows[*at];
        if (row.charged()) {
            out.chargedRooms << room;
            continue;
        }
        bool applied = false;
        for (auto [index, field] : columns) {
            const QString value = cellText(line.value(index));
            bool number = value.isEmpty();
            if (!number)
                value.toDouble(&number);
            if (!number) {
                out.badLines << QStringLiteral("第%1行：%2“%3”不是数字").arg(n + 1).arg(room, value);
                continue;
            }
            if (!value.isEmpty() || emptyClears) {
                SetRoundField(row, field, value);
                applied = true;
            }
        }
        if (applied)
            ++out.rooms;
    }
    return out;
}

QString RoundDraftPath(const QString& ledgerLocation, const QDate& month) {
    // The ledger's location may be a server address: only a digest of it names the file.
    const QByteArray digest =
        QCryptographicHash::hash(ledgerLocation.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/rounds/") +
           QString::fromLatin1(digest) + month.toString(QStringLiteral("-yyyy-MM")) + QStringLiteral(".csv");
}

bool SaveRoundDraft(const QString& ledgerLocation, const QDate& month, const QList<RoundRow>& rows,
                    bool threeRow) {
    const QString path = RoundDraftPath(ledgerLocation, month);
    const QList<QStringList> lines = RoundDraftTable(rows, threeRow);
    if (lines.size() <= 1)
        return !QFile::exists(path) || QFile::remove(path);
    QDir().mkpath(QFileInfo(path).absolutePath());
    return WriteCsvTable(path, lines);
}

RoundImport LoadRoundDraft(const QString& ledgerLocation, const QDate& month, QList<RoundRow>& rows) {
    QFile file(RoundDraftPath(ledgerLocation, month));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return ApplyRoundTable(rows, ParseRoundCsv(file.readAll()), true);
}
