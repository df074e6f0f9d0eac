#include "data/LedgerTransfer.h"
#include "data/Database.h"
#include "data/DbError.h"
#include "data/LedgerLocation.h"
#include "data/LedgerSchema.h"
#include "data/LedgerTables.h"
#include "data/LedgerUpgrade.h"
#include "data/PasswordHash.h"
#include "data/ServerConnection.h"
#include "data/ServerLedger.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QUrl>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include <SQLiteCpp/Database.h>
#include <libpq-fe.h>
#include <sqlite3.h>

namespace {

// ---- the tables ---------------------------------------------------------------------------------

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
    QList<int> moneyColumns() const {
        QList<int> out;
        for (int i = 0; i < int(columns.size()); ++i)
            if (columns[std::size_t(i)].money)
                out << i;
        return out;
    }
};

QByteArray quoted(const QByteArray& name) {
    return '"' + name + '"';
}

QByteArray columnList(const Table& t, bool server) {
    QByteArray out;
    for (const Column& c : t.columns) {
        if (!out.isEmpty())
            out += ", ";
        out += quoted(server ? c.serverName : c.fileName);
    }
    return out;
}

// A statement a file connection refused, as the engines' refusals are thrown elsewhere.
[[noreturn]] void throwFile(sqlite3* db) {
    throw DbError(QString::fromUtf8(sqlite3_errmsg(db)), sqlite3_extended_errcode(db));
}

// The columns of a ledger table in a file, in their order.
std::vector<QByteArray> fileColumns(sqlite3* db, const char* table) {
    std::vector<QByteArray> out;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "select name from pragma_table_info(?1) order by cid", -1, &st, nullptr) !=
        SQLITE_OK)
        throwFile(db);
    sqlite3_bind_text(st, 1, table, -1, SQLITE_STATIC);
    while (sqlite3_step(st) == SQLITE_ROW)
        out.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    return out;
}

// The nine tables as both sides have them: the columns the program reads, which must carry the
// same names (the server's in lower case) in the same order on both.
std::vector<Table> describeTables(ServerConnection& server, sqlite3* file) {
    std::vector<Table> out;
    for (const LedgerTable& lt : kLedgerTables) {
        Table t;
        t.fileName = lt.name;
        t.serverName = QByteArray(lt.name).toLower();
        const auto r =
            server.exec("select column_name, data_type, is_identity from information_schema.columns "
                        "where table_schema = current_schema() and table_name = '" +
                        t.serverName + "' order by ordinal_position");
        const std::vector<QByteArray> names = fileColumns(file, lt.name);
        if (r->rows < lt.columns || int(names.size()) < lt.columns)
            throw DbError(QStringLiteral("table %1 lacks columns").arg(QLatin1String(lt.name)));
        for (int i = 0; i < lt.columns; ++i) {
            Column c;
            c.fileName = names[std::size_t(i)];
            c.serverName = PQgetvalue(r->result, i, 0);
            c.money = qstrcmp(PQgetvalue(r->result, i, 1), "double precision") == 0;
            if (c.fileName.toLower() != c.serverName)
                throw DbError(QStringLiteral("column %1 of table %2 is %3 on the server")
                                  .arg(QString::fromUtf8(c.fileName), QLatin1String(lt.name),
                                       QString::fromUtf8(c.serverName)));
            if (i == 0)
                t.identity = c.serverName == "id" && qstrcmp(PQgetvalue(r->result, 0, 2), "YES") == 0;
            t.columns.push_back(c);
        }
        out.push_back(std::move(t));
    }
    return out;
}

// ---- counting -----------------------------------------------------------------------------------

// A number cell's text parsed whole, as the program's readers take the server's numbers.
std::optional<double> parseNumber(const char* text, int length) {
    while (length > 0 && (*text == ' ' || *text == '\t')) {
        ++text;
        --length;
    }
    while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t'))
        --length;
    if (length > 0 && *text == '+') {
        ++text;
        --length;
    }
    double value = 0;
    const auto parsed = std::from_chars(text, text + length, value);
    if (length == 0 || parsed.ec != std::errc() || parsed.ptr != text + length)
        return std::nullopt;
    return value;
}

