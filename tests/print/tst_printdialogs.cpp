// The print settings dialogs and the preview, offscreen: what they show, what they store in the
// ledger, what they say, and what the preview hides and draws.

#include "data/Settings.h"
#include "platform/FontChooser.h"
#include "platform/PrintTarget.h"
#include "platform/Services.h"
#include "print/MainFrame.h"
#include "print/PaperSizeDlg.h"
#include "print/PrintFontDlg.h"
#include "print/PrintFonts.h"
#include "print/PrinterSelectDlg.h"
#include "print/ReceiptRenderer.h"
#include "print/TableLineDlg.h"
#include "tests/support/TestLedger.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

template <typename T> T* byName(QWidget* parent, const QString& accessibleName) {
    for (T* w : parent->findChildren<T*>())
        if (w->accessibleName() == accessibleName)
            return w;
    return nullptr;
}

QPushButton* button(QWidget* dlg, const QString& name) {
    return byName<QPushButton>(dlg, name);
}
QLineEdit* edit(QWidget* dlg, const QString& name) {
    return byName<QLineEdit>(dlg, name);
}

void typeInto(QLineEdit* e, const QString& text) {
    e->selectAll();
    QTest::keyClick(e, Qt::Key_Delete);
    for (QChar c : text) {
        if (c.unicode() < 0x80)
            QTest::keyClick(e, char(c.unicode()));
        else
            QTest::sendKeyEvent(QTest::Click, e, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

QStringList fontFileLines() {
    QFile f(QStringLiteral("FontSet.ini"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QStringDecoder("GBK").decode(f.readAll()).operator QString().split(u'\n');
}

// Notes whether the button that asked was disabled while the chooser was open.
class WatchingChooser : public platform::ScopedFontChooser {
public:
    QPushButton* watched = nullptr;
    QList<bool> enabledWhileOpen;
    std::optional<QFont> chooseFont(QWidget* owner, const QFont& initial) override {
        enabledWhileOpen << (watched && watched->isEnabled());
        return ScopedFontChooser::chooseFont(owner, initial);
    }
};

} // namespace

class TestPrintDialogs : public QObject {
    Q_OBJECT

    QTemporaryDir* m_dir = nullptr;
    QString m_previousDir;

private slots:
    void init() {
        appSettings() = AppSettings();
        printFonts() = factoryFonts();
        m_previousDir = QDir::currentPath();
        m_dir = new QTemporaryDir;
        QVERIFY(QDir::setCurrent(m_dir->path()));
    }
    void cleanup() {
        QDir::setCurrent(m_previousDir);
        delete m_dir;
        m_dir = nullptr;
    }

    // ---- printer selection ----------------------------------------------------------------

    void printerListAndPreselection_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("defaultPrinter");
        QTest::addColumn<QString>("selected");
        QTest::newRow("saved printer") << "Office"
                                       << "Counter"
                                       << "Office";
        QTest::newRow("saved printer gone: default") << "Gone"
                                                     << "Counter"
                                                     << "Counter";
        QTest::newRow("neither there") << "Gone"
                                       << "Ghost"
                                       << "";
    }
    void printerListAndPreselection() {
        QFETCH(QString, chosen);
        QFETCH(QString, defaultPrinter);
        QFETCH(QString, selected);
        platform::ScopedPrinters printers({"Counter", "Office", "Label"}, defaultPrinter);
        appSettings().printerName = chosen;
        CPrinterSelectDlg dlg;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("选择打印机设备"));
        auto* combo = byName<QComboBox>(&dlg, "选择要使用的打印机设备");
        QVERIFY(combo);
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        QCOMPARE(items, (QStringList{"Counter", "Office", "Label"})); // the print system's order
        QCOMPARE(combo->currentText(), selected);
    }

    void savingAPrinterTwice() {
        TestLedger ledger;
        ledger.exec("insert into table2 values('1','Old','0','0','0','10','10')");
        platform::ScopedPrinters printers({"Counter", "Office"}, "Counter");
        platform::ScopedMessageBoxScript messages;
        appSettings().printerName = "Counter";
        CPrinterSelectDlg dlg;
        dlg.show();
        auto* combo = byName<QComboBox>(&dlg, "选择要使用的打印机设备");
        combo->setCurrentIndex(1);
        QTest::mouseClick(button(&dlg, "保存"), Qt::LeftButton);
        QTest::mouseClick(button(&dlg, "保存"), Qt::LeftButton);
        QCOMPARE(ledger.row("select row2 from table2 where row1 = '1'"), QStringList{"Office"});
        QCOMPARE(appSettings().printerName, QStringLiteral("Office"));
        QCOMPARE(messages.texts(), (QStringList{"打印机保存成功！", "打印机保存成功！"}));
        QCOMPARE(messages.messages()[0].caption, QStringLiteral("提示"));
        QCOMPARE(messages.messages()[0].icon, platform::MsgIcon::Information);
        QVERIFY(dlg.isVisible());
        QTest::mouseClick(button(&dlg, "退出"), Qt::LeftButton);
        QVERIFY(!dlg.isVisible());
    }

    void printerNameWithAQuote() {
        TestLedger ledger;
        ledger.exec("insert into table2 values('1','1','0','0','0','10','10')");
        platform::ScopedPrinters printers({"Jo's printer"}, "Jo's printer");
        platform::ScopedMessageBoxScript messages;
        CPrinterSelectDlg dlg;
        dlg.OnSave();
        QCOMPARE(ledger.row("select row2 from table2"), QStringList{"Jo's printer"});
    }

    void printerSavedWithoutLedger() {
        TestLedger ledger;
        QVERIFY(QFile::remove(ledger.path()));
        platform::ScopedPrinters printers({"Counter", "Office"}, "Counter");
        platform::ScopedMessageBoxScript messages;
        appSettings().printerName = "Office";
        CPrinterSelectDlg dlg;
        byName<QComboBox>(&dlg, "选择要使用的打印机设备")->setCurrentIndex(0);
        dlg.OnSave();
        QCOMPARE(messages.texts(), QStringList{"不能打开数据库"});
        QCOMPARE(appSettings().printerName, QStringLiteral("Counter")); // in memory only
    }

    // ---- custom paper size ----------------------------------------------------------------

    void customPaperSize() {
        TestLedger ledger;
        platform::ScopedMessageBoxScript messages;
        appSettings().customPaperWidth = 2410;
        appSettings().customPaperHeight = 933;
        CPaperSizeDlg dlg;
        dlg.show();
        QCOMPARE(dlg.windowTitle(), QStringLiteral("自定义纸张大小"));
        QCOMPARE(edit(&dlg, "宽度(W)")->text(), QStringLiteral("2410"));
        QCOMPARE(edit(&dlg, "高度(H)")->text(), QStringLiteral("933"));
        typeInto(edit(&dlg, "宽度(W)"), "1000");
        typeInto(edit(&dlg, "高度(H)"), "abc");
        QTest::mouseClick(button(&dlg, "保存"), Qt::LeftButton);
        QTest::mouseClick(button(&dlg, "保存"), Qt::LeftButton);
        // Stored as typed, converted on use.
        QCOMPARE(ledger.row("select set6, set7 from USER_SET where id = 2"), (QStringList{"1000", "abc"}));
        QCOMPARE(appSettings().customPaperWidth, 1000);
        QCOMPARE(appSettings().customPaperHeight, 0);
        QCOMPARE(messages.texts(), (QStringList{"保存成功！", "保存成功！"}));
        QCOMPARE(messages.messages()[0].caption, platform::applicationName());
        QCOMPARE(messages.messages()[0].icon, platform::MsgIcon::None);
        QVERIFY(dlg.isVisible());
    }

    // ---- table lines ----------------------------------------------------------------------

    void tableLinesTakeDigitsOnly_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("2a") << "2a"
                            << "2";
        QTest::newRow("sign and point") << "-1.5"
                                        << "15";
        QTest::newRow("blank and letters") << " x 3"
                                           << "3";
        QTest::newRow("full-width digit") << "４2"
                                          << "2";
    }
    void tableLinesTakeDigitsOnly() {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        CTableLineDlg dlg;
        dlg.show();
        QLineEdit* outline = edit(&dlg, "外框线参数");
        typeInto(outline, typed);
        QCOMPARE(outline->text(), shown);
        QTest::keyClick(outline, Qt::Key_Backspace);
        QCOMPARE(outline->text(), shown.chopped(1));
    }

    void tableLinesSave() {
        TestLedger ledger;
        platform::ScopedMessageBoxScript messages;
        appSettings().outlineWidth = "3";
        appSettings().innerWidth = "2";
        CTableLineDlg dlg;
        dlg.show();
        QCOMPARE(dlg.windowTitle(), QStringLiteral("设置表格线的粗细"));
        QCOMPARE(edit(&dlg, "外框线参数")->text(), QStringLiteral("3"));
        QCOMPARE(edit(&dlg, "内框线参数")->text(), QStringLiteral("2"));
        typeInto(edit(&dlg, "外框线参数"), "");
        typeInto(edit(&dlg, "内框线参数"), "1");
        QTest::keyClick(edit(&dlg, "内框线参数"), Qt::Key_Return); // the default button
        QCOMPARE(ledger.row("select set4, set5 from USER_SET where id = 3"), (QStringList{"", "1"}));
        QCOMPARE(appSettings().outlineWidth, QString());
        QCOMPARE(appSettings().innerWidth, QStringLiteral("1"));
        QCOMPARE(messages.texts(), QStringList{"保存成功!"});
        QCOMPARE(messages.messages()[0].caption, QStringLiteral("保存成功"));
        QCOMPARE(messages.messages()[0].icon, platform::MsgIcon::Information);
        QVERIFY(dlg.isVisible());
        // The next drawing uses the new widths: a hairline outline, one-unit rules.
        ReceiptPrintData data;
        QCOMPARE(data.settings.outlineWidth, QString());
        QCOMPARE(data.settings.innerWidth, QStringLiteral("1"));
    }

    // ---- fonts ----------------------------------------------------------------------------

    void chooserStartsFromTheAppliedFontEachTime() {
        WatchingChooser chooser;
        CPrintFontDlg dlg;
        dlg.show();
        QCOMPARE(dlg.windowTitle(), QStringLiteral("设置打印字体"));
        chooser.watched = button(&dlg, "设置打印正文字体");
        QFont heiti(QStringLiteral("黑体"));
        heiti.setPointSize(12);
        heiti.setBold(true);
        chooser.answer(heiti);
        chooser.answerCancel();
        QTest::mouseClick(chooser.watched, Qt::LeftButton);
        QCOMPARE(dlg.workingFonts()[BodyFont].weight, 700);
        QTest::mouseClick(chooser.watched, Qt::LeftButton);
        QCOMPARE(chooser.requests().size(), 2);
        QCOMPARE(chooser.requests()[1], chooser.requests()[0]); // not from the first choice
        QCOMPARE(QFont::substitute(chooser.requests()[0].family()),
                 QFont::substitute(QStringLiteral("楷体")));
        QCOMPARE(chooser.requests()[0].pointSize(), 12); // 16 pixels at 96 dpi
        QCOMPARE(chooser.enabledWhileOpen, (QList<bool>{false, false}));
        QVERIFY(chooser.watched->isEnabled());
        QCOMPARE(dlg.workingFonts()[BodyFont], factoryFont(BodyFont)); // the cancel kept the applied font
        QCOMPARE(printFonts(), factoryFonts());                        // nothing applied before saving
    }

    void savingFontsWritesAndApplies() {
        platform::ScopedFontChooser chooser;
        platform::ScopedMessageBoxScript messages;
        CPrintFontDlg dlg;
        dlg.show();
        QFont heiti(QStringLiteral("黑体"));
        heiti.setPointSize(12);
        heiti.setBold(true);
        chooser.answer(heiti);
        QTest::mouseClick(button(&dlg, "设置打印正文字体"), Qt::LeftButton);
        // The bottom remark's stand-in font chosen as it is stays 幼圆.
        chooser.answer(QFont(QFont::substitute(QStringLiteral("幼圆")), 12));
        QTest::mouseClick(button(&dlg, "设置下方备注字体"), Qt::LeftButton);
        QTest::mouseClick(button(&dlg, "保存"), Qt::LeftButton);

        const QStringList lines = fontFileLines();
        QCOMPARE(lines.size(), 5); // four lines, each ended
        QVERIFY2(lines[0].startsWith("-16,0,0,0,700,0,0,0,134,"), qPrintable(lines[0]));
        QVERIFY(lines[0].endsWith(",黑体"));
        QCOMPARE(lines[1], factoryFontLines()[1]);
        QVERIFY2(lines[3].endsWith(",幼圆"), qPrintable(lines[3]));
        QCOMPARE(printFonts()[BodyFont].weight, 700);
        QCOMPARE(messages.texts(), QStringList{"保存成功！"});
        QCOMPARE(messages.messages()[0].caption, QStringLiteral("提示"));
        QVERIFY(dlg.isVisible());
    }

    void fontSaveThatCannotWrite() {
        QVERIFY(QDir().mkdir(QStringLiteral("FontSet.ini")));
        platform::ScopedFontChooser chooser;
        platform::ScopedMessageBoxScript messages;
        CPrintFontDlg dlg;
        QFont big(QFont::substitute(QStringLiteral("宋体")));
        big.setPointSize(20);
        chooser.answer(big);
        dlg.OnChooseFont(TitleFont);
        dlg.OnSave();
        QCOMPARE(messages.messages().size(), 1);
        QVERIFY(messages.texts()[0] != QStringLiteral("保存成功！"));
        QCOMPARE(messages.messages()[0].icon, platform::MsgIcon::Exclamation);
        QCOMPARE(printFonts()[TitleFont].faceName, QStringLiteral("宋体")); // applied for this run
        QCOMPARE(printFonts()[TitleFont].height, -27);
    }

    void restoringFactoryFonts_data() {
        QTest::addColumn<platform::MsgButton>("answer");
        QTest::addColumn<bool>("restored");
        QTest::newRow("yes") << platform::Yes << true;
        QTest::newRow("no") << platform::No << false;
    }
    void restoringFactoryFonts() {
        QFETCH(platform::MsgButton, answer);
        QFETCH(bool, restored);
        auto mine = factoryFonts();
        mine[HeadingFont].weight = 700;
        QVERIFY(SavePrintFonts(mine));
        platform::ScopedMessageBoxScript messages({answer});
        CPrintFontDlg dlg;
        QTest::mouseClick(button(&dlg, "恢复默认字体"), Qt::LeftButton);
        const platform::MessageRequest& question = messages.messages()[0];
        QCOMPARE(question.text, QStringLiteral("此操作会将现有字体恢复到软件默认的字体，是否继续？"));
        QCOMPARE(question.caption, QStringLiteral("确认"));
        QCOMPARE(question.icon, platform::MsgIcon::Question);
        QCOMPARE(question.buttons, platform::Yes | platform::No);
        QCOMPARE(printFonts() == factoryFonts(), restored);
        QCOMPARE(dlg.workingFonts() == factoryFonts(), restored);
        QCOMPARE(fontFileLines().mid(0, 4) ==
                     QStringList(factoryFontLines().begin(), factoryFontLines().end()),
                 restored);
        if (restored) {
            QCOMPARE(messages.texts().value(1), QStringLiteral("恢复成功！"));
            QCOMPARE(messages.messages()[1].caption, QStringLiteral("成功"));
        } else {
            QCOMPARE(messages.messages().size(), 1);
        }
    }

    // ---- preview --------------------------------------------------------------------------

    void previewShowsThePaperAndHidesTheWindow() {
        platform::ScopedPrinters printers({"P"}, "P");
        platform::ScopedPrintCapture capture;
        platform::ScopedMessageBoxScript messages;
        appSettings().printerName = "P";
        appSettings().paperIndex = 1;
        QWidget mainWindow;
        mainWindow.show();
        int drawn = 0;
        QPointer<CMainFrame> frame = CMainFrame::OpenPreview(
            [&drawn](QPainter& painter, const PrintRect& page, const PrintScale& scale) {
                ++drawn;
                ReceiptPrintData data;
                data.number = "0000001";
                DrawReceipt(painter, page, data, scale, printFonts());
            },
            &mainWindow);
        QVERIFY(frame);
        QCOMPARE(frame->windowTitle(), QStringLiteral("收款收据（打印预览）"));
        QVERIFY(frame->windowState() & Qt::WindowMaximized);
        QVERIFY(frame->isVisible());
        QVERIFY(!mainWindow.isVisible());
        QCOMPARE(capture.previewRequests().size(), 1);
        QCOMPARE(capture.previewRequests()[0].pageSize.size(QPageSize::Millimeter), QSizeF(241, 93.3));
        QCOMPARE(frame->printer()->pageLayout().fullRect(QPageLayout::Millimeter).size(), QSizeF(241, 93.3));
        frame->previewWidget()->updatePreview();
        QVERIFY(drawn > 0);
        QCOMPARE(frame->previewWidget()->pageCount(), 1);

        frame->printAction()->trigger();
        QCOMPARE(messages.texts(), QStringList{"请使用主窗口上的“打印并保存”按钮进行打印！"});
        QCOMPARE(messages.messages()[0].caption, QStringLiteral("提示"));
        QCOMPARE(messages.messages()[0].icon, platform::MsgIcon::Information);
        QTRY_VERIFY(frame.isNull());
        QVERIFY(mainWindow.isVisible());
        QCOMPARE(capture.documents().size(), 0); // nothing reached a printer
    }

    void closingThePreviewShowsTheWindowAgain() {
        platform::ScopedPrinters printers({"P"}, "P");
        platform::ScopedPrintCapture capture;
        platform::ScopedMessageBoxScript messages;
        appSettings().printerName = "Removed";
        QWidget mainWindow;
        mainWindow.show();
        QPointer<CMainFrame> frame = CMainFrame::OpenPreview(
            [](QPainter&, const PrintRect&, const PrintScale&) {}, &mainWindow, QStringLiteral("预览"));
        QVERIFY(frame);
        QCOMPARE(frame->windowTitle(), QStringLiteral("预览"));
        QCOMPARE(appSettings().printerName, QStringLiteral("P")); // the default printer stands in
        QCOMPARE(capture.previewRequests()[0].printerName, QStringLiteral("P"));
        frame->closeAction()->trigger();
        QTRY_VERIFY(frame.isNull());
        QVERIFY(mainWindow.isVisible());
        QVERIFY(messages.messages().isEmpty());
    }

    void noPrinterNoPreview() {
        platform::ScopedPrinters printers({}, "");
        platform::ScopedPrintCapture capture;
        platform::ScopedMessageBoxScript messages;
        QWidget mainWindow;
        mainWindow.show();
        CMainFrame* frame =
            CMainFrame::OpenPreview([](QPainter&, const PrintRect&, const PrintScale&) {}, &mainWindow);
        QVERIFY(!frame);
        QCOMPARE(messages.texts(), QStringList{"获取打印机失败，请确认打印机硬件及驱动程序是否已安装好！"});
        QVERIFY(mainWindow.isVisible());
        QVERIFY(capture.previewRequests().isEmpty());
    }

    void previewKeepsAModalMainWindowRunning() {
        platform::ScopedPrinters printers({"P"}, "P");
        platform::ScopedPrintCapture capture;
        appSettings().printerName = "P";
        QDialog mainWindow;
        bool hiddenWhileOpen = false;
        bool shownAfterClose = false;
        QTimer::singleShot(0, &mainWindow, [&] {
            QPointer<CMainFrame> frame =
                CMainFrame::OpenPreview([](QPainter&, const PrintRect&, const PrintScale&) {}, &mainWindow);
            hiddenWhileOpen = frame && !mainWindow.isVisible();
            if (frame)
                frame->close();
            shownAfterClose = mainWindow.isVisible();
            // Accepted only if exec() is still running when the loop comes round again.
            QTimer::singleShot(0, &mainWindow, [&] { mainWindow.accept(); });
        });
        QCOMPARE(mainWindow.exec(), int(QDialog::Accepted));
        QVERIFY(hiddenWhileOpen);
        QVERIFY(shownAfterClose);
    }
};

QTEST_MAIN(TestPrintDialogs)
#include "tst_printdialogs.moc"
