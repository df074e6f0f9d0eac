#include "data/LedgerChoice.h"
#include "data/Database.h"
#include "data/LedgerLocation.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace ledgerchoice {

namespace {

QString g_localLedger;

QSettings settingsFile() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Rentbook"),
                     QStringLiteral("Rentbook"));
}

} // namespace

QString remembered() {
    return settingsFile().value(QLatin1String(kSettingsKey)).toString();
}

bool remember(const QString& location) {
    QSettings settings = settingsFile();
    if (isLocal(location))
        settings.remove(QLatin1String(kSettingsKey));
    else
        settings.setValue(QLatin1String(kSettingsKey), LedgerLocation::withoutPassword(location));
    settings.sync();
    return settings.status() == QSettings::NoError;
}

QString settingsFileName() {
    return settingsFile().fileName();
}

QString localLedger() {
    return g_localLedger.isEmpty() ? QDir::current().filePath(DataSource::name() + QStringLiteral(".rbk"))
                                   : g_localLedger;
}

void setLocalLedger(const QString& path) {
    g_localLedger = path;
}

bool isLocal(const QString& location) {
    if (location.isEmpty() || location == QLatin1String("local"))
        return true;
    if (LedgerLocation::isServer(location))
        return false;
    return QFileInfo(location).absoluteFilePath() == QFileInfo(localLedger()).absoluteFilePath();
}

QString resolve(const QString& value, const QString& baseDir) {
    if (LedgerLocation::isServer(value))
        return value;
    const QString path =
        value.isEmpty() || value == QLatin1String("local")
            ? value
            : QDir(baseDir.isEmpty() ? QDir::currentPath() : baseDir).absoluteFilePath(value);
    return isLocal(path) ? localLedger() : QDir::cleanPath(path);
}

QString passwordPrompt(const QString& uri) {
    const LedgerLocation::ServerAddress a = LedgerLocation::serverAddress(uri);
    // libpq's own default when the address names no user: the account logged in here.
    QString user = a.user;
    if (user.isEmpty())
        user = qEnvironmentVariable("PGUSER", qEnvironmentVariable("USER"));
    return QStringLiteral("请输入账本服务器 %1 上用户 %2 的密码：")
        .arg(a.host.isEmpty() ? QStringLiteral("本机") : a.host, user);
}

} // namespace ledgerchoice
