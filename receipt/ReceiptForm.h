#pragma once

// The receipt form as values: every box as the text it shows, the two option flags and the three
// dates. The arithmetic that keeps usages, amounts, total and capital words consistent works on
// these values alone, so the main window only pulls its controls into a form, calls one of the
// operations below and pushes the form back.

#include "data/Money.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

// Positions of the RECEIPT columns; rows are read by position.
namespace ReceiptColumn {
enum : int {
    Id = 0,
    No,
    Rdate,
    District,
    Waterlast,
    Waterthis,
    Waterfee,
    Eleclast,
    Electhis,
    Elecfee,
    Housefee,
    Cleanfee,
    TVfee,
    Netfee,
    Managefee,
    Otherfee,
    TotalMoney,
    Remark,
    Accountant,
    Payee,
    Waterprice,
    Elecprice,
    Standby1, // hot water, last reading
    Standby2, // hot water, this reading
    Standby3, // hot water amount
    Standby4, // hot water unit price
    Standby5, // "1" three-row form, "0" two-row form
    Tdate,
    Standby6, // charging period in whole days
    Count
};
} // namespace ReceiptColumn

enum class Meter { Water, Electricity, HotWater };

// The check a total must pass before a receipt is printed or stored.
enum class TotalCheck { Ok, Zero, Negative, TooLarge };
inline constexpr QStringView kTotalZeroMessage = u"此次房租总金额为0，输入错误，请重新输入！";
inline constexpr QStringView kTotalNegativeMessage = u"此次房租总金额小于0，输入错误，请重新输入！";
// A total past what the capital words can write (thirteen or more whole-yuan digits).
inline constexpr QStringView kTotalTooLargeMessage =
    u"此次房租总金额过大，无法写成大写金额，输入错误，请重新输入！";
TotalCheck CheckTotal(const QString& totalText);
// The message for a failed check; empty for Ok.
QString TotalCheckMessage(TotalCheck result);

struct ReceiptForm {
    QString waterlast;
    QString waterthis;
    QString waterusage = QStringLiteral("0.0");
    QString waterprice;
    QString waterfee = QStringLiteral("0.0");

    QString eleclast;
    QString electhis;
    QString elecusage = QStringLiteral("0.0");
    QString elecprice;
    QString elecfee = QStringLiteral("0.0");

    // Stored as standby1 to standby4.
    QString hotlast;
    QString hotthis;
    QString hotusage = QStringLiteral("0.0");
    QString hotprice;
    QString hotfee = QStringLiteral("0.0");

    QString housefee; // rent
    QString cleanfee;
    QString TVfee;
    QString managefee;
    QString netfee;
    QString otherfee;

    QString total = QStringLiteral("0.0");
    QString capitals;

    QString number; // receipt number
    QString address;
    QString remark;
    QString clerk;
    QString payee;

    bool rounding = true; // "取整"
    bool threeRow = true; // hot water row in use

    QDateTime issueDate;
    QDateTime periodStart;
    QDateTime periodEnd;

    // A reading changed: trims both readings of the meter; when both hold text the usage becomes
    // this − last; then the amount follows when the meter has a price.
    void recomputeUsage(Meter meter);
    // A price changed: amount = usage × price, then the total.
    void recomputeAmount(Meter meter);
    // The nine amounts added up, whole yuan when rounding, then the capital words.
    void recomputeTotal();
    // The operator ticked or cleared "取整".
    void setRounding(bool ticked);
    // The two-row or three-row form was chosen.
    void setThreeRow(bool three);
    // A fresh receipt under the given number, issued now. Clerk, payee, prices, period and the
    // options stay.
    void resetForNewReceipt(const QString& nextNumber);
    // The address's newest receipt (a RECEIPT row by position) proposes the last readings, the
    // fees, clerk and payee; without one they are cleared. The "this" readings stay.
    void applyPrefill(const std::optional<QStringList>& receiptRow);

    // A stored receipt (a RECEIPT row by position) opened for viewing or amending: every box as
    // stored, the issue time of day kept, usages and capital words made anew. The number and
    // the options stay when the receipt is gone (nothing given).
    void applyStored(const std::optional<QStringList>& receiptRow);

    // The receipt as the cells of a records list row, columns 1 to 24 (column 0 is the row number
    // the list gives).
    QStringList listCells() const;

private:
    struct MeterBoxes {
        QString* last;
        QString* current;
        QString* usage;
        QString* price;
        QString* amount;
    };
    MeterBoxes boxes(Meter meter);
};