bool isBlank(const char* text, int length) {
    for (int i = 0; i < length; ++i)
        if (text[i] != ' ' && text[i] != '\t')
            return false;
    return true;
}

// Counts one table as its rows go by.
struct Counter {
    TableFigures figures;
    QList<int> money;

    explicit Counter(const Table& t) : money(t.moneyColumns()) {
        figures.table = QString::fromLatin1(t.fileName);
        for (int i : money)
            figures.sums.append(MoneySum{QString::fromUtf8(t.columns[std::size_t(i)].fileName)});
    }
    // The k-th money column of the row: nothing (NULL), a number, or something else.
    void addNumber(int k, double value) {
        MoneySum& s = figures.sums[k];
        ++s.values;
        const double cents = std::round(value * 100);
        if (!std::isfinite(cents) || std::fabs(cents) >= 1e36)
            ++s.odd;
        else
            s.cents += static_cast<Cents>(cents);
    }
    void addOdd(int k) {
        ++figures.sums[k].values;
        ++figures.sums[k].odd;
    }
};

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

// The next id SQLite's AUTOINCREMENT would hand out, less one: ids of deleted rows are never
// handed out again, even those above the last row left.
qint64 fileSequence(sqlite3* db, const char* table) {
    sqlite3_stmt* st = nullptr;
    qint64 seq = 0;
    if (sqlite3_prepare_v2(db, "select seq from sqlite_sequence where name = ?1", -1, &st, nullptr) ==
        SQLITE_OK) {
        sqlite3_bind_text(st, 1, table, -1, SQLITE_STATIC);
        if (sqlite3_step(st) == SQLITE_ROW)
            seq = sqlite3_column_int64(st, 0);
    }
    sqlite3_finalize(st);
    return seq;
}

// The table as a statement names it, in the schema given or the search path's.
QByteArray tableName(const Table& t, const QByteArray& schema = QByteArray()) {
    return (schema.isEmpty() ? QByteArray() : schema + '.') + quoted(t.serverName);
}

// The id the server hands out next for the table's identity column.
qint64 nextServerId(ServerConnection& server, const Table& t, const QByteArray& schema = QByteArray()) {
    const QByteArray table = QByteArray(tableName(t, schema)).replace('\'', "''");
    const auto name = server.exec("select pg_get_serial_sequence('" + table + "', 'id')");
    const auto state =
        server.exec(QByteArray("select last_value, is_called from ") + PQgetvalue(name->result, 0, 0));
    const qint64 last = std::atoll(PQgetvalue(state->result, 0, 0));
    return qstrcmp(PQgetvalue(state->result, 0, 1), "t") == 0 ? last + 1 : last;
}

// Makes the server hand out next as the table's next id. Unlike setval(), a restart belongs to the
// transaction: a copy rolled back leaves the old sequence behind.
void restartIds(ServerConnection& server, const Table& t, qint64 next,
                const QByteArray& schema = QByteArray()) {
    server.exec("alter table " + tableName(t, schema) + " alter column id restart with " +
                QByteArray::number(std::max<qint64>(next, 1)));
}

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

// The counts of the server's tables as they are now (inside the caller's transaction).
LedgerFigures countServer(ServerConnection& server, const std::vector<Table>& tables) {
    LedgerFigures out;
    for (const Table& t : tables) {
        Counter count(t);
        QByteArray cols;
        for (int i : count.money)
            cols += (cols.isEmpty() ? "" : ", ") + quoted(t.columns[std::size_t(i)].serverName);
        if (cols.isEmpty()) {
            const auto r = server.exec("select count(*) from " + quoted(t.serverName));
            count.figures.rows = std::atoll(PQgetvalue(r->result, 0, 0));
        } else {
            const auto r = server.exec("select " + cols + " from " + quoted(t.serverName));
            count.figures.rows = r->rows;
            for (int row = 0; row < r->rows; ++row)
                for (int k = 0; k < count.money.size(); ++k) {
                    if (PQgetisnull(r->result, row, k))
                        continue;
                    if (const auto v =
                            parseNumber(PQgetvalue(r->result, row, k), PQgetlength(r->result, row, k)))
                        count.addNumber(k, *v);
                    else
                        count.addOdd(k);
                }
        }
        out.append(count.figures);
    }
    return out;
}

