#include "users/UserStatements.h"

#include "data/Database.h"
#include "data/DbError.h"
#include "data/LoginChoice.h"
#include "data/PasswordHash.h"

QList<UserRow> LedgerUsers(Database& db) {
    QList<UserRow> users;
    for (Recordset rs = db.query(QStringLiteral("select * from USER order by id")); !rs.isEOF();
         rs.moveNext())
        users.append({rs.field(1), rs.field(2)});
    return users;
}

QStringList UserNames(Database& db) {
    QStringList names;
    for (Recordset rs = db.query(QStringLiteral("select * from [USER]")); !rs.isEOF(); rs.moveNext())
        names << rs.field(1);
    return names;
}

bool UserExists(Database& db, const QString& name) {
    for (Recordset rs = db.query(QStringLiteral("select * from USER")); !rs.isEOF(); rs.moveNext())
        if (rs.field(1) == name)
            return true;
    return false;
}

void AddUser(Database& db, const QString& name, const QString& power, const QString& password) {
    db.execute(QStringLiteral("insert into USER ([userName],[power],[code]) values(?,?,?)"),
               {name, power, HashPassword(password)});
}

void DeleteUser(Database& db, const QString& name) {
    db.execute(QStringLiteral("delete from USER where userName = ?"), {name});
}

void SetUserPower(Database& db, const QString& name, const QString& power) {
    db.execute(QStringLiteral("update USER set [power] = ? where [userName] = ?"), {power, name});
}

void SetUserPassword(Database& db, const QString& name, const QString& password) {
    db.execute(QStringLiteral("update USER set [code] = ? where [userName] = ?"),
               {HashPassword(password), name});
}

std::optional<QString> StoredPassword(Database& db, const QString& name) {
    Recordset rs = db.query(QStringLiteral("select * from USER where userName = ?"), {name});
    if (rs.isEOF())
        return std::nullopt;
    return rs.field(3);
}

void CreateDefaultUser(Database& db) {
    db.execute(QStringLiteral("insert into [USER] ([userName],[code]) values(?, ?)"),
               {QStringLiteral("admin"), QString()});
    if (db.isServer()) {
        // The office's ledger: the remembered user and the flag are this PC's own.
        db.execute(QStringLiteral("update [USER_SET] set [set4] = ?,[set5] = ? where id = 1"),
                   {QStringLiteral("收款收据"), QString()});
        SaveLoginChoice(db, QStringLiteral("admin"), 0);
    } else {
        db.execute(
            QStringLiteral("update [USER_SET] set [set2] = ?, [set3] = ?,[set4] = ?,[set5] = ? where id = 1"),
            {QStringLiteral("admin"), QStringLiteral("0"), QStringLiteral("收款收据"), QString()});
    }
}

LoginCheck CheckLogin(Database& db, const QString& name, const QString& typed) {
    LoginCheck check;
    QString stored;
    {
        Recordset rs = db.query(QStringLiteral("select * from [USER] where [userName] = ?"), {name});
        if (rs.isEOF())
            return check;
        check.exists = true;
        check.power = rs.field(2);
        stored = rs.field(3);
    }
    check.matches = PasswordMatches(typed, stored);
    if (check.matches && !stored.isEmpty() && !IsPasswordHash(stored)) {
        // Written readable by another tool since the ledger was upgraded: kept as a hash from now on.
        try {
            db.execute(QStringLiteral("update [USER] set [code] = ? where [userName] = ? and [code] = ?"),
                       {HashPassword(typed), name, stored});
        } catch (const DbError&) {
        }
    }
    return check;
}
