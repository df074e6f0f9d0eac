#pragma once

// The round on paper or a phone, and the round kept unfinished. A round goes out as a table in
// the export's code page (GB18030) that a spreadsheet or a phone fills: one line a room with its
// last readings and boxes for this month's; the filled table comes back in by room. The
// unfinished round is the same table with every box the operator typed, kept per ledger and
// month in the program's data folder (the ledger itself is not touched).

#include "meterround/MeterRound.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The table for paper or a phone: "房间", "租户" and the readings of the meters in use, the rooms
// not yet charged.
QList<QStringList> RoundReadingsTable(const QList<RoundRow>& rows, bool threeRow);
// The table of the rows typed in: every box the grid lets the operator type.
QList<QStringList> RoundDraftTable(const QList<RoundRow>& rows, bool threeRow);

struct RoundImport {
    int rooms = 0;            // rooms whose boxes were filled from the table
    QStringList unknownRooms; // rooms of the table not in the round
    QStringList chargedRooms; // rooms of the table charged already (left alone)
    QStringList badLines;     // "第N行：..." for lines that could not be read
    bool readable = false;    // a table with a heading the round knows
};

// The cells of a CSV text in GB18030 (UTF-8 with its byte-order mark is taken as well).
QList<QStringList> ParseRoundCsv(const QByteArray& bytes);

// Fills the round from a table by its heading's columns. Empty cells leave a box alone unless
// emptyClears (the unfinished round puts back what was typed, empty boxes too).
RoundImport ApplyRoundTable(QList<RoundRow>& rows, const QList<QStringList>& table, bool emptyClears = false);

// Where the unfinished round of a ledger and month is kept.
QString RoundDraftPath(const QString& ledgerLocation, const QDate& month);
// Writes the rows typed in (removes the file when there are none). False when it could not.
bool SaveRoundDraft(const QString& ledgerLocation, const QDate& month, const QList<RoundRow>& rows,
                    bool threeRow);
// Puts the kept round back into the rows; nothing when there is none.
RoundImport LoadRoundDraft(const QString& ledgerLocation, const QDate& month, QList<RoundRow>& rows);
