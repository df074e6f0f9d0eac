#include "data/Database.h"
#include "data/JetSql.h"
#include "platform/Services.h"

#include <QDir>
#include <QFileInfo>

#include <SQLiteCpp/SQLiteCpp.h>
#include <sqlite3.h>

namespace {

QString g_ledgerPath;

std::optional<QDateTime> argDate(sqlite3_value* v) {
    if (sqlite3_value_type(v) == SQLITE_NULL)
        return std::nullopt;
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return jet::parseDate(QString::fromUtf8(text ? text : ""));
}

// jet_date(text): the normalised date, NULL for NULL or empty text, an error for text that is no date.
void jetDateFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto* raw = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const QString text = QString::fromUtf8(raw ? raw : "");
    if (text.trimmed().isEmpty()) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto dt = jet::parseDate(text);
    if (!dt) {
        const QByteArray msg = QStringLiteral("Data type mismatch: '%1' is not a date.").arg(text).toUtf8();
        sqlite3_result_error(ctx, msg.constData(), static_cast<int>(msg.size()));
        return;
    }
    const QByteArray out = jet::normaliseDate(*dt).toUtf8();
    sqlite3_result_text(ctx, out.constData(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
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
    sqlite3_create_function(db, "jet_date", 1, flags, nullptr, jetDateFn, nullptr, nullptr);
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

Recordset::Recordset(std::unique_ptr<SQLite::Statement> statement) : m_statement(std::move(statement)) {
    moveNext();
}

void Recordset::moveNext() {
    if (!m_statement) {
        m_eof = true;
        return;
    }
    try {
        m_eof = !m_statement->executeStep();
    } catch (const SQLite::Exception& e) {
        m_eof = true;
        throw DbError(QString::fromUtf8(e.what()));
    }
}

const char* Recordset::fieldUtf8(int column) const {
    if (m_eof || !m_statement || column < 0 || column >= m_statement->getColumnCount())
        return "";
    return m_statement->getColumn(column).getText("");
}

QString Recordset::field(int column) const {
    return QString::fromUtf8(fieldUtf8(column));
}

int Recordset::fieldCount() const {
    return m_statement ? m_statement->getColumnCount() : 0;
}

void Recordset::close() {
    m_statement.reset();
    m_eof = true;
}

// ---- Database -------------------------------------------------------------------------------

Database::Database() : m_path() {
}
Database::Database(const QString& path) : m_path(path) {
}
Database::~Database() = default;

bool Database::open() {
    if (m_db)
        return true;
    const QString path = m_path.isEmpty() ? DataSource::ledgerPath() : m_path;
    if (!QFileInfo(path).isFile())
        return false;
    try {
        auto db =
            std::make_unique<SQLite::Database>(QFile::encodeName(path).toStdString(), SQLite::OPEN_READWRITE);
        // A file that is no ledger only shows itself on the first read.
        db->exec("select count(*) from sqlite_master");
        if (sqlite3_db_readonly(db->getHandle(), "main") == 1)
            return false;
        db->setBusyTimeout(5000);
        registerFunctions(db->getHandle());
        m_db = std::move(db);
        if (m_path.isEmpty())
            m_path = path;
        return true;
    } catch (const SQLite::Exception&) {
        return false;
    }
}

bool Database::openOrReport(QObject* owner) {
    if (open())
        return true;
    platform::messageBox(owner, cannotOpenDatabaseText());
    return false;
}

void Database::close() {
    m_db.reset();
}

int Database::execute(const QString& statement) {
    if (!m_db)
        throw DbError(cannotOpenDatabaseText());
    const QByteArray sql = jet::translate(statement).toUtf8();
    try {
        return m_db->exec(sql.constData());
    } catch (const SQLite::Exception& e) {
        throw DbError(QString::fromUtf8(e.what()));
    }
}

Recordset Database::query(const QString& statement) {
    if (!m_db)
        throw DbError(cannotOpenDatabaseText());
    const std::string sql = jet::translate(statement).toStdString();
    try {
        return Recordset(std::make_unique<SQLite::Statement>(*m_db, sql));
    } catch (const SQLite::Exception& e) {
        throw DbError(QString::fromUtf8(e.what()));
    }
}
