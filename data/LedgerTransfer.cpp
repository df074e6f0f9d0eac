#include "data/LedgerTransfer.h"
#include "data/Database.h"
#include "data/DbError.h"
#include "data/LedgerLocation.h"
#include "data/LedgerSchema.h"
#include "data/LedgerSnapshot.h"
#include "data/LedgerUpgrade.h"
#include "data/PasswordHash.h"
#include "data/ServerConnection.h"
#include "data/ServerLedger.h"
#include "data/TransferTables.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <charconv>
#include <cmath>
#include <optional>
#include <vector>

#include <SQLiteCpp/Database.h>
#include <libpq-fe.h>
#include <sqlite3.h>

using namespace transfer;

namespace {

// ---- reading and writing values -------------------------------------------------------------------

// The shortest text that reads back as the same double; the server's words for the others.
QByteArray numberText(double value) {
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value > 0 ? "Infinity" : "-Infinity";
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    return QByteArray(buf, int(r.ptr - buf));
}

// A cell of a file row as the server's COPY text takes it: \N for NULL, backslash escapes.
void appendCopyText(QByteArray& out, const char* text, int length) {
    for (int i = 0; i < length; ++i) {
        const char c = text[i];
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += c;
        }
    }
}

[[noreturn]] void throwServer(pg_conn* conn, pg_result* r) {
    const bool lost = PQstatus(conn) != CONNECTION_OK;
    const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    QString text = r ? QString::fromUtf8(PQresultErrorMessage(r)).trimmed() : QString();
    if (text.isEmpty())
        text = QString::fromUtf8(PQerrorMessage(conn)).trimmed();
    const int code = ServerErrorCode(state, lost);
    PQclear(r);
    throw DbError(text, code);
}

// COPY ... FROM STDIN of one table, fed row by row.
class CopyIn {
public:
    CopyIn(ServerConnection& server, const Table& t) : m_conn(server.handle()) {
        // Straight on the connection: inside the caller's transaction a lost connection must fail
        // the copy, never be made again behind its back.
        pg_result* r =
            PQexec(m_conn, "copy " + quoted(t.serverName) + " (" + columnList(t, true) + ") from stdin");
        if (PQresultStatus(r) != PGRES_COPY_IN)
            throwServer(m_conn, r);
        PQclear(r);
    }
    ~CopyIn() {
        // Left by an exception: the copy is ended as failed, the transaction with it.
        if (m_conn) {
            PQputCopyEnd(m_conn, "abandoned");
            while (pg_result* r = PQgetResult(m_conn))
                PQclear(r);
        }
    }
    QByteArray& buffer() { return m_buffer; }
    void endRow() {
        m_buffer += '\n';
        if (m_buffer.size() > (1 << 20))
            flush();
    }
    void finish() {
        flush();
        pg_conn* conn = std::exchange(m_conn, nullptr);
        if (PQputCopyEnd(conn, nullptr) != 1)
            throwServer(conn, nullptr);
        pg_result* failed = nullptr;
        while (pg_result* r = PQgetResult(conn)) {
            if (PQresultStatus(r) != PGRES_COMMAND_OK && !failed)
                failed = r;
            else
                PQclear(r);
        }
        if (failed)
            throwServer(conn, failed);
    }

private:
    void flush() {
        if (!m_buffer.isEmpty() && PQputCopyData(m_conn, m_buffer.constData(), int(m_buffer.size())) != 1)
            throwServer(m_conn, nullptr);
        m_buffer.clear();
    }
    pg_conn* m_conn;
    QByteArray m_buffer;
};

// A text cell of the file the server cannot store, named for the operator: the server itself
// would name only the line of its copy.
struct UnstorableText {
    QString message;
};

