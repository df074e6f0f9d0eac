#include "data/LedgerFile.h"
#include "data/LedgerLocation.h"
#include "data/LedgerSnapshot.h"
#include "data/LedgerTables.h"
#include "data/LedgerUpgrade.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QThread>

#include <sqlite3.h>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

namespace {

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

// The engine's answer to a read, as a case of LedgerProblem.
LedgerProblem problemOfCode(int rc) {
    switch (rc & 0xff) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
        return LedgerProblem::None;
    case SQLITE_NOTADB:
        return LedgerProblem::NotLedger;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return LedgerProblem::Busy;
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return LedgerProblem::ReadOnly;
    default:
        return LedgerProblem::Damaged;
    }
}

// A file: address that opens the file as it lies: no locks, no journal rolled back, no WAL files.
QByteArray immutableUri(const QString& path) {
    QByteArray name = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    name.replace('%', "%25").replace('?', "%3f").replace('#', "%23");
    return "file:" + name + "?immutable=1";
}

// A copy of a file under a hidden temporary name in its own folder, so that it can be put back by
// a rename. Empty when it cannot be made whole.
QString hiddenCopy(const QString& path) {
    const QFileInfo info(path);
    QFile source(path);
    QTemporaryFile copy(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                        QStringLiteral(".XXXXXX"));
    copy.setAutoRemove(false);
    if (!source.open(QIODevice::ReadOnly) || !copy.open())
        return {};
    bool ok = true;
    while (ok && !source.atEnd()) {
        const QByteArray block = source.read(1 << 20);
        ok = !block.isEmpty() && copy.write(block) == block.size();
    }
    ok = ok && copy.flush() && copy.size() == source.size();
    if (!ok) {
        copy.remove();
        return {};
    }
    return copy.fileName();
}

// A journal the engine would roll back: one with a header (an empty or zeroed one is not).
bool journalToRollBack(const QString& journal) {
    QFile f(journal);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    char first = 0;
    return f.getChar(&first) && first != 0;
}

// Puts the copy made by hiddenCopy back under the original's name, with the original's
// permissions and modification time.
bool putBack(const QString& copy, const QString& path, QFile::Permissions permissions,
             const QDateTime& modified) {
    if (!ReplaceLedgerFile(copy, path))
        return false;
    QFile::setPermissions(path, permissions);
    QFile f(path);
    return f.open(QIODevice::ReadOnly) && f.setFileTime(modified, QFileDevice::FileModificationTime);
}

} // namespace

namespace {

// The same cases on a server ledger, where there is no file to move or to mend.
QString serverProblemText(LedgerProblem problem, const QString& uri, const QString& detail) {
    const LedgerLocation::ServerAddress a = LedgerLocation::serverAddress(uri);
    const QString host = a.host.isEmpty() ? QStringLiteral("本机") : a.host;
    QString what, todo;
    switch (problem) {
    case LedgerProblem::Unreachable:
        what = QStringLiteral("无法连接账本服务器 %1 的端口 %2：服务器没有应答。").arg(host, a.port);
        todo = QStringLiteral("请检查服务器是否开机、数据库服务是否已启动、网络是否连通，然后重试；"
                              "也可以改用本机的账本文件。");
        break;
    case LedgerProblem::PasswordNeeded:
        what = QStringLiteral("账本服务器 %1 要求用户 %2 输入密码。").arg(host, a.user);
        todo = QStringLiteral("请输入密码。");
        break;
    case LedgerProblem::PasswordWrong:
        what = QStringLiteral("账本服务器 %1 拒绝了用户 %2 的密码。").arg(host, a.user);
        todo = QStringLiteral("请重新输入密码。");
        break;
    case LedgerProblem::ServerRefused:
        what = QStringLiteral("账本服务器 %1 拒绝了连接：可能没有这个数据库或用户，或服务器不允许本机连接。")
                   .arg(host);
        todo = QStringLiteral("请管理员检查数据库、用户和服务器的 pg_hba.conf 设置。");
        break;
    case LedgerProblem::NotInitialised:
        what = QStringLiteral("这个数据库里还没有账本。");
        todo = QStringLiteral("管理员可以用“Rentbook --init-ledger 地址”在其中建立一个空账本。");
        break;
    case LedgerProblem::Newer:
        what = QStringLiteral("此账本由更新版本的程序创建，本程序不能打开它。账本未做任何改动。");
        todo = QStringLiteral("请使用创建它的更新版本的程序打开此账本。");
        break;
    case LedgerProblem::Busy:
        what = QStringLiteral("账本正被其他职员的操作占用，不能打开数据库。");
        todo = QStringLiteral("请稍后再试。");
        break;
    default:
        what = QStringLiteral("这个数据库里的表不是本程序的账本，不能打开数据库。数据库未做任何改动。");
        todo = QStringLiteral("请检查账本地址是否正确。");
        break;
    }
    QString text =
        what + QStringLiteral("\n账本：") + LedgerLocation::describe(uri) + QStringLiteral("\n") + todo;
    if (!detail.isEmpty())
        text += QStringLiteral("\n\n详细信息：") + detail;
    return text;
}

} // namespace

