// How the tenant register holds up on a register of 10,000 tenants: the search as the dialog runs
// it (open, query, fill the list's rows) beside a bare SQLite loop over the same rows, and the
// dialog's own "查询(&Q)" with its list on screen (offscreen).
//
//   tenants_bench [--tenants=10000] [Google Benchmark flags]
//
// The register is made once and kept beside the executable as bench-tenants-<N>.rbk.

#include "data/Database.h"
#include "platform/Services.h"
#include "tenants/TenantDlg.h"
#include "tenants/TenantListModel.h"
#include "tenants/TenantStatements.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFont>

#include <SQLiteCpp/SQLiteCpp.h>
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace {

int g_tenants = 10000;
QString g_ledger;

// "幸福小区3栋2单元401" and the like, over 40 buildings of 5 units of 30 rooms.
QString roomAddress(int i) {
    return QStringLiteral("幸福小区%1栋%2单元%3").arg(i % 40 + 1).arg(i / 40 % 5 + 1).arg(101 + i / 200 % 30);
}

// A copy of the empty ledger with n tenants, kept while it still holds n of them.
QString makeRegister(int n) {
    const QString path =
        QDir(QStringLiteral(RENTBOOK_BENCH_DIR)).filePath(QStringLiteral("bench-tenants-%1.rbk").arg(n));
    if (QFile::exists(path)) {
        Database db(path);
        if (db.open() && db.query(QStringLiteral("select count(*) from client")).field(0).toInt() == n)
            return path;
        db.close();
        QFile::remove(path);
    }
    if (!QFile::copy(QStringLiteral(RENTBOOK_EMPTY_LEDGER), path))
        throw std::runtime_error("cannot copy the empty ledger");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    Database db(path);
    if (!db.open())
        throw std::runtime_error("cannot open the bench register");
    // Our own connection: the schema's date triggers need the functions it registers.
    SQLite::Transaction transaction(*db.handle());
    SQLite::Statement insert(
        *db.handle(), "insert into client ([name],[card],[tel],[address],[qq],[company],[row1],[zuMoney],"
                      "[dateFrom],[dateTo]) values (?,?,?,?,?,?,?,?,?,?)");
    for (int i = 0; i < n; ++i) {
        insert.bind(1, QStringLiteral("租户%1").arg(i).toStdString());
        insert.bind(2, QStringLiteral("1101011990%1").arg(i, 8, 10, QLatin1Char('0')).toStdString());
        insert.bind(3, QStringLiteral("138%1").arg(i, 8, 10, QLatin1Char('0')).toStdString());
        insert.bind(4, roomAddress(i).toStdString());
        insert.bind(5, QStringLiteral("qq%1").arg(i * 7919 % 1000000).toStdString());
        insert.bind(6, QStringLiteral("单位%1").arg(i % 97).toStdString());
        insert.bind(7, QStringLiteral("%1.00").arg(500 + i % 10 * 100).toStdString());
        insert.bind(8, 800.0 + i % 20 * 50);
        insert.bind(
            9, QStringLiteral("2026-%1-01 00:00:00").arg(i % 12 + 1, 2, 10, QLatin1Char('0')).toStdString());
        insert.bind(
            10, QStringLiteral("2027-%1-28 00:00:00").arg(i % 12 + 1, 2, 10, QLatin1Char('0')).toStdString());
        insert.exec();
        insert.reset();
    }
    transaction.commit();
    return path;
}

// The same rows and columns the list shows, read as text with nothing else done.
void BM_BareSqliteLoop(benchmark::State& state) {
    const QByteArray file = QFile::encodeName(g_ledger);
    const char* sql =
        state.range(0) ? "select * from client where address like '%3单元1%'" : "select * from client";
    for (auto _ : state) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
        std::size_t bytes = 0;
        int rows = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            for (int c : {0, 1, 2, 3, 4, 5, 6, 7, 13, 14, 15})
                bytes += std::strlen(reinterpret_cast<const char*>(sqlite3_column_text(st, c)));
            ++rows;
        }
        sqlite3_finalize(st);
        sqlite3_close(db);
        benchmark::DoNotOptimize(bytes);
        state.counters["rows"] = rows;
    }
}

// What "查询(&Q)" costs below the screen: open, the search statement, the list's rows.
void BM_TenantQueryFill(benchmark::State& state) {
    TenantFields search;
    if (state.range(0))
        search.address = QStringLiteral("3单元1");
    TenantListModel model;
    for (auto _ : state) {
        Database db(g_ledger);
        if (!db.open())
            state.SkipWithError("cannot open the register");
        Recordset rs = db.query(BuildTenantQuery(search));
        model.fill(rs);
        state.counters["rows"] = model.rowCount();
    }
}

// The dialog's own "查询(&Q)", its list shown.
void BM_TenantDialogQuery(benchmark::State& state) {
    DataSource::setLedgerPath(g_ledger);
    CTenantDlg dlg;
    dlg.show();
    QCoreApplication::processEvents();
    if (state.range(0))
        dlg.findChild<QComboBox*>(QStringLiteral("addressCombo"))->setEditText(QStringLiteral("3单元1"));
    for (auto _ : state) {
        dlg.QueryTenants();
        QCoreApplication::processEvents();
        state.counters["rows"] = dlg.tenantModel()->rowCount();
    }
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--tenants=", 10) == 0) {
            g_tenants = std::atoi(argv[i] + 10);
            for (int j = i; j + 1 < argc; ++j)
                argv[j] = argv[j + 1];
            --argc;
            --i;
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setFont(QFont(QStringLiteral("Noto Sans CJK SC"), 9));
    platform::ScopedMessageBoxScript boxes; // a failure shows here, not in a window nobody sees
    try {
        g_ledger = makeRegister(g_tenants);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tenants_bench: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "register of %d tenants: %s\n", g_tenants, QFile::encodeName(g_ledger).constData());
    for (auto [name, fn] :
         {std::pair{"BareSqliteLoop", &BM_BareSqliteLoop}, std::pair{"TenantQueryFill", &BM_TenantQueryFill},
          std::pair{"TenantDialogQuery", &BM_TenantDialogQuery}})
        benchmark::RegisterBenchmark(name, fn)
            ->ArgName("narrowed")
            ->Arg(0)
            ->Arg(1)
            ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!boxes.messages().isEmpty()) {
        std::fprintf(stderr, "tenants_bench: %s\n", boxes.texts().join(u'\n').toUtf8().constData());
        return 1;
    }
    return 0;
}
