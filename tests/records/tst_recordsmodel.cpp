// The records list model: filling from the ledger, rows written from the form, removal,
// totals and the summary line, and the heading-click sort with its guessed comparison.

#include "records/RecordsModel.h"

#include "data/Database.h"
#include "data/JetSql.h"
#include "tests/support/TestLedger.h"

#include <QAbstractItemModelTester>
#include <QColor>
#include <QItemSelectionModel>
#include <QSignalSpy>
#include <QTest>

namespace {

struct Receipt {
    QString no = QStringLiteral("0000001");
    QString rdate = QStringLiteral("2026-03-05 9:05:03");
    QString district = QStringLiteral("A栋101");
    QString waterfee = QStringLiteral("17.50");
    QString elecfee = QStringLiteral("30.25");
    QString housefee = QStringLiteral("500.00");
    QString total = QStringLiteral("827.75");
    QString remark = QStringLiteral("备注");
    QString hotFee = QStringLiteral("8.5");
    QString tdate = QStringLiteral("2026-03-31");
    QString days = QStringLiteral("30");
};

void insert(const TestLedger& ledger, const Receipt& r) {
    const QString tdate =
        r.tdate.isEmpty() ? QStringLiteral("NULL") : QLatin1Char('\'') + r.tdate + QLatin1Char('\'');
    ledger.exec(QStringLiteral(
                    "insert into RECEIPT ([NO],[Rdate],[district],[waterlast],[waterthis],[waterfee],"
                    "[eleclast],[electhis],[elecfee],[housefee],[cleanfee],[TVfee],[netfee],[managefee],"
                    "[otherfee],[total_money],[Remark],[accountant],[payee],[waterprice],[elecprice],"
                    "[standby1],[standby2],[standby3],[standby4],[standby5],[Tdate],[standby6]) values('") +
                jet::quote(r.no) + QStringLiteral("','") + r.rdate + QStringLiteral("','") +
                jet::quote(r.district) + QStringLiteral("',10.00,15.00,") + r.waterfee +
                QStringLiteral(",100.00,150.00,") + r.elecfee + QLatin1Char(',') + r.housefee +
                QStringLiteral(",10.00,200.00,50.00,20.00,0.00,") + r.total + QStringLiteral(",'") +
                jet::quote(r.remark) + QStringLiteral("','张三','李四',3.50,0.60,'1','3','") + r.hotFee +
                QStringLiteral("','4.25','1',") + tdate + QStringLiteral(",'") + r.days +
                QStringLiteral("')"));
}

RecordsModel::Totals fillFrom(RecordsModel& model, const QString& select, RecordsModel::FillKind kind,
                              bool period,
                              const QDateTime& now = QDateTime(QDate(2026, 12, 6), QTime(15, 30))) {
    Database db;
    if (!db.open())
        throw DbError(QStringLiteral("no ledger"));
    Recordset rs = db.query(select);
    return model.fill(rs, kind, period, now);
}

// 24 cells (columns 1 to 24) with the given texts at the given columns.
QStringList cellsWith(const QMap<int, QString>& texts) {
    QStringList cells(kRecordCellCount);
    for (auto it = texts.begin(); it != texts.end(); ++it)
        cells[it.key() - 1] = it.value();
    return cells;
}

QStringList column(const RecordsModel& model, int col) {
    QStringList out;
    for (int r = 0; r < model.rowCount(); ++r)
        out << model.cell(r, col);
    return out;
}

QString allRows() {
    return QStringLiteral("select * from RECEIPT order by id asc");
}

} // namespace