// Text the server takes: UTF-8 without NUL (SQLite stores any bytes it is given).
void checkStorableText(sqlite3_stmt* st, const Table& t, int column, const char* text, int length,
                       qint64 row) {
    const QByteArrayView bytes(text, length);
    const bool nul = bytes.contains('\0');
    if (!nul && bytes.isValidUtf8())
        return;
    const QString which = QString::fromUtf8(t.columns[std::size_t(column)].fileName);
    const auto cell = [st](int i) {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, i)));
    };
    const QString where =
        qstrcmp(t.fileName, "RECEIPT") == 0
            ? QStringLiteral("收据 %1（id %2）的 %3").arg(cell(1), cell(0), which)
            : QStringLiteral("表 %1 的第 %2 行%3的 %4")
                  .arg(QLatin1String(t.fileName))
                  .arg(row)
                  .arg(t.identity ? QStringLiteral("（id %1）").arg(cell(0)) : QString(), which);
    throw UnstorableText{
        where + (nul ? QStringLiteral(" 里有空字符（NUL）") : QStringLiteral(" 里有不是 UTF-8 的字节")) +
        QStringLiteral("，账本服务器不能保存这样的文字。请用其他工具改正这一栏后再试。")};
}

// Copies one table of the file into the server (whose table is empty) and counts the rows as
// they go. Returns the highest id copied.
qint64 copyTableToServer(sqlite3* file, ServerConnection& server, const Table& t, Counter& count) {
    QByteArray sql = "select " + columnList(t, false) + " from " + quoted(t.fileName) + " order by rowid";
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(file, sql.constData(), int(sql.size()), &st, nullptr) != SQLITE_OK)
        throwFile(file);
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(st, sqlite3_finalize);
    CopyIn copy(server, t);
    QByteArray& out = copy.buffer();
    qint64 maxId = 0;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        int k = 0;
        for (int i = 0; i < int(t.columns.size()); ++i) {
            if (i > 0)
                out += '\t';
            const int type = sqlite3_column_type(st, i);
            if (i == 0 && t.identity && type == SQLITE_INTEGER)
                maxId = std::max(maxId, qint64(sqlite3_column_int64(st, 0)));
            if (t.columns[std::size_t(i)].money) {
                const int slot = k++;
                std::optional<double> number;
                if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
                    number = sqlite3_column_double(st, i);
                } else if (type != SQLITE_NULL) {
                    const char* text = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
                    const int length = sqlite3_column_bytes(st, i);
                    if (isBlank(text, length)) {
                        out += "\\N";
                        continue;
                    }
                    number = parseNumber(text, length);
                    if (!number) {
                        // Not a number: the server is handed it as it is, and refuses it.
                        checkStorableText(st, t, i, text, length, count.figures.rows + 1);
                        count.addOdd(slot);
                        appendCopyText(out, text, length);
                        continue;
                    }
                }
                if (!number) {
                    out += "\\N";
                    continue;
                }
                count.addNumber(slot, *number);
                out += numberText(*number);
                continue;
            }
            switch (type) {
            case SQLITE_NULL:
                out += "\\N";
                break;
            case SQLITE_INTEGER:
                out += QByteArray::number(qint64(sqlite3_column_int64(st, i)));
                break;
            case SQLITE_FLOAT:
                out += numberText(sqlite3_column_double(st, i));
                break;
            default: {
                const char* text = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
                const int length = sqlite3_column_bytes(st, i);
                checkStorableText(st, t, i, text, length, count.figures.rows + 1);
                appendCopyText(out, text, length);
            }
            }
        }
        copy.endRow();
        ++count.figures.rows;
    }
    if (rc != SQLITE_DONE)
        throwFile(file);
    copy.finish();
    return maxId;
}

// ---- the two sides ------------------------------------------------------------------------------

// A connection to the server ledger at uri, or the text of why there is none.
std::shared_ptr<ServerConnection> connect(const QString& uri, TransferResult& r, TransferProblem problem) {
    QString detail;
    LedgerProblem lp = LedgerProblem::None;
    auto server = ServerConnection::acquire(uri, lp, detail);
    // A whole ledger may take the server longer than a clerk's statement may.
    try {
        if (server)
            server->allowLongWork();
    } catch (const DbError& e) {
        server.reset();
        lp = LedgerProblem::Unreachable;
        detail = e.engineText();
    }
    if (!server) {
        r.problem = problem;
        r.ledgerProblem = lp;
        r.detail = detail;
        r.message = LedgerProblemText(lp, uri, detail);
    }
    return server;
}

// The text for a source that cannot be used.
void sourceUnusable(TransferResult& r, LedgerProblem problem, const QString& path) {
    r.problem = TransferProblem::SourceUnusable;
    r.ledgerProblem = problem;
    r.message = problem == LedgerProblem::Newer
                    ? LedgerProblemText(problem, path)
                    : QStringLiteral("所选文件不是有效的账本数据库，未做任何更改。\n文件：") +
                          QDir::toNativeSeparators(path);
}

