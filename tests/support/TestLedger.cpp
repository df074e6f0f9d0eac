#include "tests/support/TestLedger.h"
#include "data/Database.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

QString TestLedger::emptyLedgerPath() {
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("NewRentbook.nrbk"));
}

TestLedger::TestLedger() : m_previous(DataSource::ledgerPath()) {
    m_path = QDir(m_dir.path()).filePath(QStringLiteral("Rentbook.rbk"));
    m_ok = m_dir.isValid() && QFile::copy(emptyLedgerPath(), m_path);
    QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner);
    DataSource::setLedgerPath(m_path);
}

TestLedger::~TestLedger() {
    DataSource::setLedgerPath(m_previous);
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