// The same of a ledger file; the blank texts a number column may hold read as NULL, as they are
// copied.
LedgerFigures countFile(sqlite3* file, const std::vector<Table>& tables) {
    LedgerFigures out;
    for (const Table& t : tables) {
        Counter count(t);
        QByteArray cols = "1";
        for (int i : count.money)
            cols += ", " + quoted(t.columns[std::size_t(i)].fileName);
        const QByteArray sql = "select " + cols + " from " + quoted(t.fileName);
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(file, sql.constData(), int(sql.size()), &st, nullptr) != SQLITE_OK)
            throwFile(file);
        std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(st, sqlite3_finalize);
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            ++count.figures.rows;
            for (int k = 0; k < count.money.size(); ++k) {
                const int type = sqlite3_column_type(st, k + 1);
                if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
                    count.addNumber(k, sqlite3_column_double(st, k + 1));
                } else if (type != SQLITE_NULL) {
                    const char* text = reinterpret_cast<const char*>(sqlite3_column_text(st, k + 1));
                    const int length = sqlite3_column_bytes(st, k + 1);
                    if (isBlank(text, length))
                        continue;
                    if (const auto v = parseNumber(text, length))
                        count.addNumber(k, *v);
                    else
                        count.addOdd(k);
                }
            }
        }
        if (rc != SQLITE_DONE)
            throwFile(file);
        out.append(count.figures);
    }
    return out;
}

// ---- texts ------------------------------------------------------------------------------------

qint64 rowsOf(const LedgerFigures& f, const char* table) {
    for (const TableFigures& t : f)
        if (t.table == QLatin1String(table))
            return t.rows;
    return 0;
}

// "收据 12 张，租户 3 个，用户 2 个"
QString contentsText(const LedgerFigures& f) {
    return QStringLiteral("收据 %1 张，租户 %2 个，用户 %3 个")
        .arg(rowsOf(f, "RECEIPT"))
        .arg(rowsOf(f, "client"))
        .arg(rowsOf(f, "USER"));
}

const QString kCompared = QStringLiteral("核对内容（两边相同才算成功）：\n"
                                         "· 每个表的行数；\n"
                                         "· 收据的每个数值列和租户的租金（zuMoney）：\n"
                                         "   非空值的个数，及各值四舍五入到分后的合计。");

QString location(const QString& where) {
    return QStringLiteral("账本：") + LedgerLocation::describe(where);
}

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

// ---- a ledger file as a source ---------------------------------------------------------------------

struct FileConnection {
    sqlite3* db = nullptr;
    FileConnection() = default;
    FileConnection(const FileConnection&) = delete;
    FileConnection& operator=(const FileConnection&) = delete;
    ~FileConnection() { sqlite3_close_v2(db); }
    bool open(const QString& path, int flags) {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags, nullptr) != SQLITE_OK)
            return false;
        sqlite3_busy_timeout(db, 5000);
        return true;
    }
};

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

// A private copy of a ledger file, with its journal or WAL file, opened: the file itself is left
// as it lies. Null when it cannot be made or is no usable, healthy ledger.
struct FileSnapshot {
    QTemporaryDir dir{QDir::temp().filePath(QStringLiteral("rentbook-restore-XXXXXX"))};
    FileConnection connection;
    bool open(const QString& source) {
        const QString copy = dir.filePath(QStringLiteral("source.rbk"));
        if (!dir.isValid() || !QFile::copy(source, copy))
            return false;
        for (const QString& suffix : {QStringLiteral("-journal"), QStringLiteral("-wal")})
            if (QFileInfo::exists(source + suffix) && !QFile::copy(source + suffix, copy + suffix))
                return false;
        for (const QString& file : QDir(dir.path()).entryList(QDir::Files))
            QFile::setPermissions(dir.filePath(file), QFile::ReadOwner | QFile::WriteOwner);
        return connection.open(copy, SQLITE_OPEN_READWRITE) &&
               ExamineLedger(connection.db) == LedgerProblem::None && LedgerIntegrityOk(connection.db);
    }
};

