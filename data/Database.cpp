#include "data/Database.h"
#include "data/JetSql.h"
#include "data/LedgerLocation.h"
#include "data/LedgerUpgrade.h"
#include "data/ServerConnection.h"
#include "data/ServerLedger.h"

#include <QDir>

#include <QFileInfo>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <SQLiteCpp/SQLiteCpp.h>
#include <libpq-fe.h>
#include <sqlite3.h>

namespace {

QString g_ledgerPath;

std::optional<QDateTime> argDate(sqlite3_value* v) {
    if (sqlite3_value_type(v) == SQLITE_NULL)
        return std::nullopt;
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return jet::parseDate(QString::fromUtf8(text ? text : ""));
}

template <int Part> void datePartFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const auto dt = argDate(argv[0]);
    if (!dt) {
        sqlite3_result_null(ctx);
        return;
    }
    const QDate d = dt->date();
    sqlite3_result_int(ctx, Part == 0 ? d.year() : Part == 1 ? d.month() : d.day());
}

void registerFunctions(sqlite3* db) {
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    sqlite3_create_function(db, "year", 1, flags, nullptr, datePartFn<0>, nullptr, nullptr);
    sqlite3_create_function(db, "month", 1, flags, nullptr, datePartFn<1>, nullptr, nullptr);
    sqlite3_create_function(db, "day", 1, flags, nullptr, datePartFn<2>, nullptr, nullptr);
}

} // namespace

namespace DataSource {
QString name() {
    return QStringLiteral("Rentbook");
}
QString ledgerPath() {
    return g_ledgerPath.isEmpty() ? QDir::current().filePath(name() + QStringLiteral(".rbk")) : g_ledgerPath;
}
void setLedgerPath(const QString& path) {
    g_ledgerPath = path;
}
} // namespace DataSource

QString cannotOpenDatabaseText() {
    return QStringLiteral("不能打开数据库");
}

// ---- Recordset ------------------------------------------------------------------------------

Recordset::Recordset() = default;
Recordset::~Recordset() = default;
Recordset::Recordset(Recordset&&) noexcept = default;
Recordset& Recordset::operator=(Recordset&&) noexcept = default;

void Recordset::Finalizer::operator()(sqlite3_stmt* st) const {
    sqlite3_finalize(st);
}

Recordset::Recordset(sqlite3_stmt* statement, std::shared_ptr<SQLite::Database> connection)
    : m_connection(std::move(connection)), m_stmt(statement), m_db(m_connection->getHandle()) {
    m_realText.resize(std::size_t(sqlite3_column_count(statement)));
    moveNext();
}

Recordset::Recordset(std::shared_ptr<ServerResult> result) : m_server(std::move(result)) {
    m_realText.resize(std::size_t(m_server->columns));
    m_row = 0;
    m_eof = m_server->rows == 0;
}

void Recordset::moveNext() {
    if (m_server) {
        m_eof = m_eof || ++m_row >= m_server->rows;
        return;
    }
    if (!m_stmt) {
        m_eof = true;
        return;
    }
    const int rc = sqlite3_step(m_stmt.get());
    m_eof = rc != SQLITE_ROW;
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw DbError(QString::fromUtf8(sqlite3_errmsg(m_db)), sqlite3_extended_errcode(m_db));
}

// A number cell reads back as the ledger engine the program was written for gives it: no
// trailing zeros and no point for whole values ("800", "0"), the shortest exact form otherwise
// ("40.8", "12.35"). Amounts are stored from "%.2f" texts, so most values print straight from
// their whole hundredths; the rest take the shortest text that reads back as the same double.
int RealCellText(double value, char* out) {
    if (value == 0) {
        std::memcpy(out, "0", 2);
        return 1;
    }
    const double hundredths = std::nearbyint(value * 100);
    if (std::fabs(hundredths) < 1e13 && hundredths / 100 == value) {
        auto cents = static_cast<long long>(hundredths);
        char* p = out;
        if (cents < 0) {
            *p++ = '-';
            cents = -cents;
        }
        p = std::to_chars(p, p + 20, cents / 100).ptr;
        const int fraction = int(cents % 100);
        if (fraction != 0) {
            *p++ = '.';
            *p++ = char('0' + fraction / 10);
            if (fraction % 10 != 0)
                *p++ = char('0' + fraction % 10);
        }
        *p = '\0';
        return int(p - out);
    }
    if (!std::isfinite(value))
        return 0;
    // Plain digits while they stay readable, the exponent form beyond.
    const auto format = std::fabs(value) < 1e15 && std::fabs(value) >= 1e-5 ? std::chars_format::fixed
                                                                            : std::chars_format::general;
    const auto result = std::to_chars(out, out + 31, value, format);
    if (result.ec != std::errc())
        return 0;
    *result.ptr = '\0';
    return int(result.ptr - out);
}

