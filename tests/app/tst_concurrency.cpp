// Clerks working on one ledger at the same moment, each with a connection of its own (threads
// here, desks in an office): the tenant register and the pick-lists, each clerk's rows under the
// keys its adds handed back, and receipts saved through the program's own save path.

#include "data/Database.h"
#include "data/ServerConnection.h"
#include "receipt/ReceiptLedger.h"
#include "receipt/ReceiptNumber.h"
#include "settings/ItemLists.h"
#include "tenants/TenantStatements.h"
#include "tests/support/TestLedger.h"

#include <QTest>

#include <functional>
#include <latch>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace {

// Runs each job on a thread of its own, all released at once; the first error of each is kept.
QStringList runTogether(const std::vector<std::function<void()>>& jobs) {
    std::latch start(std::ptrdiff_t(jobs.size()));
    std::mutex mutex;
    QStringList errors;
    std::vector<std::thread> threads;
    for (const auto& job : jobs)
        threads.emplace_back([&, job] {
            start.arrive_and_wait();
            try {
                job();
            } catch (const DbError& e) {
                std::lock_guard lock(mutex);
                errors << e.message();
            }
        });
    for (std::thread& t : threads)
        t.join();
    return errors;
}

} // namespace

class TestConcurrency : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data() { TestLedger::addEngineRows(); }

    // Four clerks save 25 receipts each at the same moment, each under the number its form showed
    // (the next one as its connection read it): every acknowledged save is stored under the number
    // it was acknowledged with, and no number is stored twice or skipped.
    void clerksSavingAtOnceNeverShareANumber() {
        TestLedger ledger;
        constexpr int kClerks = 4, kEach = 25;
        std::mutex mutex;
        std::map<long long, QStringList> acknowledged; // key -> number, address
        std::vector<std::function<void()>> clerks;
        for (int c = 0; c < kClerks; ++c)
            clerks.push_back([&, c] {
                Database db(ledger.path());
                if (!db.open())
                    throw DbError(db.problemText());
                ReceiptForm f;
                f.issueDate = QDateTime(QDate(2026, 12, 6), QTime(9, 0));
                f.periodStart = f.periodEnd = f.issueDate;
                f.total = "100";
                for (int i = 0; i < kEach; ++i) {
                    f.number = NextReceiptNumber(db);
                    f.address = QString("clerk%1 receipt%2").arg(c).arg(i);
                    const StoredReceipt stored = InsertReceipt(db, f);
                    std::lock_guard lock(mutex);
                    acknowledged[stored.key] = {f.number, f.address};
                }
            });
        const QStringList errors = runTogether(clerks);
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
        QCOMPARE(int(acknowledged.size()), kClerks * kEach);
        std::set<QString> numbers;
        for (const QStringList& r : ledger.rows("select id, [NO], district from RECEIPT")) {
            QCOMPARE(r.mid(1), acknowledged[r[0].toLongLong()]);
            QVERIFY2(numbers.insert(r[1]).second, qPrintable("number stored twice: " + r[1]));
        }
        QCOMPARE(int(numbers.size()), kClerks * kEach);
        QCOMPARE(*numbers.begin(), QString("0000001"));
        QCOMPARE(*numbers.rbegin(), QString::asprintf("%07d", kClerks * kEach));
    }

    // Two clerks work on the tenant register and the pick-lists at once: each adds its tenants,
    // amends each through the key its add handed back, deletes every third; adds items, renames
    // every second, deletes every third. Each clerk's work is all there, and only its own.
    void twoClerksOnTheRegisterAndThePickLists() {
        TestLedger ledger;
        constexpr int kEach = 30;
        std::map<qint64, QStringList> expectedTenants[2];
        QStringList expectedItems[2];
        std::vector<std::function<void()>> clerks;
        for (int c = 0; c < 2; ++c)
            clerks.push_back([&, c] {
                Database db(ledger.path());
                if (!db.open())
                    throw DbError(db.problemText());
                const QString who = c == 0 ? "甲" : "乙";
                for (int i = 0; i < kEach; ++i) {
                    TenantValues v;
                    v.text.name = QString("%1%2").arg(who).arg(i);
                    v.text.address = QString("%1-%2").arg(c).arg(i);
                    v.deposit = "100.00";
                    v.rent = 1000 + i;
                    const qint64 id = InsertTenant(db, v);
                    v.text.tel = QString("tel of %1").arg(v.text.name);
                    if (db.execute(BuildTenantUpdate(v, id)) != 1)
                        throw DbError(QStringLiteral("the tenant just added was not there to amend"));
                    if (i % 3 == 2) {
                        db.execute(BuildTenantDelete(id));
                    } else {
                        expectedTenants[c][id] = QStringList{v.text.name, v.text.tel, v.text.address};
                    }

                    const QString item = QString("%1 item %2").arg(who).arg(i);
                    InsertItem(db, "addr_items", item);
                    if (i % 2 == 1) {
                        RenameItem(db, "addr_items", item, item + " renamed");
                        expectedItems[c] << item + " renamed";
                    } else if (i % 3 == 0) {
                        DeleteItem(db, "addr_items", item);
                    } else {
                        expectedItems[c] << item;
                    }
                }
            });
        const QStringList errors = runTogether(clerks);
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));

        std::map<qint64, QStringList> tenants;
        for (const QStringList& r : ledger.rows("select id, name, tel, address from client"))
            tenants[r[0].toLongLong()] = r.mid(1);
        std::map<qint64, QStringList> expected = expectedTenants[0];
        expected.insert(expectedTenants[1].begin(), expectedTenants[1].end());
        QCOMPARE(tenants, expected);

        QStringList items;
        for (const QStringList& r : ledger.rows("select items from addr_items"))
            items << r[0];
        items.sort();
        QStringList wanted = expectedItems[0] + expectedItems[1];
        wanted.sort();
        QCOMPARE(items, wanted);
    }
};

QTEST_GUILESS_MAIN(TestConcurrency)
#include "tst_concurrency.moc"
