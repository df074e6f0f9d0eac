// The CSV export of the records list: the bytes of the file, and a file that cannot be written.
// (Lines in the list's sorted order: tst_storedreceipts exportWhatTheListShows.)

#include "records/CsvExport.h"
#include "records/RecordsModel.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray gbk(const QString& text) {
    return QStringEncoder("GBK").encode(text);
}

QStringList row(const QString& no, const QString& address, const QString& total, const QString& clerk,
                const QString& payee, const QString& remark) {
    QStringList cells(kRecordCellCount);
    cells[RecordColumn::No - 1] = no;
    cells[RecordColumn::Address - 1] = address;
    cells[RecordColumn::Date - 1] = "2026-03-05";
    cells[RecordColumn::Total - 1] = total;
    cells[21 - 1] = clerk;
    cells[22 - 1] = payee;
    cells[RecordColumn::Remark - 1] = remark;
    cells[RecordColumn::ThreeRow - 1] = "1";
    return cells;
}

void setUp(RecordsModel& model) {
    model.setHeadings(
        RecordsModel::headingsFor("房间地址", "热水费(吨)", "押金", "网费", "卫生费", "管理费"));
}

const QString kHeading =
    "序号,单号,房间地址,开票日期,收费时段,上月水,本月水,水费,上月电,本月电,电费,上月热水费(吨),"
    "本月热水费(吨),热水费(吨),押金,网费,卫生费,管理费,其他,房租,总金额,开票人,收款人,备注,\r\n";

} // namespace

class TestCsvExport : public QObject {
    Q_OBJECT

private slots:
    void bytesOfASmallList() {
        RecordsModel model;
        setUp(model);
        QCOMPARE(BuildCsv(model), gbk(kHeading)); // an empty list: the heading alone
        model.appendRow(row("0000012", "A栋101", "827.75", "张三", "李四", "第一行\r\n第二行\n第三行"));
        model.appendRow(row("0000013", "B座,2楼", "100.00", "王\"五\"", "李四", ""));
        const QString expected =
            kHeading +
            "1,'0000012,A栋101,2026-03-05,,,,,,,,,,,,,,,,,827.75,张三,李四,第一行  第二行 第三行,\r\n"
            "2,'0000013,\"B座,2楼\",2026-03-05,,,,,,,,,,,,,,,,,100.00,\"王\"\"五\"\"\",李四,,\r\n";
        const QByteArray csv = BuildCsv(model);
        QCOMPARE(csv, gbk(expected));
        // Chinese text in the Chinese code page, not UTF-8: "序号" is D0F2 BAC5.
        QVERIFY(csv.startsWith("\xd0\xf2\xba\xc5,"));
    }

    // Text outside the Chinese code page is kept (GB18030 is byte for byte GBK for every GBK
    // character): nothing typed turns into "?" on the way out.
    void charactersBeyondTheCodePageSurvive() {
        RecordsModel model;
        setUp(model);
        const QString address = "𠮷野家€😀";
        model.appendRow(row("0000001", address, "1.00", "", "", ""));
        const QByteArray csv = BuildCsv(model);
        QVERIFY(!csv.contains('?'));
        QVERIFY(QStringDecoder("GB18030").decode(csv).operator QString().contains(address));
        QVERIFY(csv.contains(gbk("野家")));
    }

    // A text cell that a spreadsheet would run as a formula is written as text; numbers, negative
    // ones too, stay numbers.
    void formulaCellsBecomeText_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("remark");
        QTest::addColumn<QString>("addressCell");
        QTest::addColumn<QString>("remarkCell");
        const auto row = [](const char* tag, const char* address, const char* remark, const char* addressCell,
                            const char* remarkCell) {
            QTest::newRow(tag) << address << remark << addressCell << remarkCell;
        };
        row("plain", "A101", "ok", "A101", "ok");
        row("equals", "=1+1", "x", "'=1+1", "x");
        row("hyperlink, quoted for its comma", "B", "=HYPERLINK(\"http://x\",\"y\")", "B",
            "\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\"");
        row("plus and at", "+A", "@SUM(A1)", "'+A", "'@SUM(A1)");
        row("minus and tab", "-A", "\tx", "'-A", "'\tx");
        row("numbers stay numbers", "-12.5", "+3", "-12.5", "+3");
        row("sign later in the cell", "A=1", "x-1", "A=1", "x-1");
    }
    void formulaCellsBecomeText() {
        QFETCH(QString, address);
        QFETCH(QString, remark);
        QFETCH(QString, addressCell);
        QFETCH(QString, remarkCell);
        RecordsModel model;
        setUp(model);
        model.appendRow(row("0000001", address, "1.00", "", "", remark));
        QCOMPARE(BuildCsvLine(model, 0),
                 gbk("1,'0000001," + addressCell + ",2026-03-05,,,,,,,,,,,,,,,,,1.00,,," + remarkCell + ","));
    }

    void fileIsWrittenWholeOrNotAtAll() {
        QTemporaryDir dir;
        RecordsModel model;
        setUp(model);
        model.appendRow(row("0000001", "A", "1.00", "", "", ""));

        // A folder that does not exist: nothing is created.
        const QString missing = QDir(dir.path()).filePath("no such folder/out.csv");
        QVERIFY(!ExportCsvFile(missing, model));
        QVERIFY(!QFileInfo::exists(QFileInfo(missing).path()));

        // A cancelled export keeps the file that was there, and leaves no stray file beside it.
        const QString existing = dir.filePath("old.csv");
        QFile f(existing);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("old contents") > 0);
        f.close();
        QVERIFY(!ExportCsvFile(existing, model, [](int, int) { return false; }));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("old contents"));
        f.close();
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"old.csv"});

        // Without a cancel the same file is replaced, and the progress reaches the end.
        QList<int> seen;
        QVERIFY(ExportCsvFile(existing, model, [&seen](int done, int) {
            seen << done;
            return true;
        }));
        QCOMPARE(seen.value(seen.size() - 1), 1);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), BuildCsv(model));
    }
};

QTEST_MAIN(TestCsvExport)
#include "tst_csvexport.moc"
