#include "tests/support/TestLedger.h"
#include "data/Database.h"
#include "data/LedgerLocation.h"
#include "data/LedgerSchema.h"
#include "data/PasswordHash.h"
#include "data/ServerConnection.h"
#include "data/ServerLedger.h"
#include "tests/support/LedgerProbe.h"
#include "tests/support/Refusals.h"
#include "tests/support/ServerSettingsFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QTest>
#include <QUrlQuery>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>

#include <libpq-fe.h>

namespace {

bool g_engineRows = false;
// Hashes made in tests cost the least libsodium allows; the program's own cost is checked once
// (tst_userpage).
const bool g_cheapPasswordHashes = [] {
    SetPasswordHashCost(PasswordHashCost::TestOnly);
    return true;
}();
std::atomic<int> g_databases{0};

// The superuser address with another database in it.
QString withDatabase(const QString& uri, const QString& database) {
    const qsizetype query = uri.indexOf(QLatin1Char('?'));
    const QString head = query < 0 ? uri : uri.left(query);
    const qsizetype slash = head.indexOf(QLatin1Char('/'), head.indexOf(QLatin1String("://")) + 3);
    return (slash < 0 ? head : head.left(slash)) + QLatin1Char('/') + database +
           (query < 0 ? QString() : uri.mid(query));
}

// A connection as the test server's superuser to one database, kept for the process: a new
// one costs a round trip and the server a process.
class AdminConnection {
public:
    explicit AdminConnection(QString database) : m_database(std::move(database)) {}
    void exec(const QString& statement) {
        std::lock_guard lock(m_mutex);
        if (m_session && PQstatus(m_session->conn()) != CONNECTION_OK)
            m_session.reset();
        if (!m_session) {
            m_session = std::make_unique<ServerSession>(
                withDatabase(TestLedger::serverSetting(QStringLiteral("RENTBOOK_TEST_PG")), m_database));
            if (!m_session->conn()) {
                m_session.reset();
                throw DbError(QStringLiteral("test server: cannot connect to ") + m_database);
            }
            // Told apart from the program's own connections (a test may end those).
            m_session->exec(QStringLiteral("set application_name = 'Rentbook tests'"));
        }
        const QString error = m_session->exec(statement);
        if (!error.isEmpty()) {
            // A script that failed inside its transaction leaves the connection usable.
            m_session->exec(QStringLiteral("rollback"));
            throw DbError(QStringLiteral("test server: ") + error);
        }
    }

private:
    QString m_database;
    std::mutex m_mutex;
    std::unique_ptr<ServerSession> m_session;
};

// Runs a statement as the test server's superuser, in the maintenance database.
void adminExec(const QString& statement) {
    static AdminConnection maintenance(QStringLiteral("postgres"));
    maintenance.exec(statement);
}

// The database of this process's server ledgers: each ledger is a schema of its own in it, made
// by the ledger's schema script (a few milliseconds, where copying a database takes the server
// a tenth of a second or more). Dropped when the process ends.
QString processDatabase() {
    static const QString name = [] {
        const QString database = QStringLiteral("rbtest_%1").arg(QCoreApplication::applicationPid());
        adminExec(QStringLiteral("drop database if exists %1 with (force)").arg(database));
        adminExec(QStringLiteral("create database %1").arg(database));
        // Runs after the process connection's static has closed it.
        std::atexit([] {
            try {
                adminExec(QStringLiteral("drop database if exists %1 with (force)")
                              .arg(QStringLiteral("rbtest_%1").arg(QCoreApplication::applicationPid())));
            } catch (const DbError&) {
            }
        });
        return database;
    }();
    return name;
}

AdminConnection& processConnection() {
    static AdminConnection connection(processDatabase());
    return connection;
}

} // namespace

QString TestLedger::emptyLedgerPath() {
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("NewRentbook.nrbk"));
}

void TestLedger::addEngineRows() {
    g_engineRows = true;
    addEngineColumn();
}

