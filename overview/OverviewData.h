#pragma once

// The figures of the overview window ("收支统计"), each summed from the ledger: income by month,
// the rooms charged and not charged in a month, and a room's meter usage month by month.
// Amended receipts count as they stand now, deleted ones not at all. Rooms compare without regard
// to letter case, as the address prefill finds them. Statements that fail throw DbError.
//
// Income is money received, so it goes by the issue date. What a receipt charges for (whether a
// room was charged in a month, and its usage) goes by the receipt's charging period while the
// ledger uses periods ("收费时段" ticked on the form), else by the issue date: October's rent paid
// on the 4th of November is October's.

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class Database;

// A room as the figures compare it: the Latin letters in lower case, all else as it stands.
QString RoomKey(const QString& room);

// ---- which months a receipt is for -------------------------------------------------------------

// Consecutive months from the first day of `first`.
struct ReceiptMonths {
    QDate first;
    int count = 1;
};

// A period covers each month whose 15th it holds; one that holds no 15th (a short period across the
// turn of a month) covers the month of its middle day. The figures below look for periods of up to
// two years. The period is the stored last day (Tdate)
// and the whole days before it (standby6). Without a period that is a date, or when byPeriod is
// false, the month of the issue date.
ReceiptMonths MonthsOfReceipt(const QString& issued, const QString& periodEnd, const QString& periodDays,
                              bool byPeriod);

// Whether the ledger's receipts are filed by their charging period (the form's "收费时段" option).
bool ReceiptsByPeriod(Database& db);

// ---- income by month ---------------------------------------------------------------------------

enum IncomePart {
    IncomeRent,
    IncomeWater,
    IncomeElectricity,
    IncomeHotWater,
    IncomeDeposit,    // TVfee
    IncomeCleaning,   // cleanfee
    IncomeNet,        // netfee
    IncomeManagement, // managefee
    IncomeOther,      // otherfee
    IncomeRounding,   // what the total differs from its parts by: the rounding to whole yuan
    IncomePartCount
};

struct MonthIncome {
    QDate month; // its first day
    double part[IncomePartCount] = {};
    double total = 0;
    int receipts = 0;
};

// Every month from the month of first to the month of last, a month without receipts as zeros.
QList<MonthIncome> IncomeByMonth(Database& db, const QDate& first, const QDate& last);
// The months of the chooser: the last count months up to the month of today, or whole years.
QList<MonthIncome> IncomeOfLastMonths(Database& db, const QDate& today, int count);
QList<MonthIncome> IncomeOfYears(Database& db, int fromYear, int toYear);
// The parts' headings: "房租", "水费", "电费", "热水费", the four fee captions as the form has them
// set, "其他费用" and "取整".
QStringList IncomePartNames(Database& db);

// ---- rooms charged in a month --------------------------------------------------------------------

struct RoomCharge {
    QString room;            // as the pick-list, the register or else the receipt spells it
    QStringList numbers;     // the receipts for the month, oldest first; empty: not charged
    double total = 0;        // their totals
    double expectedRent = 0; // the register's rent of the room's tenant
    bool charged() const { return !numbers.isEmpty(); }
};

struct MonthCharges {
    QList<RoomCharge> rooms; // the rooms not charged first, each part by room
    int uncharged = 0;
    double expectedRent = 0; // the register's rent of the rooms not charged
    bool byPeriod = false;   // receipts were filed by their charging period
};

// Every room of the address pick-list and the tenant register, and every room with a receipt for
// the month. A tenant counts for a month its tenancy (where given) reaches into.
MonthCharges ChargesOfMonth(Database& db, const QDate& month);
// "2026年12月：共N间，已开收据M间，未开收据K间，应收房租X元"
QString ChargesSummary(const QDate& month, const MonthCharges& charges);

// ---- usage per room -------------------------------------------------------------------------------

enum UsageMeter { UsageWater, UsageElectricity, UsageHotWater, UsageMeterCount };

struct MonthUsage {
    QDate month;
    bool hasReceipt = false;
    bool hasHotWater = false; // a receipt of the month had the hot-water row (the three-row form)
    double usage[UsageMeterCount] = {0, 0, 0};
    bool unusual[UsageMeterCount] = {false, false, false};
    bool has(int meter) const { return hasReceipt && (meter != UsageHotWater || hasHotWater); }
};

struct RoomUsage {
    QList<MonthUsage> months;
    double median[UsageMeterCount] = {0, 0, 0};
    bool byPeriod = false;
};

// The count months up to the month of today; a month's usage is this − last of its receipts, a
// receipt for several months spread evenly over them. Hot water counts only from the three-row
// form. A month is unusual for a meter when its usage is more than twice the median of the months
// that have it (and that median is above zero).
RoomUsage UsageOfRoom(Database& db, const QString& room, const QDate& today, int count = 24);
// The same for every room with a receipt in those months, in one read, by RoomKey.
QHash<QString, RoomUsage> UsageOfRooms(Database& db, const QDate& today, int count = 24);
// The rule of "unusual": more than twice the median of the months that have the meter, that
// median above zero.
bool IsUnusualUsage(double usage, double median);
// "用量异常" lines: "2026-05 水 45.00（中位数 12.00）".
QStringList UnusualUsageLines(const RoomUsage& usage);
QString UsageMeterName(UsageMeter meter);

// The rooms the usage chooser offers: the pick-list and the register, by room, letter case aside.
QStringList KnownRooms(Database& db);
