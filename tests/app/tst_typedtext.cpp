// What the operator typed or a file holds shows as typed: "<b>", "x<y" or "&amp;" in a room, a
// fee's caption, a folder, a server's answer or a user name is text, never markup, in every label,
// tooltip, chart title and legend entry of the windows that show such text.

#include "data/LedgerLocation.h"
#include "data/Settings.h"
#include "maintenance/MigrateToServerDlg.h"
#include "overview/OverviewDlg.h"
#include "platform/GuiServices.h"
#include "platform/Services.h"
#include "print/AppSettings.h"
#include "receipt/ReceiptDlg.h"
#include "tests/support/DataColumns.h"
#include "tests/support/GlobalState.h"
#include "tests/support/TestLedger.h"
#include "users/LoginDlg.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

namespace {

// A name no markup can hide: the tag, a lone "<" and an entity.
const QString kTyped = QStringLiteral("<b>Zq</b>x<y&amp;");

struct Shown {
    QString where;
    QString raw;   // the text handed to Qt
    QString shown; // what Qt makes of it
};

QString fromMarkup(const QString& html) {
    QTextDocument document;
    document.setHtml(html);
    return document.toPlainText();
}

// What a label, a tooltip, a chart's title and a legend entry show of their text.
void collect(QWidget* window, QList<Shown>& out) {
    const QList<QWidget*> widgets = QList<QWidget*>{window} + window->findChildren<QWidget*>();
    for (QWidget* w : widgets) {
        const QString name =
            w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
        if (!w->toolTip().isEmpty()) {
            const QString tip = w->toolTip();
            out << Shown{name + QStringLiteral(" tooltip"), tip,
                         Qt::mightBeRichText(tip) ? fromMarkup(tip) : tip};
        }
        if (auto* label = qobject_cast<QLabel*>(w)) {
            const bool markup = label->textFormat() == Qt::RichText ||
                                (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()));
            out << Shown{name, label->text(), markup ? fromMarkup(label->text()) : label->text()};
        }
        if (auto* view = qobject_cast<QChartView*>(w)) {
            // Qt Charts lays a title and a legend entry out as markup whatever they hold.
            QChart* chart = view->chart();
            out << Shown{view->accessibleName() + QStringLiteral(" title"), chart->title(),
                         fromMarkup(chart->title())};
            for (QLegendMarker* marker : chart->legend()->markers())
                out << Shown{view->accessibleName() + QStringLiteral(" legend"), marker->label(),
                             fromMarkup(marker->label())};
        }
    }
}

} // namespace

class TestTypedText : public QObject {
    Q_OBJECT

    std::optional<platform::ScopedProcessRecorder> m_noProcesses;

private slots:
    void initTestCase() {
        // The real boxes of the desktop; the process stays a recorder.
        platform::installGuiServices();
        m_noProcesses.emplace();
    }

    void init() { resetGlobalState(appSettings()); }

    // The message box's and the password prompt's own texts: tst_guiservices.
    void shownAsTyped_data() {
        columns<QString, int>("window", "places");                      // places: that show the text
        QTest::newRow("overview charts") << "overview charts" << 2;     // the usage title, the income legend
        QTest::newRow("login ledger line") << "login ledger line" << 2; // the line and its tooltip
        QTest::newRow("migration note") << "migration note" << 1;
        QTest::newRow("main window") << "main window" << 1; // the summary under the list
    }
    void shownAsTyped() {
        const auto [window, places] = fetch<QString, int>("window", "places");
        TestLedger ledger;
        platform::ScopedClock clock(QDateTime(QDate(2026, 12, 6), QTime(9, 5, 3)));
        QList<Shown> shown;
        if (window == "overview charts") {
            // A room and a fee's caption in the charts' titles and legends.
            ledger.exec(QStringLiteral("insert into addr_items values('%1')").arg(kTyped));
            ledger.exec(QStringLiteral("update USER_SET set set6='%1' where id=3").arg(kTyped));
            ledger.exec(QStringLiteral("insert into RECEIPT ([NO],[Rdate],[district],[housefee],[TVfee],"
                                       "[total_money],[waterlast],[waterthis]) values('0000001',"
                                       "'2026-12-01 10:00:00','%1',800,500,1300,1,5)")
                            .arg(kTyped));
            COverviewDlg dlg;
            for (QComboBox* box : dlg.findChildren<QComboBox*>())
                if (box->accessibleName() == QStringLiteral("房间"))
                    box->setCurrentText(kTyped);
            collect(&dlg, shown);
        } else if (window == "login ledger line") {
            // A ledger in a folder whose name looks like markup, short enough to show whole.
            QTemporaryDir short_(QStringLiteral("/tmp/t-XXXXXX"));
            const QString folder = QDir(short_.path()).filePath(kTyped);
            QVERIFY(QDir().mkpath(folder));
            const QString path = QDir(folder).filePath(QStringLiteral("a.rbk"));
            QVERIFY(QFile::copy(ledger.path(), path));
            DataSource::setLedgerPath(path);
            {
                platform::ScopedMessageBoxScript boxes;
                CLoginDlg dlg;
                dlg.show();
                collect(&dlg, shown);
            }
            DataSource::setLedgerPath(ledger.path());
        } else if (window == "migration note") {
            CMigrateToServerDlg dlg;
            dlg.showProblem(QStringLiteral("服务器 db 上没有数据库 %1。").arg(kTyped), false);
            collect(&dlg, shown);
        } else {
            // The hot-water caption in the summary line under the list.
            ledger.exec(QStringLiteral("update USER_SET set set3='%1' where id=3").arg(kTyped));
            CReceiptDlg dlg;
            collect(&dlg, shown);
        }
        int showing = 0;
        for (const Shown& s : shown) {
            if (!s.raw.contains(QStringLiteral("Zq")) && !s.shown.contains(QStringLiteral("Zq")))
                continue;
            ++showing;
            QVERIFY2(s.shown.contains(kTyped), qPrintable(s.where + QStringLiteral(": ") + s.shown));
        }
        QVERIFY2(showing >= places, qPrintable(QString::number(showing)));
    }
};

QTEST_MAIN(TestTypedText)
#include "tst_typedtext.moc"
