// The server ledger beside the ledger file, on the same 100,000 receipts: the records list as the
// main window fills it ("所有记录"), one save through the program's save path, and ten clerks
// saving at once, each with a connection of its own.
//
//   server_bench [--receipts=100000] [--clients=10] [--each=100] [--saves=200]
//
// It needs a PostgreSQL server: RENTBOOK_TEST_PG_ENV names the settings file that
// scripts/test-postgres writes (`make bench` starts a throwaway cluster for it). The clerks
// connect over TCP to 127.0.0.1 with a password, as clerks at other desks would.

#include "tests/support/ServerSettingsFile.h"
#include "tools/bench/BenchReport.h"
#include "tools/bench/SyntheticLedger.h"

#include "data/Database.h"
#include "data/LedgerLocation.h"
#include "data/ServerConnection.h"
#include "data/ServerLedger.h"
#include "platform/Services.h"
#include "receipt/ReceiptLedger.h"
#include "receipt/ReceiptNumber.h"
#include "records/RecordStatements.h"
#include "records/RecordsModel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>

#include <SQLiteCpp/SQLiteCpp.h>
#include <libpq-fe.h>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <latch>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Options {
    int receipts = 100000;
    int clients = 10;
    int each = 100;
    int saves = 200;
};

Options parseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const auto take = [&](const char* name, int& value) {
            const std::size_t n = std::strlen(name);
            if (std::strncmp(argv[i], name, n) != 0)
                return false;
            value = std::atoi(argv[i] + n);
            if (value <= 0)
                throw std::invalid_argument(std::string("bad value in ") + argv[i]);
            return true;
        };
        if (!take("--receipts=", o.receipts) && !take("--clients=", o.clients) && !take("--each=", o.each) &&
            !take("--saves=", o.saves))
            throw std::invalid_argument(std::string("unknown argument ") + argv[i]);
    }
    return o;
}

QHash<QString, QString> serverSettings() {
    QHash<QString, QString> out = ReadTestServerSettings();
    if (out.isEmpty())
        throw std::runtime_error("no PostgreSQL server: RENTBOOK_TEST_PG_ENV names no settings file "
                                 "(run it through `make bench` or scripts/with-test-postgres)");
    return out;
}

// The address with another database in it.
QString withDatabase(const QString& uri, const QString& database) {
    const qsizetype query = uri.indexOf(QLatin1Char('?'));
    const QString head = query < 0 ? uri : uri.left(query);
    const qsizetype slash = head.indexOf(QLatin1Char('/'), head.indexOf(QLatin1String("://")) + 3);
    return (slash < 0 ? head : head.left(slash)) + QLatin1Char('/') + database +
           (query < 0 ? QString() : uri.mid(query));
}

pg_conn* connectOrThrow(const QString& uri) {
    LedgerProblem problem;
    QString detail;
    pg_conn* conn = ConnectToServer(uri, problem, detail);
    if (!conn)
        throw std::runtime_error("cannot connect to " + uri.toStdString() + ": " + detail.toStdString());
    return conn;
}

void run(pg_conn* conn, const std::string& sql) {
    PGresult* r = PQexec(conn, sql.c_str());
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
    PQclear(r);
    if (!ok)
        throw std::runtime_error(sql.substr(0, 60) + ": " + PQerrorMessage(conn));
}

// A text cell for COPY: backslash, tab and line ends escaped.
void appendCopyText(std::string& out, const char* text) {
    for (const char* p = text; *p; ++p) {
        switch (*p) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += *p;
        }
    }
}

