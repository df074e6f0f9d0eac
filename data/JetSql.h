#pragma once

// The program's statements are written in the dialect an Access ledger understood. These helpers
// turn them into statements of the ledger's engine and put values into the ledger's own forms.

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

// A statement as an engine gets it.
struct Translation {
    QString text;
    int placeholders = 0;           // the "?" marks outside quoted text and names
    bool severalStatements = false; // something other than blanks follows a ";"
};

// Rewrites a statement for the engine: select top N becomes a limit, delete * from a delete from.
// Quoted texts (and the server's dollar-quoted texts) pass unchanged. For SQLite bracketed names
// and "?" pass unchanged too; for PostgreSQL bracketed names become quoted lower-case names (the
// server ledger's names are the lower-case forms), the table USER is quoted (a bare "user" is a
// function there), like ignores letter case as SQLite's does, a subquery in a from clause gets the
// name the server insists on, cast(x as real|integer) reads text as SQLite does (the server
// ledger's rentbook_real and rentbook_integer), and each "?" becomes $1, $2, ... in order. The
// server ledger defines max() and min() of two values itself.
Translation translateStatement(const QString& statement, Dialect dialect);
QString translate(const QString& statement, Dialect dialect = Dialect::SQLite);

// Date text as a date column stores it (normaliseDate of parseDate); throws DbError for text that
// is no date.
QString dateParameter(const QString& text);

// Doubles single quotes, as a text literal written into a statement by hand needs. The program's
// statements never hold typed text: they bind it (SqlStatement).
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