QString LedgerProblemText(LedgerProblem problem, const QString& path, const QString& detail) {
    if (problem != LedgerProblem::None && LedgerLocation::isServer(path))
        return serverProblemText(problem, path, detail);
    QString what, todo;
    switch (problem) {
    case LedgerProblem::None:
        return {};
    case LedgerProblem::Missing:
        what = QStringLiteral("找不到账本文件，不能打开数据库。");
        todo = QStringLiteral("请把账本或它的备份放到这个位置后重新启动程序。");
        break;
    case LedgerProblem::Folder:
        what = QStringLiteral("账本的位置上是一个文件夹，不是账本文件，不能打开数据库。");
        todo = QStringLiteral("请把这个文件夹移走或改名后重新启动程序。");
        break;
    case LedgerProblem::ReadOnly:
        what = QStringLiteral("账本文件是只读的，或者没有读写它的权限，不能打开数据库。");
        todo = QStringLiteral("请检查账本文件及其所在文件夹的读写权限后重新启动程序。");
        break;
    case LedgerProblem::NotLedger:
        what = QStringLiteral("这个文件不是本程序的账本，不能打开数据库。文件未做任何改动。");
        todo = QStringLiteral("请把它移走，换上正确的账本或它的备份后重新启动程序。");
        break;
    case LedgerProblem::Damaged:
        what = QStringLiteral("账本文件已损坏，不能打开数据库。文件未做任何改动。");
        todo = QStringLiteral("请用最近的备份替换这个文件后重新启动程序。");
        break;
    case LedgerProblem::Newer:
        what = QStringLiteral("此账本由更新版本的程序创建，本程序不能打开它。账本未做任何改动。");
        todo = QStringLiteral("请使用创建它的更新版本的程序打开此账本。");
        break;
    case LedgerProblem::Busy:
        what = QStringLiteral("账本文件正被其他程序使用，不能打开数据库。");
        todo = QStringLiteral("请关闭使用它的程序后重新启动本程序。");
        break;
    case LedgerProblem::StrayJournal:
        what =
            QStringLiteral("账本旁有一个日志文件，用它回滚后的账本不完整：它可能是别的程序异常退出时留下的，"
                           "不属于这个账本。账本和日志文件都已保持原样，没有打开数据库。");
        todo = QStringLiteral("日志文件：%1\n请把这个日志文件移到别处（或交给技术人员查看）后重新启动程序。")
                   .arg(QDir::toNativeSeparators(LedgerJournalPath(path)));
        break;
    case LedgerProblem::JournalUnsecured:
        what = QStringLiteral(
            "账本旁有一个未完成的日志文件，但无法先为账本和日志文件保存副本（磁盘已满或文件夹不可写），"
            "所以没有打开数据库。账本和日志文件都未做任何改动。");
        todo = QStringLiteral("请腾出磁盘空间或检查文件夹的写入权限后重新启动程序。");
        break;
    case LedgerProblem::Unreachable:
    case LedgerProblem::PasswordNeeded:
    case LedgerProblem::PasswordWrong:
    case LedgerProblem::ServerRefused:
    case LedgerProblem::NotInitialised:
        what = QStringLiteral("不能打开数据库。");
        break;
    }
    return what + QStringLiteral("\n账本：") + QDir::toNativeSeparators(path) + QStringLiteral("\n") + todo;
}

LedgerProblem ExamineLedger(sqlite3* db) {
    // The first read of the schema is where a file that is no database, or a damaged one, shows.
    const LedgerProblem read =
        problemOfCode(sqlite3_exec(db, "select count(*) from sqlite_master", nullptr, nullptr, nullptr));
    if (read != LedgerProblem::None)
        return read;
    // A newer build may have changed the tables: its version decides before they are looked at.
    if (LedgerUserVersion(db) > kLedgerSchemaVersion && columnCount(db, "RECEIPT") > 0)
        return LedgerProblem::Newer;
    return HasLedgerTables(db) ? LedgerProblem::None : LedgerProblem::NotLedger;
}

LedgerProblem InspectLedgerFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return LedgerProblem::Missing;
    if (info.isDir())
        return LedgerProblem::Folder;
    if (!info.isFile() || info.size() == 0)
        return LedgerProblem::NotLedger;
    sqlite3* db = nullptr;
    const int rc =
        sqlite3_open_v2(immutableUri(path).constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    const LedgerProblem problem = rc == SQLITE_OK ? ExamineLedger(db) : problemOfCode(rc);
    sqlite3_close_v2(db);
    return problem;
}

bool IsLedgerFile(const QString& path) {
    return InspectLedgerFile(path) == LedgerProblem::None;
}