// A new database owned by the clerk account holding the file's receipts, ids included.
QString copyToServer(const SyntheticLedger& file, const QHash<QString, QString>& settings) {
    const QString database = QStringLiteral("rbbench_%1").arg(QCoreApplication::applicationPid());
    {
        pg_conn* admin = connectOrThrow(settings.value(QStringLiteral("RENTBOOK_TEST_PG")));
        run(admin, "drop database if exists " + database.toStdString() + " with (force)");
        run(admin, "create database " + database.toStdString() + " owner clerk");
        PQfinish(admin);
    }
    const QString uri = withDatabase(settings.value(QStringLiteral("RENTBOOK_TEST_PG_TCP")), database);
    QString message;
    if (!InitServerLedger(uri, message))
        throw std::runtime_error(message.toStdString());

    pg_conn* conn = connectOrThrow(uri);
    run(conn, "begin");
    {
        PGresult* r = PQexec(conn, "copy receipt from stdin");
        const bool ready = PQresultStatus(r) == PGRES_COPY_IN;
        PQclear(r);
        if (!ready)
            throw std::runtime_error(std::string("copy: ") + PQerrorMessage(conn));
    }
    SQLite::Database db(QFile::encodeName(file.path).toStdString(), SQLite::OPEN_READONLY);
    SQLite::Statement rows(db, "select * from RECEIPT order by id");
    std::string buffer;
    char number[40];
    while (rows.executeStep()) {
        for (int c = 0; c < rows.getColumnCount(); ++c) {
            if (c > 0)
                buffer += '\t';
            const SQLite::Column cell = rows.getColumn(c);
            if (cell.isNull()) {
                buffer += "\\N";
            } else if (cell.isFloat()) {
                std::snprintf(number, sizeof number, "%.17g", cell.getDouble());
                buffer += number;
            } else {
                appendCopyText(buffer, cell.getText());
            }
        }
        buffer += '\n';
        if (buffer.size() > (1 << 20)) {
            if (PQputCopyData(conn, buffer.data(), int(buffer.size())) != 1)
                throw std::runtime_error(PQerrorMessage(conn));
            buffer.clear();
        }
    }
    if (PQputCopyData(conn, buffer.data(), int(buffer.size())) != 1 || PQputCopyEnd(conn, nullptr) != 1)
        throw std::runtime_error(PQerrorMessage(conn));
    PGresult* r = PQgetResult(conn);
    const bool copied = PQresultStatus(r) == PGRES_COMMAND_OK;
    PQclear(r);
    while ((r = PQgetResult(conn)))
        PQclear(r);
    if (!copied)
        throw std::runtime_error(std::string("copy: ") + PQerrorMessage(conn));
    // Keys go on after the copied ones.
    run(conn, "select setval(pg_get_serial_sequence('receipt', 'id'), (select max(id) from receipt))");
    run(conn, "commit");
    run(conn, "analyze receipt");
    PQfinish(conn);
    return uri;
}

// ---- measurements ------------------------------------------------------------------------------

double seconds(const QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1e9;
}

// The records list as the main window fills it with "所有记录": its statement and its reading loop.
// The best of a few runs, and the rows it listed.
std::pair<double, int> listAll(const QString& ledger, int runs) {
    Database db(ledger);
    if (!db.open())
        throw std::runtime_error(db.problemText().toStdString());
    RecordsModel model;
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        Recordset rs = db.query(DisplayRangeStatement(0, QString(), QString()));
        model.fill(rs, RecordsModel::FillKind::Range, true, platform::now());
        best = std::min(best, seconds(t));
    }
    return {best, model.rowCount()};
}

ReceiptForm benchForm(const QString& address) {
    ReceiptForm f;
    f.address = address;
    f.issueDate = QDateTime(QDate(2026, 7, 6), QTime(9, 5, 3));
    f.periodStart = QDateTime(QDate(2026, 7, 1), QTime(0, 0));
    f.periodEnd = QDateTime(QDate(2026, 7, 31), QTime(0, 0));
    f.waterlast = QStringLiteral("100");
    f.waterthis = QStringLiteral("112");
    f.waterprice = QStringLiteral("4.20");
    f.waterfee = QStringLiteral("50.40");
    f.housefee = QStringLiteral("1200");
    f.total = QStringLiteral("1250");
    f.clerk = QStringLiteral("张丽");
    f.payee = QStringLiteral("陈晨");
    f.remark = QStringLiteral("bench");
    return f;
}

struct Percentiles {
    double median = 0;
    double p95 = 0;
};

Percentiles percentiles(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    if (values.empty())
        return {};
    const auto at = [&](double q) {
        return values[std::min(values.size() - 1, std::size_t(q * double(values.size())))];
    };
    return {at(0.5), at(0.95)};
}

// One clerk saving receipts one after another: the save itself (InsertReceipt: the number checked
// and the receipt stored in one transaction) and the number the next form shows.
struct SaveTimes {
    Percentiles save;
    Percentiles nextNumber;
};

SaveTimes saveOneByOne(const QString& ledger, int saves) {
    Database db(ledger);
    if (!db.open())
        throw std::runtime_error(db.problemText().toStdString());
    ReceiptForm form = benchForm(QStringLiteral("单人保存"));
    std::vector<double> save, next;
    form.number = NextReceiptNumber(db);
    for (int i = 0; i < saves; ++i) {
        QElapsedTimer t;
        t.start();
        InsertReceipt(db, form);
        save.push_back(seconds(t));
        t.restart();
        form.number = NextReceiptNumber(db);
        next.push_back(seconds(t));
    }
    return {percentiles(save), percentiles(next)};
}

