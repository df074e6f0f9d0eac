#include "receipt/ReceiptForm.h"

#include "data/Settings.h"
#include "platform/Services.h"
#include "receipt/CapitalWords.h"

TotalCheck CheckTotal(const QString& totalText) {
    if (totalText == QLatin1String("0.0"))
        return TotalCheck::Zero;
    const double value = FormNumber(totalText);
    if (value == 0.0)
        return TotalCheck::Zero;
    if (value < 0.0)
        return TotalCheck::Negative;
    // A receipt must never be printed or stored without its capital words.
    if (AmountInCapitals(value).isEmpty())
        return TotalCheck::TooLarge;
    return TotalCheck::Ok;
}

QString TotalCheckMessage(TotalCheck result) {
    switch (result) {
    case TotalCheck::Zero:
        return kTotalZeroMessage.toString();
    case TotalCheck::Negative:
        return kTotalNegativeMessage.toString();
    case TotalCheck::TooLarge:
        return kTotalTooLargeMessage.toString();
    case TotalCheck::Ok:
        break;
    }
    return {};
}

ReceiptForm::MeterBoxes ReceiptForm::boxes(Meter meter) {
    switch (meter) {
    case Meter::Water:
        return {&waterlast, &waterthis, &waterusage, &waterprice, &waterfee};
    case Meter::Electricity:
        return {&eleclast, &electhis, &elecusage, &elecprice, &elecfee};
    case Meter::HotWater:
        break;
    }
    return {&hotlast, &hotthis, &hotusage, &hotprice, &hotfee};
}

void ReceiptForm::recomputeUsage(Meter meter) {
    // The two-row form has no hot water row: its boxes stay at "0.0" and out of the total.
    if (meter == Meter::HotWater && !threeRow)
        return;
    MeterBoxes b = boxes(meter);
    *b.last = b.last->trimmed();
    *b.current = b.current->trimmed();
    if (!b.last->isEmpty() && !b.current->isEmpty())
        *b.usage = FormatAmount(FormNumber(*b.current) - FormNumber(*b.last));
    if (!b.price->isEmpty())
        recomputeAmount(meter);
}

void ReceiptForm::recomputeAmount(Meter meter) {
    if (meter == Meter::HotWater && !threeRow) {
        recomputeTotal();
        return;
    }
    MeterBoxes b = boxes(meter);
    *b.amount = FormatAmount(FormNumber(*b.usage) * FormNumber(*b.price));
    recomputeTotal();
}

void ReceiptForm::recomputeTotal() {
    double sum = 0.0;
    for (const QString* amount :
         {&waterfee, &elecfee, &housefee, &cleanfee, &TVfee, &netfee, &managefee, &otherfee})
        sum += FormNumber(*amount);
    if (threeRow)
        sum += FormNumber(hotfee);
    total = rounding ? FormatRoundedTotal(sum) : FormatAmount(sum);
    capitals = AmountInCapitals(FormNumber(total));
}

void ReceiptForm::setRounding(bool ticked) {
    rounding = ticked;
    if (ticked) {
        total = FormatRoundedTotal(FormNumber(total));
        capitals = AmountInCapitals(FormNumber(total));
    } else {
        recomputeTotal();
    }
}

void ReceiptForm::setThreeRow(bool three) {
    threeRow = three;
    if (!three) {
        hotlast = QStringLiteral("0.0");
        hotthis = QStringLiteral("0.0");
        hotfee = QStringLiteral("0.0");
        // The usage follows the readings it was set to, so that no hidden usage is charged when
        // the row comes back.
        hotusage = FormatAmount(0.0);
    }
    recomputeTotal();
}

void ReceiptForm::resetForNewReceipt(const QString& nextNumber) {
    number = nextNumber;
    issueDate = platform::now();
    address.clear();
    remark.clear();
    for (QString* fee : {&housefee, &cleanfee, &TVfee, &managefee, &netfee, &otherfee})
        fee->clear();
    for (QString* reading : {&waterlast, &waterthis, &eleclast, &electhis, &hotlast, &hotthis})
        reading->clear();
    for (QString* value : {&waterusage, &waterfee, &elecusage, &elecfee, &hotusage, &hotfee})
        *value = QStringLiteral("0.0");
    if (!threeRow) {
        hotlast = QStringLiteral("0.0");
        hotthis = QStringLiteral("0.0");
    }
    // The emptied boxes give what typing them empty gives: amounts beside a price, then the
    // total (0, or 0.00 without rounding) and its words.
    for (Meter meter : {Meter::Water, Meter::Electricity, Meter::HotWater})
        recomputeUsage(meter);
    recomputeTotal();
}