// ---- a new ledger file ------------------------------------------------------------------------

bool replaceFile(const QString& from, const QString& to) {
#ifdef Q_OS_WIN
    QFile::remove(to);
    return QFile::rename(from, to);
#else
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#endif
}

void execFile(sqlite3* db, const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        throwFile(db);
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
        if (t.identity) {
            // The server's high-water mark, so that a restore of the file hands out the ids the
            // server would have.
            const qint64 seq = std::max(maxId, nextServerId(server, t) - 1);
            // SQLite has written its own row for the table by now; the mark replaces it.
            sqlite3_stmt* q = nullptr;
            if (sqlite3_prepare_v2(file, "update sqlite_sequence set seq = ?2 where name = ?1", -1, &q,
                                   nullptr) != SQLITE_OK)
                throwFile(file);
            sqlite3_bind_text(q, 1, t.fileName, -1, SQLITE_STATIC);
            sqlite3_bind_int64(q, 2, seq);
            int rc = sqlite3_step(q);
            sqlite3_finalize(q);
            if (rc == SQLITE_DONE && sqlite3_changes(file) == 0 && seq > 0) {
                if (sqlite3_prepare_v2(file, "insert into sqlite_sequence (name, seq) values (?1, ?2)", -1,
                                       &q, nullptr) != SQLITE_OK)
                    throwFile(file);
                sqlite3_bind_text(q, 1, t.fileName, -1, SQLITE_STATIC);
                sqlite3_bind_int64(q, 2, seq);
                rc = sqlite3_step(q);
                sqlite3_finalize(q);
            }
            if (rc != SQLITE_DONE)
                throwFile(file);
        }
    }
}

// The default rows of an empty server ledger, as its schema script inserts them (the version row
// aside: the ledger keeps its own).
QByteArray defaultRowsSql() {
    const QByteArray script(kLedgerSchemaPostgreSql);
    QByteArray out;
    for (qsizetype at = script.indexOf("\nINSERT INTO "); at >= 0;
         at = script.indexOf("\nINSERT INTO ", at + 1)) {
        const qsizetype end = script.indexOf(";\n", at);
        const QByteArray statement = script.mid(at + 1, end < 0 ? -1 : end + 1 - (at + 1));
        if (!statement.startsWith("INSERT INTO ledger_meta"))
            out += statement + '\n';
    }
    return out;
}

QByteArray literal(ServerConnection& server, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    char* escaped = PQescapeLiteral(server.handle(), utf8.constData(), std::size_t(utf8.size()));
    if (!escaped)
        throw DbError(QString::fromUtf8(PQerrorMessage(server.handle())));
    QByteArray out(escaped);
    PQfreemem(escaped);
    return out;
}

} // namespace

// ---- public -----------------------------------------------------------------------------------

QString CentsText(Cents cents) {
    const bool negative = cents < 0;
    __extension__ typedef unsigned __int128 Magnitude;
    Magnitude v = negative ? Magnitude(-cents) : Magnitude(cents);
    const int fraction = int(v % 100);
    v /= 100;
    QString digits;
    do {
        digits.prepend(QLatin1Char(char('0' + int(v % 10))));
        v /= 10;
    } while (v != 0);
    if (fraction != 0) {
        digits += QLatin1Char('.') + QString::number(fraction / 10);
        if (fraction % 10 != 0)
            digits += QString::number(fraction % 10);
    }
    return negative ? QLatin1Char('-') + digits : digits;
}

