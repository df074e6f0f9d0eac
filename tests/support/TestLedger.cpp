#include "tests/support/TestLedger.h"
#include "data/Database.h"
#include "data/LedgerLocation.h"
#include "data/ServerConnection.h"
#include "data/ServerLedger.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QTest>
#include <QUrlQuery>

#include <atomic>

#include <libpq-fe.h>

namespace {

bool g_engineRows = false;
std::atomic<int> g_databases{0};

QHash<QString, QString> readServerSettings() {
    QHash<QString, QString> out;
    QFile f(qEnvironmentVariable("RENTBOOK_TEST_PG_ENV"));
    if (f.fileName().isEmpty() || !f.open(QIODevice::ReadOnly | QIODevice::Text))
        return out;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0)
            out.insert(line.left(eq), line.mid(eq + 1));
    }
    return out;
}

// The superuser address with another database in it.
QString withDatabase(const QString& uri, const QString& database) {
    const qsizetype query = uri.indexOf(QLatin1Char('?'));
    const QString head = query < 0 ? uri : uri.left(query);
    const qsizetype slash = head.indexOf(QLatin1Char('/'), head.indexOf(QLatin1String("://")) + 3);
    return (slash < 0 ? head : head.left(slash)) + QLatin1Char('/') + database +
           (query < 0 ? QString() : uri.mid(query));
}

// Runs a statement as the test server's superuser, in the maintenance database.
void adminExec(const QString& statement) {
    LedgerProblem problem;
    QString detail;
    pg_conn* conn = ConnectToServer(TestLedger::serverSetting(QStringLiteral("RENTBOOK_TEST_PG")), problem, detail);
    if (!conn)
        throw DbError(QStringLiteral("test server: ") + detail);
    PGresult* r = PQexec(conn, statement.toUtf8().constData());
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    const QString error = QString::fromUtf8(PQerrorMessage(conn));
    PQclear(r);
    PQfinish(conn);
    if (!ok)
        throw DbError(QStringLiteral("test server: ") + error);
}

} // namespace

QString TestLedger::emptyLedgerPath() {
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("NewRentbook.nrbk"));
}

void TestLedger::addEngineRows() {
    g_engineRows = true;
    QTest::addColumn<LedgerEngine>("engine");
    QTest::newRow("file") << LedgerEngine::File;
    QTest::newRow("server") << LedgerEngine::Server;
}

LedgerEngine TestLedger::currentEngine() {
    if (!g_engineRows)
        return LedgerEngine::File;
    QFETCH_GLOBAL(LedgerEngine, engine);
    return engine;
}

QString TestLedger::serverSetting(const QString& key) {
    static const QHash<QString, QString> settings = readServerSettings();
    return settings.value(key);
}

QString TestLedger::createDatabase() {
    const QString name = QStringLiteral("rbtest_%1_%2").arg(QCoreApplication::applicationPid()).arg(++g_databases);
    adminExec(QStringLiteral("drop database if exists %1").arg(name));
    adminExec(QStringLiteral("create database %1").arg(name));
    return withDatabase(serverSetting(QStringLiteral("RENTBOOK_TEST_PG")), name);
}

void TestLedger::dropDatabase(const QString& uri) {
    // The program keeps idle connections for reuse; they would hold the database.
    ForgetServerConnections();
    const QString database = LedgerLocation::serverAddress(uri).database;
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
        m_path = createDatabase();
        LedgerProblem problem;
        QString detail;
        auto connection = ServerConnection::acquire(m_path, problem, detail);
        if (connection) {
            connection->begin();
            CreateServerLedgerTables(*connection);
            connection->commit();
            m_ok = true;
        }
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
    if (m_engine == LedgerEngine::Server && !m_path.isEmpty())
        dropDatabase(m_path);
}

void TestLedger::exec(const QString& statement) const {
    Database db(m_path);
    if (!db.open())
        throw DbError(QStringLiteral("test ledger cannot be opened"));
    db.execute(statement);
}

QList<QStringList> TestLedger::rows(const QString& query) const {
    Database db(m_path);
    if (!db.open())
        throw DbError(QStringLiteral("test ledger cannot be opened"));
    QList<QStringList> out;
    for (Recordset rs = db.query(query); !rs.isEOF(); rs.moveNext()) {
        QStringList r;
        for (int i = 0; i < rs.fieldCount(); ++i)
            r << rs.field(i);
        out << r;
    }
    return out;
}

QStringList TestLedger::row(const QString& query) const {
    const auto all = rows(query);
    return all.isEmpty() ? QStringList() : all.first();
}
