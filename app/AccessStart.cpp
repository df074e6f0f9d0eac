#include "app/AccessStart.h"
#include "data/Database.h"
#include "data/LedgerLocation.h"
#include "platform/Services.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace startup {

namespace {

AccessImportRunner& importRunner() {
    static AccessImportRunner runner;
    return runner;
}

accessimport::ImportResult runImport(Database& db, const QString& path) {
    if (importRunner())
        return importRunner()(db, path);
    return accessimport::ImportAccessLedger(db, path);
}

QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// A new ledger file at target made from the empty ledger, the owner's alone.
bool makeLedgerFile(const QString& emptyLedger, const QString& target) {
    if (!QFile::copy(emptyLedger, target))
        return false;
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
    return true;
}

// Imports the Access file at path into a new ledger file at part. Empty on success, else why not.
QString importIntoNewFile(const QString& path, const QString& part, const QString& emptyLedger) {
    if (!makeLedgerFile(emptyLedger, part))
        return QStringLiteral("无法建立新账本“%1”，没有导入。").arg(shown(part));
    Database db(part);
    if (!db.open())
        return db.problemText();
    const accessimport::ImportResult result = runImport(db, path);
    return result.ok ? QString() : result.message;
}

} // namespace

bool isAccessFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray header = file.read(19);
    return header.size() == 19 && (header.mid(4) == "Standard Jet DB" || header.mid(4) == "Standard ACE DB");
}

void setAccessImportRunner(AccessImportRunner runner) {
    importRunner() = std::move(runner);
}

QString accessAsidePath(const QString& path, const QDateTime& when) {
    const QFileInfo info(path);
    const QString stem = info.dir().filePath(info.completeBaseName() + QStringLiteral("-access-") +
                                             when.toString(QStringLiteral("yyyyMMdd-HHmmss")));
    QString aside = stem + QStringLiteral(".mdb");
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = stem + QStringLiteral("-%1.mdb").arg(n);
    return aside;
}

bool offerAccessImport(const QString& path, const QString& emptyLedger, QString& problemText) {
    const QString aside = accessAsidePath(path, platform::now());
    const QString question =
        QStringLiteral("账本文件“%1”是旧版Windows程序的Access账本，本程序不能直接使用。\n\n"
                       "是否把它导入一个新账本？\n"
                       "· 原文件改名为“%2”保留在原处，不会被修改或删除；\n"
                       "· 新账本使用原来的文件名，导入后照常登录，用户和密码不变。")
            .arg(shown(path), QFileInfo(aside).fileName());
    if (!platform::confirmNoByDefault(nullptr, question, QStringLiteral("导入旧账本"))) {
        problemText =
            QStringLiteral("账本文件“%1”是旧版Windows程序的Access账本，没有导入。").arg(shown(path));
        return false;
    }
    const QString part = path + QStringLiteral(".importing");
    QFile::remove(part);
    QString why = importIntoNewFile(path, part, emptyLedger);
    if (why.isEmpty() && !QFile::rename(path, aside))
        why = QStringLiteral("无法把原文件改名为“%1”，没有导入。").arg(shown(aside));
    if (why.isEmpty() && !QFile::rename(part, path)) {
        QFile::rename(aside, path);
        why = QStringLiteral("无法把新账本放到“%1”，没有导入。").arg(shown(path));
    }
    if (!why.isEmpty()) {
        QFile::remove(part);
        problemText = why;
        platform::messageBox(nullptr, why, QStringLiteral("导入旧账本"), platform::MsgIcon::Error);
        return false;
    }
    platform::messageBox(nullptr,
                         QStringLiteral("旧账本已导入新账本“%1”，原文件改名为“%2”。")
                             .arg(shown(path), QFileInfo(aside).fileName()),
                         QStringLiteral("导入旧账本"), platform::MsgIcon::Information);
    return true;
}

TerminalAnswer importAccessOnTerminal(const QString& file, const QString& location,
                                      const QString& emptyLedger,
                                      const std::function<void(const QString&)>& print) {
    TerminalAnswer answer{true, 1, {}, {}};
    const bool server = LedgerLocation::isServer(location);
    const bool made = !server && !QFileInfo::exists(location);
    if (made && !makeLedgerFile(emptyLedger, location)) {
        answer.err = QStringLiteral("无法建立新账本“%1”，没有导入。\n").arg(shown(location));
        return answer;
    }
    Database db(location);
    accessimport::ImportResult result;
    if (!db.open()) {
        result.message = db.problemText();
    } else {
        int told = -1;
        result = accessimport::ImportAccessLedger(db, file, [&](qint64 rows, qint64 total) {
            const int tenth = total > 0 ? int(rows * 10 / total) : 0;
            if (print && tenth != told)
                print(QStringLiteral("已导入 %1 行，共约 %2 行\n").arg(rows).arg(total));
            told = tenth;
            return true;
        });
        db.close();
    }
    if (made && !result.ok)
        QFile::remove(location);
    answer.status = result.ok ? 0 : 1;
    (result.ok ? answer.out : answer.err) =
        result.message + QStringLiteral("\n账本：") + LedgerLocation::describe(location) + QLatin1Char('\n');
    return answer;
}

} // namespace startup