struct ManyClients {
    double seconds = 0;
    int acknowledged = 0;
    int failed = 0;
    int duplicates = 0;
    int lost = 0;
    Percentiles save;
    std::string firstError;
};

// Clerks saving at once, each on a thread with a connection of its own, the form's number read
// before each save as the window does.
ManyClients clientsAtOnce(const QString& ledger, int clients, int each) {
    ManyClients out;
    std::mutex mutex;
    std::vector<std::pair<long long, QString>> saved;
    std::vector<double> times;
    std::latch start(clients + 1);
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c)
        threads.emplace_back([&, c] {
            Database db(ledger);
            const bool opened = db.open();
            start.arrive_and_wait();
            if (!opened) {
                std::lock_guard lock(mutex);
                out.failed += each;
                out.firstError = db.problemText().toStdString();
                return;
            }
            ReceiptForm form = benchForm(QStringLiteral("客户端%1").arg(c));
            for (int i = 0; i < each; ++i) {
                try {
                    QElapsedTimer t;
                    t.start();
                    form.number = NextReceiptNumber(db);
                    const StoredReceipt stored = InsertReceipt(db, form);
                    const double took = seconds(t);
                    std::lock_guard lock(mutex);
                    saved.emplace_back(stored.key, form.number);
                    times.push_back(took);
                } catch (const DbError& e) {
                    std::lock_guard lock(mutex);
                    ++out.failed;
                    if (out.firstError.empty())
                        out.firstError = e.message().toStdString();
                }
            }
        });
    QElapsedTimer wall;
    start.arrive_and_wait();
    wall.start();
    for (std::thread& t : threads)
        t.join();
    out.seconds = seconds(wall);
    out.acknowledged = int(saved.size());
    out.save = percentiles(times);

    // Every acknowledged save is stored under its number, and no number is there twice.
    Database db(ledger);
    if (!db.open())
        throw std::runtime_error(db.problemText().toStdString());
    std::set<std::pair<long long, QString>> stored;
    std::multiset<QString> numbers;
    for (Recordset rs =
             db.query(QStringLiteral("select id, [NO] from RECEIPT where district like '客户端%'"));
         !rs.isEOF(); rs.moveNext()) {
        stored.emplace(rs.field(0).toLongLong(), rs.field(1));
        numbers.insert(rs.field(1));
    }
    for (const auto& s : saved)
        out.lost += stored.count(s) == 0;
    for (auto it = numbers.begin(); it != numbers.end(); it = numbers.upper_bound(*it))
        out.duplicates += int(numbers.count(*it)) - 1;
    // A number of the new receipts may also be an old one's.
    for (Recordset rs =
             db.query(QStringLiteral("select [NO], count(*) from RECEIPT group by [NO] having count(*) > 1"));
         !rs.isEOF(); rs.moveNext())
        if (numbers.count(rs.field(0)) == 1)
            ++out.duplicates;
    return out;
}

// The test cluster trades durability for speed; a clerk's server does not, nor does the file.
void requireDurableServer(const QHash<QString, QString>& settings) {
    pg_conn* admin = connectOrThrow(settings.value(QStringLiteral("RENTBOOK_TEST_PG")));
    for (const char* sql : {"alter system set fsync = on", "alter system set synchronous_commit = on",
                            "alter system set full_page_writes = on", "select pg_reload_conf()"})
        run(admin, sql);
    PQfinish(admin);
}

template <typename T> struct FileAndServer {
    T file;
    T server;
};

