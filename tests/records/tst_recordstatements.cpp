// The statements of the records list run against a ledger.

#include "records/RecordStatements.h"

#include "data/Database.h"
#include "tests/support/TestLedger.h"

#include <QTest>

namespace {

void insert(const TestLedger& ledger, const QString& no, const QString& rdate) {
    ledger.exec("insert into RECEIPT ([NO],[Rdate]) values(?,?)", {no, SqlValue::date(rdate)});
}

QStringList numbersOf(const SqlStatement& select) {
    Database db;
    if (!db.open())
        throw DbError(QStringLiteral("no ledger"));
    QStringList out;
    for (Recordset rs = db.query(select); !rs.isEOF(); rs.moveNext())
        out << rs.field(1);
    return out;
}

} // namespace

class TestRecordStatements : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data() { TestLedger::addEngineRows(); }

    void displayRangesSelect_data() {
        QTest::addColumn<int>("range");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("all") << 0 << QStringList{"1", "2", "3", "4", "5", "6"};
        QTest::newRow("last 20 of fewer") << 1 << QStringList{"1", "2", "3", "4", "5", "6"};
        QTest::newRow("last month") << 2 << QStringList{"3", "4"};
        QTest::newRow("this month") << 3 << QStringList{"2", "3", "4"};
        QTest::newRow("today") << 4 << QStringList{"4"};
        QTest::newRow("outside the list: all") << 7 << QStringList{"1", "2", "3", "4", "5", "6"};
    }
    void displayRangesSelect() {
        QFETCH(int, range);
        QFETCH(QStringList, expected);
        TestLedger ledger;
        insert(ledger, "1", "2026-02-15 10: 0: 0");
        insert(ledger, "2", "2026-03-02 23:59:59");
        insert(ledger, "3", "2026-03-03  0: 0: 0");
        insert(ledger, "4", "2026-03-31  8: 0: 0");
        insert(ledger, "5", "2025-03-31  8: 0: 0");
        insert(ledger, "6", "2026-04-01  0: 0: 0");
        QCOMPARE(numbersOf(DisplayRangeStatement(range, "2026-3-3 00:00:00", "2026-3-31 23:59:59")),
                 expected);
    }

    void lastTwentyAreTheNewestOldestFirst() {
        TestLedger ledger;
        for (int i = 1; i <= 25; ++i)
            insert(ledger, QString::number(i), "2026-03-01");
        QStringList expected;
        for (int i = 6; i <= 25; ++i)
            expected << QString::number(i);
        QCOMPARE(numbersOf(DisplayRangeStatement(1, {}, {})), expected);
    }
};

QTEST_MAIN(TestRecordStatements)
#include "tst_recordstatements.moc"
