// Clerks working on one ledger at the same moment, each with a connection of its own (threads
// here, desks in an office): receipts saved through the program's own save path, amendments and
// deletions in transactions, the tenant register and the pick-lists. Nothing is lost, nothing is
// stored twice, and no reader ever sees half of a transaction.

#include "data/Database.h"
#include "data/ServerConnection.h"
#include "receipt/ReceiptLedger.h"
#include "receipt/ReceiptNumber.h"
#include "receipt/ReceiptStatements.h"
#include "records/RecordStatements.h"
#include "settings/ItemLists.h"
#include "tenants/TenantStatements.h"
#include "tests/support/TestLedger.h"

#include <QTest>

#include <atomic>
#include <functional>
#include <latch>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace {

ReceiptForm sampleForm(const QString& address) {
    ReceiptForm f;
    f.number = "0000001";
    f.address = address;
    f.issueDate = QDateTime(QDate(2026, 12, 6), QTime(9, 5, 3));
    f.periodStart = QDateTime(QDate(2026, 12, 1), QTime(0, 0));
    f.periodEnd = QDateTime(QDate(2026, 12, 31), QTime(0, 0));
    f.housefee = "500";
    f.total = "500";
    f.clerk = "王五";
    f.payee = "李四";
    return f;
}

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

void openOrThrow(Database& db) {
    if (!db.open())
        throw DbError(db.problemText());
}

} // namespace

