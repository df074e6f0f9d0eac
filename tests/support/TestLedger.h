#pragma once

// A ledger of its own for one test: a copy of the empty ledger in a temporary folder, made the
// program's ledger for as long as the object lives.

#include <QString>
#include <QTemporaryDir>

class TestLedger {
public:
    TestLedger();
    ~TestLedger();
    TestLedger(const TestLedger&) = delete;
    TestLedger& operator=(const TestLedger&) = delete;

    bool isValid() const { return m_ok; }
    QString path() const { return m_path; }
    QString dir() const { return m_dir.path(); }

    // Runs statements on a connection of its own (setting up rows, reading them back).
    void exec(const QString& statement) const;
    QStringList row(const QString& query) const; // first row, every column as text
    QList<QStringList> rows(const QString& query) const;

    static QString emptyLedgerPath();

private:
    QTemporaryDir m_dir;
    QString m_path;
    QString m_previous;
    bool m_ok = false;
};
