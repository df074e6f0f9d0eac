#pragma once

// The nine tables as a transfer between the engines sees them, and the counting of both sides:
// shared by the copies (LedgerTransfer.cpp), the counts (LedgerFigures.cpp) and the fresh start
// (LedgerFreshStart.cpp). Only data/ includes this.

#include "data/LedgerFigures.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <vector>

class ServerConnection;
struct sqlite3;

namespace transfer {

struct Column {
    QByteArray fileName;   // "TVfee"
    QByteArray serverName; // "tvfee"
    bool money = false;    // double precision on the server, REAL in the file
};

struct Table {
    const char* fileName; // "USER"
    QByteArray serverName;
    std::vector<Column> columns;
    bool identity = false; // the first column is an id the server numbers ("id" of an identity)
    QList<int> moneyColumns() const;
};

QByteArray quoted(const QByteArray& name);
QByteArray columnList(const Table& t, bool server);

// A statement a file connection refused, as the engines' refusals are thrown elsewhere.
[[noreturn]] void throwFile(sqlite3* db);

// The nine tables as both sides have them: the columns the program reads, which must carry the
// same names (the server's in lower case) in the same order on both.
std::vector<Table> describeTables(ServerConnection& server, sqlite3* file);

// The next id SQLite's AUTOINCREMENT would hand out, less one: ids of deleted rows are never
// handed out again, even those above the last row left.
qint64 fileSequence(sqlite3* db, const char* table);

// The table as a statement names it, in the schema given or the search path's.
QByteArray tableName(const Table& t, const QByteArray& schema = QByteArray());

// The id the server hands out next for the table's identity column.
qint64 nextServerId(ServerConnection& server, const Table& t, const QByteArray& schema = QByteArray());

// Makes the server hand out next as the table's next id. Unlike setval(), a restart belongs to the
// transaction: a copy rolled back leaves the old sequence behind.
void restartIds(ServerConnection& server, const Table& t, qint64 next,
                const QByteArray& schema = QByteArray());

// "账本：" and the ledger named for the operator.
QString location(const QString& where);

// ---- counting

// A number cell's text parsed whole, as the program's readers take the server's numbers.
std::optional<double> parseNumber(const char* text, int length);
bool isBlank(const char* text, int length);

// Counts one table as its rows go by.
struct Counter {
    TableFigures figures;
    QList<int> money;

    explicit Counter(const Table& t);
    // The k-th money column of the row: nothing (NULL), a number, or something else.
    void addNumber(int k, double value);
    void addOdd(int k);
};

// The counts of the server's tables as they are now (inside the caller's transaction).
LedgerFigures countServer(ServerConnection& server, const std::vector<Table>& tables);
// The same of a ledger file; the blank texts a number column may hold read as NULL, as they are
// copied.
LedgerFigures countFile(sqlite3* file, const std::vector<Table>& tables);

// "收据 12 张，租户 3 个，用户 2 个"
QString contentsText(const LedgerFigures& f);
// What the counts compare, for the operator.
QString comparedText();

} // namespace transfer