LedgerEngine TestLedger::currentEngine() {
    if (!g_engineRows)
        return LedgerEngine::File;
    QFETCH_GLOBAL(LedgerEngine, engine);
    return engine;
}

QString TestLedger::serverSetting(const QString& key) {
    static const QHash<QString, QString> settings = ReadTestServerSettings();
    return settings.value(key);
}

QString TestLedger::createDatabase() {
    const QString name =
        QStringLiteral("rbtest_%1_%2").arg(QCoreApplication::applicationPid()).arg(++g_databases);
    adminExec(QStringLiteral("drop database if exists %1").arg(name));
    adminExec(QStringLiteral("create database %1").arg(name));
    return withDatabase(serverSetting(QStringLiteral("RENTBOOK_TEST_PG")), name);
}

void TestLedger::dropDatabase(const QString& uri) {
    // The program keeps idle connections for reuse; they would hold the database.
    ForgetServerConnections();
    const QString database = LedgerLocation::serverAddress(uri).database;
    // A TestLedger's address names the process's database: its schema goes with the TestLedger.
    if (database == QStringLiteral("rbtest_%1").arg(QCoreApplication::applicationPid()))
        return;
    try {
        adminExec(QStringLiteral("drop database if exists %1 with (force)").arg(database));
    } catch (const DbError&) {
    }
}

TestLedger::TestLedger() : TestLedger(currentEngine()) {
}

TestLedger::TestLedger(LedgerEngine engine) : m_previous(DataSource::ledgerPath()), m_engine(engine) {
    if (engine == LedgerEngine::Server) {
        if (serverSetting(QStringLiteral("RENTBOOK_TEST_PG")).isEmpty()) {
            // Under CTest the server is always there; a test run by hand without it says so.
            qWarning("TestLedger: no test server (RENTBOOK_TEST_PG_ENV); run the test through ctest");
            return;
        }
        m_schema = QStringLiteral("rbledger_%1").arg(++g_databases);
        // The script runs on the process's own connection, whose catalogue caches are warm.
        processConnection().exec(
            QStringLiteral("begin; create schema %1; set local search_path = %1; ").arg(m_schema) +
            QString::fromUtf8(kLedgerSchemaPostgreSql) + QStringLiteral("; commit"));
        // The ledger's connections see the schema's tables (and functions) by their plain names.
        m_path = withDatabase(serverSetting(QStringLiteral("RENTBOOK_TEST_PG")), processDatabase()) +
                 QStringLiteral("&options=-csearch_path%3D") + m_schema;
        m_ok = true;
        DataSource::setLedgerPath(m_path);
        return;
    }
    m_path = QDir(m_dir.path()).filePath(QStringLiteral("Rentbook.rbk"));
    m_ok = m_dir.isValid() && QFile::copy(emptyLedgerPath(), m_path);
    QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner);
    DataSource::setLedgerPath(m_path);
}

TestLedger::~TestLedger() {
    DataSource::setLedgerPath(m_previous);
    if (m_schema.isEmpty())
        return;
    // Idle connections of the program's pool would keep their locks on nothing, but a test's
    // connection left mid-transaction would hold the tables: it is not waited for long.
    ForgetServerConnections();
    try {
        processConnection().exec(
            QStringLiteral("set lock_timeout = '2s'; drop schema %1 cascade").arg(m_schema));
    } catch (const DbError&) {
    }
}

void TestLedger::exec(const SqlStatement& statement) const {
    Database db(m_path);
    if (!db.open())
        throw DbError(QStringLiteral("test ledger cannot be opened"));
    db.execute(statement);
}

QList<QStringList> TestLedger::rows(const QString& query, const SqlValues& values) const {
    const QList<QStringList> out = ledgerRows(m_path, query, values);
    if (out == QList<QStringList>{{QStringLiteral("<cannot open>")}})
        throw DbError(QStringLiteral("test ledger cannot be opened"));
    return out;
}
