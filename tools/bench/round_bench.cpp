// The meter-reading round at month end: opening the round of the month after the newest receipt
// on the 1,000,000-receipt ledger file (the window's reads before the rows show: settings, rooms,
// prefill, charged rooms; then apart the usual usage the marks need), and storing a round of 2,000 rooms on a
// ledger file and on a server ledger, each in one transaction. The round must open within 1 s and store
// within 5 s.
//
//   round_bench [--receipts=1000000] [--rooms=2000] [--runs=3]
//
// The server part needs the server `make bench` starts (RENTBOOK_TEST_PG_ENV); without it only
// the ledger file is measured.

#include "tests/support/ServerSettingsFile.h"
#include "tools/bench/SyntheticLedger.h"

#include "data/Database.h"
#include "data/LedgerLocation.h"
#include "data/ServerConnection.h"
#include "data/ServerLedger.h"
#include "meterround/MeterRound.h"
#include "meterround/RoundStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>

#include <libpq-fe.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

QDate newestMonth(Database& db) {
    const QDate newest = QDate::fromString(
        db.query(QStringLiteral("select max([Rdate]) from RECEIPT")).field(0).left(10), Qt::ISODate);
    return QDate(newest.year(), newest.month(), 1);
}

// Every room of the round read: this month's readings above the last ones.
void typeReadings(QList<RoundRow>& rows) {
    for (RoundRow& row : rows) {
        for (RoundField last : {RoundField::WaterLast, RoundField::ElecLast, RoundField::HotLast})
            if (RoundFieldText(row, last).isEmpty())
                SetRoundField(row, last, QStringLiteral("0"));
        SetRoundField(row, RoundField::WaterThis, QString::number(FormNumber(row.form.waterlast) + 7));
        SetRoundField(row, RoundField::ElecThis, QString::number(FormNumber(row.form.eleclast) + 90));
        SetRoundField(row, RoundField::HotThis, QString::number(FormNumber(row.form.hotlast) + 2));
        if (row.form.housefee.isEmpty())
            SetRoundField(row, RoundField::Rent, QStringLiteral("800"));
    }
}

// Opens and stores a round of `rooms` rooms on the ledger at location, its pick-list made of them.
double storeRound(const QString& location, int rooms, const QDate& month) {
    Database db(location);
    if (!db.open())
        throw std::runtime_error("cannot open " + location.toStdString());
    db.execute(QStringLiteral("delete from addr_items"));
    {
        Transaction t(db);
        for (int i = 0; i < rooms; ++i)
            db.execute(QStringLiteral("insert into addr_items ([items]) values(?)"),
                       {SyntheticRoomAddress(i)});
        t.commit();
    }
    const RoundSettings settings = LoadRoundSettings(db);
    QList<RoundRow> rows = LoadRound(db, month, settings);
    typeReadings(rows);
    QElapsedTimer timer;
    timer.start();
    const RoundStoreResult result = StoreRound(
        db, rows, {QStringLiteral("会计"), QStringLiteral("出纳"), QDateTime::currentDateTime(), month, {}});
    const double s = timer.nsecsElapsed() / 1e9;
    std::printf("  stored %lld receipts (%s to %s)\n", qlonglong(result.stored.size()),
                qPrintable(result.stored.value(0).number),
                qPrintable(result.stored.isEmpty() ? QString() : result.stored.last().number));
    return s;
}

