#pragma once

// The figures of the overview window ("收支统计"), each summed by the ledger itself: income by
// month, the rooms charged and not charged in a month, and a room's meter usage month by month.
// Amended receipts count as they stand now, deleted ones not at all. Rooms compare without regard
// to letter case, as the address prefill finds them. Statements that fail throw DbError.

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

class Database;

// ---- income by month ---------------------------------------------------------------------------

struct MonthIncome {
    QDate month; // its first day
    double rent = 0;
    double water = 0;
    double electricity = 0;
    double hotWater = 0;
    // The four captioned fees and "其他"; the rounding to whole yuan lands here too, so that the
    // parts add up to what was taken.
    double other = 0;
    double total = 0;
    int receipts = 0;
};

// Every month from the month of first to the month of last, a month without receipts as zeros.
QList<MonthIncome> IncomeByMonth(Database& db, const QDate& first, const QDate& last);
// The months of the chooser: the last count months up to the month of today, or whole years.
QList<MonthIncome> IncomeOfLastMonths(Database& db, const QDate& today, int count);
QList<MonthIncome> IncomeOfYears(Database& db, int fromYear, int toYear);

// ---- rooms charged in a month --------------------------------------------------------------------

struct RoomCharge {
    QString room;            // as the pick-list, the register or else the receipt spells it
    QStringList numbers;     // the receipts dated in the month, oldest first; empty: not charged
    double total = 0;        // their totals
    double expectedRent = 0; // the register's rent of the room's tenant
    bool charged() const { return !numbers.isEmpty(); }
};

struct MonthCharges {
    QList<RoomCharge> rooms; // the rooms not charged first, each part by room
    int uncharged = 0;
    double expectedRent = 0; // the register's rent of the rooms not charged
};

// Every room of the address pick-list and the tenant register, and every room with a receipt in
// the month. A tenant counts for a month its tenancy (where given) reaches into.
MonthCharges ChargesOfMonth(Database& db, const QDate& month);
// "2026年12月：共N间，已开收据M间，未开收据K间，应收房租X元"
QString ChargesSummary(const QDate& month, const MonthCharges& charges);

// ---- usage per room -------------------------------------------------------------------------------

enum UsageMeter { UsageWater, UsageElectricity, UsageHotWater, UsageMeterCount };

struct MonthUsage {
    QDate month;
    bool hasReceipt = false;
    double usage[UsageMeterCount] = {0, 0, 0};
    bool unusual[UsageMeterCount] = {false, false, false};
};

struct RoomUsage {
    QList<MonthUsage> months;
    double median[UsageMeterCount] = {0, 0, 0};
};

// The count months up to the month of today; a month's usage is this − last of its receipts
// (hot water only from the three-row form). A month is unusual for a meter when its usage is
// more than twice the median of the months with a receipt (and that median is above zero).
RoomUsage UsageOfRoom(Database& db, const QString& room, const QDate& today, int count = 24);
// "用量异常" lines: "2026-05 水 45.00（中位数 12.00）".
QStringList UnusualUsageLines(const RoomUsage& usage);
QString UsageMeterName(UsageMeter meter);

// The rooms the usage chooser offers: the pick-list and the register, by room, letter case aside.
QStringList KnownRooms(Database& db);