const char* Recordset::fieldUtf8(int column, int& length) const {
    length = 0;
    if (m_server) {
        if (m_eof || column < 0 || column >= m_server->columns ||
            PQgetisnull(m_server->result, m_row, column))
            return "";
        const char* text = PQgetvalue(m_server->result, m_row, column);
        length = PQgetlength(m_server->result, m_row, column);
        if (m_server->isReal[std::size_t(column)]) {
            // The server prints numbers its own way ("1e+20"); they read back as the file prints them.
            double value = 0;
            const auto parsed = std::from_chars(text, text + length, value);
            char* out = m_realText[std::size_t(column)].data();
            if (parsed.ec == std::errc() && parsed.ptr == text + length)
                if (const int n = RealCellText(value, out)) {
                    length = n;
                    return out;
                }
        }
        return text;
    }
    if (m_eof || !m_stmt || column < 0 || column >= int(m_realText.size()))
        return "";
    // The cell itself, asked for once: each sqlite3_column_* call goes through the connection's
    // checks again, a good part of what a list of a million rows costs. The connection is one
    // thread's (opened without SQLite's own locking), as the value's reader must be.
    sqlite3_value* cell = sqlite3_column_value(m_stmt.get(), column);
    if (sqlite3_value_type(cell) == SQLITE_FLOAT) {
        char* out = m_realText[std::size_t(column)].data();
        if (const int n = RealCellText(sqlite3_value_double(cell), out)) {
            length = n;
            return out;
        }
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(cell));
    if (!text)
        return "";
    length = sqlite3_value_bytes(cell);
    return text;
}

const char* Recordset::fieldUtf8(int column) const {
    int length;
    return fieldUtf8(column, length);
}

QString Recordset::field(int column) const {
    return QString::fromUtf8(fieldUtf8(column));
}

int Recordset::fieldCount() const {
    if (m_server)
        return m_server->columns;
    return m_stmt ? sqlite3_column_count(m_stmt.get()) : 0;
}

void Recordset::close() {
    m_stmt.reset();
    m_connection.reset();
    m_server.reset();
    m_eof = true;
}

// ---- Database -------------------------------------------------------------------------------

Database::Database() : m_path() {
}
Database::Database(const QString& path) : m_path(path) {
}
Database::~Database() = default;

bool Database::isServer() const {
    return LedgerLocation::isServer(m_path.isEmpty() ? DataSource::ledgerPath() : m_path);
}

QString Database::problemText() const {
    return LedgerProblemText(m_problem, m_path.isEmpty() ? DataSource::ledgerPath() : m_path,
                             m_problemDetail);
}

bool Database::open() {
    if (isOpen())
        return true;
    const QString path = m_path.isEmpty() ? DataSource::ledgerPath() : m_path;
    m_problemDetail.clear();
    if (LedgerLocation::isServer(path)) {
        m_server = ServerConnection::acquire(path, m_problem, m_problemDetail);
        // A connection from the pool had its tables examined when it was made; the version is
        // looked at every time, since a newer build may have upgraded the ledger meanwhile.
        if (m_server) {
            if (!m_server->examined()) {
                int version = -1;
                m_problem = ExamineServerLedger(*m_server, &m_problemDetail, &version);
                // A ledger of an earlier build is brought up to date before anything uses it.
                if (m_problem == LedgerProblem::None)
                    m_problem = UpgradeServerLedger(*m_server, version, &m_problemDetail);
                if (m_problem == LedgerProblem::None)
                    RefreshServerLedgerFunctions(*m_server);
            } else if (ServerLedgerVersion(*m_server) > kLedgerSchemaVersion)
                m_problem = LedgerProblem::Newer;
            if (m_problem == LedgerProblem::None)
                m_server->setExamined();
            else
                m_server.reset();
        }
        if (!m_server)
            return false;
        if (m_path.isEmpty())
            m_path = path;
        return true;
    }
    const QFileInfo info(path);
    m_problem = !info.exists()   ? LedgerProblem::Missing
                : info.isDir()   ? LedgerProblem::Folder
                : !info.isFile() ? LedgerProblem::NotLedger
                                 : LedgerProblem::None;
    if (m_problem != LedgerProblem::None)
        return false;
    try {
        // The busy timeout is set before anything touches the file, so a ledger that another
        // program holds for a moment is waited for rather than refused.
        auto db = std::make_unique<SQLite::Database>(QFile::encodeName(path).toStdString(),
                                                     SQLite::OPEN_READWRITE | SQLite::OPEN_NOMUTEX, 5000);
        sqlite3* handle = db->getHandle();
        // Looked at before anything is written, so that a ledger this build must not change
        // (a newer one above all) is left byte for byte as it was.
        m_problem = ExamineLedger(handle);
        // A folder that cannot be written has no room for the journal every change needs.
        if (m_problem == LedgerProblem::None &&
            (sqlite3_db_readonly(handle, "main") == 1 || !QFileInfo(info.absolutePath()).isWritable()))
            m_problem = LedgerProblem::ReadOnly;
        if (m_problem == LedgerProblem::None && !UpgradeLedger(handle)) {
            const int rc = sqlite3_extended_errcode(handle) & 0xff;
            m_problem = rc == SQLITE_BUSY || rc == SQLITE_LOCKED ? LedgerProblem::Busy
                        : rc == SQLITE_READONLY                  ? LedgerProblem::ReadOnly
                                                                 : LedgerProblem::Damaged;
        }
        if (m_problem != LedgerProblem::None)
            return false;
        registerFunctions(handle);
        m_db = std::move(db);
        if (m_path.isEmpty())
            m_path = path;
        return true;
    } catch (const SQLite::Exception& e) {
        const int rc = e.getErrorCode() & 0xff;
        m_problem = rc == SQLITE_NOTADB                          ? LedgerProblem::NotLedger
                    : rc == SQLITE_BUSY                          ? LedgerProblem::Busy
                    : rc == SQLITE_CANTOPEN || rc == SQLITE_PERM ? LedgerProblem::ReadOnly
                                                                 : LedgerProblem::Damaged;
        return false;
    }
}

