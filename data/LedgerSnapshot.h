#pragma once

// Whole-file helpers the ledger file's copies share: a connection of our own, a private snapshot of
// a ledger file to read from, and a finished file put in its place.

#include <QString>
#include <QTemporaryDir>

struct sqlite3;

// A connection of our own to a file, closed whatever way the function is left. A lock held by
// another program is waited for a few seconds, as every other statement of the program waits.
struct LedgerFileConnection {
    sqlite3* db = nullptr;
    LedgerFileConnection() = default;
    LedgerFileConnection(const LedgerFileConnection&) = delete;
    LedgerFileConnection& operator=(const LedgerFileConnection&) = delete;
    ~LedgerFileConnection();
    bool open(const QString& path, int flags);
};

// A private copy of a ledger file with its journal or WAL file (they are part of it), opened
// read-write. The file itself is left as it lies: opening it would roll a journal into it or leave
// WAL files beside it.
class LedgerSnapshot {
public:
    // folderTemplate: where the copy is made, as QTemporaryDir takes it ("…/.restore-XXXXXX").
    explicit LedgerSnapshot(const QString& folderTemplate);

    // False when the copy cannot be made whole or is no usable, healthy ledger.
    bool open(const QString& source);
    sqlite3* db() const { return m_connection.db; }

private:
    QTemporaryDir m_dir; // outlives the connection
    LedgerFileConnection m_connection;
};

// Puts a finished file in to's place; to may exist.
bool ReplaceLedgerFile(const QString& from, const QString& to);
