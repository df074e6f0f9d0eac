#pragma once

// A ledger of its own for one test, made the program's ledger for as long as the object lives: a
// copy of the empty ledger file in a temporary folder, or an empty ledger on the throwaway test
// server that CTest starts (see scripts/test-postgres). A server ledger is a schema of its own in
// one database of the test process (its address names the schema in the connection options), so
// it sees only its own tables; ledgers of one process share that database's locks and
// notification channel. createDatabase() gives a whole database where a test needs one.
//
// A test class runs its test functions on both engines by giving them a global data column:
//     void initTestCase_data() { TestLedger::addEngineRows(); }
// Every TestLedger made inside such a test then uses the row's engine ("file" or "server").

#include "data/SqlStatement.h"

#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

enum class LedgerEngine { File, Server };
Q_DECLARE_METATYPE(LedgerEngine)

class TestLedger {
public:
    TestLedger();
    explicit TestLedger(LedgerEngine engine);
    ~TestLedger();
    TestLedger(const TestLedger&) = delete;
    TestLedger& operator=(const TestLedger&) = delete;

    bool isValid() const { return m_ok; }
    // The ledger's location: the file's path, or the server address.
    QString path() const { return m_path; }
    QString dir() const { return m_dir.path(); }
    bool isServer() const { return m_engine == LedgerEngine::Server; }

    // Runs statements on a connection of its own (setting up rows, reading them back).
    void exec(const QString& statement, const SqlValues& values = {}) const {
        exec(SqlStatement(statement, values));
    }
    void exec(const SqlStatement& statement) const;
    QList<QStringList> rows(const QString& query, const SqlValues& values = {}) const;
    // The first row, every column as text.
    QStringList row(const QString& query, const SqlValues& values = {}) const {
        return rows(query, values).value(0);
    }

    static QString emptyLedgerPath();

    // The global data rows "file" and "server"; call in initTestCase_data().
    static void addEngineRows();
    // The engine of the running global data row; File when the test has no engine rows.
    static LedgerEngine currentEngine();

    // The test server, from the file CTest names in RENTBOOK_TEST_PG_ENV: key "RENTBOOK_TEST_PG"
    // is the superuser's address, "RENTBOOK_TEST_PG_TCP" the password account's. Empty when
    // there is no test server.
    static QString serverSetting(const QString& key);
    // A database of its own on the test server (empty, no ledger in it), dropped by dropDatabase.
    static QString createDatabase();
    static void dropDatabase(const QString& uri);

private:
    QTemporaryDir m_dir;
    QString m_path;
    QString m_previous;
    QString m_schema; // a server ledger's schema in the process's test database
    LedgerEngine m_engine = LedgerEngine::File;
    bool m_ok = false;
};
