#include "data/LedgerSnapshot.h"
#include "data/LedgerFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

#include <sqlite3.h>

LedgerFileConnection::~LedgerFileConnection() {
    sqlite3_close_v2(db);
}

bool LedgerFileConnection::open(const QString& path, int flags) {
    const QByteArray name = QFile::encodeName(path);
    if (sqlite3_open_v2(name.constData(), &db, flags, nullptr) != SQLITE_OK)
        return false;
    sqlite3_busy_timeout(db, 5000);
    return true;
}

LedgerSnapshot::LedgerSnapshot(const QString& folderTemplate) : m_dir(folderTemplate) {
}

bool LedgerSnapshot::open(const QString& source) {
    const QString copy = m_dir.filePath(QStringLiteral("source.rbk"));
    if (!m_dir.isValid() || !QFile::copy(source, copy))
        return false;
    for (const QString& suffix : {QStringLiteral("-journal"), QStringLiteral("-wal")})
        if (QFileInfo::exists(source + suffix) && !QFile::copy(source + suffix, copy + suffix))
            return false;
    for (const QString& file : QDir(m_dir.path()).entryList(QDir::Files))
        QFile::setPermissions(m_dir.filePath(file), QFile::ReadOwner | QFile::WriteOwner);
    return m_connection.open(copy, SQLITE_OPEN_READWRITE) &&
           ExamineLedger(m_connection.db) == LedgerProblem::None && LedgerIntegrityOk(m_connection.db);
}

bool ReplaceLedgerFile(const QString& from, const QString& to) {
#ifdef Q_OS_WIN
    QFile::remove(to);
    return QFile::rename(from, to);
#else
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#endif
}
