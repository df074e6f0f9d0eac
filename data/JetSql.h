#pragma once

// The program's statements are written in the dialect an Access ledger understood. These helpers
// turn them into SQLite statements and build the pieces that typed values become.

#include <QDateTime>
#include <QString>

#include <optional>

namespace jet {

// Parses date text as the ledger accepts it: "2026-12-06", "2026-12-6 9:5:3",
// "2026-12-06  9: 5: 3", "2026/12/06 09:05". Nothing else.
std::optional<QDateTime> parseDate(const QString& text);

// "YYYY-MM-DD HH:MM:SS", the form every date column holds.
QString normaliseDate(const QDateTime& dt);

// Rewrites a statement for SQLite: #date# literals, select top N, delete * from. Quoted texts
// and bracketed names pass unchanged. Throws DbError for a date literal that is no date.
QString translate(const QString& statement);

// Doubles single quotes: the one way typed text enters a statement between quotes.
QString quote(const QString& text);

// "%.2f" of a value for a statement; a value that is no finite number counts 0.
QString number2(double value);

} // namespace jet