void ReceiptForm::applyPrefill(const std::optional<QStringList>& receiptRow) {
    if (receiptRow) {
        const QStringList& row = *receiptRow;
        const auto at = [&row](int column) { return row.value(column); };
        waterlast = at(ReceiptColumn::Waterthis);
        eleclast = at(ReceiptColumn::Electhis);
        if (threeRow)
            hotlast = at(ReceiptColumn::Standby2);
        housefee = at(ReceiptColumn::Housefee);
        cleanfee = at(ReceiptColumn::Cleanfee);
        TVfee = at(ReceiptColumn::TVfee);
        netfee = at(ReceiptColumn::Netfee);
        managefee = at(ReceiptColumn::Managefee);
        otherfee = at(ReceiptColumn::Otherfee);
        clerk = at(ReceiptColumn::Accountant);
        payee = at(ReceiptColumn::Payee);
    } else {
        waterlast.clear();
        eleclast.clear();
        for (QString* fee : {&housefee, &cleanfee, &TVfee, &netfee, &managefee, &otherfee})
            fee->clear();
        clerk.clear();
        payee.clear();
        for (QString* value : {&waterusage, &waterfee, &elecusage, &elecfee})
            *value = QStringLiteral("0.0");
        if (threeRow) {
            hotlast.clear();
            hotusage = QStringLiteral("0.0");
            hotfee = QStringLiteral("0.0");
        }
    }
    recomputeUsage(Meter::Water);
    recomputeUsage(Meter::HotWater);
    recomputeUsage(Meter::Electricity);
    // The fees changed as well, whether or not a meter had a price.
    recomputeTotal();
}

void ReceiptForm::applyStored(const std::optional<QStringList>& receiptRow) {
    if (receiptRow) {
        const QStringList& row = *receiptRow;
        const auto at = [&row](int column) { return row.value(column); };
        const auto dateOf = [](const QString& text) {
            return QDate(text.mid(0, 4).toInt(), text.mid(5, 2).toInt(), text.mid(8, 2).toInt());
        };
        // The stored time of day stays with the receipt through an amendment.
        const QString rdate = at(ReceiptColumn::Rdate);
        const QTime time = QTime::fromString(rdate.mid(11, 8), QStringLiteral("HH:mm:ss"));
        issueDate = QDateTime(dateOf(rdate), time.isValid() ? time : QTime(0, 0));
        address = at(ReceiptColumn::District);
        waterlast = at(ReceiptColumn::Waterlast);
        waterthis = at(ReceiptColumn::Waterthis);
        waterfee = FormatAmount(FormNumber(at(ReceiptColumn::Waterfee)));
        eleclast = at(ReceiptColumn::Eleclast);
        electhis = at(ReceiptColumn::Electhis);
        elecfee = FormatAmount(FormNumber(at(ReceiptColumn::Elecfee)));
        housefee = at(ReceiptColumn::Housefee);
        cleanfee = at(ReceiptColumn::Cleanfee);
        TVfee = at(ReceiptColumn::TVfee);
        netfee = at(ReceiptColumn::Netfee);
        managefee = at(ReceiptColumn::Managefee);
        otherfee = at(ReceiptColumn::Otherfee);
        total = FormatAmount(FormNumber(at(ReceiptColumn::TotalMoney)));
        remark = at(ReceiptColumn::Remark);
        clerk = at(ReceiptColumn::Accountant);
        payee = at(ReceiptColumn::Payee);
        waterprice = at(ReceiptColumn::Waterprice);
        elecprice = at(ReceiptColumn::Elecprice);
        hotlast = at(ReceiptColumn::Standby1);
        hotthis = at(ReceiptColumn::Standby2);
        hotfee = at(ReceiptColumn::Standby3);
        hotprice = at(ReceiptColumn::Standby4);
        threeRow = textToInt(at(ReceiptColumn::Standby5)) != 0;
        const QString tdate = at(ReceiptColumn::Tdate);
        if (!tdate.isEmpty()) {
            periodEnd = QDateTime(dateOf(tdate), QTime(0, 0));
            periodStart = periodEnd.addSecs(-qint64(textToInt(at(ReceiptColumn::Standby6))) * 86400);
        }
    }
    capitals = AmountInCapitals(FormNumber(total));
    // The two-row form shows no hot water: its readings are zero, and the usage follows them.
    if (!threeRow)
        hotlast = hotthis = hotfee = QStringLiteral("0.0");
    waterusage = FormatAmount(FormNumber(waterthis) - FormNumber(waterlast));
    elecusage = FormatAmount(FormNumber(electhis) - FormNumber(eleclast));
    hotusage = FormatAmount(FormNumber(hotthis) - FormNumber(hotlast));
}

QStringList ReceiptForm::listCells() const {
    const QDate issued = issueDate.date();
    const QDate from = periodStart.date();
    const QDate to = periodEnd.date();
    return {
        number,
        address,
        QString::asprintf("%d-%.2d-%.2d", issued.year(), issued.month(), issued.day()),
        QString::asprintf("%d-%.2d-%.2d", from.year(), from.month(), from.day()) + QStringLiteral("至") +
            QString::asprintf("%d-%.2d-%.2d", to.year(), to.month(), to.day()),
        waterlast,
        waterthis,
        waterfee,
        eleclast,
        electhis,
        elecfee,
        hotlast,
        hotthis,
        hotfee,
        TVfee,
        netfee,
        cleanfee,
        managefee,
        otherfee,
        housefee,
        total,
        clerk,
        payee,
        remark,
        threeRow ? QStringLiteral("1") : QStringLiteral("0"),
    };
}
