// The template page on a ledger of its own: the title and millimetre checks, what a save stores
// and what the next receipt draws with it, and the dialogs its buttons open.

#include "data/Database.h"
#include "data/ServerConnection.h"
#include "platform/Services.h"
#include "print/AppSettings.h"
#include "print/ReceiptLayout.h"
#include "settings/TemplatePage.h"
#include "tests/support/TestLedger.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

const char* const kMillimetres[] = {"offsetX", "offsetY", "marginX", "marginY"};
const QString kNoTable2 = "insert into table2 values('1','1','0','0','0','10','10')";

QLineEdit* edit(QWidget& w, const char* name) {
    return w.findChild<QLineEdit*>(QString::fromLatin1(name));
}
void click(QWidget& w, const char* name) {
    w.findChild<QPushButton*>(QString::fromLatin1(name))->click();
}

// Key by key, so that the millimetre boxes' key filter sees every character (a surrogate pair is
// one key).
void retype(QLineEdit* e, const QString& text) {
    e->setFocus();
    e->clear();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype units = text.at(i).isHighSurrogate() ? 2 : 1;
        QTest::sendKeyEvent(QTest::Click, e, Qt::Key_unknown, text.mid(i, units), Qt::NoModifier);
        i += units - 1;
    }
}

class FixedMeasurer : public TextMeasurer {
public:
    int textWidth(PrintFontRole, const QString& text) const override { return int(text.size()) * 16; }
    int wrappedHeight(PrintFontRole, const QString&, int) const override { return 20; }
};

// The next receipt page, drawn with the settings in force: its texts and its table outline.
std::pair<QStringList, PrintRect> nextReceipt() {
    ReceiptPrintData data;
    std::pair<QStringList, PrintRect> out;
    for (const DrawOp& op : BuildReceiptOps({0, 0, 2400, 1000}, data, PrepareReceiptCells(data), true,
                                            PrintScale(), FixedMeasurer())) {
        out.first << op.text;
        if (op.kind == DrawOp::Rect && op.pen == PenRole::Outline)
            out.second = op.rect;
    }
    return out;
}

} // namespace

