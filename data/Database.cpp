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
#include <string>
#include <unordered_map>

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

// The file's connection with the statements it keeps prepared (by their text), finalized before
// the connection closes.
struct FileSession {
    struct Kept {
        sqlite3_stmt* statement = nullptr;
        bool busy = false; // a record set still reads it
    };
    std::unique_ptr<SQLite::Database> db;
    std::unordered_map<std::string, Kept> kept;
    explicit FileSession(std::unique_ptr<SQLite::Database> connection) : db(std::move(connection)) {}
    ~FileSession() {
        for (auto& k : kept)
            sqlite3_finalize(k.second.statement);
    }
    FileSession(const FileSession&) = delete;
    FileSession& operator=(const FileSession&) = delete;
};

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

void StatementEnd::operator()(sqlite3_stmt* st) const {
    if (!busy) {
        sqlite3_finalize(st);
        return;
    }
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    *busy = false;
}

Recordset::Recordset(sqlite3_stmt* statement, std::shared_ptr<FileSession> connection, bool* busy)
    : m_connection(std::move(connection)), m_stmt(statement, Finalizer{busy}),
      m_db(m_connection->db->getHandle()) {
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
    if (!(LedgerLocation::isServer(path) ? openServer(path) : openFile(path)))
        return false;
    if (m_path.isEmpty())
        m_path = path;
    return true;
}

bool Database::openServer(const QString& uri) {
    m_server = ServerConnection::acquire(uri, m_problem, m_problemDetail);
    if (!m_server)
        return false;
    // A connection from the pool had its tables examined when it was made; the version is looked
    // at every time, since a newer build may have upgraded the ledger meanwhile.
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
    if (m_problem != LedgerProblem::None) {
        m_server.reset();
        return false;
    }
    m_server->setExamined();
    return true;
}

bool Database::openFile(const QString& path) {
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
        m_file = std::make_shared<FileSession>(std::move(db));
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
    m_file.reset();
    m_server.reset();
}

SQLite::Database* Database::handle() const {
    return m_file ? m_file->db.get() : nullptr;
}

namespace {

DbError severalStatements() {
    return DbError(QStringLiteral("the text holds more than one statement; none of it was run"));
}

DbError valuesDoNotMatch(qsizetype places, qsizetype values) {
    return DbError(
        QStringLiteral("the statement has places for %1 values and was given %2").arg(places).arg(values));
}

DbError fileError(sqlite3* db) {
    return DbError(QString::fromUtf8(sqlite3_errmsg(db)), sqlite3_extended_errcode(db));
}

// Text as a value reaches either engine: without control characters, which neither would keep
// alike (the file's engine ends text at a NUL, the server refuses one); carriage returns stay (the
// old program's remarks hold them).
QByteArray textValue(const SqlValue& value) {
    if (value.kind() == SqlValue::Kind::Date)
        return jet::dateParameter(value.text()).toUtf8();
    return jet::withoutControlCharacters(value.text(), true).toUtf8();
}

// One statement prepared on the file. What follows it may be blanks, semicolons and comments
// only: a second statement is refused rather than dropped.
sqlite3_stmt* prepareOne(sqlite3* db, const std::string& sql, bool keep) {
    sqlite3_stmt* st = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v3(db, sql.c_str(), int(sql.size()) + 1, keep ? SQLITE_PREPARE_PERSISTENT : 0, &st,
                           &tail) != SQLITE_OK)
        throw fileError(db);
    const char* end = sql.c_str() + sql.size();
    sqlite3_stmt* second = nullptr;
    if (tail && tail < end &&
        (sqlite3_prepare_v2(db, tail, int(end - tail), &second, nullptr) != SQLITE_OK || second)) {
        sqlite3_finalize(second);
        sqlite3_finalize(st);
        throw severalStatements();
    }
    return st;
}

