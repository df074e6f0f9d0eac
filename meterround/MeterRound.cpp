#include "meterround/MeterRound.h"

#include "meterround/RoundStatements.h"

#include "data/Database.h"
#include "data/JetSql.h"
#include "data/Settings.h"
#include "overview/OverviewData.h"
#include "receipt/FormSettings.h"
#include "receipt/ReceiptLedger.h"

#include <QHash>

#include <algorithm>

namespace {

struct MeterFields {
    QString ReceiptForm::*last;
    QString ReceiptForm::*current;
    QString ReceiptForm::*usage;
};

MeterFields fieldsOf(Meter meter) {
    switch (meter) {
    case Meter::Water:
        return {&ReceiptForm::waterlast, &ReceiptForm::waterthis, &ReceiptForm::waterusage};
    case Meter::Electricity:
        return {&ReceiptForm::eleclast, &ReceiptForm::electhis, &ReceiptForm::elecusage};
    case Meter::HotWater:
        break;
    }
    return {&ReceiptForm::hotlast, &ReceiptForm::hotthis, &ReceiptForm::hotusage};
}

QString meterName(Meter meter) {
    switch (meter) {
    case Meter::Water:
        return QStringLiteral("水");
    case Meter::Electricity:
        return QStringLiteral("电");
    case Meter::HotWater:
        break;
    }
    return QStringLiteral("热水");
}

ReceiptForm blankForm(const RoundSettings& s, const QDate& month) {
    ReceiptForm form;
    form.threeRow = s.threeRow;
    form.rounding = s.rounding;
    form.waterprice = s.waterPrice;
    form.elecprice = s.elecPrice;
    form.hotprice = s.hotPrice;
    form.periodStart = QDateTime(QDate(month.year(), month.month(), 1), QTime(0, 0));
    form.periodEnd = QDateTime(form.periodStart.date().addMonths(1).addDays(-1), QTime(23, 0));
    // The two-row form's hot-water boxes as the form sets them.
    form.setThreeRow(s.threeRow);
    return form;
}

} // namespace

QList<Meter> RoundMeters(bool threeRow) {
    if (threeRow)
        return {Meter::Water, Meter::Electricity, Meter::HotWater};
    return {Meter::Water, Meter::Electricity};
}

bool RoundRow::hasReadings() const {
    for (Meter meter : RoundMeters(form.threeRow))
        if (!(form.*fieldsOf(meter).current).trimmed().isEmpty())
            return true;
    return false;
}

unsigned RoundRow::marks() const {
    if (charged() || !hasReadings())
        return MarkNone;
    unsigned out = MarkNone;
    for (Meter meter : RoundMeters(form.threeRow)) {
        const MeterFields f = fieldsOf(meter);
        const QString last = (form.*f.last).trimmed();
        const QString current = (form.*f.current).trimmed();
        if (current.isEmpty()) {
            out |= MarkEmpty;
            continue;
        }
        if (last.isEmpty()) {
            out |= MarkNoLast;
            continue;
        }
        const double usage = FormNumber(current) - FormNumber(last);
        if (usage < 0)
            out |= MarkBelowLast;
        else if (IsUnusualUsage(usage, median[int(meter)]))
            out |= MarkUnusual;
    }
    if (CheckTotal(form.total) != TotalCheck::Ok)
        out |= MarkTotal;
    return out;
}

QString RoundRow::marksText() const {
    if (charged())
        return QStringLiteral("已开单 %1").arg(chargedNumber);
    QStringList parts;
    for (Meter meter : RoundMeters(form.threeRow)) {
        const MeterFields f = fieldsOf(meter);
        const QString last = (form.*f.last).trimmed();
        const QString current = (form.*f.current).trimmed();
        if (!hasReadings())
            break;
        if (current.isEmpty())
            parts << meterName(meter) + QStringLiteral("表未抄");
        else if (last.isEmpty())
            parts << meterName(meter) + QStringLiteral("表无上月读数");
        else if (FormNumber(current) < FormNumber(last))
            parts << meterName(meter) + QStringLiteral("表读数小于上月");
        else if (IsUnusualUsage(FormNumber(current) - FormNumber(last), median[int(meter)]))
            parts << meterName(meter) +
                         QStringLiteral("用量异常（平时%1）").arg(jet::number2(median[int(meter)]));
    }
    if (hasReadings() && CheckTotal(form.total) != TotalCheck::Ok)
        parts << QStringLiteral("合计不能开单");
    return parts.join(QStringLiteral("；"));
}

QString AddressPart(const QString& room) {
    const qsizetype dash = room.indexOf(QLatin1Char('-'));
    return (dash < 0 ? room : room.left(dash)).trimmed();
}

RoundSettings LoadRoundSettings(Database& db) {
    const FormSettings form = loadMainWindowSettings(db);
    const UnitPrices prices = LoadUnitPrices(db);
    RoundSettings s;
    s.threeRow = form.threeRow;
    s.rounding = form.rounding;
    s.waterPrice = prices.water;
    s.elecPrice = prices.electricity;
    s.hotPrice = prices.hotWater;
    const auto caption = [](const QString& value, QString& into) {
        if (!value.isEmpty())
            into = value;
    };
    caption(form.hotWaterCaption, s.hotCaption);
    caption(form.tvCaption, s.tvCaption);
    caption(form.cleanCaption, s.cleanCaption);
    caption(form.manageCaption, s.manageCaption);
    caption(form.netCaption, s.netCaption);
    s.clerk = form.clerk;
    s.payee = form.payee;
    return s;
}