QString FiguresReport(const LedgerFigures& source, const LedgerFigures& target) {
    const auto sumText = [](const MoneySum& s) {
        QString t = QStringLiteral("%1 个值，合计 %2").arg(s.values).arg(CentsText(s.cents));
        if (s.odd > 0)
            t += QStringLiteral("（另有 %1 个不是数字）").arg(s.odd);
        return t;
    };
    QStringList lines;
    for (int i = 0; i < std::max(source.size(), target.size()); ++i) {
        const TableFigures a = source.value(i), b = target.value(i);
        const QString name = a.table.isEmpty() ? b.table : a.table;
        lines << (a.rows == b.rows ? QStringLiteral("%1：%2 行").arg(name).arg(a.rows)
                                   : QStringLiteral("%1：原 %2 行，复制后 %3 行 ← 不一致")
                                         .arg(name)
                                         .arg(a.rows)
                                         .arg(b.rows));
        int empty = 0;
        for (int k = 0; k < std::max(a.sums.size(), b.sums.size()); ++k) {
            const MoneySum x = a.sums.value(k), y = b.sums.value(k);
            const QString column = x.column.isEmpty() ? y.column : x.column;
            if (x == y && x.values == 0) {
                ++empty;
                continue;
            }
            lines << (x == y ? QStringLiteral("    %1：%2").arg(column, sumText(x))
                             : QStringLiteral("    %1：原 %2；复制后 %3 ← 不一致")
                                   .arg(column, sumText(x), sumText(y)));
        }
        // Columns without a value on either side, counted all the same.
        if (empty > 0)
            lines << (empty == std::max(a.sums.size(), b.sums.size())
                          ? QStringLiteral("    （数值列两边都没有值）")
                          : QStringLiteral("    （其余 %1 个数值列两边都没有值）").arg(empty));
    }
    return lines.join(QLatin1Char('\n'));
}

TransferResult CopyLedgerFileToServer(const QString& file, const QString& uri) {
    TransferResult r;
    if (const LedgerProblem p = InspectLedgerFile(file); p != LedgerProblem::None) {
        r.problem = TransferProblem::SourceUnusable;
        r.ledgerProblem = p;
        r.message = LedgerProblemText(p, file);
        return r;
    }
    FileConnection source;
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
                    where + QStringLiteral("\n\n") + kCompared + QStringLiteral("\n") +
                    FiguresReport(r.source, r.target);
    else if (r.problem == TransferProblem::Mismatch)
        r.message = QStringLiteral("迁移后核对不一致，已全部撤销，服务器上的数据库未做任何改动。\n") + where +
                    QStringLiteral("\n\n") + kCompared + QStringLiteral("\n") +
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
    bool ok = false;
    try {
        // One snapshot of the server ledger: what the clerks commit meanwhile is in neither the copy
        // nor its counts.
        server->begin("begin transaction isolation level repeatable read, read only");
        QString detail;
        int version = -1;
        if (const LedgerProblem found = ExamineServerLedger(*server, &detail, &version);
            found != LedgerProblem::None) {
            server->rollback();
            QFile::remove(partPath);
            r.problem = TransferProblem::SourceUnusable;
            r.ledgerProblem = found;
            r.message = LedgerProblemText(found, uri, detail);
            return r;
        }
        {
            FileConnection file;
            if (!file.open(partPath, SQLITE_OPEN_READWRITE))
                throwFile(file.db);
            execFile(file.db, kLedgerSchemaSql);
            execFile(file.db,
                     "begin immediate; delete from USER_SET; delete from price; delete from sqlite_sequence");
            const std::vector<Table> tables = describeTables(*server, file.db);
            copyServerIntoFile(*server, file.db, tables, r.source);
            // The file is of this build's version: passwords of an earlier server ledger are hashed.
            if (version < kLedgerSchemaVersion)
                HashStoredPasswords(file.db);
            execFile(file.db, "commit");
            server->rollback();
            r.target = countFile(file.db, tables);
            ok = LedgerIntegrityOk(file.db);
        }
        if (r.source != r.target) {
            r.problem = TransferProblem::Mismatch;
            ok = false;
        }
    } catch (const DbError& e) {
        server->rollback();
        r.problem = TransferProblem::Refused;
        r.detail = e.engineText();
        r.message = e.message();
        ok = false;
    }
    ok =
        ok && IsLedgerFile(partPath) && QFile::setPermissions(partPath, QFile::ReadOwner | QFile::WriteOwner);
    // A journal under the target's name belongs to the file that was there, never to this copy.
    if (ok && QFile::exists(LedgerJournalPath(target)))
        ok = QFile::remove(LedgerJournalPath(target));
    ok = ok && replaceFile(partPath, target);
    if (!ok) {
        QFile::remove(partPath);
        QFile::remove(LedgerJournalPath(partPath));
    }
    r.ok = ok;
    if (ok)
        r.message =
            QStringLiteral("数据库备份成功!\n") + where +
            QStringLiteral("\n备份中有%1，各表行数和金额合计与账本一致。").arg(contentsText(r.target));
    else if (r.problem == TransferProblem::Mismatch)
        r.message = QStringLiteral("数据库备份不成功!备份文件与账本核对不一致，没有保存。\n") + where +
                    QStringLiteral("\n\n") + kCompared + QStringLiteral("\n") +
                    FiguresReport(r.source, r.target);
    else if (r.problem == TransferProblem::Refused)
        r.message = QStringLiteral("数据库备份不成功!\n") + where + QStringLiteral("\n\n") + r.message;
    else if (r.problem == TransferProblem::None) {
        r.problem = TransferProblem::TargetUnusable;
        r.message = QStringLiteral("数据库备份不成功!备份文件无法写入或保存。\n") + where;
    }
    return r;
}

