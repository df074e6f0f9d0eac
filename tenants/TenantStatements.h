#pragma once

// The tenant register's statements and the texts its list shows. Typed text goes beside a
// statement as a bound value, never into it.

#include "data/SqlStatement.h"

#include <QDate>
#include <QString>

#include <cstdint>
#include <optional>

class Database;
class Recordset;

// Positions of the client columns; rows are read by position.
namespace ClientColumn {
enum : int {
    Id = 0,
    Name = 1,
    Card = 2,
    Tel = 3,
    Address = 4,
    QQ = 5,
    Company = 6,
    Deposit = 7, // row1
    Rent = 13,   // zuMoney
    DateFrom = 14,
    DateTo = 15,
};
}

// The six text fields a search narrows by, and that Add and Modify write with the money and dates.
struct TenantFields {
    QString name;
    QString card;
    QString tel;
    QString address;
    QString qq;
    QString company;
};

struct TenantValues {
    TenantFields text;
    QString deposit;  // "%.2f"
    double rent = 0;  // written with two decimals
    QString dateFrom; // "YYYY-MM-DD 00:00:00"
    QString dateTo;
};

// A money box as the register stores it: the leading number, "%.2f"; text without one is "0.00".
QString TenantMoneyText(const QString& typed);

// A picker's date as the register stores it, at midnight: "2026-01-05 00:00:00".
QString TenantDateText(const QDate& date);

// A stored date as the list shows it: the text before the first blank.
QString TenantListDate(const QString& stored);

// A listed date back into a picker: year from characters 1 to 4, month from the number at
// character 6, day from the number at character 9. An invalid date when the text is none.
QDate ParseTenantListDate(const QString& listed);

// The search: each non-empty field must occur in its column as typed (LIKE's wildcards in the text
// are taken literally); an empty field leaves its column free, empty or not. Listed by id.
SqlStatement BuildTenantQuery(const TenantFields& search);

SqlStatement BuildTenantInsert(const TenantValues& values);
SqlStatement BuildTenantUpdate(const TenantValues& values, qint64 id);
SqlStatement BuildTenantDelete(qint64 id);

// Stores a new tenant and returns its ledger key: the key this connection's insert made, never
// the largest key (another clerk may add a tenant in between). Throws DbError.
qint64 InsertTenant(Database& db, const TenantValues& values);

// Several clerks on one register: a tenant is amended or deleted only while it is stored as the
// clerk saw it (its LedgerRowVersion then), checked inside the transaction that writes, under the
// ledger's write lock. Statements that fail throw DbError (nothing is changed then).
enum class TenantConflict {
    None,    // as the clerk saw it: the change was made
    Deleted, // another clerk deleted it meanwhile: nothing was changed
    Changed, // another clerk changed it meanwhile: nothing was changed
};

// The tenant's row as stored now (select * by key): empty when it is gone.
Recordset TenantByKey(Database& db, qint64 id);
// Its LedgerRowVersion; nothing when it is gone.
std::optional<std::uint64_t> TenantVersionByKey(Database& db, qint64 id);

struct TenantAmendResult {
    TenantConflict conflict = TenantConflict::None;
    std::uint64_t version = 0; // the amended tenant's new version
};
TenantAmendResult AmendTenant(Database& db, const TenantValues& values, qint64 id, std::uint64_t seen);
TenantConflict DeleteTenant(Database& db, qint64 id, std::uint64_t seen);

// What the clerk is told when an amendment (deleting false) or a deletion of the tenant named
// name was refused.
QString TenantConflictMessage(TenantConflict conflict, bool deleting, const QString& name);
