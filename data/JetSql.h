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

// The engines a statement is written for.
enum class Dialect { SQLite, PostgreSQL };

// Rewrites a statement for the engine: #date# literals, select top N, delete * from. Quoted texts
// pass unchanged. For SQLite bracketed names pass unchanged too; for PostgreSQL they become quoted
// lower-case names (the server ledger's names are the lower-case forms), the table USER is
// quoted (a bare "user" is a function there), like ignores letter case as SQLite's does, a
// subquery in a from clause gets the name the server insists on, cast(x as real|integer) reads
// text as SQLite does (the server ledger's rentbook_real and rentbook_integer), and
// "= 'text' collate nocase" becomes a case-blind ilike of the text taken literally, and SQLite's
// date(x, modifier) becomes the server ledger's rentbook_day. The server ledger defines max() and
// min() of two values itself. Throws DbError for a date literal that is no date.
QString translate(const QString& statement, Dialect dialect = Dialect::SQLite);

// Doubles single quotes: the one way typed text enters a statement between quotes.
QString quote(const QString& text);

// "%.2f" of a value for a statement; a value that is no finite number counts 0.
QString number2(double value);

// The text without control characters (those below a blank, DEL and U+0080 to U+009F) other than
// tab and line feed, and carriage return when keepReturns: what a ledger holds the same on either
// engine. Text without any comes back as it was, unchanged and uncopied.
QString withoutControlCharacters(const QString& text, bool keepReturns = false);
// Whether withoutControlCharacters drops the character.
bool isControlCharacter(QChar c, bool keepReturns = false);

} // namespace jet