bool IsSameFile(const QString& a, const QString& b) {
#ifdef Q_OS_WIN
    // Names on this platform's file systems ignore letter case.
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca.compare(QFileInfo(b).canonicalFilePath(), Qt::CaseInsensitive) == 0;
#else
    struct stat sa, sb;
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
#endif
}

LedgerProblem SettleLedgerJournal(const QString& path) {
    const QString journal = LedgerJournalPath(path);
    if (!QFileInfo(path).isFile() || !journalToRollBack(journal))
        return LedgerProblem::None;
    // Taken now: QFileInfo reads the file's status only when first asked.
    const QFile::Permissions ledgerPermissions = QFile::permissions(path),
                             journalPermissions = QFile::permissions(journal);
    const QDateTime ledgerModified = QFileInfo(path).lastModified(),
                    journalModified = QFileInfo(journal).lastModified();
    const QString ledgerCopy = hiddenCopy(path);
    const QString journalCopy = ledgerCopy.isEmpty() ? QString() : hiddenCopy(journal);
    if (journalCopy.isEmpty()) {
        if (!ledgerCopy.isEmpty())
            QFile::remove(ledgerCopy);
        return LedgerProblem::JournalUnsecured;
    }

    int rc = SQLITE_CANTOPEN;
    bool healthy = false;
    {
        LedgerFileConnection c;
        if (c.open(path, SQLITE_OPEN_READWRITE)) {
            // Taking the exclusive lock is what rolls the journal back; holding it keeps anyone
            // else from reading the result before it has been judged.
            rc = sqlite3_exec(c.db, "begin exclusive", nullptr, nullptr, nullptr);
            healthy = rc == SQLITE_OK && LedgerIntegrityOk(c.db) && HasLedgerTables(c.db);
            sqlite3_exec(c.db, "rollback", nullptr, nullptr, nullptr);
        }
    }
    // Refused before anything was rolled back: the file is someone else's just now, or cannot be
    // written; the open that follows reports it.
    const int primary = rc & 0xff;
    const bool untouched = primary == SQLITE_BUSY || primary == SQLITE_LOCKED || primary == SQLITE_READONLY ||
                           primary == SQLITE_CANTOPEN || primary == SQLITE_PERM;
    if (healthy || untouched) {
        QFile::remove(ledgerCopy);
        QFile::remove(journalCopy);
        return LedgerProblem::None;
    }
    putBack(ledgerCopy, path, ledgerPermissions, ledgerModified);
    putBack(journalCopy, journal, journalPermissions, journalModified);
    return LedgerProblem::StrayJournal;
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
    if (sourceName && *sourceName && IsSameFile(QFile::decodeName(sourceName), target))
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
        LedgerFileConnection c;
        ok = c.open(partPath, SQLITE_OPEN_READWRITE) && runBackup(c.db, source) && LedgerIntegrityOk(c.db);
    }
    ok = ok && QFile::setPermissions(partPath, QFile::ReadOwner | QFile::WriteOwner);
    // A journal under the target's name belongs to the file that was there, never to this copy.
    if (ok && QFile::exists(LedgerJournalPath(target)))
        ok = QFile::remove(LedgerJournalPath(target));
    ok = ok && ReplaceLedgerFile(partPath, target);
    if (!ok) {
        QFile::remove(partPath);
        QFile::remove(LedgerJournalPath(partPath));
    }
    return ok;
}

bool CopyLedgerFile(const QString& source, const QString& target) {
    LedgerFileConnection c;
    return c.open(source, SQLITE_OPEN_READONLY) && BackupLedgerTo(c.db, target);
}

bool RestoreLedgerInto(sqlite3* destination, const QString& source) {
    if (!destination || !QFileInfo(source).isFile())
        return false;
    // Opening the source itself would roll a journal into it or leave WAL files beside it. A copy
    // of it (with the journal or WAL file beside it, which are part of it) is opened instead, in
    // a folder beside the ledger, where there is room for the ledger anyway.
    const char* live = sqlite3_db_filename(destination, "main");
    const QString home = live && *live ? QFileInfo(QFile::decodeName(live)).absolutePath() : QDir::tempPath();
    LedgerSnapshot snapshot(home + QStringLiteral("/.restore-XXXXXX"));
    if (!snapshot.open(source))
        return false;
    // A backup of an earlier version comes in as this build's: passwords hashed, and the rest.
    if (!UpgradeLedger(snapshot.db()))
        return false;
    // The header of the source's first page is copied as it is: a source in WAL mode would turn
    // the ledger to WAL. Back to the rollback journal first (which also takes in the WAL's pages).
    sqlite3_stmt* st = nullptr;
    bool rollbackJournal =
        sqlite3_prepare_v2(snapshot.db(), "pragma journal_mode=delete", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW &&
        qstricmp(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "delete") == 0;
    sqlite3_finalize(st);
    return rollbackJournal && runBackup(destination, snapshot.db()) && LedgerIntegrityOk(destination);
}

bool CheckOutLedgerFile(const QString& path) {
    {
        LedgerFileConnection c;
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
