#pragma once

// The ledger's users: who there is, adding, deleting, their power and password, and the check of
// a typed password at login. Passwords are stored hashed; a readable one written by another tool
// is hashed at its user's next login.

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class Database;

struct UserRow {
    QString name;
    QString power; // "1" administrator, "0" ordinary user
};

// The users in the order the ledger keeps them (by id: a server moves a changed row to the end).
QList<UserRow> LedgerUsers(Database& db);
// The names in the ledger's own order.
QStringList UserNames(Database& db);
bool UserExists(Database& db, const QString& name);

void AddUser(Database& db, const QString& name, const QString& power, const QString& password);
void DeleteUser(Database& db, const QString& name);
void SetUserPower(Database& db, const QString& name, const QString& power);
void SetUserPassword(Database& db, const QString& name, const QString& password);
// The stored password (hash, readable or empty); none when there is no such user.
std::optional<QString> StoredPassword(Database& db, const QString& name);

// The user a ledger without users starts with: "admin" without a password, remembered for the
// next login (on a server ledger in this PC's settings, never in the shared row).
void CreateDefaultUser(Database& db);

struct LoginCheck {
    bool exists = false;
    bool matches = false;
    QString power;
};
// Checks the typed password of a user; a readable stored password that matches is hashed on the way.
LoginCheck CheckLogin(Database& db, const QString& name, const QString& typed);
