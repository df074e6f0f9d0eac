// The statements of the records list, as text and run against a ledger.

#include "records/RecordStatements.h"

#include "data/Database.h"
#include "data/JetSql.h"
#include "tests/support/TestLedger.h"

#include <QTest>

namespace {

void insert(const TestLedger& ledger, const QString& no, const QString& rdate,
            const QString& district = "A栋101", const QString& clerk = "张三", const QString& payee = "李四",
            const QString& remark = "") {
    ledger.exec(QStringLiteral("insert into RECEIPT ([NO],[Rdate],[district],[accountant],[payee],[Remark]) "
                               "values('%1','%2','%3','%4','%5','%6')")
                    .arg(jet::quote(no), rdate, jet::quote(district), jet::quote(clerk), jet::quote(payee),
                         jet::quote(remark)));
}

QStringList numbersOf(const QString& select) {
    Database db;
    if (!db.open())
        throw DbError(QStringLiteral("no ledger"));
    QStringList out;
    for (Recordset rs = db.query(select); !rs.isEOF(); rs.moveNext())
        out << rs.field(1);
    return out;
}

const QString kAll = " 选择全部";

} // namespace

class TestRecordStatements : public QObject {
    Q_OBJECT

private slots:
    void displayRangeTexts_data() {
        QTest::addColumn<int>("range");
        QTest::addColumn<QString>("expected");
        QTest::newRow("所有记录") << 0 << "select * from RECEIPT order by id asc";
        QTest::newRow("最近20条记录")
            << 1 << "select * from (select top 20 * from RECEIPT order by id desc) order by id asc";
        QTest::newRow("最近一个月记录") << 2
                                        << "select * from RECEIPT where Rdate between #2026-3-3 00:00:00# "
                                           "and #2026-3-31 23:59:59# order by id asc";
        QTest::newRow("当前月记录")
            << 3
            << "select * from RECEIPT where year([Rdate])= year(#2026-3-31 23:59:59#) and "
               "Month([Rdate]) = Month(#2026-3-31 23:59:59#) order by id asc";
        QTest::newRow("当天记录")
            << 4
            << "select * from RECEIPT where year([Rdate]) = year(#2026-3-31 23:59:59#) and \t\t"
               "Month([Rdate]) = Month(#2026-3-31 23:59:59#) and Day([Rdate]) = "
               "Day(#2026-3-31 23:59:59#) order by id asc";
        QTest::newRow("outside the list") << 7 << "select * from RECEIPT order by id asc";
    }
    void displayRangeTexts() {
        QFETCH(int, range);
        QFETCH(QString, expected);
        QCOMPARE(DisplayRangeStatement(range, "2026-3-3 00:00:00", "2026-3-31 23:59:59"), expected);
    }

