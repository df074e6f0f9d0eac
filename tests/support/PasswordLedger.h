#pragma once

// A ledger on the test server owned by the password account (clerk, over TCP on 127.0.0.1), so
// that opening it asks for clerk's password when libpq's own means give none. Holds "admin"
// and any users given; with makeLedger false the database is left empty (clerk's, no ledger in
// it). The database is dropped with the object.

#include "data/LedgerLocation.h"
#include "data/ServerConnection.h"
#include "data/ServerLedger.h"
#include "tests/support/LedgerProbe.h"
#include "tests/support/TestLedger.h"

#include <QCoreApplication>

class PasswordLedger {
public:
    explicit PasswordLedger(const QStringList& users = {}, bool makeLedger = true) {
        const QString tcp = TestLedger::serverSetting("RENTBOOK_TEST_PG_TCP");
        if (tcp.isEmpty())
            return;
        m_super = TestLedger::createDatabase();
        const QString database = LedgerLocation::serverAddress(m_super).database;
        m_uri = tcp.left(tcp.lastIndexOf('/') + 1) + database;
        if (!superExec(QString("alter database %1 owner to clerk").arg(database)))
            return;
        if (!makeLedger) {
            m_ok = true;
            return;
        }
        // Made by clerk, as an administrator would make it: the tables are clerk's.
        SetServerPassword(password());
        QString message;
        const bool made = InitServerLedger(m_uri, message);
        SetServerPassword(QString());
        ForgetServerConnections();
        if (!made) {
            qWarning("PasswordLedger: %s", qPrintable(message));
            return;
        }
        for (const QString& u : users)
            if (!superExec(
                    QString("insert into \"user\" (username, power, code) values ('%1', '1', '')").arg(u)))
                return;
        m_ok = true;
    }
    ~PasswordLedger() {
        if (!m_super.isEmpty())
            TestLedger::dropDatabase(m_super);
    }
    PasswordLedger(const PasswordLedger&) = delete;
    PasswordLedger& operator=(const PasswordLedger&) = delete;

    bool isValid() const { return m_ok; }
    // clerk's address, without a password.
    QString uri() const { return m_uri; }
    // The same with the password written in it.
    QString uriWithPassword(const QString& pw = password()) const {
        return QString(m_uri).replace("://clerk@", "://clerk:" + pw + "@");
    }
    static QString password() { return TestLedger::serverSetting("RENTBOOK_TEST_PG_PASSWORD"); }

    // Runs a statement as the superuser in the ledger's database.
    bool superExec(const QString& sql) const { return ServerSession(m_super).exec(sql).isEmpty(); }

private:
    QString m_uri;
    QString m_super;
    bool m_ok = false;
};