// A database of its own on the test server, for a ledger of its own.
QString freshServerDatabase(const QHash<QString, QString>& settings, const QString& name) {
    pg_conn* admin = PQconnectdb(settings.value(QStringLiteral("RENTBOOK_TEST_PG")).toUtf8().constData());
    if (PQstatus(admin) != CONNECTION_OK)
        throw std::runtime_error(PQerrorMessage(admin));
    for (const QString& sql : {QStringLiteral("drop database if exists %1 with (force)"),
                               QStringLiteral("create database %1 owner clerk")})
        PQclear(PQexec(admin, sql.arg(name).toUtf8().constData()));
    PQfinish(admin);
    const QString uri = settings.value(QStringLiteral("RENTBOOK_TEST_PG_TCP"));
    const qsizetype query = uri.indexOf(QLatin1Char('?'));
    const QString head = query < 0 ? uri : uri.left(query);
    const qsizetype slash = head.indexOf(QLatin1Char('/'), head.indexOf(QLatin1String("://")) + 3);
    return (slash < 0 ? head : head.left(slash)) + QLatin1Char('/') + name +
           (query < 0 ? QString() : uri.mid(query));
}

int intOption(int argc, char** argv, const char* name, int fallback) {
    const std::size_t n = std::strlen(name);
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], name, n) == 0)
            return std::atoi(argv[i] + n);
    return fallback;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int receipts = intOption(argc, argv, "--receipts=", 1000000);
    const int rooms = intOption(argc, argv, "--rooms=", 2000);
    const int runs = std::max(1, intOption(argc, argv, "--runs=", 3));
    const SyntheticLedger ledger = MakeSyntheticLedger(QStringLiteral(RENTBOOK_EMPTY_LEDGER),
                                                       QStringLiteral(RENTBOOK_BENCH_DIR), receipts);
    QDate month;
    {
        Database db(ledger.path);
        if (!db.open())
            return 1;
        month = newestMonth(db).addMonths(1);
    }
    std::printf("ledger %s: %d receipts over %d rooms; the round of %s\n", qPrintable(ledger.path),
                ledger.receipts, ledger.rooms, qPrintable(month.toString(QStringLiteral("yyyy-MM"))));

    std::vector<double> opens, usual;
    qsizetype roundRooms = 0;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer timer;
        timer.start();
        Database db(ledger.path);
        if (!db.open())
            return 1;
        QList<RoundRow> rows = LoadRound(db, month, LoadRoundSettings(db));
        opens.push_back(timer.nsecsElapsed() / 1e9);
        roundRooms = rows.size();
        timer.restart();
        LoadUsualUsage(db, month, rows);
        usual.push_back(timer.nsecsElapsed() / 1e9);
    }
    std::printf("open the round (%lld rooms) on %d receipts: median %.3f s of %d runs [%s 1 s]\n",
                qlonglong(roundRooms), ledger.receipts, median(opens), runs,
                median(opens) < 1 ? "under" : "OVER");
    std::printf("then the usual usage of every room (24 months, for the marks; read after the rows show): "
                "median %.3f s\n",
                median(usual));

    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("round.rbk"));
    QFile::copy(QStringLiteral(RENTBOOK_EMPTY_LEDGER), copy);
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    const double fileStore = storeRound(copy, rooms, QDate(2026, 3, 1));
    std::printf("store a round of %d rooms on a ledger file: %.3f s [%s 5 s]\n", rooms, fileStore,
                fileStore < 5 ? "under" : "OVER");

    const QHash<QString, QString> settings = ReadTestServerSettings();
    if (settings.value(QStringLiteral("RENTBOOK_TEST_PG_TCP")).isEmpty()) {
        std::printf("no server (RENTBOOK_TEST_PG_ENV): the server ledger is not measured\n");
        return 0;
    }
    SetServerPassword(settings.value(QStringLiteral("RENTBOOK_TEST_PG_PASSWORD")));
    const QString server =
        freshServerDatabase(settings, QStringLiteral("rbround_%1").arg(QCoreApplication::applicationPid()));
    QString message;
    if (!InitServerLedger(server, message)) {
        std::printf("cannot make a server ledger: %s\n", qPrintable(message));
        return 1;
    }
    const double serverStore = storeRound(server, rooms, QDate(2026, 3, 1));
    std::printf("store a round of %d rooms on a server ledger: %.3f s [%s 5 s]\n", rooms, serverStore,
                serverStore < 5 ? "under" : "OVER");
    return 0;
}
