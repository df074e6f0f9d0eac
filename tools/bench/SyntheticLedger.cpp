#include "tools/bench/SyntheticLedger.h"

#include "data/Database.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <SQLiteCpp/SQLiteCpp.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Bumped whenever the rows written change, so that older cached ledgers are made again (it is
// part of the file's name).
constexpr int kGeneratorVersion = 3;

// The newest receipts are issued in this month; the ledger reaches back from it.
constexpr int kLastYear = 2026;
constexpr int kLastMonth = 6;

constexpr std::array kEstates = {u"幸福小区", u"阳光花园", u"锦绣家园",   u"翠湖苑",
                                 u"和平里",   u"新华村",   u"东方明珠苑", u"学府路"};
constexpr std::array kClerks = {u"张丽", u"王强", u"李静", u"刘洋"};
constexpr std::array kPayees = {u"陈晨", u"赵敏", u"张丽", u"周军"};
constexpr std::array kRemarks = {u"已结清", u"含押金", u"微信转账", u"现金", u"支付宝", u"下月补交"};

double round2(double v) {
    return std::round(v * 100.0) / 100.0;
}

std::string utf8(const QString& s) {
    return s.toStdString();
}

std::string text2(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
}

struct Room {
    std::string address;
    double water = 0;
    double elec = 0;
    double hot = 0;
    double rent = 0;
    double clean = 0;
    double net = 0;
    double manage = 0;
    bool threeRow = true;
    int billingDay = 1;
};

// True when the cached file holds exactly what this generator writes for that size.
bool isCurrent(const QString& path, int receipts) {
    if (!QFile::exists(path))
        return false;
    try {
        SQLite::Database db(QFile::encodeName(path).toStdString(), SQLite::OPEN_READONLY);
        const long long rows = db.execAndGet("select count(*) from RECEIPT").getInt64();
        return rows == receipts;
    } catch (const std::exception&) {
        return false;
    }
}

void fill(Database& ledger, int receipts, int roomCount, int months) {
    SQLite::Database& db = *ledger.handle();
    std::mt19937 rng(20240305u + unsigned(receipts));
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto chance = [&](double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; };

    std::vector<Room> rooms(static_cast<std::size_t>(roomCount));
    for (int r = 0; r < roomCount; ++r) {
        Room& room = rooms[std::size_t(r)];
        room.address = utf8(SyntheticRoomAddress(r));
        room.water = uniform(0, 400);
        room.elec = uniform(0, 6000);
        room.hot = uniform(0, 100);
        room.rent = 50.0 * uniform(14, 50);
        room.clean = chance(0.7) ? 20 : 10;
        room.net = chance(0.5) ? 50 : 0;
        room.manage = chance(0.3) ? 30 : 0;
        room.threeRow = chance(0.85);
        room.billingDay = uniform(1, 28);
    }

    SQLite::Transaction transaction(db);
    SQLite::Statement insert(
        db,
        "insert into RECEIPT ([NO],[Rdate],[district],[waterlast],[waterthis],[waterfee],[eleclast],"
        "[electhis],[elecfee],[housefee],[cleanfee],[TVfee],[netfee],[managefee],[otherfee],[total_money],"
        "[Remark],[accountant],[payee],[waterprice],[elecprice],[standby1],[standby2],[standby3],[standby4],"
        "[standby5],[Tdate],[standby6]) values (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");

    const QDate first = QDate(kLastYear, kLastMonth, 1).addMonths(-(months - 1));
    int written = 0;
    char buf[64];
    for (int m = 0; m < months && written < receipts; ++m) {
        const QDate month = first.addMonths(m);
        const bool later = m >= months / 2; // prices went up half-way
        const double waterPrice = later ? 4.20 : 3.50;
        const double elecPrice = later ? 0.60 : 0.56;
        const double hotPrice = 25.00;
        const QDate periodEnd(month.year(), month.month(), month.daysInMonth());
        std::snprintf(buf, sizeof buf, "%d-%.2d-%.2d", periodEnd.year(), periodEnd.month(), periodEnd.day());
        const std::string tdate = buf;
        const std::string days = std::to_string(month.daysInMonth() - 1);

        for (int r = 0; r < roomCount && written < receipts; ++r) {
            Room& room = rooms[std::size_t(r)];
            if (m > 0 && m % 24 == 0)
                room.rent += 50;
            const double waterUse = uniform(2, 15);
            const double elecUse = uniform(40, 400);
            const double hotUse = room.threeRow ? uniform(0, 6) : 0;
            const double waterFee = round2(waterUse * waterPrice);
            const double elecFee = round2(elecUse * elecPrice);
            const double hotFee = round2(hotUse * hotPrice);
            const double deposit = m == 0 ? room.rent : 0;
            const double other = chance(0.05) ? uniform(10, 200) : 0;
            const double total = round2(waterFee + elecFee + hotFee + room.rent + room.clean + deposit +
                                        room.net + room.manage + other);

            int col = 1;
            std::snprintf(buf, sizeof buf, "%07d", written + 1);
            insert.bind(col++, buf);
            // In the one stored form, as the program's connection writes it.
            std::snprintf(buf, sizeof buf, "%d-%.2d-%.2d %.2d:%.2d:%.2d", month.year(), month.month(),
                          room.billingDay, uniform(8, 20), uniform(0, 59), uniform(0, 59));
            insert.bind(col++, buf);
            insert.bind(col++, room.address);
            insert.bind(col++, room.water);
            insert.bind(col++, room.water + waterUse);
            insert.bind(col++, waterFee);
            insert.bind(col++, room.elec);
            insert.bind(col++, room.elec + elecUse);
            insert.bind(col++, elecFee);
            insert.bind(col++, room.rent);
            insert.bind(col++, room.clean);
            insert.bind(col++, deposit);
            insert.bind(col++, room.net);
            insert.bind(col++, room.manage);
            insert.bind(col++, other);
            insert.bind(col++, total);
            insert.bind(col++, chance(0.9) ? std::string()
                                           : utf8(QString::fromUtf16(kRemarks[std::size_t(uniform(0, 5))])));
            insert.bind(col++, utf8(QString::fromUtf16(kClerks[std::size_t(uniform(0, 3))])));
            insert.bind(col++, utf8(QString::fromUtf16(kPayees[std::size_t(uniform(0, 3))])));
            insert.bind(col++, waterPrice);
            insert.bind(col++, elecPrice);
            if (room.threeRow) {
                insert.bind(col++, text2(room.hot));
                insert.bind(col++, text2(room.hot + hotUse));
                insert.bind(col++, text2(hotFee));
            } else {
                for (int i = 0; i < 3; ++i)
                    insert.bind(col++, "0.0");
            }
            insert.bind(col++, text2(hotPrice));
            insert.bind(col++, room.threeRow ? "1" : "0");
            insert.bind(col++, tdate);
            insert.bind(col++, days);
            insert.exec();
            insert.reset();

            room.water += waterUse;
            room.elec += elecUse;
            room.hot += hotUse;
            ++written;
        }
    }

    // What the main window reads when it opens: pick-lists, prices, the print row with the
    // range "最近20条记录".
    SQLite::Statement addr(db, "insert into addr_items (items) values (?)");
    for (const Room& room : rooms) {
        addr.bind(1, room.address);
        addr.exec();
        addr.reset();
    }
    SQLite::Statement people(db, "insert into people_items (items) values (?)");
    for (const auto* list : {&kClerks, &kPayees})
        for (const char16_t* name : *list) {
            people.bind(1, utf8(QString::fromUtf16(name)));
            people.exec();
            people.reset();
        }
    SQLite::Statement remark(db, "insert into remark_items (items) values (?)");
    for (const char16_t* text : kRemarks) {
        remark.bind(1, utf8(QString::fromUtf16(text)));
        remark.exec();
        remark.reset();
    }
    db.exec("update price set price = '4.20' where items = '水费'");
    db.exec("update price set price = '0.60' where items = '电费'");
    db.exec("insert into price (items, price) values ('热水费', '25.00')");
    db.exec("insert into table2 (row1, row2, row3, row4, row5, row6, row7) "
            "values ('1', '1', '0', '0', '1', '10', '10')");
    transaction.commit();
}

} // namespace