// Copies the open file ledger into the server ledger behind server. The caller has made sure the
// file reads as one state (a read transaction, or a private copy). emptyOnly: the migration,
// which makes the tables where there are none and never overwrites a ledger's data; otherwise
// the restore, which replaces a ledger.
bool copyIntoServer(sqlite3* file, ServerConnection& server, const QString& uri, bool emptyOnly,
                    TransferResult& r) {
    try {
        server.begin();
        server.exec(kServerWriteLockSql);
        QString detail;
        const LedgerProblem found = ExamineServerLedger(server, &detail);
        if (found == LedgerProblem::NotInitialised && emptyOnly) {
            CreateServerLedgerTables(server);
        } else if (found != LedgerProblem::None) {
            server.rollback();
            r.problem = TransferProblem::TargetUnusable;
            r.ledgerProblem = found;
            r.detail = detail;
            r.message = LedgerProblemText(found, uri, detail);
            return false;
        } else if (emptyOnly) {
            const auto n =
                server.exec("select (select count(*) from receipt), (select count(*) from client), "
                            "(select count(*) from addr_items) + (select count(*) from people_items) + "
                            "(select count(*) from remark_items)");
            const qint64 receipts = std::atoll(PQgetvalue(n->result, 0, 0)),
                         tenants = std::atoll(PQgetvalue(n->result, 0, 1)),
                         items = std::atoll(PQgetvalue(n->result, 0, 2));
            if (receipts + tenants + items > 0) {
                server.rollback();
                r.problem = TransferProblem::TargetNotEmpty;
                r.message = QStringLiteral("服务器上的这个数据库里已经有账本数据（收据 %1 张，租户 %2 个，"
                                           "常用项目 %3 条），为免覆盖，没有迁移，数据库未做任何改动。\n")
                                .arg(receipts)
                                .arg(tenants)
                                .arg(items) +
                            location(uri) +
                            QStringLiteral("\n请换一个空的数据库（可请管理员用 createdb 新建）。");
                return false;
            }
        }
        const std::vector<Table> tables = describeTables(server, file);
        for (const Table& t : tables)
            server.exec("delete from " + quoted(t.serverName));
        for (const Table& t : tables) {
            Counter count(t);
            const qint64 maxId = copyTableToServer(file, server, t, count);
            r.source.append(count.figures);
            // After the highest id the file ever handed out, not merely the highest left.
            if (t.identity)
                restartIds(server, t, std::max(maxId, fileSequence(file, t.fileName)) + 1);
        }
        // A ledger of an earlier version kept its users' passwords as typed: they arrive hashed.
        if (LedgerUserVersion(file) < kLedgerSchemaVersion)
            HashStoredPasswords(server);
        r.target = countServer(server, tables);
        if (r.source != r.target) {
            server.rollback();
            r.problem = TransferProblem::Mismatch;
            return false;
        }
        server.commit();
        return true;
    } catch (const DbError& e) {
        server.rollback();
        r.problem = TransferProblem::Refused;
        r.detail = e.engineText();
        r.message = e.message();
        return false;
    } catch (const UnstorableText& e) {
        server.rollback();
        r.problem = TransferProblem::Refused;
        r.detail = e.message;
        r.message = e.message;
        return false;
    }
}

// ---- a new ledger file ------------------------------------------------------------------------

void execFile(sqlite3* db, const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        throwFile(db);
}

