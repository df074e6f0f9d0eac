#pragma once

// The reads the meter-reading round makes of its own; the receipts it stores go through the
// receipt form's statements. Values are bound, never written into the text. Throws DbError.

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

class Database;

// The rooms of the address pick-list, as spelt there.
QStringList PickListRooms(Database& db);

struct RoundTenant {
    QString room;
    QString name;
    QString rent; // the register's rent as the form's box shows it
};
// The tenants whose tenancy (where given) reaches into the month, in the order entered; the one
// entered last is the room's tenant.
QList<RoundTenant> TenantsOfMonth(Database& db, const QDate& month);

// The rooms with a receipt issued in the month, as spelt there.
QStringList RoomsIssuedIn(Database& db, const QDate& month);

// Whether a receipt of that number is in the ledger.
bool ReceiptNumberTaken(Database& db, const QString& number);
