// The records list on screen: heading clicks, hidden columns that can be dragged open, selection
// helpers and the signals the main window listens to. The export save dialog: its type list, the
// extension switch, and what it asks the platform's file dialog. The CSV export of the records
// list: the bytes of the file, and a file that cannot be written. (Lines in the list's sorted
// order: tst_storedreceipts exportWhatTheListShows.)

#include "records/CsvExport.h"
#include "records/FileExportDialog.h"
#include "records/RecordsModel.h"
#include "records/SortListCtrl.h"
#include "tests/support/DataColumns.h"
#include "tests/support/DataRows.h"

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

void sendMouse(QWidget* target, QEvent::Type type, const QPoint& pos, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
    QMouseEvent event(type, pos, target->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// The Chinese code page; GB18030 is byte for byte GBK for every GBK character, and keeps the rest.
QByteArray gbk(const QString& text) {
    return QStringEncoder("GB18030").encode(text);
}

QStringList receiptRow(const QString& no, const QString& address, const QString& total, const QString& clerk,
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

using platform::FileType;

class TestSortListCtrl : public QObject {
    Q_OBJECT

    RecordsModel* m_model = nullptr;
    CSortListCtrl* m_list = nullptr;

private slots:
    void init() {
        m_list = new CSortListCtrl;
        m_model = new RecordsModel(m_list);
        setUp(*m_model);
        for (const char* no : {"10", "9", "100", "2", "30", "4"})
            m_model->appendRow(receiptRow(QString::fromLatin1(no), "", "1.00", "", "", ""));
        m_list->setRecordsModel(m_model);
        m_list->resize(900, 300);
        m_list->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_list));
    }
    void cleanup() {
        delete m_list;
        m_list = nullptr;
    }

    void zeroWidthColumnCanBeDraggedOpen() {
        QHeaderView* header = m_list->horizontalHeader();
        // Columns 5 and 6 have no width; the handle just right of where they sit opens column 6.
        const int edge = header->sectionViewportPosition(RecordColumn::WaterFee);
        QCOMPARE(header->sectionViewportPosition(6), edge);
        const int y = header->height() / 2;
        QWidget* vp = header->viewport();
        sendMouse(vp, QEvent::MouseButtonPress, QPoint(edge + 1, y), Qt::LeftButton, Qt::LeftButton);
        sendMouse(vp, QEvent::MouseMove, QPoint(edge + 31, y), Qt::NoButton, Qt::LeftButton);
        sendMouse(vp, QEvent::MouseMove, QPoint(edge + 61, y), Qt::NoButton, Qt::LeftButton);
        sendMouse(vp, QEvent::MouseButtonRelease, QPoint(edge + 61, y), Qt::LeftButton, Qt::NoButton);
        QVERIFY2(header->sectionSize(6) >= 50, qPrintable(QString::number(header->sectionSize(6))));
        QCOMPARE(header->sectionSize(RecordColumn::WaterFee), 55);
        // Dragging a column open is no heading click: the order stays.
        QCOMPARE(m_model->sortColumn(), -1);
    }

    // A heading click sorts (numbers as numbers: tst_recordsmodel) and a second one reverses; the
    // selection goes with its row.
    void selectionHelpersFollowHeadingClicks() {
        for (int row : {4, 1, 2})
            m_list->selectionModel()->select(m_model->index(row, 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QCOMPARE(m_list->selectedRowsAscending(), (QList<int>{1, 2, 4}));
        m_list->selectAndFocusRow(6); // past the end: nothing stays selected
        QCOMPARE(m_list->firstSelectedRow(), -1);
        m_list->selectAndFocusRow(1); // "9"
        QHeaderView* header = m_list->horizontalHeader();
        const QPoint onNo(header->sectionViewportPosition(RecordColumn::No) + 20, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, onNo);
        QCOMPARE(m_list->selectedRowsAscending(), QList<int>{2});
        QCOMPARE(m_model->cell(m_list->currentIndex().row(), RecordColumn::No), QStringLiteral("9"));
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, onNo);
        QCOMPARE(m_list->selectedRowsAscending(), QList<int>{3});
        QCOMPARE(m_model->cell(0, RecordColumn::No), QStringLiteral("100"));
    }

    void doubleClickAndContextMenuAreSignalled() {
        QSignalSpy doubleClicks(m_list, &CSortListCtrl::recordsDoubleClicked);
        QSignalSpy menus(m_list, &CSortListCtrl::contextMenuWanted);
        QWidget* vp = m_list->viewport();
        const QPoint onRow(30, m_list->rowViewportPosition(1) + 5);
        QTest::mouseDClick(vp, Qt::LeftButton, Qt::NoModifier, onRow);
        const QPoint belowRows(30, m_list->rowViewportPosition(5) + 60);
        QTest::mouseDClick(vp, Qt::LeftButton, Qt::NoModifier, belowRows);
        QCOMPARE(doubleClicks.count(), 2);
        QCOMPARE(m_list->firstSelectedRow(), 1);

        QContextMenuEvent menu(QContextMenuEvent::Mouse, onRow, vp->mapToGlobal(onRow));
        QApplication::sendEvent(vp, &menu);
        QCOMPARE(menus.count(), 1);
        QCOMPARE(menus.first().first().toPoint(), vp->mapToGlobal(onRow));
    }

    void parsesTypeSpecs_data() {
        columns<QString, QList<FileType>>("typeList", "types");
        row("two", "表格文件(*.csv)|账本备份(*.rbk)",
            QList<FileType>{{"表格文件(*.csv)", "*.csv"}, {"账本备份(*.rbk)", "*.rbk"}});
        row("parentheses in the words", "文件(新)(*.txt)", QList<FileType>{{"文件(新)(*.txt)", "*.txt"}});
        row("no pattern", "所有文件", QList<FileType>{{"所有文件", "*.*"}});
        row("trailing bar", "表格文件(*.csv)|", QList<FileType>{{"表格文件(*.csv)", "*.csv"}});
    }
    void parsesTypeSpecs() {
        auto [typeList, types] = fetch<QString, QList<FileType>>("typeList", "types");
        QCOMPARE(ParseFileTypeSpec(typeList), types);
    }

    void switchesTheExtension_data() {
        columns<QString, QString, QString>("name", "pattern", "expected");
        row("replaced", "a.b.txt", "*.csv", "a.b.csv");
        row("dot in a folder", "/tmp/x.y/备份", "*.csv", "/tmp/x.y/备份.csv");
        row("leading dot is no extension", ".备份", "*.csv", ".备份.csv");
        row("any file keeps the name", "备份.csv", "*.*", "备份.csv");
        row("first of several", "a.txt", "*.rbk;*.bak", "a.rbk");
    }
    void switchesTheExtension() {
        auto [name, pattern, expected] = fetch<QString, QString, QString>("name", "pattern", "expected");
        QCOMPARE(SwitchFileExtension(name, pattern), expected);
    }

    void asksTheFileDialogAndKeepsTheAnswer() {
        platform::ScopedFileDialogScript script;
        script.answerCancel();
        script.answerPath("/tmp/out.rbk", 1);

        // The type is preselected by the name's extension, whatever its letter case.
        CFileExportDialog dlg("导出", "表格文件(*.csv)|账本(*.rbk)", "2024-3-5记录表导出备份.RBK");
        dlg.setTitle("导出备份表格");
        QVERIFY(!dlg.exec()); // cancelled
        QCOMPARE(dlg.pathName(), QString());

        QVERIFY(dlg.exec());
        QCOMPARE(dlg.pathName(), QStringLiteral("/tmp/out.rbk"));
        QCOMPARE(dlg.fileTypeIndex(), 2);

        QCOMPARE(script.requests().size(), 2);
        const platform::SaveFileRequest& asked = script.requests().first();
        QCOMPARE(asked.title, QStringLiteral("导出备份表格"));
        QCOMPARE(asked.fileName, QStringLiteral("2024-3-5记录表导出备份.RBK"));
        QCOMPARE(asked.selectedType, 1);
        // Picking the first type while the name field holds a typed name.
        QCOMPARE(asked.typeChanged("我的备份", 0), QStringLiteral("我的备份.csv"));
        QCOMPARE(asked.typeChanged("我的备份.csv", 1), QStringLiteral("我的备份.rbk"));
    }

    // The platform's own dialog shows each file type as the program words it, once.
    void fileTypeReadsAsWorded() {
        QString shown;
        QTimer::singleShot(0, [&shown] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
            shown = types ? types->currentText() : QString("?");
            dialog->reject();
        });
        platform::SaveFileRequest request;
        request.title = "导出";
        request.types = {{"表格文件(.csv)", "*.csv"}};
        request.fileName = QDir::temp().filePath("x.csv");
        QVERIFY(!platform::getSaveFileName(nullptr, request));
        QCOMPARE(shown, QString("表格文件(.csv)"));
    }

    void bytesOfASmallList() {
        RecordsModel model;
        setUp(model);
        QCOMPARE(BuildCsv(model), gbk(kHeading)); // an empty list: the heading alone
        model.appendRow(
            receiptRow("0000012", "A栋101", "827.75", "张三", "李四", "第一行\r\n第二行\n第三行"));
        model.appendRow(receiptRow("0000013", "B座,2楼", "100.00", "王\"五\"", "李四", ""));
        const QString expected =
            kHeading +
            "1,'0000012,A栋101,2026-03-05,,,,,,,,,,,,,,,,,827.75,张三,李四,第一行  第二行 第三行,\r\n"
            "2,'0000013,\"B座,2楼\",2026-03-05,,,,,,,,,,,,,,,,,100.00,\"王\"\"五\"\"\",李四,,\r\n";
        const QByteArray csv = BuildCsv(model);
        QCOMPARE(csv, gbk(expected));
        // Chinese text in the Chinese code page, not UTF-8: "序号" is D0F2 BAC5.
        QVERIFY(csv.startsWith("\xd0\xf2\xba\xc5,"));
    }

    // A cell is written as typed, text outside the Chinese code page too (nothing turns into "?"),
    // but one that a spreadsheet would run as a formula is written as text; numbers, negative
    // ones too, stay numbers.
    void formulaCellsBecomeText_data() {
        columns<QString, QString, QString, QString>("address", "remark", "addressCell", "remarkCell");
        row("plain", "A101", "ok", "A101", "ok");
        row("beyond the code page", "𠮷野家€😀", "x", "𠮷野家€😀", "x");
        row("a quote alone", "\"", "x", "\"\"\"\"", "x");
        row("equals", "=1+1", "x", "'=1+1", "x");
        row("hyperlink, quoted for its comma", "B", "=HYPERLINK(\"http://x\",\"y\")", "B",
            "\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\"");
        row("plus and at", "+A", "@SUM(A1)", "'+A", "'@SUM(A1)");
        row("minus and tab", "-A", "\tx", "'-A", "'\tx");
        row("numbers stay numbers", "-12.5", "+3", "-12.5", "+3");
        row("sign later in the cell", "A=1", "x-1", "A=1", "x-1");
    }
    void formulaCellsBecomeText() {
        auto [address, remark, addressCell, remarkCell] =
            fetch<QString, QString, QString, QString>("address", "remark", "addressCell", "remarkCell");
        RecordsModel model;
        setUp(model);
        model.appendRow(receiptRow("0000001", address, "1.00", "", "", remark));
        QCOMPARE(BuildCsvLine(model, 0),
                 gbk("1,'0000001," + addressCell + ",2026-03-05,,,,,,,,,,,,,,,,,1.00,,," + remarkCell + ","));
    }

    void fileIsWrittenWholeOrNotAtAll() {
        QTemporaryDir dir;
        RecordsModel model;
        setUp(model);
        model.appendRow(receiptRow("0000001", "A", "1.00", "", "", ""));

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

QTEST_MAIN(TestSortListCtrl)
#include "tst_sortlistctrl.moc"