TransferResult RestoreLedgerFileIntoServer(const QString& source, const QString& uri) {
    TransferResult r;
    if (const LedgerProblem p = InspectLedgerFile(source); p != LedgerProblem::None) {
        sourceUnusable(r, p, source);
        return r;
    }
    FileSnapshot snapshot;
    if (!snapshot.open(source)) {
        sourceUnusable(r, LedgerProblem::Damaged, source);
        return r;
    }
    auto server = connect(uri, r, TransferProblem::TargetUnusable);
    if (!server)
        return r;
    r.ok = copyIntoServer(snapshot.connection.db, *server, uri, false, r);
    const QString where = location(uri) + QStringLiteral("\n备份文件：") + QDir::toNativeSeparators(source);
    if (r.ok)
        r.message =
            QStringLiteral("数据库恢复成功!\n") + where +
            QStringLiteral("\n账本现有%1，各表行数和金额合计与备份文件一致。").arg(contentsText(r.target));
    else if (r.problem == TransferProblem::Mismatch)
        r.message = QStringLiteral("数据库恢复不成功!恢复后核对不一致，已全部撤销，账本未做任何改动。\n") +
                    where + QStringLiteral("\n\n") + kCompared + QStringLiteral("\n") +
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

QString ArchivedLedgerLocation(const QString& uri, const QString& schema, const QString& ledgerSchema) {
    const QString address = LedgerLocation::withoutPassword(uri);
    // libpq reads percent escapes in an address's parameters.
    const QString path =
        QString::fromLatin1(QUrl::toPercentEncoding(schema + QLatin1Char(',') + ledgerSchema));
    return address + (address.contains(QLatin1Char('?')) ? QLatin1Char('&') : QLatin1Char('?')) +
           QStringLiteral("options=-c%20search_path%3D") + path;
}

FreshStartResult StartServerLedgerAfresh(const QString& uri, const QString& keep, const QDateTime& when) {
    FreshStartResult r;
    QString detail;
    LedgerProblem problem = LedgerProblem::None;
    auto server = ServerConnection::acquire(uri, problem, detail);
    if (!server) {
        r.detail = detail;
        r.message = LedgerProblemText(problem, uri, detail);
        return r;
    }
    try {
        server->allowLongWork();
        server->begin();
        server->exec(kServerWriteLockSql);
        if (const LedgerProblem found = ExamineServerLedger(*server, &detail); found != LedgerProblem::None) {
            server->rollback();
            r.detail = detail;
            r.message = LedgerProblemText(found, uri, detail);
            return r;
        }
        const auto cs = server->exec("select current_schema(), quote_ident(current_schema())");
        const QString ledgerSchema = QString::fromUtf8(PQgetvalue(cs->result, 0, 0));
        const QByteArray ls = PQgetvalue(cs->result, 0, 1);
        // A name no schema has yet: a second start within the same second gets "_2".
        const QString base =
            QStringLiteral("rentbook_old_") + when.toString(QStringLiteral("yyyyMMdd_HHmmss"));
        r.archiveSchema = base;
        for (int n = 2;; ++n) {
            const auto taken = server->exec("select count(*) from pg_namespace where nspname = " +
                                            literal(*server, r.archiveSchema));
            if (std::atoi(PQgetvalue(taken->result, 0, 0)) == 0)
                break;
            r.archiveSchema = base + QStringLiteral("_%1").arg(n);
        }
        const QByteArray archive = r.archiveSchema.toLatin1();
        server->exec("create schema " + archive);

        // The tables as the program reads them, and which of them number their rows.
        std::vector<Table> tables;
        for (const LedgerTable& lt : kLedgerTables) {
            Table t;
            t.fileName = lt.name;
            t.serverName = QByteArray(lt.name).toLower();
            const auto id =
                server->exec("select count(*) from information_schema.columns where table_schema = "
                             "current_schema() and table_name = '" +
                             t.serverName + "' and column_name = 'id' and is_identity = 'YES'");
            t.identity = std::atoi(PQgetvalue(id->result, 0, 0)) == 1;
            tables.push_back(std::move(t));
        }
        QList<QByteArray> names;
        for (const Table& t : tables)
            names << quoted(t.serverName);
        names << "ledger_meta";
        for (const QByteArray& name : names)
            server->exec("create table " + archive + '.' + name + " (like " + ls + '.' + name +
                         " including all); " + "insert into " + archive + '.' + name + " select * from " +
                         ls + '.' + name);
        for (const Table& t : tables)
            if (t.identity)
                restartIds(*server, t, nextServerId(*server, t, ls), archive);
        const auto archived = server->exec("select count(*) from " + archive + ".receipt");
        r.archivedReceipts = std::atoll(PQgetvalue(archived->result, 0, 0));

        for (const Table& t : tables) {
            server->exec("delete from " + tableName(t, ls));
            if (t.identity)
                restartIds(*server, t, 1, ls);
        }
        server->exec(defaultRowsSql());
        const auto kept = server->exec(
            "insert into \"user\" (username, power, code) select username, power, code from " + archive +
            ".\"user\" where username = " + literal(*server, keep) + " order by id limit 1");
        const bool found = ServerConnection::changedRows(*kept) == 1;
        const QString user = found ? keep : QStringLiteral("admin");
        if (!found)
            server->exec("insert into \"user\" (username, code) values ('admin', '')");
        server->exec("update user_set set set2 = " + literal(*server, user) +
                     ", set3 = '0', set4 = '收款收据', set5 = '' where id = 1");
        server->commit();
        r.ok = true;
        r.archiveLocation = ArchivedLedgerLocation(uri, r.archiveSchema, ledgerSchema);
        r.message =
            QStringLiteral("已开始新的记账。\n") + location(uri) +
            QStringLiteral(
                "\n\n原账本的全部数据（收据 %1 张）已完整保存在这个数据库的模式（schema）%2 中，没有删除。"
                "新账本里只保留了用户 %3%4。\n\n需要找回原账本的数据时：以下面的地址作为账本地址打开原账本，"
                "用“导出备份数据库”导出，再回到现在的账本用“导入恢复数据库”导入。\n原账本地址：%5")
                .arg(r.archivedReceipts)
                .arg(r.archiveSchema, user,
                     found ? QStringLiteral("（权限和密码不变）")
                           : QStringLiteral("（没有密码，请登录后设置）"),
                     r.archiveLocation);
    } catch (const DbError& e) {
        server->rollback();
        r.ok = false;
        r.archiveSchema.clear();
        r.detail = e.engineText();
        r.message = QStringLiteral("没能开始新的记账，账本未做任何改动。\n") + location(uri) +
                    QStringLiteral("\n\n") + e.message();
    }
    return r;
}
