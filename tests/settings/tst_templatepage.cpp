// The template page on a ledger of its own: the title and millimetre checks, what a save stores
// and changes in memory, the typing filter, the paper list and the dialogs its buttons open.

#include "data/Settings.h"
#include "platform/Services.h"
#include "print/PaperSizeDlg.h"
#include "print/PrintFontDlg.h"
#include "print/PrinterSelectDlg.h"
#include "print/ReceiptLayout.h"
#include "print/TableLineDlg.h"
#include "settings/TemplatePage.h"
#include "tests/support/TestLedger.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

QLineEdit* edit(QWidget& w, const char* name) {
    return w.findChild<QLineEdit*>(QString::fromLatin1(name));
}
QPushButton* button(QWidget& w, const char* name) {
    return w.findChild<QPushButton*>(QString::fromLatin1(name));
}

void retype(QLineEdit* e, const QString& text) {
    e->setFocus();
    e->selectAll();
    QTest::keyClick(e, Qt::Key_Delete);
    for (QChar c : text) {
        if (c.unicode() < 0x80)
            QTest::keyClick(e, char(c.unicode()));
        else
            QTest::sendKeyEvent(QTest::Click, e, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

// Runs the action on the next modal dialog once it is up, so that its exec() returns. The watch
// ends with the context object, so that one left unused cannot act in a later test.
void whenModal(QObject* context, std::function<void(QWidget*)> act) {
    auto* timer = new QTimer(context);
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, act, tries] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal || ++*tries > 300) {
            timer->stop();
            timer->deleteLater();
            if (modal)
                act(modal);
        }
    });
    timer->start(10);
}

class FixedMeasurer : public TextMeasurer {
public:
    int textWidth(PrintFontRole, const QString& text) const override { return int(text.size()) * 16; }
    int wrappedHeight(PrintFontRole, const QString&, int) const override { return 20; }
};

// The operations of the next receipt page, drawn with the settings in force.
QList<DrawOp> nextReceiptOps() {
    ReceiptPrintData data;
    const PreparedReceipt prepared = PrepareReceiptCells(data);
    return BuildReceiptOps({0, 0, 2400, 1000}, data, prepared, true, PrintScale(), FixedMeasurer());
}

PrintRect outline(const QList<DrawOp>& ops) {
    for (const DrawOp& op : ops)
        if (op.kind == DrawOp::Rect && op.pen == PenRole::Outline)
            return op.rect;
    return {};
}

} // namespace

class TestTemplatePage : public QObject {
    Q_OBJECT

private slots:
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
        QCOMPARE(edit(page, "title")->text(), QString("房租收据"));
        QCOMPARE(edit(page, "rightRemark")->text(), QString("盖章有效"));
        QCOMPARE(page.findChild<QPlainTextEdit*>("bottomRemark")->toPlainText(), QString("地址：某路1号"));
        QCOMPARE(page.findChild<QComboBox*>("paper")->currentText(), QString("自定义尺寸"));
        QVERIFY(button(page, "customPaperButton")->isEnabled());
        const QStringList shown = {edit(page, "offsetX")->text(), edit(page, "offsetY")->text(),
                                   edit(page, "marginX")->text(), edit(page, "marginY")->text()};
        QCOMPARE(shown, (QStringList{"2", "-2", "10", "0"}));
        QVERIFY(boxes.messages().isEmpty());
        QVERIFY(page.grab().save("template-page.png"));

