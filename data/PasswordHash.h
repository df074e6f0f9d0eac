#pragma once

// Users' passwords as the ledger keeps them: a salted, slow Argon2id hash in libsodium's string
// form ("$argon2id$v=19$m=65536,t=2,p=1$salt$hash"), never the password itself. An empty password
// means the user has none; it is stored empty, and such a user logs in with nothing typed.
// Ledgers of earlier versions held passwords as typed: their upgrade hashes them, and a readable
// password written since by another tool still logs in (the login then hashes it).

#include <QByteArray>
#include <QString>

class ServerConnection;
struct sqlite3;

// What to store for a password: its hash, or empty for none. Throws DbError when no hash can be
// made (the memory it needs is not there).
QString HashPassword(const QString& password);

// Whether typed is the password that stored holds (a hash, or an earlier ledger's readable text).
bool PasswordMatches(const QString& typed, const QString& stored);

// Whether stored is a hash (as against a password kept readable).
bool IsPasswordHash(const QString& stored);

// Hashes every readable password of the users of a ledger file, or of the server ledger in the
// search path's schema (or in schema), inside the caller's transaction. Throws DbError.
void HashStoredPasswords(sqlite3* db);
void HashStoredPasswords(ServerConnection& server, const QByteArray& schema = {});

// The cost of a new hash: the program's (interactive: a fraction of a second and 64 MiB), or the
// least libsodium allows, for tests that make many. Checking a hash costs what it was made with.
enum class PasswordHashCost { Interactive, TestOnly };
void SetPasswordHashCost(PasswordHashCost cost);
