// The print settings dialogs and the preview, offscreen: what they show, what they store in the
// ledger, what they say, and what the preview hides and draws.

#include "platform/FontChooser.h"
#include "platform/PrintTarget.h"
#include "platform/Services.h"
#include "print/AppSettings.h"
#include "print/MainFrame.h"
#include "print/PaperSizeDlg.h"
#include "print/PrintFontDlg.h"
#include "print/PrintFonts.h"
#include "print/PrinterSelectDlg.h"
#include "print/ReceiptRenderer.h"
#include "print/TableLineDlg.h"
#include "tests/support/DataColumns.h"
#include "tests/support/GlobalState.h"
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

} // namespace

class TestPrintDialogs : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_previousDir;

private slots:
    void initTestCase_data() { TestLedger::addEngineRows(); }

    void init() {
        resetGlobalState(appSettings());
        printFonts() = factoryFonts();
        m_previousDir = QDir::currentPath();
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir::setCurrent(m_dir->path()));
    }
    void cleanup() {
        QDir::setCurrent(m_previousDir);
        m_dir.reset();
    }

    // The print system's printers, the saved one chosen (or the default when it is gone); a
    // save stores the choice, as often as asked, and keeps the dialog open.
    void printerSelection_data() {
        columns<QString, QString>("chosen", "selected");
        QTest::newRow("saved printer") << QString("Label") << QString("Label");
        QTest::newRow("saved printer gone: default") << QString("Gone") << QString("Counter");
    }
    void printerSelection() {
        auto [chosen, selected] = fetch<QString, QString>("chosen", "selected");
        TestLedger ledger;
        ledger.exec("insert into table2 values('1','Old','0','0','0','10','10')");
        platform::ScopedPrinters printers({"Counter", "Jo's printer", "Label"}, "Counter");
        platform::ScopedMessageBoxScript messages;
        appSettings().printerName = chosen;
        CPrinterSelectDlg dlg;
        dlg.show();
        auto* combo = byName<QComboBox>(&dlg, "选择要使用的打印机设备");
        QCOMPARE(combo->count(), 3);
        QCOMPARE(combo->itemText(2), QStringLiteral("Label")); // the print system's order
        QCOMPARE(combo->currentText(), selected);
        combo->setCurrentIndex(1);
        QTest::mouseClick(byName<QPushButton>(&dlg, "保存"), Qt::LeftButton);
        QTest::mouseClick(byName<QPushButton>(&dlg, "保存"), Qt::LeftButton);
        QCOMPARE(ledger.row("select row2 from table2 where row1 = '1'"), QStringList{"Jo's printer"});
        QCOMPARE(appSettings().printerName, QStringLiteral("Jo's printer"));
        QCOMPARE(messages.texts(), (QStringList{"打印机保存成功！", "打印机保存成功！"}));
        QCOMPARE(messages.messages()[0].caption, QStringLiteral("提示"));
        QVERIFY(dlg.isVisible());
        QTest::mouseClick(byName<QPushButton>(&dlg, "退出"), Qt::LeftButton);
        QVERIFY(!dlg.isVisible());
    }

    // The paper size and the table lines: each dialog shows what is in force, stores what is typed,
    // says so and stays open; the next drawing uses the new widths.
    void paperSizeAndTableLinesStoreWhatIsTyped() {
        TestLedger ledger;
        platform::ScopedMessageBoxScript messages;
        appSettings().customPaperWidth = 2410;
        appSettings().customPaperHeight = 933;
        appSettings().outlineWidth = "3";
        appSettings().innerWidth = "2";
        CPaperSizeDlg paper;
        paper.show();
        QCOMPARE(byName<QLineEdit>(&paper, "宽度(W)")->text(), QStringLiteral("2410"));
        typeInto(byName<QLineEdit>(&paper, "宽度(W)"), "1000");
        typeInto(byName<QLineEdit>(&paper, "高度(H)"), "abc");
        QTest::mouseClick(byName<QPushButton>(&paper, "保存"), Qt::LeftButton);
        // Stored as typed, converted on use.
        QCOMPARE(ledger.row("select set6, set7 from USER_SET where id = 2"), (QStringList{"1000", "abc"}));
        QCOMPARE(appSettings().customPaperWidth, 1000);
        QCOMPARE(appSettings().customPaperHeight, 0);

        CTableLineDlg lines;
        lines.show();
        QCOMPARE(byName<QLineEdit>(&lines, "外框线参数")->text(), QStringLiteral("3"));
        typeInto(byName<QLineEdit>(&lines, "外框线参数"), "");
        // Only ASCII digits get in: no sign, no point, no full-width digit.
        typeInto(byName<QLineEdit>(&lines, "内框线参数"), "-１.1");
        QCOMPARE(byName<QLineEdit>(&lines, "内框线参数")->text(), QStringLiteral("1"));
        QTest::keyClick(byName<QLineEdit>(&lines, "内框线参数"), Qt::Key_Return); // the default button
        QCOMPARE(ledger.row("select set4, set5 from USER_SET where id = 3"), (QStringList{"", "1"}));
        QCOMPARE(messages.texts(), (QStringList{"保存成功！", "保存成功!"}));
        QCOMPARE((QStringList{messages.messages()[0].caption, messages.messages()[1].caption}),
                 (QStringList{platform::applicationName(), "保存成功"}));
        QVERIFY(paper.isVisible() && lines.isVisible());
        ReceiptPrintData data;
        QCOMPARE(data.settings.outlineWidth, QString());
        QCOMPARE(data.settings.innerWidth, QStringLiteral("1"));
    }

    void chooserStartsFromTheAppliedFontEachTime() {
        platform::ScopedFontChooser chooser;
        CPrintFontDlg dlg;
        dlg.show();
        QFont heiti(QStringLiteral("黑体"));
        heiti.setPointSize(12);
        chooser.answer(heiti);
        chooser.answerCancel();
        QTest::mouseClick(byName<QPushButton>(&dlg, "设置打印正文字体"), Qt::LeftButton);
        QTest::mouseClick(byName<QPushButton>(&dlg, "设置打印正文字体"), Qt::LeftButton);
        QCOMPARE(chooser.requests().size(), 2);
        QCOMPARE(chooser.requests()[1], chooser.requests()[0]);        // not from the first choice
        QCOMPARE(chooser.requests()[0].pointSize(), 12);               // 16 pixels at 96 dpi
        QCOMPARE(dlg.workingFonts()[BodyFont], factoryFont(BodyFont)); // the cancel kept the applied font
        QCOMPARE(printFonts(), factoryFonts());                        // nothing applied before saving
    }

    // A save writes the file and applies the fonts; one that cannot write says so and applies
    // them for this run.
    void savingFonts_data() {
        columns<bool>("writable");
        QTest::newRow("written") << true;
        QTest::newRow("a folder in the file's place") << false;
    }
    void savingFonts() {
        const auto [writable] = fetch<bool>("writable");
        if (!writable)
            QVERIFY(QDir().mkdir(QStringLiteral("FontSet.ini")));
        platform::ScopedFontChooser chooser;
        platform::ScopedMessageBoxScript messages;
        CPrintFontDlg dlg;
        dlg.show();
        QFont heiti(QStringLiteral("黑体"));
        heiti.setPointSize(12);
        heiti.setBold(true);
        chooser.answer(heiti);
        QTest::mouseClick(byName<QPushButton>(&dlg, "设置打印正文字体"), Qt::LeftButton);
        // The bottom remark's stand-in font chosen as it is stays 幼圆.
        chooser.answer(QFont(QFont::substitute(QStringLiteral("幼圆")), 12));
        QTest::mouseClick(byName<QPushButton>(&dlg, "设置下方备注字体"), Qt::LeftButton);
        QTest::mouseClick(byName<QPushButton>(&dlg, "保存"), Qt::LeftButton);

        QCOMPARE(printFonts()[BodyFont].weight, 700);
        QCOMPARE(messages.messages().size(), 1);
        QVERIFY(dlg.isVisible());
        if (!writable) {
            QVERIFY(messages.texts()[0] != QStringLiteral("保存成功！"));
            QCOMPARE(messages.messages()[0].icon, platform::MsgIcon::Exclamation);
            return;
        }
        const QStringList lines = fontFileLines();
        QVERIFY2(lines.value(0).startsWith("-16,0,0,0,700,0,0,0,134,"), qPrintable(lines.value(0)));
        QVERIFY2(lines.value(3).endsWith(",幼圆"), qPrintable(lines.value(3)));
        QCOMPARE(messages.texts(), QStringList{"保存成功！"});
        QCOMPARE(messages.messages()[0].caption, QStringLiteral("提示"));
    }

    void restoringFactoryFonts_data() {
        columns<platform::MsgButton, bool>("answer", "restored");
        QTest::newRow("yes") << platform::Yes << true;
        QTest::newRow("no") << platform::No << false;
    }
    void restoringFactoryFonts() {
        auto [answer, restored] = fetch<platform::MsgButton, bool>("answer", "restored");
        auto mine = factoryFonts();
        mine[HeadingFont].weight = 700;
        QVERIFY(SavePrintFonts(mine));
        platform::ScopedMessageBoxScript messages({answer});
        CPrintFontDlg dlg;
        QTest::mouseClick(byName<QPushButton>(&dlg, "恢复默认字体"), Qt::LeftButton);
        const platform::MessageRequest& question = messages.messages()[0];
        QCOMPARE(question.text, QStringLiteral("此操作会将现有字体恢复到软件默认的字体，是否继续？"));
        QCOMPARE(question.caption, QStringLiteral("确认"));
        QCOMPARE(question.buttons, platform::Yes | platform::No);
        QCOMPARE(printFonts() == factoryFonts(), restored);
        QCOMPARE(dlg.workingFonts() == factoryFonts(), restored);
        QCOMPARE(fontFileLines().mid(0, 4) ==
                     QStringList(factoryFontLines().begin(), factoryFontLines().end()),
                 restored);
        QCOMPARE(messages.texts().value(1), restored ? QStringLiteral("恢复成功！") : QString());
    }

    // The preview shows the paper in force and draws on it, and refuses to print. The main window,
    // a dialog running its own loop, is hidden meanwhile and comes back still running.
    void previewShowsThePaperAndRefusesToPrint() {
        platform::ScopedPrinters printers({"P"}, "P");
        platform::ScopedPrintCapture capture;
        platform::ScopedMessageBoxScript messages;
        appSettings().printerName = "P";
        appSettings().paperIndex = 1;
        QDialog mainWindow;
        int drawn = 0;
        bool hiddenWhileOpen = false, shownAfterClose = false, maximized = false;
        QSizeF paper;
        int pages = 0;
        QPointer<CMainFrame> frame;
        // Only read here, checked once the main window's loop has ended: a check failing in here
        // would leave that loop running.
        QTimer::singleShot(0, &mainWindow, [&] {
            // Accepted only if exec() is still running when the loop comes round again.
            QTimer::singleShot(0, &mainWindow, [&] { mainWindow.accept(); });
            frame = CMainFrame::OpenPreview(
                [&drawn](QPainter& painter, const PrintRect& page, const PrintScale& scale) {
                    ++drawn;
                    ReceiptPrintData data;
                    DrawReceipt(painter, page, data, scale, printFonts());
                },
                &mainWindow);
            if (!frame)
                return;
            hiddenWhileOpen = !mainWindow.isVisible();
            maximized = frame->windowState() & Qt::WindowMaximized;
            paper = frame->printer()->pageLayout().fullRect(QPageLayout::Millimeter).size();
            frame->previewWidget()->updatePreview();
            pages = frame->previewWidget()->pageCount();
            frame->printAction()->trigger();
            shownAfterClose = mainWindow.isVisible();
        });
        // A main window left hidden would keep its loop running: give up after a while.
        QTimer::singleShot(30000, &mainWindow, [&] { mainWindow.show(), mainWindow.reject(); });
        QCOMPARE(mainWindow.exec(), int(QDialog::Accepted));
        QCOMPARE(paper, QSizeF(241, 93.3));
        QCOMPARE(pages, 1);
        QVERIFY(drawn > 0);
        QVERIFY(maximized);
        QVERIFY(hiddenWhileOpen);
        QVERIFY(shownAfterClose);
        QCOMPARE(messages.texts(), QStringList{"请使用主窗口上的“打印并保存”按钮进行打印！"});
        QTRY_VERIFY(frame.isNull());
        QCOMPARE(capture.documents().size(), 0); // nothing reached a printer
    }
};

QTEST_MAIN(TestPrintDialogs)
#include "tst_printdialogs.moc"