QList<RoundRow> LoadRound(Database& db, const QDate& month, const RoundSettings& settings) {
    QList<RoundRow> rows;
    QHash<QString, qsizetype> byKey;
    const auto rowOf = [&](const QString& room) -> RoundRow& {
        const QString key = RoomKey(room);
        auto at = byKey.constFind(key);
        if (at == byKey.constEnd()) {
            at = byKey.insert(key, rows.size());
            RoundRow row;
            row.room = room;
            row.form = blankForm(settings, month);
            rows.append(row);
        }
        return rows[*at];
    };
    for (const QString& room : PickListRooms(db))
        rowOf(room);
    QHash<QString, QString> registerRent;
    for (const RoundTenant& t : TenantsOfMonth(db, month)) {
        RoundRow& row = rowOf(t.room);
        row.tenant = t.name;
        registerRent.insert(RoomKey(t.room), t.rent);
    }
    for (const QString& room : RoomsIssuedIn(db, month.addMonths(-1)))
        rowOf(room);
    std::sort(rows.begin(), rows.end(),
              [](const RoundRow& a, const RoundRow& b) { return RoomKey(a.room) < RoomKey(b.room); });
    for (RoundRow& row : rows) {
        const std::optional<QStringList> last = LastReceiptOfAddress(db, row.room);
        row.form.address = row.room;
        row.form.applyPrefill(last);
        row.form.address = row.room;
        if (!last && registerRent.contains(RoomKey(row.room))) {
            row.form.housefee = registerRent.value(RoomKey(row.room));
            row.form.recomputeTotal();
        }
    }
    RefreshCharged(db, month, rows);
    return rows;
}

UsualUsage ReadUsualUsage(Database& db, const QDate& month) {
    UsualUsage out;
    const QHash<QString, RoomUsage> usage = UsageOfRooms(db, month.addMonths(-1), 24);
    for (auto it = usage.constBegin(); it != usage.constEnd(); ++it)
        out.insert(it.key(), {it->median[0], it->median[1], it->median[2]});
    return out;
}

void ApplyUsualUsage(const UsualUsage& usual, QList<RoundRow>& rows) {
    for (RoundRow& row : rows)
        if (const auto u = usual.constFind(RoomKey(row.room)); u != usual.constEnd())
            std::copy(u->begin(), u->end(), std::begin(row.median));
}

void LoadUsualUsage(Database& db, const QDate& month, QList<RoundRow>& rows) {
    ApplyUsualUsage(ReadUsualUsage(db, month), rows);
}

ChargedRooms ReadChargedRooms(Database& db, const QDate& month) {
    ChargedRooms charged;
    for (const RoomCharge& r : ChargesOfMonth(db, month).rooms)
        if (r.charged())
            charged.insert(RoomKey(r.room), r.numbers.last());
    return charged;
}

QList<int> ApplyChargedRooms(const ChargedRooms& charged, QList<RoundRow>& rows) {
    QList<int> changed;
    for (int i = 0; i < rows.size(); ++i) {
        const QString number = charged.value(RoomKey(rows[i].room));
        if (number != rows[i].chargedNumber) {
            rows[i].chargedNumber = number;
            changed << i;
        }
    }
    return changed;
}

QList<int> RefreshCharged(Database& db, const QDate& month, QList<RoundRow>& rows) {
    return ApplyChargedRooms(ReadChargedRooms(db, month), rows);
}

namespace {

QString ReceiptForm::*feeField(RoundField field) {
    switch (field) {
    case RoundField::Rent:
        return &ReceiptForm::housefee;
    case RoundField::Clean:
        return &ReceiptForm::cleanfee;
    case RoundField::TV:
        return &ReceiptForm::TVfee;
    case RoundField::Manage:
        return &ReceiptForm::managefee;
    case RoundField::Net:
        return &ReceiptForm::netfee;
    default:
        break;
    }
    return &ReceiptForm::otherfee;
}

std::optional<std::pair<Meter, bool>> readingOf(RoundField field) {
    switch (field) {
    case RoundField::WaterLast:
    case RoundField::WaterThis:
        return std::pair{Meter::Water, field == RoundField::WaterThis};
    case RoundField::ElecLast:
    case RoundField::ElecThis:
        return std::pair{Meter::Electricity, field == RoundField::ElecThis};
    case RoundField::HotLast:
    case RoundField::HotThis:
        return std::pair{Meter::HotWater, field == RoundField::HotThis};
    default:
        break;
    }
    return std::nullopt;
}

} // namespace

void SetRoundField(RoundRow& row, RoundField field, const QString& text) {
    if (const auto reading = readingOf(field)) {
        const MeterFields f = fieldsOf(reading->first);
        if (reading->first == Meter::HotWater && !row.form.threeRow)
            return;
        row.form.*(reading->second ? f.current : f.last) = text;
        row.form.recomputeUsage(reading->first);
        row.edited = true;
        return;
    }
    row.form.*feeField(field) = text;
    row.form.recomputeTotal();
    row.edited = true;
}

QString RoundFieldText(const RoundRow& row, RoundField field) {
    if (const auto reading = readingOf(field)) {
        const MeterFields f = fieldsOf(reading->first);
        return row.form.*(reading->second ? f.current : f.last);
    }
    return row.form.*feeField(field);
}

double RoundGrandTotal(const QList<RoundRow>& rows) {
    double sum = 0;
    for (const RoundRow& row : rows)
        if (!row.charged() && row.hasReadings())
            sum += FormNumber(row.form.total);
    return sum;
}
