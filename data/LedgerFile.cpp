#include "data/LedgerFile.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QThread>

#include <cstdio>

#include <sqlite3.h>

namespace {

// The ledger's tables and the columns the program reads by position.
struct LedgerTable {
    const char* name;
    int columns;
};
constexpr LedgerTable kLedgerTables[] = {
    {"RECEIPT", 29}, {"USER", 4},       {"USER_SET", 12},    {"table2", 7},       {"price", 3},
    {"client", 16},  {"addr_items", 1}, {"people_items", 1}, {"remark_items", 1},
};

// Closes a connection of our own whatever way the function is left.
struct Connection {
    sqlite3* db = nullptr;
    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { sqlite3_close_v2(db); }
    bool open(const QString& path, int flags) {
        const QByteArray name = QFile::encodeName(path);
        if (sqlite3_open_v2(name.constData(), &db, flags, nullptr) != SQLITE_OK)
            return false;
        sqlite3_busy_timeout(db, 5000);
        return true;
    }
};

int columnCount(sqlite3* db, const char* table) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "select count(*) from pragma_table_info(?1)", -1, &st, nullptr) != SQLITE_OK)
        return -1;
    sqlite3_bind_text(st, 1, table, -1, SQLITE_STATIC);
    const int n = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int(st, 0) : -1;
    sqlite3_finalize(st);
    return n;
}

// One run of the backup API from source to destination. A lock held by another program is waited
// for a few seconds, as every other statement of the program waits.
bool runBackup(sqlite3* destination, sqlite3* source) {
    sqlite3_backup* backup = sqlite3_backup_init(destination, "main", source, "main");
    if (!backup)
        return false;
    int rc = SQLITE_OK;
    for (int attempt = 0; attempt < 100; ++attempt) {
        rc = sqlite3_backup_step(backup, -1);
        if (rc != SQLITE_BUSY)
            break;
        QThread::msleep(50);
    }
    const int finished = sqlite3_backup_finish(backup);
    return rc == SQLITE_DONE && finished == SQLITE_OK;
}

bool sameFile(const QString& a, const QString& b) {
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

// Puts the finished copy in the target's place; the target may exist.
bool replaceFile(const QString& from, const QString& to) {
#ifdef Q_OS_WIN
    QFile::remove(to);
    return QFile::rename(from, to);
#else
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#endif
}

} // namespace

bool IsLedgerFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile() || info.size() == 0)
        return false;
    Connection c;
    return c.open(path, SQLITE_OPEN_READONLY) && HasLedgerTables(c.db);
}

bool HasLedgerTables(sqlite3* db) {
    for (const LedgerTable& t : kLedgerTables)
        if (columnCount(db, t.name) < t.columns)
            return false;
    return true;
}

bool LedgerIntegrityOk(sqlite3* db) {
    sqlite3_stmt* st = nullptr;
    if (!db || sqlite3_prepare_v2(db, "pragma integrity_check", -1, &st, nullptr) != SQLITE_OK)
        return false;
    bool ok = sqlite3_step(st) == SQLITE_ROW &&
              qstrcmp(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "ok") == 0 &&
              sqlite3_step(st) == SQLITE_DONE;
    sqlite3_finalize(st);
    return ok;
}

QString LedgerJournalPath(const QString& path) {
    return path + QStringLiteral("-journal");
}

bool BackupLedgerTo(sqlite3* source, const QString& target) {
    if (!source)
        return false;
    const char* sourceName = sqlite3_db_filename(source, "main");
    // A copy onto the file itself would pull the ledger from under its own connection.
    if (sourceName && *sourceName && sameFile(QFile::decodeName(sourceName), target))
        return false;

    const QFileInfo info(target);
    // Made by QTemporaryFile, so the copy is the owner's alone from its first byte on.
    QTemporaryFile part(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                        QStringLiteral(".XXXXXX"));
    part.setAutoRemove(false);
    if (!part.open())
        return false;
    const QString partPath = part.fileName();
    part.close();

    bool ok = false;
    {
        Connection c;
        ok = c.open(partPath, SQLITE_OPEN_READWRITE) && runBackup(c.db, source) && LedgerIntegrityOk(c.db);
    }
    ok = ok && QFile::setPermissions(partPath, QFile::ReadOwner | QFile::WriteOwner);
    // A journal under the target's name belongs to the file that was there, never to this copy.
    if (ok && QFile::exists(LedgerJournalPath(target)))
        ok = QFile::remove(LedgerJournalPath(target));
    ok = ok && replaceFile(partPath, target);
    if (!ok) {
        QFile::remove(partPath);
        QFile::remove(LedgerJournalPath(partPath));
    }
    return ok;
}

bool CopyLedgerFile(const QString& source, const QString& target) {
    Connection c;
    return c.open(source, SQLITE_OPEN_READONLY) && BackupLedgerTo(c.db, target);
}

bool RestoreLedgerInto(sqlite3* destination, const QString& source) {
    if (!destination)
        return false;
    Connection c;
    if (!c.open(source, SQLITE_OPEN_READONLY) || !LedgerIntegrityOk(c.db))
        return false;
    return runBackup(destination, c.db) && LedgerIntegrityOk(destination);
}

bool CheckOutLedgerFile(const QString& path) {
    {
        Connection c;
        if (!c.open(path, SQLITE_OPEN_READWRITE))
            return false;
        if (sqlite3_exec(c.db, "begin exclusive; commit;", nullptr, nullptr, nullptr) != SQLITE_OK)
            return false;
    }
    const QString journal = LedgerJournalPath(path);
    if (QFile::exists(journal))
        QFile::remove(journal);
    return !QFile::exists(journal);
}