// The server's high-water mark in the new file, so that a restore of the file hands out the ids
// the server would have.
void keepServerSequence(ServerConnection& server, sqlite3* file, const Table& t, qint64 maxId) {
    const qint64 seq = std::max(maxId, nextServerId(server, t) - 1);
    // SQLite has written its own row for the table by now; the mark replaces it.
    sqlite3_stmt* q = nullptr;
    if (sqlite3_prepare_v2(file, "update sqlite_sequence set seq = ?2 where name = ?1", -1, &q, nullptr) !=
        SQLITE_OK)
        throwFile(file);
    sqlite3_bind_text(q, 1, t.fileName, -1, SQLITE_STATIC);
    sqlite3_bind_int64(q, 2, seq);
    int rc = sqlite3_step(q);
    sqlite3_finalize(q);
    if (rc == SQLITE_DONE && sqlite3_changes(file) == 0 && seq > 0) {
        if (sqlite3_prepare_v2(file, "insert into sqlite_sequence (name, seq) values (?1, ?2)", -1, &q,
                               nullptr) != SQLITE_OK)
            throwFile(file);
        sqlite3_bind_text(q, 1, t.fileName, -1, SQLITE_STATIC);
        sqlite3_bind_int64(q, 2, seq);
        rc = sqlite3_step(q);
        sqlite3_finalize(q);
    }
    if (rc != SQLITE_DONE)
        throwFile(file);
}

// Copies the server's tables into the new ledger file (its default rows gone), counting the
// server's rows as they go.
void copyServerIntoFile(ServerConnection& server, sqlite3* file, const std::vector<Table>& tables,
                        LedgerFigures& source) {
    for (const Table& t : tables) {
        const auto r = server.exec("select " + columnList(t, true) + " from " + quoted(t.serverName) +
                                   (t.identity ? " order by id" : ""));
        QByteArray sql = "insert into " + quoted(t.fileName) + " (" + columnList(t, false) + ") values (";
        for (std::size_t i = 0; i < t.columns.size(); ++i)
            sql += i == 0 ? "?" : ", ?";
        sql += ')';
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(file, sql.constData(), int(sql.size()), &st, nullptr) != SQLITE_OK)
            throwFile(file);
        std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(st, sqlite3_finalize);
        Counter count(t);
        qint64 maxId = 0;
        for (int row = 0; row < r->rows; ++row) {
            sqlite3_reset(st);
            int k = 0;
            for (int i = 0; i < int(t.columns.size()); ++i) {
                const bool money = t.columns[std::size_t(i)].money;
                const int slot = money ? k++ : -1;
                if (PQgetisnull(r->result, row, i)) {
                    sqlite3_bind_null(st, i + 1);
                    continue;
                }
                const char* text = PQgetvalue(r->result, row, i);
                const int length = PQgetlength(r->result, row, i);
                const Oid type = PQftype(r->result, i);
                if (type == 701 || type == 700) {
                    const auto v = parseNumber(text, length);
                    if (v && std::isnan(*v)) {
                        // SQLite has no NaN: it would store NULL.
                        throw DbError(QStringLiteral("%1.%2 holds NaN")
                                          .arg(QLatin1String(t.fileName),
                                               QString::fromUtf8(t.columns[std::size_t(i)].fileName)));
                    }
                    if (v)
                        sqlite3_bind_double(st, i + 1, *v);
                    else
                        sqlite3_bind_text(st, i + 1, text, length, SQLITE_TRANSIENT);
                    if (slot >= 0) {
                        if (v)
                            count.addNumber(slot, *v);
                        else
                            count.addOdd(slot);
                    }
                } else if (type == 20 || type == 21 || type == 23) {
                    const qint64 v = std::atoll(text);
                    sqlite3_bind_int64(st, i + 1, v);
                    if (i == 0 && t.identity)
                        maxId = std::max(maxId, v);
                } else {
                    sqlite3_bind_text(st, i + 1, text, length, SQLITE_TRANSIENT);
                }
            }
            if (sqlite3_step(st) != SQLITE_DONE)
                throwFile(file);
            ++count.figures.rows;
        }
        source.append(count.figures);
        if (t.identity)
            keepServerSequence(server, file, t, maxId);
    }
}