class TestTemplatePage : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data() { TestLedger::addEngineRows(); }

    void init() { appSettings() = AppSettings(); }

    void opensWithTheStoredTemplate() {
        TestLedger ledger;
        ledger.exec("update USER_SET set set4='房租收据', set5='地址：某路1号', set6='6', set10='盖章有效' "
                    "where id=1");
        appSettings().offsetX = 10; // 2.5 mm shows as 2
        appSettings().offsetY = -10;
        appSettings().marginX = 40;
        appSettings().paperIndex = 6;
        platform::ScopedMessageBoxScript boxes;
        CTemplatePage page;
        page.show();
        QCOMPARE((QStringList{edit(page, "title")->text(), edit(page, "rightRemark")->text(),
                              page.findChild<QPlainTextEdit*>("bottomRemark")->toPlainText()}),
                 (QStringList{"房租收据", "盖章有效", "地址：某路1号"}));
        QStringList shown;
        for (const char* name : kMillimetres)
            shown << edit(page, name)->text();
        QCOMPARE(shown, (QStringList{"2", "-2", "10", "0"}));
        auto* customPaper = page.findChild<QPushButton*>("customPaperButton");
        QVERIFY(customPaper->isEnabled());
        QVERIFY(page.grab().save("template-page.png"));

        // Another paper takes the custom size button away, and changes nothing until it is saved.
        page.findChild<QComboBox*>("paper")->setCurrentIndex(4);
        QVERIFY(!customPaper->isEnabled());
        QCOMPARE(appSettings().paperIndex, 6);
        // Saving what was shown writes whole millimetres back: 2.5 mm becomes 2.
        click(page, "saveButton");
        QCOMPARE(ledger.row("select row3,row4,row6,row7 from table2"), (QStringList{"8", "-8", "40", "0"}));
        QCOMPARE(ledger.row("select set6 from USER_SET where id=1"), QStringList{"4"});
        QCOMPARE(boxes.texts(), QStringList{"保存成功!"});
    }

    // The title is limited in bytes of the Chinese code page: two for a Chinese character.
    void titleLength_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("saved");
        QTest::newRow("25 Chinese") << QString(25, QChar(u'收')) << true;
        QTest::newRow("26 Chinese") << QString(26, QChar(u'收')) << false;
        QTest::newRow("50 letters") << QString(50, QChar(u'a')) << true;
        QTest::newRow("51 letters") << QString(51, QChar(u'a')) << false;
        QTest::newRow("24 Chinese and 3 letters") << QString(24, QChar(u'收')) + "abc" << false;
        QTest::newRow("quotes") << "O'Brien's" << true;
        // Outside the code page a character counts its four GB18030 bytes.
        const QString emoji = QString::fromUtf8("\U0001F600");
        QTest::newRow("12 emoji and 2 letters") << emoji.repeated(12) + "ab" << true;
        QTest::newRow("12 emoji and 3 letters") << emoji.repeated(12) + "abc" << false;
        QTest::newRow("24 Chinese and 1 rare ideograph")
            << QString(24, QChar(u'收')) + QString::fromUtf8("\U00020000") << false;
    }
    void titleLength() {
        QFETCH(QString, title);
        QFETCH(bool, saved);
        TestLedger ledger;
        platform::ScopedMessageBoxScript boxes;
        CTemplatePage page;
        retype(edit(page, "title"), title);
        click(page, "saveButton");
        QCOMPARE(boxes.texts(),
                 QStringList{QString::fromUtf8(saved ? "保存成功!" : "收据的标题不可多于25个字！")});
        QCOMPARE(boxes.messages()[0].caption, QString::fromUtf8(saved ? "保存成功" : "注意"));
        const QString kept = saved ? title : QString("收款收据");
        QCOMPARE(ledger.row("select set4 from USER_SET where id=1"), QStringList{kept});
        QCOMPARE(appSettings().receiptTitle, kept);
    }

    void millimetreChecks_data() {
        QTest::addColumn<QStringList>("typed");  // offset x, offset y, margin x, margin y
        QTest::addColumn<int>("refused");        // the box refused first; -1: saved
        QTest::addColumn<QStringList>("stored"); // row3, row4, row6, row7 in quarter millimetres
        const QStringList untouched{"0", "0", "10", "10"};
        QTest::newRow("limits pass") << QStringList{"60", "-60", "-60", "60"} << -1
                                     << QStringList{"240", "-240", "-240", "240"};
        QTest::newRow("empty, a lone minus, letters dropped")
            << QStringList{"", "-", "x1.5", "7"} << -1 << QStringList{"0", "0", "60", "28"};
        QTest::newRow("61 in the first") << QStringList{"61", "99", "99", "99"} << 0 << untouched;
        QTest::newRow("-61 in the second") << QStringList{"0", "-61", "-99", "99"} << 1 << untouched;
        QTest::newRow("-61 in the third") << QStringList{"0", "0", "-61", "61"} << 2 << untouched;
        QTest::newRow("61 in the last") << QStringList{"60", "60", "60", "61"} << 3 << untouched;
        QTest::newRow("beyond any integer") << QStringList{"0", "0", "0", "-99999999999"} << 3 << untouched;
    }
    void millimetreChecks() {
        QFETCH(QStringList, typed);
        QFETCH(int, refused);
        QFETCH(QStringList, stored);
        const QString messages[] = {
            "打印偏差左右的参数设置过大（不可超过60毫米），会超出打印机打印范围，请重新设置！",
            "打印偏差上下的参数设置过大（不可超过60毫米），会超出打印机打印范围，请重新设置！",
            "纸张边距左右的参数设置过大（不可超过60毫米），请重新设置！",
            "纸张边距上下的参数设置过大（不可超过60毫米），请重新设置！"};
        TestLedger ledger;
        ledger.exec(kNoTable2);
        platform::ScopedMessageBoxScript boxes;
        CTemplatePage page;
        page.show();
        QVERIFY(QTest::qWaitForWindowActive(&page));
        for (int i = 0; i < 4; ++i)
            retype(edit(page, kMillimetres[i]), typed[i]);
        click(page, "saveButton");
        QCOMPARE(ledger.row("select row3,row4,row6,row7 from table2"), stored);
        const AppSettings& s = appSettings();
        const QStringList inMemory{QString::number(s.offsetX), QString::number(s.offsetY),
                                   QString::number(s.marginX), QString::number(s.marginY)};
        if (refused < 0) {
            QCOMPARE(boxes.texts(), QStringList{"保存成功!"});
            QCOMPARE(inMemory, stored);
        } else {
            QCOMPARE(boxes.texts(), QStringList{messages[refused]});
            QCOMPARE(QApplication::focusWidget(), edit(page, kMillimetres[refused]));
            QCOMPARE(inMemory, (QStringList{"0", "0", "0", "0"}));
        }
    }

    // Quotes in every text, too: what is typed is what is stored and drawn.
    void savedTemplateIsDrawnOnTheNextReceipt() {
        TestLedger ledger;
        ledger.exec(kNoTable2);
        platform::ScopedMessageBoxScript boxes;
        const PrintRect before = nextReceipt().second;
        CTemplatePage page;
        retype(edit(page, "title"), "二月'房租");
        retype(edit(page, "rightRemark"), "'");
        retype(edit(page, "marginX"), "5");
        retype(edit(page, "offsetY"), "-3");
        page.findChild<QPlainTextEdit*>("bottomRemark")->setPlainText("it's\n'电话'");
        click(page, "saveButton");
        QCOMPARE(ledger.row("select set4,set10,set5 from USER_SET where id=1"),
                 (QStringList{"二月'房租", "'", "it's\n'电话'"}));

        const auto [texts, after] = nextReceipt();
        QVERIFY(texts.contains("二月'房租"));
        QVERIFY(!texts.contains("收款收据"));
        QVERIFY(texts.contains("it's\n'电话'"));
        // 5 mm of margin narrows the table by 20 quarter millimetres each side; -3 mm lifts it by 12.
        QCOMPARE((QList<int>{after.left - before.left, after.right - before.right, after.top - before.top,
                             after.bottom - before.bottom}),
                 (QList<int>{20, -20, -12, -12}));
    }

    // "保存前检查重复收据和读数" is on unless stored "0", and a save stores what it shows.
    void saveChecksSwitch_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("shown");
        QTest::newRow("new ledger") << "" << true;
        QTest::newRow("off") << "0" << false;
        QTest::newRow("on") << "1" << true;
    }
    void saveChecksSwitch() {
        QFETCH(QString, stored);
        QFETCH(bool, shown);
        TestLedger ledger;
        ledger.exec("update USER_SET set set9='" + stored + "' where id=1");
        platform::ScopedMessageBoxScript boxes;
        CTemplatePage page;
        auto* checks = page.findChild<QCheckBox*>("saveChecks");
        QCOMPARE(checks->isChecked(), shown);
        click(page, "saveButton");
        QCOMPARE(ledger.row("select set9 from USER_SET where id=1"), QStringList{shown ? "1" : "0"});
        checks->click();
        click(page, "saveButton");
        QCOMPARE(ledger.row("select set9 from USER_SET where id=1"), QStringList{shown ? "0" : "1"});
    }

    void missingRowsAreWrittenNotLost() {
        TestLedger ledger;
        ledger.exec("delete from USER_SET where id=1");
        platform::ScopedMessageBoxScript boxes;
        CTemplatePage page;
        retype(edit(page, "title"), "新标题");
        retype(edit(page, "offsetX"), "4");
        // A second save changes the rows the first one made, instead of adding more.
        click(page, "saveButton");
        click(page, "saveButton");
        QCOMPARE(ledger.rows("select set4,set6 from USER_SET where id=1"),
                 (QList<QStringList>{{"新标题", "1"}}));
        QCOMPARE(ledger.rows("select * from table2"),
                 (QList<QStringList>{{"1", "1", "16", "0", "0", "0", "0"}}));
    }

    void ledgerThatDoesNotOpen() {
        TestLedger ledger;
        // A ledger file gone, or a server database whose tables are no longer the ledger's.
        QString said = "不能打开数据库";
        if (ledger.isServer()) {
            ledger.exec("drop table remark_items");
            // The tables are examined on a new connection.
            ForgetServerConnections();
            Database db;
            QVERIFY(!db.open());
            said = db.problemText();
            QVERIFY2(said.startsWith("这个数据库里的表不是本程序的账本"), qPrintable(said));
        } else {
            QFile::remove(ledger.path());
        }
        platform::ScopedMessageBoxScript boxes;
        CTemplatePage page;
        QCOMPARE(edit(page, "offsetX")->text(), QString("0"));
        retype(edit(page, "title"), "新标题");
        click(page, "saveButton");
        QCOMPARE(boxes.texts(), (QStringList{said, said}));
        QCOMPARE(appSettings().receiptTitle, QString("收款收据"));
    }

    void buttonsOpenThePrintDialogs() {
        TestLedger ledger;
        platform::ScopedPrinters printers({"P"}, "P");
        platform::ScopedMessageBoxScript boxes;
        appSettings().paperIndex = 6;
        CTemplatePage page;
        page.show();
        QStringList opened;
        // Polled: a dialog is up only once its exec() runs.
        auto* poll = new QTimer(&page);
        connect(poll, &QTimer::timeout, [&] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                opened << QString::fromLatin1(modal->metaObject()->className());
                modal->close();
            }
        });
        poll->start(10);
        for (const char* name : {"tableLineButton", "fontButton", "customPaperButton", "printerButton"})
            QTest::mouseClick(page.findChild<QPushButton*>(QString::fromLatin1(name)), Qt::LeftButton);
        QCOMPARE(opened,
                 (QStringList{"CTableLineDlg", "CPrintFontDlg", "CPaperSizeDlg", "CPrinterSelectDlg"}));
    }
};

QTEST_MAIN(TestTemplatePage)
#include "tst_templatepage.moc"
