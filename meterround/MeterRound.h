#pragma once

// The meter-reading round ("抄表开单"): every room to be charged in a month on one grid, its last
// readings and fees proposed as the receipt form proposes them, and only this month's readings to
// type. Each row is a ReceiptForm: the round's arithmetic is the form's own.

#include "receipt/ReceiptForm.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>

class Database;

// What the round takes from the ledger's settings once.
struct RoundSettings {
    bool threeRow = true;
    bool rounding = true;
    QString waterPrice;
    QString elecPrice;
    QString hotPrice;
    QString hotCaption = QStringLiteral("热水费");
    QString tvCaption = QStringLiteral("押金");
    QString cleanCaption = QStringLiteral("卫生费");
    QString manageCaption = QStringLiteral("管理费");
    QString netCaption = QStringLiteral("网费");
    QString clerk;
    QString payee;
};

// What is wrong with a row, shown in it.
enum RoundMark : unsigned {
    MarkNone = 0,
    MarkBelowLast = 1u << 0, // a reading below the last one
    MarkEmpty = 1u << 1,     // a reading missing in a row that has others
    MarkUnusual = 1u << 2,   // a usage far above the room's usual
    MarkNoLast = 1u << 3,    // a reading typed without a last one to count from
    MarkTotal = 1u << 4,     // a total the form would refuse (zero, negative, too large)
};

struct RoundRow {
    QString room;
    QString tenant;        // from the register: the tenant whose tenancy reaches into the month
    ReceiptForm form;      // the receipt the row becomes
    QString chargedNumber; // set: the room is charged this month already (the receipt's number)
    double median[3] = {}; // the usual monthly usage of water, electricity and hot water
    bool edited = false;   // a cell was typed (the saved round keeps the row)

    bool charged() const { return !chargedNumber.isEmpty(); }
    // Any "this" reading of the meters in use holds text.
    bool hasReadings() const;
    // The marks of the row as it stands.
    unsigned marks() const;
    // The marks that keep the row out of "开单" (all but an unusual usage).
    bool blocked() const { return (marks() & ~unsigned(MarkUnusual)) != MarkNone; }
    // Short text of the marks, "电表读数小于上月；水用量异常" and the like.
    QString marksText() const;
};

// The meters the round's rows use.
QList<Meter> RoundMeters(bool threeRow);

// The part of a room's address before "-" (the whole address without one): the address filter.
QString AddressPart(const QString& room);

// The room selection and prefill for a month: the rooms of the address pick-list, the rooms of
// the register whose tenancy reaches into the month, and the rooms with a receipt issued in the
// month before (letter case aside, first spelling kept); each prefilled from its latest receipt,
// with the register's rent when it has none. Rooms charged for the month (by charging period when
// the ledger files receipts so) carry the receipt's number. Sorted by room. Throws DbError.
QList<RoundRow> LoadRound(Database& db, const QDate& month, const RoundSettings& settings);

// Each room's usual monthly usage (the median of the 24 months before the month, as the overview
// works it out), for the marks of unusual usage. Apart from LoadRound because it reads every
// receipt of two years: the window shows the rows first. Throws DbError.
void LoadUsualUsage(Database& db, const QDate& month, QList<RoundRow>& rows);
// The same in two steps, the read apart (on a connection of its own, away from the window).
using UsualUsage = QHash<QString, std::array<double, 3>>; // by RoomKey
UsualUsage ReadUsualUsage(Database& db, const QDate& month);
void ApplyUsualUsage(const UsualUsage& usual, QList<RoundRow>& rows);

// The ledger's options, prices and captions as the form uses them. Throws DbError.
RoundSettings LoadRoundSettings(Database& db);

// Marks the rooms now charged for the month (another clerk may have charged them since).
// Returns the rows that changed. Throws DbError.
QList<int> RefreshCharged(Database& db, const QDate& month, QList<RoundRow>& rows);
// The same in two steps, the read apart: the number of each room's receipt for the month, by
// RoomKey; then the rows marked by it (the rows that changed).
using ChargedRooms = QHash<QString, QString>;
ChargedRooms ReadChargedRooms(Database& db, const QDate& month);
QList<int> ApplyChargedRooms(const ChargedRooms& charged, QList<RoundRow>& rows);

// A cell typed: the reading or fee set as the form's box would be, then the form's computation.
enum class RoundField {
    WaterLast,
    WaterThis,
    ElecLast,
    ElecThis,
    HotLast,
    HotThis,
    Rent,
    Clean,
    TV,
    Manage,
    Net,
    Other
};
void SetRoundField(RoundRow& row, RoundField field, const QString& text);
QString RoundFieldText(const RoundRow& row, RoundField field);

// The rows' totals added up (charged rows left out).
double RoundGrandTotal(const QList<RoundRow>& rows);