// Writes the server ledger into the new ledger file at partPath and counts both sides. False when
// the file is not to be kept: r says why (for SourceUnusable with the whole text).
bool writeServerLedgerFile(ServerConnection& server, const QString& uri, const QString& partPath,
                           TransferResult& r) {
    bool ok = false;
    try {
        // One snapshot of the server ledger: what the clerks commit meanwhile is in neither the copy
        // nor its counts.
        server.begin("begin transaction isolation level repeatable read, read only");
        QString detail;
        int version = -1;
        if (const LedgerProblem found = ExamineServerLedger(server, &detail, &version);
            found != LedgerProblem::None) {
            server.rollback();
            r.problem = TransferProblem::SourceUnusable;
            r.ledgerProblem = found;
            r.message = LedgerProblemText(found, uri, detail);
            return false;
        }
        {
            LedgerFileConnection file;
            if (!file.open(partPath, SQLITE_OPEN_READWRITE))
                throwFile(file.db);
            execFile(file.db, kLedgerSchemaSql);
            execFile(file.db,
                     "begin immediate; delete from USER_SET; delete from price; delete from sqlite_sequence");
            const std::vector<Table> tables = describeTables(server, file.db);
            copyServerIntoFile(server, file.db, tables, r.source);
            // The file is of this build's version: passwords of an earlier server ledger are hashed.
            if (version < kLedgerSchemaVersion)
                HashStoredPasswords(file.db);
            execFile(file.db, "commit");
            server.rollback();
            r.target = countFile(file.db, tables);
            ok = LedgerIntegrityOk(file.db);
        }
        if (r.source != r.target) {
            r.problem = TransferProblem::Mismatch;
            ok = false;
        }
    } catch (const DbError& e) {
        server.rollback();
        r.problem = TransferProblem::Refused;
        r.detail = e.engineText();
        r.message = e.message();
        ok = false;
    }
    return ok;
}

// The whole text of a backup of a server ledger, what happened to it said first.
void tellBackup(TransferResult& r, const QString& where) {
    if (r.ok)
        r.message =
            QStringLiteral("数据库备份成功!\n") + where +
            QStringLiteral("\n备份中有%1，各表行数和金额合计与账本一致。").arg(contentsText(r.target));
    else if (r.problem == TransferProblem::Mismatch)
        r.message = QStringLiteral("数据库备份不成功!备份文件与账本核对不一致，没有保存。\n") + where +
                    QStringLiteral("\n\n") + comparedText() + QStringLiteral("\n") +
                    FiguresReport(r.source, r.target);
    else if (r.problem == TransferProblem::Refused)
        r.message = QStringLiteral("数据库备份不成功!\n") + where + QStringLiteral("\n\n") + r.message;
    else if (r.problem == TransferProblem::None) {
        r.problem = TransferProblem::TargetUnusable;
        r.message = QStringLiteral("数据库备份不成功!备份文件无法写入或保存。\n") + where;
    }
}

} // namespace

TransferResult CopyLedgerFileToServer(const QString& file, const QString& uri) {
    TransferResult r;
    if (const LedgerProblem p = InspectLedgerFile(file); p != LedgerProblem::None) {
        r.problem = TransferProblem::SourceUnusable;
        r.ledgerProblem = p;
        r.message = LedgerProblemText(p, file);
        return r;
    }
    LedgerFileConnection source;
    // The read transaction holds the file's shared lock: its writers wait until the copy is counted.
    if (!source.open(file, SQLITE_OPEN_READONLY) ||
        sqlite3_exec(source.db, "begin", nullptr, nullptr, nullptr) != SQLITE_OK ||
        ExamineLedger(source.db) != LedgerProblem::None || !LedgerIntegrityOk(source.db)) {
        r.problem = TransferProblem::SourceUnusable;
        r.ledgerProblem = source.db ? ExamineLedger(source.db) : LedgerProblem::ReadOnly;
        if (r.ledgerProblem == LedgerProblem::None)
            r.ledgerProblem = LedgerProblem::Damaged;
        r.message = LedgerProblemText(r.ledgerProblem, file);
        return r;
    }
    auto server = connect(uri, r, TransferProblem::TargetUnusable);
    if (!server)
        return r;
    r.ok = copyIntoServer(source.db, *server, uri, true, r);
    const QString where = QStringLiteral("从：") + QDir::toNativeSeparators(file) + QStringLiteral("\n到：") +
                          LedgerLocation::describe(uri);
    if (r.ok)
        r.message = QStringLiteral("已迁移：%1，各表行数一致，金额合计一致。\n").arg(contentsText(r.source)) +
                    where + QStringLiteral("\n\n") + comparedText() + QStringLiteral("\n") +
                    FiguresReport(r.source, r.target);
    else if (r.problem == TransferProblem::Mismatch)
        r.message = QStringLiteral("迁移后核对不一致，已全部撤销，服务器上的数据库未做任何改动。\n") + where +
                    QStringLiteral("\n\n") + comparedText() + QStringLiteral("\n") +
                    FiguresReport(r.source, r.target);
    else if (r.problem == TransferProblem::Refused)
        r.message = QStringLiteral("迁移没有完成，已全部撤销，服务器上的数据库未做任何改动。\n") + where +
                    QStringLiteral("\n\n") + r.message;
    return r;
}