class TestRecordsModel : public QObject {
    Q_OBJECT

private slots:
    void fillWritesEveryColumnFromItsReceiptColumn() {
        TestLedger ledger;
        insert(ledger, Receipt{});
        RecordsModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        fillFrom(model, allRows(), RecordsModel::FillKind::Range, true);
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.columnCount(), 25);
        const QStringList expected = {"1",      "0000001", "A栋101", "2026-03-05", "2026-03-01至2026-03-31",
                                      "10.0",   "15.0",    "17.5",   "100.0",      "150.0",
                                      "30.25",  "1",       "3",      "8.5",        "200.0",
                                      "50.0",   "10.0",    "20.0",   "0.0",        "500.0",
                                      "827.75", "张三",    "李四",   "备注",       "1"};
        for (int c = 0; c < 25; ++c)
            QCOMPARE(model.data(model.index(0, c)).toString(), expected[c]);
    }

    void chargingPeriodColumn_data() {
        QTest::addColumn<bool>("query");
        QTest::addColumn<bool>("option");
        QTest::addColumn<QString>("tdate");
        QTest::addColumn<QString>("days");
        QTest::addColumn<QString>("expected");
        // "now" is 6 December 2026.
        QTest::newRow("option off") << false << false << "2026-03-31"
                                    << "30"
                                    << "";
        QTest::newRow("option off, query") << true << false << "2026-03-31"
                                           << "30"
                                           << "";
        QTest::newRow("stored end") << false << true << "2026-03-31"
                                    << "30"
                                    << "2026-03-01至2026-03-31";
        QTest::newRow("across a year") << false << true << "2026-01-10"
                                       << "31"
                                       << "2025-12-10至2026-01-10";
        QTest::newRow("leap day") << false << true << "2024-03-01"
                                  << "1"
                                  << "2024-02-29至2024-03-01";
        QTest::newRow("no end: ends today") << false << true << ""
                                            << "10"
                                            << "2026-11-26至2026-12-06";
        QTest::newRow("end before 1999: today") << false << true << "1998-01-01"
                                                << "5"
                                                << "2026-12-01至2026-12-06";
        QTest::newRow("query keeps an old end") << true << true << "1998-01-01"
                                                << "5"
                                                << "1997-12-27至1998-01-01";
        QTest::newRow("query without end") << true << true << ""
                                           << "5"
                                           << "";
        QTest::newRow("days no number") << false << true << "2026-03-31"
                                        << "abc"
                                        << "2026-03-31至2026-03-31";
        QTest::newRow("query stored end") << true << true << "2026-03-31"
                                          << "30"
                                          << "2026-03-01至2026-03-31";
    }
    void chargingPeriodColumn() {
        QFETCH(bool, query);
        QFETCH(bool, option);
        QFETCH(QString, tdate);
        QFETCH(QString, days);
        QFETCH(QString, expected);
        TestLedger ledger;
        Receipt r;
        r.tdate = tdate;
        r.days = days;
        insert(ledger, r);
        RecordsModel model;
        fillFrom(model, allRows(), query ? RecordsModel::FillKind::Query : RecordsModel::FillKind::Range,
                 option);
        QCOMPARE(model.cell(0, RecordColumn::Period), expected);
    }

    void fillNumbersRowsAndTotalsTheListedReceipts() {
        TestLedger ledger;
        insert(ledger, Receipt{});
        Receipt b;
        b.no = QStringLiteral("0000002");
        b.waterfee = QStringLiteral("2.50");
        b.elecfee = QStringLiteral("1.75");
        b.housefee = QStringLiteral("300.00");
        b.total = QStringLiteral("304.25");
        b.hotFee = QStringLiteral("abc"); // no number: counts 0
        insert(ledger, b);
        Receipt c = b;
        c.no = QStringLiteral("0000003");
        c.hotFee = QStringLiteral(" 1.5元");
        insert(ledger, c);

        RecordsModel model;
        model.appendRow(cellsWith({{1, "stale"}}));
        const auto totals = fillFrom(model, allRows(), RecordsModel::FillKind::Range, false);
        QCOMPARE(column(model, 0), (QStringList{"1", "2", "3"}));
        QCOMPARE(column(model, 1), (QStringList{"0000001", "0000002", "0000003"}));
        QCOMPARE(model.itemData(0), 0);
        QCOMPARE(model.itemData(2), 2);
        QCOMPARE(totals.water, 22.5);
        QCOMPARE(totals.elec, 33.75);
        QCOMPARE(totals.hotWater, 10.0);
        QCOMPARE(totals.rent, 1100.0);
        QCOMPARE(totals.total, 1436.25);
        QCOMPARE(
            RecordsModel::summaryText(totals, QStringLiteral("热水费(吨)")),
            QStringLiteral(
                "汇总:房租: 1100.00元  水费: 22.50元  电费: 33.75元  热水费(吨): 10.00元  总额: 1436.25元"));

        // The cells give the same sums as the fill.
        const auto again = model.computeTotals();
        QCOMPARE(again.water, totals.water);
        QCOMPARE(again.elec, totals.elec);
        QCOMPARE(again.hotWater, totals.hotWater);
        QCOMPARE(again.rent, totals.rent);
        QCOMPARE(again.total, totals.total);
    }

    void emptyResultGivesAnEmptyListAndZeroSummary() {
        TestLedger ledger;
        RecordsModel model;
        model.appendRow(cellsWith({{RecordColumn::Total, "5.00"}}));
        const auto totals = fillFrom(model, allRows(), RecordsModel::FillKind::Query, true);
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(
            RecordsModel::summaryText(totals, QStringLiteral("热水费")),
            QStringLiteral("汇总:房租: 0.00元  水费: 0.00元  电费: 0.00元  热水费: 0.00元  总额: 0.00元"));
        QCOMPARE(RecordsModel::summaryText(model.computeTotals(), QStringLiteral("热水费")),
                 RecordsModel::summaryText(totals, QStringLiteral("热水费")));
    }

    void failingStepLeavesAnEmptyConsistentList() {
        TestLedger ledger;
        Receipt a;
        a.remark = QString();
        insert(ledger, a);
        Receipt b;
        b.remark = QStringLiteral("not a date");
        insert(ledger, b);
        RecordsModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.appendRow(cellsWith({{1, "before"}}));
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        // The second row makes the engine fail while the fill steps through the result.
        QVERIFY_THROWS_EXCEPTION(
            DbError, fillFrom(model, QStringLiteral("select *, jet_date(Remark) from RECEIPT order by id"),
                              RecordsModel::FillKind::Range, false));
        QCOMPARE(resets.count(), 1);
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.appendRow(cellsWith({{1, "after"}})), 0);
        QCOMPARE(model.cell(0, 0), QStringLiteral("1"));
    }

    void appendedRowsTakeTheNextNumberAndAFreshItemData() {
        TestLedger ledger;
        for (int i = 0; i < 3; ++i)
            insert(ledger, Receipt{});
        RecordsModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        fillFrom(model, allRows(), RecordsModel::FillKind::Range, false);
        QVERIFY(model.removeRows(1, 1));
        QCOMPARE(column(model, 0), (QStringList{"1", "3"})); // no renumbering
        QCOMPARE(model.itemData(1), 2);

        const int row = model.appendRow(cellsWith({{1, "0000009"}, {RecordColumn::Remark, "新"}}));
        QCOMPARE(row, 2);
        QCOMPARE(model.cell(2, 0), QStringLiteral("3")); // row count + 1, even though "3" is taken
        QCOMPARE(model.cell(2, 1), QStringLiteral("0000009"));
        QCOMPARE(model.cell(2, RecordColumn::Remark), QStringLiteral("新"));
        QCOMPARE(model.itemData(2), 3);

        // Without the row of the largest value, the next one is one above what is left.
        QVERIFY(model.removeRows(2, 1));
        model.appendRow(cellsWith({}));
        QCOMPARE(model.itemData(2), 3);
        model.appendRow(cellsWith({}));
        QCOMPARE(model.itemData(3), 4);
        QCOMPARE(model.rowOfItemData(4), 3);
        QCOMPARE(model.rowOfItemData(1), -1);
    }

    void updateRowKeepsNumberAndItemData() {
        RecordsModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.appendRow(cellsWith({{1, "0000001"}, {RecordColumn::Rent, "100.00"}}));
        model.appendRow(cellsWith({{1, "0000002"}, {RecordColumn::Rent, "200.00"}}));
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.updateRow(
            0, cellsWith({{1, "0000001"}, {RecordColumn::Rent, "150.00"}, {RecordColumn::ThreeRow, "1"}}));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(model.cell(0, 0), QStringLiteral("1"));
        QCOMPARE(model.itemData(0), 0);
        QCOMPARE(model.cell(0, RecordColumn::Rent), QStringLiteral("150.00"));
        QCOMPARE(model.cell(0, RecordColumn::ThreeRow), QStringLiteral("1"));
        QCOMPARE(model.cell(1, RecordColumn::Rent), QStringLiteral("200.00"));
        QCOMPARE(model.computeTotals().rent, 350.0);
        model.updateRow(5, cellsWith({{1, "x"}})); // no such row: nothing happens
        QCOMPARE(model.rowCount(), 2);
    }

    void longAndRewrittenRowsReadBackIntact() {
        // Cells longer than a block, and enough rewriting that the dead bytes get collected.
        RecordsModel model;
        const QString huge(3 << 20, QLatin1Char('x'));
        model.appendRow(
            cellsWith({{1, "0000001"}, {RecordColumn::Remark, huge}, {RecordColumn::ThreeRow, "1"}}));
        for (int i = 0; i < 50; ++i)
            model.appendRow(cellsWith(
                {{1, QString::number(i)}, {RecordColumn::Address, QStringLiteral("地址%1").arg(i)}}));
        const QString remark(200 * 1024, QLatin1Char('r'));
        for (int round = 0; round < 40; ++round)
            model.updateRow(round % 10 + 1, cellsWith({{1, QString::number(round)},
                                                       {RecordColumn::Remark, remark},
                                                       {RecordColumn::ThreeRow, QString::number(round)}}));
        QCOMPARE(model.cell(0, RecordColumn::Remark), huge);
        QCOMPARE(model.cell(0, RecordColumn::ThreeRow), QStringLiteral("1"));
        for (int r = 1; r <= 10; ++r) {
            QCOMPARE(model.cell(r, RecordColumn::Remark), remark);
            QCOMPARE(model.cell(r, RecordColumn::ThreeRow), QString::number(30 + r - 1));
            QCOMPARE(model.cell(r, RecordColumn::Address), QString());
        }
        for (int r = 11; r <= 50; ++r)
            QCOMPARE(model.cell(r, RecordColumn::Address), QStringLiteral("地址%1").arg(r - 1));
    }

    void removeRowListRemovesScatteredRows() {
        RecordsModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (int i = 0; i < 8; ++i)
            model.appendRow(cellsWith({{1, QString::number(i)}}));
        model.removeRowList({6, 1, 2, 7, 2, 4});
        QCOMPARE(column(model, 1), (QStringList{"0", "3", "5"}));
        QCOMPARE(column(model, 0), (QStringList{"1", "4", "6"}));
        model.removeRowList({0, 1, 2});
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.computeTotals().total, 0.0);
    }

    // ---- sorting ---------------------------------------------------------------------------

    void firstClickSortsByTheGuessedKind_data() {
        QTest::addColumn<int>("col");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("sorted");
        QTest::newRow("digits: 9 before 10")
            << 1 << QStringList{"10", "9", "100", "2"} << QStringList{"2", "9", "10", "100"};
        QTest::newRow("second row with a dot: decimals")
            << 20 << QStringList{"100.5", "20.25", "3", "20.3"} << QStringList{"3", "20.25", "20.3", "100.5"};
        QTest::newRow("second row without dot: whole numbers, ties keep order")
            << 20 << QStringList{"2.5", "2", "2.1", "1.9"} << QStringList{"1.9", "2.5", "2", "2.1"};
        QTest::newRow("iso dates as text") << 3 << QStringList{"2026-12-06", "2025-01-31", "2026-02-01"}
                                           << QStringList{"2025-01-31", "2026-02-01", "2026-12-06"};
        QTest::newRow("year month day")
            << 23 << QStringList{"2026年12月6日", "2026年2月10日", "2025年12月31日", "2026年2月9日"}
            << QStringList{"2025年12月31日", "2026年2月9日", "2026年2月10日", "2026年12月6日"};
        QTest::newRow("empty second row: text")
            << 20 << QStringList{"10", "", "9"} << QStringList{"", "10", "9"};
        QTest::newRow("gbk order, not unicode")
            << 21 << QStringList{"一", "啊", "阿", "A"} << QStringList{"A", "啊", "阿", "一"};
        QTest::newRow("gbk: prefix first")
            << 2 << QStringList{"张三丰", "张三", "b"} << QStringList{"b", "张三", "张三丰"};
        QTest::newRow("negative decimals")
            << 7 << QStringList{"1.5", "-2.5", "0.0"} << QStringList{"-2.5", "0.0", "1.5"};
    }
    void firstClickSortsByTheGuessedKind() {
        QFETCH(int, col);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, sorted);
        RecordsModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (const QString& t : texts)
            model.appendRow(cellsWith({{col, t}}));
        model.sortByColumn(col);
        QVERIFY(model.sortAscending());
        QCOMPARE(column(model, col), sorted);
    }

    void clicksToggleAndSwitchColumns() {
        RecordsModel model;
        for (const char* no : {"3", "1", "2"})
            model.appendRow(cellsWith(
                {{1, QString::fromLatin1(no)},
                 {RecordColumn::Rent, QStringLiteral("%1.00").arg(4 - QString::fromLatin1(no).toInt())}}));
        QCOMPARE(model.sortColumn(), -1);
        model.sortByColumn(1);
        QCOMPARE(column(model, 1), (QStringList{"1", "2", "3"}));
        model.sortByColumn(1);
        QVERIFY(!model.sortAscending());
        QCOMPARE(column(model, 1), (QStringList{"3", "2", "1"}));
        model.sortByColumn(1);
        QCOMPARE(column(model, 1), (QStringList{"1", "2", "3"}));
        model.sortByColumn(1);
        model.sortByColumn(RecordColumn::Rent); // another column: ascending again
        QVERIFY(model.sortAscending());
        QCOMPARE(model.sortColumn(), int(RecordColumn::Rent));
        QCOMPARE(column(model, RecordColumn::Rent), (QStringList{"1.00", "2.00", "3.00"}));
        // Column 0 holds the running numbers and sorts as numbers too.
        model.sortByColumn(0);
        QCOMPARE(column(model, 0), (QStringList{"1", "2", "3"}));
        model.sortByColumn(0);
        QCOMPARE(column(model, 0), (QStringList{"3", "2", "1"}));
    }

    void rowsTravelWithItemDataAndSelection() {
        TestLedger ledger;
        for (const char* no : {"0000010", "0000009", "0000011", "0000002"}) {
            Receipt r;
            r.no = QString::fromLatin1(no);
            insert(ledger, r);
        }
        RecordsModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        fillFrom(model, allRows(), RecordsModel::FillKind::Range, false);
        model.appendRow(cellsWith({{1, "0000005"}}));
        QItemSelectionModel selection(&model);
        selection.select(model.index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        selection.setCurrentIndex(model.index(4, 3), QItemSelectionModel::NoUpdate);

        model.sortByColumn(1);
        QCOMPARE(column(model, 1), (QStringList{"0000002", "0000005", "0000009", "0000010", "0000011"}));
        QCOMPARE(column(model, 0), (QStringList{"4", "5", "2", "1", "3"}));
        QCOMPARE(model.itemData(0), 3);
        QCOMPARE(model.itemData(1), 4); // the appended row sorted in with the others
        QCOMPARE(model.itemData(2), 1);
        QCOMPARE(selection.selectedRows(), (QModelIndexList{model.index(2, 0)}));
        QCOMPARE(selection.currentIndex(), model.index(1, 3));

        // Stripes follow the displayed position, not the row.
        for (int r = 0; r < model.rowCount(); ++r)
            QCOMPARE(model.data(model.index(r, 5), Qt::BackgroundRole).value<QColor>(),
                     r % 2 == 0 ? QColor(210, 231, 180) : QColor(Qt::white));
    }
};

QTEST_MAIN(TestRecordsModel)
#include "tst_recordsmodel.moc"