void bindValues(sqlite3_stmt* st, const SqlValues& values) {
    if (sqlite3_bind_parameter_count(st) != values.size())
        throw valuesDoNotMatch(sqlite3_bind_parameter_count(st), values.size());
    for (int i = 0; i < int(values.size()); ++i) {
        const SqlValue& v = values[i];
        int rc = SQLITE_OK;
        if (v.kind() == SqlValue::Kind::Null)
            rc = sqlite3_bind_null(st, i + 1);
        else if (v.kind() == SqlValue::Kind::Integer)
            rc = sqlite3_bind_int64(st, i + 1, v.integer());
        else {
            const QByteArray text = textValue(v);
            // Never a null pointer: that would bind NULL where the text is empty.
            rc = sqlite3_bind_text(st, i + 1, text.isNull() ? "" : text.constData(), int(text.size()),
                                   SQLITE_TRANSIENT);
        }
        if (rc != SQLITE_OK)
            throw fileError(sqlite3_db_handle(st));
    }
}

} // namespace

// The statement prepared on the file with its values bound, and how to end it. A statement the
// connection keeps is used when no record set still reads it; otherwise one of its own is made.
Recordset::Finalizer Database::prepareOnFile(const SqlStatement& statement, sqlite3_stmt*& prepared) {
    if (!m_file)
        throw DbError(cannotOpenDatabaseText());
    sqlite3* db = m_file->db->getHandle();
    const std::string sql = jet::translate(statement.text()).toStdString();
    FileSession::Kept* kept = nullptr;
    if (statement.isKeptPrepared()) {
        FileSession::Kept& k = m_file->kept[sql];
        if (!k.busy)
            kept = &k;
    }
    if (kept && !kept->statement)
        kept->statement = prepareOne(db, sql, true);
    prepared = kept ? kept->statement : prepareOne(db, sql, false);
    if (!prepared) // blanks only
        return {};
    Recordset::Finalizer end{kept ? &kept->busy : nullptr};
    if (kept)
        kept->busy = true;
    try {
        bindValues(prepared, statement.values());
    } catch (...) {
        end(prepared);
        throw;
    }
    return end;
}

ServerStatement Database::onServer(const SqlStatement& statement) const {
    const jet::Translation t = jet::translateStatement(statement.text(), jet::Dialect::PostgreSQL);
    if (t.severalStatements)
        throw severalStatements();
    if (t.placeholders != statement.values().size())
        throw valuesDoNotMatch(t.placeholders, statement.values().size());
    ServerStatement out{t.text.toUtf8(), {}, statement.isKeptPrepared()};
    out.values.reserve(std::size_t(statement.values().size()));
    for (const SqlValue& v : statement.values()) {
        if (v.kind() == SqlValue::Kind::Null)
            out.values.emplace_back(std::nullopt);
        else if (v.kind() == SqlValue::Kind::Integer)
            out.values.emplace_back(QByteArray::number(v.integer()));
        else
            out.values.emplace_back(textValue(v));
    }
    return out;
}

int Database::execute(const SqlStatement& statement) {
    // A change on its own commits at once: a lost answer is then checked as a lost commit is.
    if (m_server)
        return ServerConnection::changedRows(*m_server->change(onServer(statement)));
    sqlite3_stmt* st = nullptr;
    Recordset::Finalizer end = prepareOnFile(statement, st);
    const std::unique_ptr<sqlite3_stmt, Recordset::Finalizer> running(st, end);
    if (!st)
        return 0;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE)
        throw fileError(sqlite3_db_handle(st));
    return sqlite3_changes(sqlite3_db_handle(st));
}

long long Database::insert(const SqlStatement& statement) {
    if (m_server) {
        // Asked for because the caller wants the key: the server keeps no "last insert" of a
        // connection as SQLite does.
        ServerStatement s = onServer(statement);
        s.sql += " returning id";
        const auto result = m_server->change(s);
        return result->rows > 0 ? std::atoll(PQgetvalue(result->result, 0, 0)) : 0;
    }
    // An insert that made no row leaves SQLite's last key at an earlier row's.
    if (execute(statement) == 0)
        return 0;
    return sqlite3_last_insert_rowid(m_file->db->getHandle());
}

Recordset Database::query(const SqlStatement& statement) {
    if (m_server)
        return Recordset(m_server->exec(onServer(statement)));
    sqlite3_stmt* st = nullptr;
    const Recordset::Finalizer end = prepareOnFile(statement, st);
    return Recordset(st, m_file, end.busy);
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