TransferResult CopyServerLedgerToFile(const QString& uri, const QString& target) {
    TransferResult r;
    auto server = connect(uri, r, TransferProblem::SourceUnusable);
    if (!server)
        return r;
    const QString where = location(uri) + QStringLiteral("\n备份文件：") + QDir::toNativeSeparators(target);
    const QFileInfo info(target);
    QTemporaryFile part(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                        QStringLiteral(".XXXXXX"));
    part.setAutoRemove(false);
    if (info.isDir() || !part.open()) {
        r.problem = TransferProblem::TargetUnusable;
        r.ledgerProblem = LedgerProblem::ReadOnly;
        r.message = QStringLiteral("数据库备份不成功!无法在这个位置写入备份文件。\n") + where;
        return r;
    }
    const QString partPath = part.fileName();
    part.close();
    bool ok = writeServerLedgerFile(*server, uri, partPath, r);
    if (r.problem == TransferProblem::SourceUnusable) {
        QFile::remove(partPath);
        return r;
    }
    ok =
        ok && IsLedgerFile(partPath) && QFile::setPermissions(partPath, QFile::ReadOwner | QFile::WriteOwner);
    // A journal under the target's name belongs to the file that was there, never to this copy.
    if (ok && QFile::exists(LedgerJournalPath(target)))
        ok = QFile::remove(LedgerJournalPath(target));
    ok = ok && ReplaceLedgerFile(partPath, target);
    if (!ok) {
        QFile::remove(partPath);
        QFile::remove(LedgerJournalPath(partPath));
    }
    r.ok = ok;
    tellBackup(r, where);
    return r;
}

TransferResult RestoreLedgerFileIntoServer(const QString& source, const QString& uri) {
    TransferResult r;
    if (const LedgerProblem p = InspectLedgerFile(source); p != LedgerProblem::None) {
        sourceUnusable(r, p, source);
        return r;
    }
    LedgerSnapshot snapshot(QDir::temp().filePath(QStringLiteral("rentbook-restore-XXXXXX")));
    if (!snapshot.open(source)) {
        sourceUnusable(r, LedgerProblem::Damaged, source);
        return r;
    }
    auto server = connect(uri, r, TransferProblem::TargetUnusable);
    if (!server)
        return r;
    r.ok = copyIntoServer(snapshot.db(), *server, uri, false, r);
    const QString where = location(uri) + QStringLiteral("\n备份文件：") + QDir::toNativeSeparators(source);
    if (r.ok)
        r.message =
            QStringLiteral("数据库恢复成功!\n") + where +
            QStringLiteral("\n账本现有%1，各表行数和金额合计与备份文件一致。").arg(contentsText(r.target));
    else if (r.problem == TransferProblem::Mismatch)
        r.message = QStringLiteral("数据库恢复不成功!恢复后核对不一致，已全部撤销，账本未做任何改动。\n") +
                    where + QStringLiteral("\n\n") + comparedText() + QStringLiteral("\n") +
                    FiguresReport(r.source, r.target);
    else if (r.problem == TransferProblem::Refused)
        r.message = QStringLiteral("数据库恢复不成功!已全部撤销，账本未做任何改动。\n") + where +
                    QStringLiteral("\n\n") + r.message;
    return r;
}

TransferResult BackupLedger(Database& db, const QString& target) {
    if (db.server())
        return CopyServerLedgerToFile(db.path(), target);
    TransferResult r;
    r.ok = db.handle() && BackupLedgerTo(db.handle()->getHandle(), target);
    if (!r.ok)
        r.problem = TransferProblem::Refused;
    return r;
}

TransferResult RestoreLedger(Database& db, const QString& source) {
    if (db.server())
        return RestoreLedgerFileIntoServer(source, db.path());
    TransferResult r;
    r.ok = db.handle() && RestoreLedgerInto(db.handle()->getHandle(), source);
    if (!r.ok)
        r.problem = TransferProblem::Refused;
    return r;
}
