#pragma once

// Who is proposed at the next login, and whether the next start skips the login. A ledger file
// keeps both in its settings row (USER_SET row 1: [set2], [set3]). A server ledger is shared by
// every PC of the office, so there each PC keeps its own choice in its settings file, beside the
// remembered ledger, one per server address: one clerk's "下次直接登录" never logs another PC in.

#include <QString>

class Database;

struct LoginChoice {
    QString user;
    int autoLogin = 0;
};

// The choice for db's ledger (db open for a ledger file; throws DbError there).
LoginChoice ReadLoginChoice(Database& db);
// Keeps user and the flag for db's ledger.
void SaveLoginChoice(Database& db, const QString& user, int autoLogin);
// Turns the automatic login off, the remembered user kept.
void CancelAutoLogin(Database& db);
