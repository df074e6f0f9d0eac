#include "data/LedgerUpgrade.h"
#include "data/DbError.h"
#include "data/LedgerSchema.h"
#include "data/PasswordHash.h"

#include <sqlite3.h>

#include <string>
#include <string_view>

int LedgerUserVersion(sqlite3* db) {
    sqlite3_stmt* st = nullptr;
    int version = -1;
    if (sqlite3_prepare_v2(db, "pragma user_version", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        version = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    return version;
}

namespace {

bool exec(sqlite3* db, const std::string& sql) {
    return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Version 1: the date triggers use SQLite's own date functions instead of a function only the
// program registered, so that any SQLite tool can write to the ledger. Every trigger of the
// schema script is made anew.
bool toVersion1(sqlite3* db) {
    for (const char* old : {"receipt_dates_insert", "receipt_dates_update", "client_dates_insert",
                            "client_dates_update", "receipt_dates_check_insert", "receipt_dates_check_update",
                            "client_dates_check_insert", "client_dates_check_update"})
        if (!exec(db, std::string("drop trigger if exists ") + old))
            return false;
    const std::string_view schema(kLedgerSchemaSql);
    for (std::size_t at = schema.find("CREATE TRIGGER"); at != std::string_view::npos;
         at = schema.find("CREATE TRIGGER", at + 1)) {
        const std::size_t end = schema.find("\nEND;", at);
        if (end == std::string_view::npos || !exec(db, std::string(schema.substr(at, end + 5 - at))))
            return false;
    }
    return true;
}

// Version 2: an index on the issue date, so that the overview's sums by month and a month's
// receipts read only the months they need.
bool toVersion2(sqlite3* db) {
    return exec(db, "create index if not exists receipt_rdate on RECEIPT (Rdate)");
}

// Version 3: users' passwords are kept as hashes; the ones typed into earlier versions are hashed
// here, once.
bool toVersion3(sqlite3* db) {
    try {
        HashStoredPasswords(db);
        return true;
    } catch (const DbError&) {
        return false;
    }
}

} // namespace

bool UpgradeLedger(sqlite3* db) {
    const int version = LedgerUserVersion(db);
    if (version < 0 || version > kLedgerSchemaVersion)
        return false;
    if (version == kLedgerSchemaVersion)
        return true;
    if (!exec(db, "begin immediate"))
        return false;
    const bool ok = (version >= 1 || toVersion1(db)) && toVersion2(db) && (version >= 3 || toVersion3(db)) &&
                    exec(db, "pragma user_version = " + std::to_string(kLedgerSchemaVersion));
    if (ok && exec(db, "commit"))
        return true;
    exec(db, "rollback");
    return false;
}
