#include "data/LoginChoice.h"
#include "data/Database.h"
#include "data/LedgerLocation.h"
#include "data/Settings.h"

#include <QCryptographicHash>
#include <QSettings>

namespace {

QString locationOf(const Database& db) {
    return db.path().isEmpty() ? DataSource::ledgerPath() : db.path();
}

// The same settings file as the remembered ledger's. An address holds "/" and ":", which the file
// would take for groups: each server has a group named by a digest of its address.
class PcChoice {
public:
    explicit PcChoice(const QString& location)
        : m_settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Rentbook"),
                     QStringLiteral("Rentbook")),
          m_address(LedgerLocation::withoutPassword(location)) {
        m_settings.beginGroup(
            QStringLiteral("login/") +
            QString::fromLatin1(
                QCryptographicHash::hash(m_address.toUtf8(), QCryptographicHash::Sha1).toHex()));
    }
    LoginChoice read() const {
        return {m_settings.value(QStringLiteral("user")).toString(),
                textToInt(m_settings.value(QStringLiteral("autoLogin")).toString())};
    }
    void write(const QString& user, int autoLogin) {
        m_settings.setValue(QStringLiteral("ledger"), m_address);
        m_settings.setValue(QStringLiteral("user"), user);
        m_settings.setValue(QStringLiteral("autoLogin"), QString::number(autoLogin));
        m_settings.sync();
    }

private:
    QSettings m_settings;
    QString m_address;
};

} // namespace

LoginChoice ReadLoginChoice(Database& db) {
    if (db.isServer())
        return PcChoice(locationOf(db)).read();
    LoginChoice out;
    Recordset rs = db.query(QStringLiteral("select * from [USER_SET] where [id]=1"));
    if (!rs.isEOF()) {
        out.user = rs.field(3);
        out.autoLogin = textToInt(rs.field(4));
    }
    return out;
}

void SaveLoginChoice(Database& db, const QString& user, int autoLogin) {
    if (db.isServer()) {
        PcChoice(locationOf(db)).write(user, autoLogin);
        return;
    }
    db.execute(QStringLiteral("update USER_SET set [set2]=?,[set3]=? where id=1"),
               {user, QString::number(autoLogin)});
}

void CancelAutoLogin(Database& db) {
    if (db.isServer()) {
        PcChoice choice(locationOf(db));
        choice.write(choice.read().user, 0);
        return;
    }
    db.execute(QStringLiteral("update USER_SET set [set3]=? where id=1"), {QString::number(0)});
}
