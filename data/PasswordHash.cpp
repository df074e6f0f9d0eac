#include "data/PasswordHash.h"
#include "data/DbError.h"
#include "data/ServerConnection.h"

#include <libpq-fe.h>
#include <sodium.h>
#include <sqlite3.h>

#include <atomic>
#include <utility>
#include <vector>

namespace {

std::atomic<PasswordHashCost> g_cost{PasswordHashCost::Interactive};

bool sodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

[[noreturn]] void throwFile(sqlite3* db) {
    throw DbError(QString::fromUtf8(sqlite3_errmsg(db)), sqlite3_extended_errcode(db));
}

} // namespace

void SetPasswordHashCost(PasswordHashCost cost) {
    g_cost = cost;
}

QString HashPassword(const QString& password) {
    if (password.isEmpty())
        return {};
    const bool test = g_cost == PasswordHashCost::TestOnly;
    const QByteArray utf8 = password.toUtf8();
    char out[crypto_pwhash_argon2id_STRBYTES];
    if (!sodiumReady() ||
        crypto_pwhash_argon2id_str(
            out, utf8.constData(), std::size_t(utf8.size()),
            test ? crypto_pwhash_argon2id_OPSLIMIT_MIN : crypto_pwhash_argon2id_OPSLIMIT_INTERACTIVE,
            test ? crypto_pwhash_argon2id_MEMLIMIT_MIN : crypto_pwhash_argon2id_MEMLIMIT_INTERACTIVE) != 0)
        throw DbError(QStringLiteral("the password could not be hashed (out of memory)"));
    return QString::fromLatin1(out);
}

bool IsPasswordHash(const QString& stored) {
    if (!stored.startsWith(QLatin1String(crypto_pwhash_argon2id_STRPREFIX)) || !sodiumReady())
        return false;
    // -1: not a hash string libsodium can read (the cost given only decides between 0 and 1).
    return crypto_pwhash_argon2id_str_needs_rehash(stored.toLatin1().constData(),
                                                   crypto_pwhash_argon2id_OPSLIMIT_INTERACTIVE,
                                                   crypto_pwhash_argon2id_MEMLIMIT_INTERACTIVE) >= 0;
}

bool PasswordMatches(const QString& typed, const QString& stored) {
    if (stored.isEmpty())
        return typed.isEmpty();
    if (!IsPasswordHash(stored))
        return typed == stored;
    const QByteArray utf8 = typed.toUtf8();
    return crypto_pwhash_argon2id_str_verify(stored.toLatin1().constData(), utf8.constData(),
                                             std::size_t(utf8.size())) == 0;
}

void HashStoredPasswords(sqlite3* db) {
    std::vector<std::pair<sqlite3_int64, QString>> readable;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "select id, code from \"USER\" where code <> ''", -1, &st, nullptr) !=
        SQLITE_OK)
        throwFile(db);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        const QString code = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)),
                                               sqlite3_column_bytes(st, 1));
        if (!IsPasswordHash(code))
            readable.emplace_back(sqlite3_column_int64(st, 0), code);
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE)
        throwFile(db);
    if (readable.empty())
        return;
    if (sqlite3_prepare_v2(db, "update \"USER\" set code = ?1 where id = ?2", -1, &st, nullptr) != SQLITE_OK)
        throwFile(db);
    for (const auto& [id, code] : readable) {
        const QByteArray hash = HashPassword(code).toLatin1();
        sqlite3_bind_text(st, 1, hash.constData(), int(hash.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(st, 2, id);
        rc = sqlite3_step(st);
        sqlite3_reset(st);
        if (rc != SQLITE_DONE) {
            sqlite3_finalize(st);
            throwFile(db);
        }
    }
    sqlite3_finalize(st);
}

void HashStoredPasswords(ServerConnection& server, const QByteArray& schema) {
    const QByteArray table = (schema.isEmpty() ? QByteArray() : schema + '.') + "\"user\"";
    const auto r = server.exec("select id, code from " + table + " where code <> ''");
    for (int row = 0; row < r->rows; ++row) {
        const QString code = QString::fromUtf8(PQgetvalue(r->result, row, 1), PQgetlength(r->result, row, 1));
        if (IsPasswordHash(code))
            continue;
        // A hash is letters, digits and "$,=+/" only: it goes between quotes as it is.
        server.exec("update " + table + " set code = '" + HashPassword(code).toLatin1() +
                    "' where id = " + QByteArray(PQgetvalue(r->result, row, 0)));
    }
}