void printReport(const Options& o, const FileAndServer<double>& list, const FileAndServer<SaveTimes>& save,
                 const FileAndServer<ManyClients>& clients) {
    const double fileList = list.file, serverList = list.server;
    const SaveTimes& fileSave = save.file;
    const SaveTimes& serverSave = save.server;
    const ManyClients& fileClients = clients.file;
    const ManyClients& serverClients = clients.server;
    std::printf("\nServer ledger benchmark (PostgreSQL on 127.0.0.1 over TCP, %d receipts; load average now "
                "%s)\n",
                o.receipts, loadAverageText().c_str());
    std::printf("%-44s %12s %12s %8s  %s\n", "measure", "file", "server", "ratio", "target");
    std::printf("%-44s %12s %12s %7.2fx  <=2x file%s\n", "records list, 所有记录 (statement + fill)",
                timeText(fileList).c_str(), timeText(serverList).c_str(), serverList / fileList,
                verdict(true, serverList <= 2 * fileList));
    std::printf("%-44s %12s %12s %7.2fx\n", "one save (InsertReceipt), median",
                timeText(fileSave.save.median).c_str(), timeText(serverSave.save.median).c_str(),
                serverSave.save.median / fileSave.save.median);
    std::printf("%-44s %12s %12s %7.2fx\n", "one save (InsertReceipt), p95",
                timeText(fileSave.save.p95).c_str(), timeText(serverSave.save.p95).c_str(),
                serverSave.save.p95 / fileSave.save.p95);
    std::printf("%-44s %12s %12s %7.2fx\n", "next number for the form, median",
                timeText(fileSave.nextNumber.median).c_str(), timeText(serverSave.nextNumber.median).c_str(),
                serverSave.nextNumber.median / fileSave.nextNumber.median);
    for (const auto& [name, c] : {std::pair<const char*, const ManyClients&>{"file", fileClients},
                                  std::pair<const char*, const ManyClients&>{"server", serverClients}}) {
        // The file is not held to the server's mark: its writers may give up (see below).
        const bool server = &c == &serverClients;
        std::printf("%d clients x %d saves at once, %-6s: %d acknowledged, %d refused, duplicates %d, "
                    "lost %d, %.1f s, %.0f receipts/s, save median %s p95 %s%s\n",
                    o.clients, o.each, name, c.acknowledged, c.failed, c.duplicates, c.lost, c.seconds,
                    double(c.acknowledged) / c.seconds, timeText(c.save.median).c_str(),
                    timeText(c.save.p95).c_str(),
                    verdict(true, c.duplicates == 0 && c.lost == 0 && (!server || c.failed == 0)));
        if (!c.firstError.empty())
            std::printf("    first refusal: %s\n",
                        QString::fromStdString(c.firstError).simplified().toUtf8().constData());
    }
    std::printf(
        "(The server writes durably here, fsync on, as the file does. The file's writers wait for its "
        "lock by polling, not in a queue: with many clerks saving without a pause some give up after "
        "the 5 s wait, as the refusals show; nothing acknowledged is lost.)\n");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    try {
        const Options o = parseOptions(argc, argv);
        const QHash<QString, QString> settings = serverSettings();
        SetServerPassword(settings.value(QStringLiteral("RENTBOOK_TEST_PG_PASSWORD")));
        std::fprintf(stderr, "load average at start: %s\n", loadAverageText().c_str());

        requireDurableServer(settings);

        QElapsedTimer t;
        t.start();
        const SyntheticLedger file = MakeSyntheticLedger(QStringLiteral(RENTBOOK_EMPTY_LEDGER),
                                                         QStringLiteral(RENTBOOK_BENCH_DIR), o.receipts);
        std::fprintf(stderr, "ledger file of %d receipts %s in %.1f s\n", o.receipts,
                     file.generated ? "made" : "cached", file.seconds);
        t.restart();
        const QString server = copyToServer(file, settings);
        std::fprintf(stderr, "copied to %s in %.1f s\n",
                     LedgerLocation::describe(server).toUtf8().constData(), seconds(t));

        const auto [fileList, fileRows] = listAll(file.path, 5);
        const auto [serverList, serverRows] = listAll(server, 5);
        if (fileRows != o.receipts || serverRows != o.receipts)
            throw std::runtime_error("the list does not hold every receipt");

        // The file's saves go to a copy, so that a second run lists the same ledger; the server's
        // database is made anew by every run.
        const QString fileCopy = file.path + QStringLiteral(".saves");
        QFile::remove(fileCopy);
        if (!QFile::copy(file.path, fileCopy))
            throw std::runtime_error("cannot copy " + file.path.toStdString());
        QFile(fileCopy).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        const SaveTimes fileSave = saveOneByOne(fileCopy, o.saves);
        const SaveTimes serverSave = saveOneByOne(server, o.saves);

        const ManyClients fileClients = clientsAtOnce(fileCopy, o.clients, o.each);
        QFile::remove(fileCopy);
        const ManyClients serverClients = clientsAtOnce(server, o.clients, o.each);

        printReport(o, {fileList, serverList}, {fileSave, serverSave}, {fileClients, serverClients});

        pg_conn* admin = connectOrThrow(settings.value(QStringLiteral("RENTBOOK_TEST_PG")));
        ForgetServerConnections();
        run(admin, "drop database if exists " + LedgerLocation::serverAddress(server).database.toStdString() +
                       " with (force)");
        PQfinish(admin);
        return serverClients.duplicates == 0 && serverClients.lost == 0 ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "server_bench: %s\n", e.what());
        return 1;
    }
}