QString SyntheticRoomAddress(int room) {
    const int estate = room % int(kEstates.size());
    room /= int(kEstates.size());
    const int door = room % 2 + 1;
    room /= 2;
    const int floor = room % 18 + 1;
    room /= 18;
    const int unit = room % 3 + 1;
    room /= 3;
    const int building = room + 1;
    return QString::fromUtf16(kEstates[std::size_t(estate)]) + QString::asprintf("%d", building) +
           QStringLiteral("栋") + QString::asprintf("%d", unit) + QStringLiteral("单元") +
           QString::asprintf("%d%02d", floor, door);
}

int SyntheticRoomCount(int receipts) {
    return std::clamp(receipts / 120, 500, 8000);
}

SyntheticLedger MakeSyntheticLedger(const QString& emptyLedger, const QString& folder, int receipts) {
    QElapsedTimer timer;
    timer.start();
    SyntheticLedger out;
    out.receipts = receipts;
    out.rooms = SyntheticRoomCount(receipts);
    out.months = (receipts + out.rooms - 1) / out.rooms;
    // The generator's version is in the name: the ledger's own version is the schema's, which the
    // program checks.
    out.path =
        QDir(folder).filePath(QStringLiteral("bench-ledger-%1-g%2.rbk").arg(receipts).arg(kGeneratorVersion));
    out.busiestAddress = SyntheticRoomAddress(0);
    // Typed half-way: the prefill runs on every character and mostly finds nothing.
    out.missingAddress = SyntheticRoomAddress(0).left(6);

    if (!isCurrent(out.path, receipts)) {
        const QString tmp = out.path + QStringLiteral(".tmp");
        QFile::remove(tmp);
        QFile::remove(tmp + QStringLiteral("-journal"));
        if (!QFile::copy(emptyLedger, tmp))
            throw std::runtime_error("cannot copy the empty ledger " + emptyLedger.toStdString());
        QFile(tmp).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        {
            Database ledger(tmp);
            if (!ledger.open())
                throw std::runtime_error("cannot open " + tmp.toStdString());
            fill(ledger, receipts, out.rooms, out.months);
        }
        QFile::remove(out.path);
        if (!QFile::rename(tmp, out.path))
            throw std::runtime_error("cannot rename " + tmp.toStdString());
        out.generated = true;
    }
    out.seconds = double(timer.nsecsElapsed()) / 1e9;
    return out;
}
