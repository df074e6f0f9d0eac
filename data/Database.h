#pragma once

// A connection to the ledger file. It opens an existing ledger read-write and never creates one;
// statements are written in the ledger's Jet dialect and translated on the way in; every value
// comes back as text.

#include "data/DbError.h"
#include "data/LedgerFile.h"

#include <QString>

#include <array>
#include <memory>
#include <vector>

class QObject;
struct sqlite3;
struct sqlite3_stmt;

namespace SQLite {
class Database;
class Statement;
} // namespace SQLite

// Where the ledger lives: "Rentbook.rbk" in the program directory unless set otherwise.
namespace DataSource {
QString name(); // "Rentbook"
QString ledgerPath();
void setLedgerPath(const QString& path);
} // namespace DataSource

class Recordset {
public:
    Recordset();
    ~Recordset();
    Recordset(Recordset&&) noexcept;
    Recordset& operator=(Recordset&&) noexcept;

    bool isEOF() const { return m_eof; }
    void moveNext();
    // Column by position as text; NULL reads as empty text.
    QString field(int column) const;
    // Column by position as UTF-8 bytes, for readers that convert numbers themselves.
    const char* fieldUtf8(int column) const;
    // The same with its length in bytes.
    const char* fieldUtf8(int column, int& length) const;
    int fieldCount() const;
    void close();

private:
    friend class Database;
    struct Finalizer {
        void operator()(struct sqlite3_stmt* st) const;
    };
    Recordset(struct sqlite3_stmt* statement, std::shared_ptr<SQLite::Database> connection);
    // The connection stays open while its statement lives, even when the Database that made it
    // is closed first (a closed connection with a live statement would be refused by the engine).
    std::shared_ptr<SQLite::Database> m_connection;
    std::unique_ptr<sqlite3_stmt, Finalizer> m_stmt;
    sqlite3* m_db = nullptr;
    // Text of REAL cells of the current row, made here rather than by SQLite's printf.
    mutable std::vector<std::array<char, 32>> m_realText;
    bool m_eof = true;
};

class Database {
public:
    Database();
    explicit Database(const QString& path);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // False when the file is missing, unreadable, read-only, not a ledger, damaged or made by a
    // newer build; problem() then says which.
    bool open();
    // As open(), and shows "不能打开数据库" when that fails (a newer ledger is named as such).
    bool openOrReport(QObject* owner = nullptr);
    LedgerProblem problem() const { return m_problem; }
    bool isOpen() const { return m_db != nullptr; }
    void close();
    QString path() const { return m_path; }

    // Runs a change; throws DbError. Returns the number of rows changed.
    int execute(const QString& statement);
    // Runs a query forward-only; throws DbError.
    Recordset query(const QString& statement);

    // The key of the row the last insert on this connection made.
    long long lastInsertId() const;

    SQLite::Database* handle() const { return m_db.get(); }

private:
    QString m_path;
    std::shared_ptr<SQLite::Database> m_db;
    LedgerProblem m_problem = LedgerProblem::None;
};

// One transaction that takes the write lock at once; rolled back unless committed.
class Transaction {
public:
    explicit Transaction(Database& db); // throws DbError
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit(); // throws DbError

private:
    Database& m_db;
    bool m_open = false;
};

// The text of a REAL cell: "800", "0", "40.8", "12.35", the shortest exact form for other
// values; 0 (and nothing written) for a value that is no finite number. out holds 32 bytes.
int RealCellText(double value, char* out);

// The message for a ledger that cannot be opened.
QString cannotOpenDatabaseText();