void Database::close() {
    m_db.reset();
    m_server.reset();
}

namespace {

// The last guard for text that reached a statement without passing a box of the program: the
// file's engine would end the statement at a NUL and the server refuses one, so such characters
// never get that far (carriage returns stay: the old program's remarks hold them).
QString guarded(const QString& statement) {
    return jet::withoutControlCharacters(statement, true);
}

} // namespace

int Database::execute(const QString& statement) {
    // A change on its own commits at once: a lost answer is then checked as a lost commit is.
    if (m_server)
        return ServerConnection::changedRows(
            *m_server->change(jet::translate(guarded(statement), jet::Dialect::PostgreSQL).toUtf8()));
    if (!m_db)
        throw DbError(cannotOpenDatabaseText());
    const QByteArray sql = jet::translate(guarded(statement)).toUtf8();
    try {
        return m_db->exec(sql.constData());
    } catch (const SQLite::Exception& e) {
        throw DbError(QString::fromUtf8(e.what()), e.getExtendedErrorCode());
    }
}

long long Database::insert(const QString& statement) {
    if (m_server) {
        // Asked for because the caller wants the key: the server keeps no "last insert" of a
        // connection as SQLite does.
        const QString sql =
            jet::translate(guarded(statement), jet::Dialect::PostgreSQL) + QLatin1String(" returning id");
        const auto result = m_server->change(sql.toUtf8());
        return result->rows > 0 ? std::atoll(PQgetvalue(result->result, 0, 0)) : 0;
    }
    // An insert that made no row leaves SQLite's last key at an earlier row's.
    if (execute(statement) == 0)
        return 0;
    return sqlite3_last_insert_rowid(m_db->getHandle());
}

Recordset Database::query(const QString& statement) {
    if (m_server)
        return Recordset(
            m_server->exec(jet::translate(guarded(statement), jet::Dialect::PostgreSQL).toUtf8()));
    if (!m_db)
        throw DbError(cannotOpenDatabaseText());
    const std::string sql = jet::translate(guarded(statement)).toStdString();
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_db->getHandle(), sql.c_str(), int(sql.size()), &st, nullptr) != SQLITE_OK)
        throw DbError(QString::fromUtf8(sqlite3_errmsg(m_db->getHandle())),
                      sqlite3_extended_errcode(m_db->getHandle()));
    return Recordset(st, m_db);
}

// ---- Transaction ------------------------------------------------------------------------------

Transaction::Transaction(Database& db) : m_db(db) {
    if (ServerConnection* server = m_db.server()) {
        // The server's writers take one lock of the ledger's, as SQLite's writers take the file's.
        server->begin();
        m_open = true;
        try {
            server->exec(kServerWriteLockSql);
        } catch (...) {
            // The destructor of a transaction that was never made does not run.
            server->rollback();
            throw;
        }
        return;
    }
    // Immediate: the write lock is taken now, so what is read inside stays true until the commit.
    m_db.execute(QStringLiteral("begin immediate"));
    m_open = true;
}

Transaction::~Transaction() {
    if (!m_open)
        return;
    if (ServerConnection* server = m_db.server())
        server->rollback();
    else if (m_db.handle())
        sqlite3_exec(m_db.handle()->getHandle(), "rollback", nullptr, nullptr, nullptr);
}

void Transaction::commit() {
    if (ServerConnection* server = m_db.server()) {
        // A commit that fails ends the transaction on the server all the same.
        m_open = false;
        bool restarted = false;
        server->commit(&restarted);
        // A server that restarted after a lost commit may have handed the transaction's number on
        // to a later one: what was written must be there, as written.
        if (restarted && m_proof) {
            bool there = false;
            try {
                there = m_proof(m_db);
            } catch (const DbError& e) {
                throw DbError(e.engineText(), kServerCommitUnknown);
            }
            if (!there)
                throw DbError(QStringLiteral("the server restarted and lost the transaction"),
                              kServerConnectionLost);
        }
        return;
    }
    m_db.execute(QStringLiteral("commit"));
    m_open = false;
}