    void displayRangesSelect_data() {
        QTest::addColumn<int>("range");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("all") << 0 << QStringList{"1", "2", "3", "4", "5", "6"};
        QTest::newRow("last 20 of fewer") << 1 << QStringList{"1", "2", "3", "4", "5", "6"};
        QTest::newRow("last month") << 2 << QStringList{"3", "4"};
        QTest::newRow("this month") << 3 << QStringList{"2", "3", "4"};
        QTest::newRow("today") << 4 << QStringList{"4"};
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

    void rangeChoiceIsStoredUnquoted() {
        QCOMPARE(DisplayRangeUpdateStatement(3),
                 QStringLiteral("update table2 set [row5] = 3 where row1 = '1'"));
    }

    void queryTexts_data() {
        QTest::addColumn<QString>("no");
        QTest::addColumn<QString>("remark");
        QTest::addColumn<QString>("expected");
        const QString head = "select * from RECEIPT  \t\t\twhere [NO] ";
        const QString dates =
            " and [Rdate] between #2026-3-1 0:0:0# and #2026-12-31 23:59:59# and [district] like '%%' "
            "\t\t\tand [accountant] like '%%' and [payee] like '%%' and [Remark] ";
        QTest::newRow("everything") << kAll << kAll << head + "like '%%'" + dates + "like '%%' ";
        QTest::newRow("part of a number") << "12" << kAll << head + "like '%12%'" + dates + "like '%%' ";
        QTest::newRow("typed around 选择全部")
            << "x选择全部y" << kAll << head + "like '%%'" + dates + "like '%%' ";
        QTest::newRow("single quote doubled")
            << kAll << "O'Brien" << head + "like '%%'" + dates + "like '%O''Brien%' ";
        QTest::newRow("placeholders stay text") << "%1"
                                                << "%2" << head + "like '%%1%'" + dates + "like '%%2%' ";
    }
    void queryTexts() {
        QFETCH(QString, no);
        QFETCH(QString, remark);
        QFETCH(QString, expected);
        QCOMPARE(BuildQueryStatement(no, kAll, kAll, kAll, remark, QDate(2026, 3, 1), QDate(2026, 12, 31)),
                 expected);
    }

    void queryFinds_data() {
        QTest::addColumn<QStringList>("criteria"); // no, clerk, payee, address, remark
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<QStringList>("expected");
        const QDate mar1(2026, 3, 1), mar31(2026, 3, 31), feb1(2026, 2, 1), apr30(2026, 4, 30);
        QTest::newRow("all, day bounds inclusive") << QStringList{kAll, kAll, kAll, kAll, kAll} << mar1
                                                   << mar31 << QStringList{"0000012", "0001234"};
        QTest::newRow("number contains 12") << QStringList{"12", kAll, kAll, kAll, kAll} << feb1 << apr30
                                            << QStringList{"0000012", "0001234", "0000120"};
        QTest::newRow("clerk") << QStringList{kAll, "张三", kAll, kAll, kAll} << feb1 << apr30
                               << QStringList{"0000012", "0000021", "0000120"};
        QTest::newRow("payee") << QStringList{kAll, kAll, "张三", kAll, kAll} << feb1 << apr30
                               << QStringList{"0001234"};
        QTest::newRow("address part") << QStringList{kAll, kAll, kAll, "栋1", kAll} << feb1 << apr30
                                      << QStringList{"0000012", "0000021", "0000120"};
        QTest::newRow("typed 选择全部") << QStringList{kAll, kAll, kAll, "楼选择全部", kAll} << mar1 << mar31
                                        << QStringList{"0000012", "0001234"};
        QTest::newRow("remark with a quote")
            << QStringList{kAll, kAll, kAll, kAll, "O'Brien"} << feb1 << apr30 << QStringList{"0000012"};
        QTest::newRow("from after to")
            << QStringList{kAll, kAll, kAll, kAll, kAll} << mar31 << mar1 << QStringList{};
    }
    void queryFinds() {
        QFETCH(QStringList, criteria);
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(QStringList, expected);
        TestLedger ledger;
        insert(ledger, "0000012", "2026-03-01  0: 0: 0", "A栋101", "张三", "李四", "O'Brien的房间");
        insert(ledger, "0001234", "2026-03-31 23:59:59", "B座", "李四", "张三", "");
        insert(ledger, "0000021", "2026-04-01  0: 0: 0", "A栋102", "张三", "李四", "");
        insert(ledger, "0000120", "2026-02-28 23:59:59", "C栋1", "张三丰", "王五", "O Brien");
        const QString select =
            BuildQueryStatement(criteria[0], criteria[1], criteria[2], criteria[3], criteria[4], from, to);
        QCOMPARE(numbersOf(select), expected);
    }

    void deleteRemovesOnlyThatNumber() {
        QCOMPARE(DeleteReceiptStatement("0000012"),
                 QStringLiteral("delete from RECEIPT where [NO] = '0000012'"));
        QCOMPARE(DeleteReceiptStatement("a'b"), QStringLiteral("delete from RECEIPT where [NO] = 'a''b'"));
        TestLedger ledger;
        insert(ledger, "0000012", "2026-03-01");
        insert(ledger, "a'b", "2026-03-01");
        insert(ledger, "0000013", "2026-03-01");
        Database db;
        QVERIFY(db.open());
        QCOMPARE(db.execute(DeleteReceiptStatement("a'b")), 1);
        QCOMPARE(db.execute(DeleteReceiptStatement("0000012")), 1);
        QCOMPARE(numbersOf(DisplayRangeStatement(0, {}, {})), QStringList{"0000013"});
    }
};

QTEST_MAIN(TestRecordStatements)
#include "tst_recordstatements.moc"