class TestConcurrency : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data() { TestLedger::addEngineRows(); }

    // Eight clerks save 25 receipts each at the same time, each under the number its form showed
    // (the next one as its connection read it): every save that was acknowledged is in the ledger
    // under the number it was acknowledged with, and no number is stored twice or skipped.
    void eightClerksSaveAtOnce() {
        TestLedger ledger;
        constexpr int kClerks = 8, kEach = 25;
        struct Saved {
            long long key;
            QString number;
            QString remark;
        };
        std::mutex mutex;
        std::vector<Saved> saved;
        std::atomic<int> renumbered = 0;
        std::vector<std::function<void()>> clerks;
        for (int c = 0; c < kClerks; ++c)
            clerks.push_back([&, c] {
                Database db(ledger.path());
                openOrThrow(db);
                ReceiptForm form = sampleForm(QString("clerk %1").arg(c));
                for (int i = 0; i < kEach; ++i) {
                    form.number = NextReceiptNumber(db);
                    form.remark = QString("clerk %1 receipt %2").arg(c).arg(i);
                    const StoredReceipt stored = InsertReceipt(db, form);
                    renumbered += !stored.takenNumber.isEmpty();
                    std::lock_guard lock(mutex);
                    saved.push_back({stored.key, form.number, form.remark});
                }
            });
        const QStringList errors = runTogether(clerks);
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
        QCOMPARE(int(saved.size()), kClerks * kEach);

        std::map<long long, QStringList> stored;
        for (const QStringList& r : ledger.rows("select id, [NO], Remark from RECEIPT"))
            stored[r[0].toLongLong()] = r.mid(1);
        QCOMPARE(int(stored.size()), kClerks * kEach);
        std::set<QString> numbers;
        for (const Saved& s : saved) {
            const auto it = stored.find(s.key);
            QVERIFY2(it != stored.end(), qPrintable(s.remark + " was acknowledged but is not stored"));
            QCOMPARE(it->second, (QStringList{s.number, s.remark}));
            QVERIFY2(numbers.insert(s.number).second, qPrintable("number stored twice: " + s.number));
        }
        QCOMPARE(*numbers.begin(), QString("0000001"));
        QCOMPARE(*numbers.rbegin(), QString::asprintf("%07d", kClerks * kEach));
        qInfo("saves that found their number taken and moved on: %d", renumbered.load());
    }

    // One clerk deletes receipts in batches, each batch in one transaction, while another amends
    // every receipt, each round in one transaction, and a third keeps reading the list: the reader
    // sees a batch whole or not at all and every receipt at one round, a deleted receipt never
    // comes back, and what stays holds the last acknowledged amendment in every column.
    void deletingWhatAnotherIsAmending() {
        TestLedger ledger;
        constexpr int kBatches = 6, kBatchSize = 8;
        std::vector<long long> keys;
        {
            Database db(ledger.path());
            openOrThrow(db);
            ReceiptForm form = sampleForm("A");
            for (int i = 0; i < kBatches * kBatchSize; ++i) {
                form.number = NextReceiptNumber(db);
                form.remark = "round 0";
                keys.push_back(InsertReceipt(db, form).key);
            }
        }
        std::atomic<bool> deleting = true, amending = true;
        // A clerk that fails ends its part all the same, so that the others stop too.
        struct Ends {
            std::atomic<bool>& flag;
            ~Ends() { flag = false; }
        };
        std::atomic<int> lastRound = 0;
        std::map<long long, QList<int>> amendResults; // per key: rows changed by each round
        std::vector<int> deletedBatches;
        QStringList seen; // what the reader found wrong
        std::atomic<int> reads = 0;
        const auto amendment = [](int round) {
            ReceiptForm form = sampleForm(QString("A"));
            form.remark = QString("round %1").arg(round);
            form.housefee = QString::number(500 + round);
            form.total = QString::number(500 + round);
            form.clerk = QString("clerk of round %1").arg(round);
            return form;
        };
        const QStringList errors = runTogether(
            {[&] {
                 Database db(ledger.path());
                 Ends ends{deleting};
                 openOrThrow(db);
                 for (int b = 0; b < kBatches; b += 2) {
                     std::this_thread::sleep_for(std::chrono::milliseconds(100));
                     Transaction t(db);
                     for (int k = 0; k < kBatchSize; ++k)
                         if (db.execute(DeleteReceiptStatement(keys[std::size_t(b * kBatchSize + k)])) != 1)
                             throw DbError(QStringLiteral("a receipt to delete was gone"));
                     t.commit();
                     deletedBatches.push_back(b);
                 }
             },
             [&] {
                 Database db(ledger.path());
                 Ends ends{amending};
                 openOrThrow(db);
                 // Rounds go on until the deletions are over, and two more after them.
                 for (int round = 1, after = 0; after < 2 && round < 10000; ++round) {
                     after += !deleting;
                     ReceiptForm form = amendment(round);
                     Transaction t(db);
                     QList<int> changed;
                     for (long long key : keys)
                         changed << db.execute(UpdateReceiptStatement(form, key));
                     t.commit();
                     lastRound = round;
                     // A clerk takes a moment between two saves. The file's writers take turns by
                     // polling every 100 ms at most, not in a queue: a clerk saving again sooner
                     // would keep the other out until it gave up.
                     std::this_thread::sleep_for(std::chrono::milliseconds(120));
                     for (std::size_t k = 0; k < keys.size(); ++k)
                         amendResults[keys[k]] << changed[qsizetype(k)];
                 }
             },
             [&] {
                 Database db(ledger.path());
                 openOrThrow(db);
                 while (deleting || amending) {
                     std::map<int, int> perBatch;
                     std::set<QString> remarks;
                     for (Recordset rs = db.query("select id, Remark from RECEIPT"); !rs.isEOF();
                          rs.moveNext()) {
                         const auto at = std::find(keys.begin(), keys.end(), rs.field(0).toLongLong());
                         ++perBatch[int(at - keys.begin()) / kBatchSize];
                         remarks.insert(rs.field(1));
                     }
                     for (const auto& [batch, count] : perBatch)
                         if (count != kBatchSize)
                             seen << QString("batch %1 with %2 of its receipts").arg(batch).arg(count);
                     if (remarks.size() > 1)
                         seen << QString("receipts of %1 rounds at once").arg(remarks.size());
                     ++reads;
                     std::this_thread::sleep_for(std::chrono::milliseconds(1));
                 }
             }});
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
        QVERIFY2(seen.isEmpty(), qPrintable(seen.mid(0, 5).join('\n')));
        QCOMPARE(deletedBatches, (std::vector<int>{0, 2, 4}));
        qInfo("rounds of amendments: %d, reads of the list: %d", lastRound.load(), reads.load());

        const ReceiptForm last = amendment(lastRound);
        for (std::size_t k = 0; k < keys.size(); ++k) {
            const QList<int>& changed = amendResults[keys[k]];
            QCOMPARE(changed.size(), lastRound.load());
            const bool deleted = (k / kBatchSize) % 2 == 0;
            // Changed in every round until the deletion, in none after it.
            const qsizetype firstMiss = changed.indexOf(0);
            QVERIFY(firstMiss < 0 || !changed.mid(firstMiss).contains(1));
            QCOMPARE(firstMiss >= 0, deleted);
            const QStringList row = ledger.row(QString("select * from RECEIPT where id = %1").arg(keys[k]));
            if (deleted) {
                QCOMPARE(row, QStringList());
                continue;
            }
            QCOMPARE(row.size(), int(ReceiptColumn::Count));
            QCOMPARE((QStringList{row[ReceiptColumn::Remark], row[ReceiptColumn::Housefee],
                                  row[ReceiptColumn::TotalMoney], row[ReceiptColumn::Accountant]}),
                     (QStringList{last.remark, last.housefee, last.total, last.clerk}));
        }
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
                openOrThrow(db);
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
        QCOMPARE(int(expectedTenants[0].size() + expectedTenants[1].size()), 2 * (kEach - kEach / 3));
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