        // Saving what was shown writes whole millimetres back: 2.5 mm becomes 2.
        button(page, "saveButton")->click();
        QCOMPARE(ledger.row("select row3,row4,row6,row7 from table2"), (QStringList{"8", "-8", "40", "0"}));
    }

    void titleLength_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("saved");
        QTest::newRow("25 Chinese characters") << QString(25, QChar(u'收')) << true;
        QTest::newRow("26 Chinese characters") << QString(26, QChar(u'收')) << false;
        QTest::newRow("50 ASCII letters") << QString(50, QChar(u'a')) << true;
        QTest::newRow("51 ASCII letters") << QString(51, QChar(u'a')) << false;
        QTest::newRow("24 Chinese and 3 letters") << QString(24, QChar(u'收')) + "abc" << false;
    }
    void titleLength() {
        QFETCH(QString, title);
        QFETCH(bool, saved);
        TestLedger ledger;
        platform::ScopedMessageBoxScript boxes;
        CTemplatePage page;
        retype(edit(page, "title"), title);
        button(page, "saveButton")->click();
        QCOMPARE(boxes.messages().size(), 1);
        const platform::MessageRequest& m = boxes.messages()[0];
        if (saved) {
            QCOMPARE(m.text, QString("保存成功!"));
            QCOMPARE(m.caption, QString("保存成功"));
            QCOMPARE(m.icon, platform::MsgIcon::Information);
            QCOMPARE(ledger.row("select set4 from USER_SET where id=1"), QStringList{title});
            QCOMPARE(appSettings().receiptTitle, title);
        } else {
            QCOMPARE(m.text, QString("收据的标题不可多于25个字！"));
            QCOMPARE(m.caption, QString("注意"));
            QCOMPARE(m.icon, platform::MsgIcon::Exclamation);
            QCOMPARE(ledger.row("select set4 from USER_SET where id=1"), QStringList{"收款收据"});
            QCOMPARE(appSettings().receiptTitle, QString("收款收据"));
        }
    }

    void millimetreChecks_data() {
        QTest::addColumn<QStringList>("typed"); // offset x, offset y, margin x, margin y
        QTest::addColumn<QString>("message");   // empty: saved
        QTest::addColumn<QString>("focused");
        QTest::addColumn<QStringList>("stored"); // row3, row4, row6, row7
        const QString offX =
            "打印偏差左右的参数设置过大（不可超过60毫米），会超出打印机打印范围，请重新设置！";
        const QString offY =
            "打印偏差上下的参数设置过大（不可超过60毫米），会超出打印机打印范围，请重新设置！";
        const QString marX = "纸张边距左右的参数设置过大（不可超过60毫米），请重新设置！";
        const QString marY = "纸张边距上下的参数设置过大（不可超过60毫米），请重新设置！";
        const QStringList untouched{"0", "0", "10", "10"};
        QTest::newRow("limits pass") << QStringList{"60", "-60", "-60", "60"} << QString() << QString()
                                     << QStringList{"240", "-240", "-240", "240"};
        QTest::newRow("empty and a lone minus are 0")
            << QStringList{"", "-", "", "7"} << QString() << QString() << QStringList{"0", "0", "0", "28"};
        QTest::newRow("61 in the first")
            << QStringList{"61", "99", "99", "99"} << offX << "offsetX" << untouched;
        QTest::newRow("-61 in the second")
            << QStringList{"0", "-61", "-99", "99"} << offY << "offsetY" << untouched;
        QTest::newRow("-61 in the third")
            << QStringList{"0", "0", "-61", "61"} << marX << "marginX" << untouched;
        QTest::newRow("61 in the last")
            << QStringList{"60", "60", "60", "61"} << marY << "marginY" << untouched;
        QTest::newRow("beyond any integer")
            << QStringList{"0", "0", "0", "-99999999999"} << marY << "marginY" << untouched;
    }
    void millimetreChecks() {
        QFETCH(QStringList, typed);
        QFETCH(QString, message);
        QFETCH(QString, focused);
        QFETCH(QStringList, stored);
        TestLedger ledger;
        ledger.exec("insert into table2 values('1','1','0','0','0','10','10')");
        platform::ScopedMessageBoxScript boxes;
        CTemplatePage page;
        page.show();
        QVERIFY(QTest::qWaitForWindowActive(&page));
        const char* names[] = {"offsetX", "offsetY", "marginX", "marginY"};
        for (int i = 0; i < 4; ++i)
            retype(edit(page, names[i]), typed[i]);
        button(page, "saveButton")->click();
        QCOMPARE(ledger.row("select row3,row4,row6,row7 from table2"), stored);
        if (message.isEmpty()) {
            QCOMPARE(boxes.texts(), QStringList{"保存成功!"});
            QCOMPARE(
                (QList<int>{appSettings().offsetX, appSettings().offsetY, appSettings().marginX,
                            appSettings().marginY}),
                (QList<int>{stored[0].toInt(), stored[1].toInt(), stored[2].toInt(), stored[3].toInt()}));
            // The boxes show what was stored.
            for (int i = 0; i < 4; ++i)
                QCOMPARE(edit(page, names[i])->text(), QString::number(stored[i].toInt() / 4));
        } else {
            QCOMPARE(boxes.texts(), QStringList{message});
            QCOMPARE(boxes.messages()[0].caption, QString("注意"));
            QCOMPARE(boxes.messages()[0].icon, platform::MsgIcon::Exclamation);
            QCOMPARE(QApplication::focusWidget(), edit(page, qPrintable(focused)));
            QCOMPARE(appSettings().marginX, 0);
        }
    }

    void millimetreBoxesTakeDigitsAndMinusOnly() {
        TestLedger ledger;
        CTemplatePage page;
        page.show();
        QLineEdit* box = edit(page, "marginY");
        retype(box, "a-1b2.3 ,");
        QCOMPARE(box->text(), QString("-123"));
        QTest::keyClick(box, Qt::Key_Backspace);
        QCOMPARE(box->text(), QString("-12"));
        // The title takes anything.
        retype(edit(page, "title"), "a-1b");
        QCOMPARE(edit(page, "title")->text(), QString("a-1b"));
    }

    void customPaperButtonFollowsThePaper() {
        TestLedger ledger;
        CTemplatePage page;
        auto* paper = page.findChild<QComboBox*>("paper");
        QCOMPARE(paper->count(), 7);
        QCOMPARE(paper->currentIndex(), 1);
        QVERIFY(!button(page, "customPaperButton")->isEnabled());
        paper->setCurrentIndex(6);
        QVERIFY(button(page, "customPaperButton")->isEnabled());
        paper->setCurrentIndex(4);
        QVERIFY(!button(page, "customPaperButton")->isEnabled());
        paper->setCurrentIndex(6);
        // Nothing changes until the page is saved.
        QCOMPARE(appSettings().paperIndex, 1);
        QCOMPARE(ledger.row("select set6 from USER_SET where id=1"), QStringList{"1"});
    }

    void savedTemplateIsDrawnOnTheNextReceipt() {
        TestLedger ledger;
        ledger.exec("insert into table2 values('1','1','0','0','0','10','10')");
        platform::ScopedMessageBoxScript boxes;
        const PrintRect before = outline(nextReceiptOps());
        CTemplatePage page;
        retype(edit(page, "title"), "二月房租");
        retype(edit(page, "marginX"), "5");
        retype(edit(page, "offsetY"), "-3");
        page.findChild<QPlainTextEdit*>("bottomRemark")->setPlainText("电话：12345");
        button(page, "saveButton")->click();

        const QList<DrawOp> ops = nextReceiptOps();
        QStringList texts;
        for (const DrawOp& op : ops)
            texts << op.text;
        QVERIFY(texts.contains("二月房租"));
        QVERIFY(!texts.contains("收款收据"));
        QVERIFY(texts.contains("电话：12345"));
        // 5 mm of margin narrows the table by 20 quarter millimetres each side; -3 mm lifts it by 12.
        const PrintRect after = outline(ops);
        QCOMPARE(after.left - before.left, 20);
        QCOMPARE(after.right - before.right, -20);
        QCOMPARE(after.top - before.top, -12);
        QCOMPARE(after.bottom - before.bottom, -12);
    }

    void textsWithQuotesAreStoredAsTyped() {
        TestLedger ledger;
        ledger.exec("insert into table2 values('1','1','0','0','0','10','10')");
        platform::ScopedMessageBoxScript boxes;
        CTemplatePage page;
        retype(edit(page, "title"), "O'Brien's");
        retype(edit(page, "rightRemark"), "'");
        page.findChild<QPlainTextEdit*>("bottomRemark")->setPlainText("it's\n'quoted'");
        button(page, "saveButton")->click();
        QCOMPARE(boxes.texts(), QStringList{"保存成功!"});
        QCOMPARE(ledger.row("select set4,set10,set5 from USER_SET where id=1"),
                 (QStringList{"O'Brien's", "'", "it's\n'quoted'"}));
    }

    void missingRowsAreWrittenNotLost() {
        TestLedger ledger;
        ledger.exec("delete from USER_SET where id=1");
        platform::ScopedMessageBoxScript boxes;
        CTemplatePage page;
        retype(edit(page, "title"), "新标题");
        retype(edit(page, "offsetX"), "4");
        button(page, "saveButton")->click();
        QCOMPARE(ledger.row("select set4,set6 from USER_SET where id=1"), (QStringList{"新标题", "1"}));
        QCOMPARE(ledger.rows("select * from table2"),
                 (QList<QStringList>{{"1", "1", "16", "0", "0", "0", "0"}}));
        // A later save changes the rows made, instead of adding more.
        button(page, "saveButton")->click();
        QCOMPARE(ledger.rows("select * from table2").size(), 1);
        QCOMPARE(ledger.rows("select * from USER_SET where id=1").size(), 1);
    }

    void ledgerThatDoesNotOpen() {
        TestLedger ledger;
        QFile::remove(ledger.path());
        platform::ScopedMessageBoxScript boxes;
        CTemplatePage page;
        QCOMPARE(boxes.texts(), QStringList{"不能打开数据库"});
        QCOMPARE(boxes.messages()[0].caption, QString("Rentbook"));
        QCOMPARE(edit(page, "title")->text(), QString());
        QCOMPARE(edit(page, "offsetX")->text(), QString("0"));
        retype(edit(page, "title"), "新标题");
        retype(edit(page, "offsetX"), "4");
        button(page, "saveButton")->click();
        QCOMPARE(boxes.texts(), (QStringList{"不能打开数据库", "不能打开数据库"}));
        QCOMPARE(appSettings().receiptTitle, QString("收款收据"));
        QCOMPARE(appSettings().offsetX, 0);
    }

    void buttonsOpenThePrintDialogs_data() {
        QTest::addColumn<QString>("buttonName");
        QTest::addColumn<QString>("dialog");
        QTest::newRow("table lines") << "tableLineButton" << CTableLineDlg::staticMetaObject.className();
        QTest::newRow("fonts") << "fontButton" << CPrintFontDlg::staticMetaObject.className();
        QTest::newRow("custom paper") << "customPaperButton" << CPaperSizeDlg::staticMetaObject.className();
        QTest::newRow("printer") << "printerButton" << CPrinterSelectDlg::staticMetaObject.className();
    }
    void buttonsOpenThePrintDialogs() {
        QFETCH(QString, buttonName);
        QFETCH(QString, dialog);
        TestLedger ledger;
        platform::ScopedPrinters printers({"P"}, "P");
        platform::ScopedMessageBoxScript boxes;
        appSettings().paperIndex = 6;
        CTemplatePage page;
        page.show();
        QString opened;
        whenModal(&page, [&](QWidget* modal) {
            opened = QString::fromLatin1(modal->metaObject()->className());
            modal->close();
        });
        QTest::mouseClick(button(page, qPrintable(buttonName)), Qt::LeftButton);
        QCOMPARE(opened, dialog);
    }
};

QTEST_MAIN(TestTemplatePage)
#include "tst_templatepage.moc"
