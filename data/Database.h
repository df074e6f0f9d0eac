#pragma once

// A connection to the ledger: the SQLite file, or a ledger on a PostgreSQL server (see
// LedgerLocation). It opens an existing ledger read-write and never creates one; statements are
// written in the ledger's Jet dialect and translated for the engine on the way in, their values
// bound beside them (SqlStatement); every value comes back as text, in the same form from either
// engine.

#include "data/DbError.h"
#include "data/LedgerFile.h"
#include "data/SqlStatement.h"

#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <vector>

class ServerConnection;
struct ServerResult;
struct ServerStatement;
struct FileSession;
struct sqlite3;
struct sqlite3_stmt;

namespace SQLite {
class Database;
class Statement;
} // namespace SQLite

// Where the ledger lives: "Rentbook.rbk" in the program directory unless set otherwise; a server
// address for a server ledger.
namespace DataSource {
QString name(); // "Rentbook"
QString ledgerPath();
void setLedgerPath(const QString& path);
} // namespace DataSource

// Ends a statement of the file: a statement its connection keeps is reset and handed back (busy
// points at its flag), any other is finalized.
struct StatementEnd {
    bool* busy = nullptr;
    void operator()(sqlite3_stmt* st) const;
};

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

    using Finalizer = StatementEnd;

private:
    friend class Database;
    Recordset(struct sqlite3_stmt* statement, std::shared_ptr<FileSession> connection, bool* busy);
    explicit Recordset(std::shared_ptr<ServerResult> result);
    // The connection stays open while its statement lives, even when the Database that made it
    // is closed first (a closed connection with a live statement would be refused by the engine).
    std::shared_ptr<FileSession> m_connection;
    std::unique_ptr<sqlite3_stmt, Finalizer> m_stmt;
    sqlite3* m_db = nullptr;
    // Text of REAL cells of the current row, made here rather than by SQLite's printf.
    mutable std::vector<std::array<char, 32>> m_realText;
    bool m_eof = true;
    // A server ledger's rows, held whole; m_row is the current one.
    std::shared_ptr<ServerResult> m_server;
    int m_row = 0;
};

class Database {
public:
    Database();
    explicit Database(const QString& path);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // False when the file is missing, unreadable, read-only, not a ledger, damaged or made by a
    // newer build, or the server cannot be reached or refuses; problem() then says which, and
    // problemText() says it to the operator.
    bool open();
    LedgerProblem problem() const { return m_problem; }
    QString problemText() const;
    bool isOpen() const { return m_file != nullptr || m_server != nullptr; }
    void close();
    // The ledger's location: the file's path or the server's address.
    QString path() const { return m_path; }
    bool isServer() const;

    // Every call runs one statement: a text holding a second one is refused with DbError (none of
    // it runs), as is a statement whose "?" marks do not match its values.

    // Runs a change; throws DbError. Returns the number of rows changed.
    int execute(const SqlStatement& statement);
    int execute(const QString& text, const SqlValues& values = {}) {
        return execute(SqlStatement(text, values));
    }
    // Runs one insert of one row into a table whose key is its "id" column (RECEIPT, client, USER,
    // price) and returns the key the row got (0 when it made no row); throws DbError. The
    // statement ends with its values (no closing semicolon): on a server ledger the key is asked
    // for by appending to it.
    long long insert(const SqlStatement& statement);
    long long insert(const QString& text, const SqlValues& values = {}) {
        return insert(SqlStatement(text, values));
    }
    // Runs a query forward-only; throws DbError.
    Recordset query(const SqlStatement& statement);
    Recordset query(const QString& text, const SqlValues& values = {}) {
        return query(SqlStatement(text, values));
    }

    // The SQLite connection; null for a server ledger.
    SQLite::Database* handle() const;
    // The server connection; null for a ledger file.
    ServerConnection* server() const { return m_server.get(); }

private:
    friend class Transaction;
    bool openServer(const QString& uri);
    bool openFile(const QString& path);
    Recordset::Finalizer prepareOnFile(const SqlStatement& statement, sqlite3_stmt*& prepared);
    ServerStatement onServer(const SqlStatement& statement) const;
    QString m_path;
    std::shared_ptr<FileSession> m_file;
    std::shared_ptr<ServerConnection> m_server;
    LedgerProblem m_problem = LedgerProblem::None;
    QString m_problemDetail;
};

// One transaction that takes the ledger's write lock at once, so that what is read inside stays
// true until the commit (on a server, for every clerk whose writes take it too); rolled back
// unless committed. Waiting for another writer gives up after a few seconds with DbError.
class Transaction {
public:
    explicit Transaction(Database& db); // throws DbError
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    // Throws DbError when the transaction did not commit, or when a lost answer to the commit left
    // it unknown (kServerCommitUnknown); see ServerConnection::commit.
    void commit();
    // How to tell that the transaction's changes are in the ledger as written (true), should a
    // server restart make the server's own word on a lost commit unsure.
    void setProof(std::function<bool(Database&)> proof) { m_proof = std::move(proof); }

private:
    Database& m_db;
    bool m_open = false;
    std::function<bool(Database&)> m_proof;
};

// The text of a REAL cell: "800", "0", "40.8", "12.35", the shortest exact form for other
// values; 0 (and nothing written) for a value that is no finite number. out holds 32 bytes.
int RealCellText(double value, char* out);

// The message for a ledger that cannot be opened.
QString cannotOpenDatabaseText();
