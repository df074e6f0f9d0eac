// The settings dialog and its pick-list page on a ledger of their own: the tabs, adding, changing
// and deleting entries with their messages and selection, the categories, and the main window
// offering a new entry once the dialog closes.

#include "data/Settings.h"
#include "platform/Services.h"
#include "receipt/ReceiptDlg.h"
#include "settings/ItemsPage.h"
#include "settings/PageTabCtrl.h"
#include "settings/SettingsDlg.h"
#include "settings/SettingsHooks.h"
#include "settings/TemplatePage.h"
#include "tests/support/TestLedger.h"
#include "users/UserPage.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

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

struct Page {
    CItemsPage page;
    QTableWidget* list;
    QPlainTextEdit* entry;
    QComboBox* category;
    Page() {
        page.show();
        if (!QTest::qWaitForWindowActive(&page))
            qWarning("the page did not become active");
        list = page.findChild<QTableWidget*>("items");
        entry = page.findChild<QPlainTextEdit*>("entry");
        category = page.findChild<QComboBox*>("category");
    }
    void click(const char* name) { page.findChild<QPushButton*>(QString::fromLatin1(name))->click(); }
    void type(const QString& text) { entry->setPlainText(text); }
    void select(int row) {
        list->clearSelection();
        list->selectRow(row);
    }
    QList<int> selectedRows() const {
        QList<int> rows;
        for (const QModelIndex& i : list->selectionModel()->selectedRows())
            rows << i.row();
        return rows;
    }
    QStringList numbers() const {
        QStringList out;
        for (int r = 0; r < list->rowCount(); ++r)
            out << list->item(r, 0)->text();
        return out;
    }
};

QStringList column(const TestLedger& ledger, const QString& table) {
    QStringList out;
    for (const QStringList& row : ledger.rows("select items from " + table))
        out << row[0];
    return out;
}

} // namespace

class TestItemsPage : public QObject {
    Q_OBJECT

private slots:
    void init() {
        appSettings() = AppSettings();
        g_strCurrentUser = "admin";
        g_strCurrentPower = "1";
    }

    void dialogShowsThreeTabsListsFirst() {
        TestLedger ledger;
        platform::ScopedMessageBoxScript boxes;
        CSettingsDlg dlg;
        dlg.show();
        QCOMPARE(dlg.windowTitle(), QString("设置"));
        CPageTabCtrl* tabs = dlg.tabCtrl();
        QCOMPARE(tabs->count(), 3);
        QCOMPARE((QStringList{tabs->tabText(0), tabs->tabText(1), tabs->tabText(2)}),
                 (QStringList{"设置名目", "设置模版", "设置用户"}));
        QVERIFY(dlg.itemsPage()->isVisible());
        QVERIFY(!dlg.templatePage()->isVisible());
        QVERIFY(dlg.findChild<QTableWidget*>("items")->accessibleName() == "名目列表");
        QVERIFY(dlg.findChild<QTableWidget*>("users")->accessibleName() == "用户列表");
        QVERIFY(dlg.grab().save("settings-items.png"));

        // A click on a tab shows its page and hides the one shown before.
        QTabBar* bar = tabs->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(2).center());
        QCOMPARE(tabs->shownPage(), 2);
        QVERIFY(dlg.userPage()->isVisible());
        QVERIFY(!dlg.itemsPage()->isVisible());
        QVERIFY(dlg.grab().save("settings-users.png"));
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
        QVERIFY(dlg.templatePage()->isVisible());
        QVERIFY(dlg.grab().save("settings-template.png"));
        QVERIFY(boxes.messages().isEmpty());
    }

    void tabControlHoldsSixteenPages() {
        CPageTabCtrl tabs;
        QList<QWidget*> pages;
        for (int i = 0; i < 17; ++i)
            pages << new QWidget(&tabs);
        for (int i = 0; i < 16; ++i)
            QVERIFY(tabs.AddPage(QString::number(i), pages[i], 100 + i));
        QVERIFY(!tabs.AddPage("17", pages[16], 200));
        QCOMPARE(tabs.pageCount(), 16);
        tabs.CreatePages();
        QCOMPARE(tabs.count(), 16);
        QCOMPARE(tabs.currentIndex(), 0);
        QCOMPARE(tabs.pageResourceId(15), 115);
    }

    void addEntries_data() {
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("the same twice")
            << QStringList{"A", "A"} << QStringList{"A"} << QStringList{"此项已存在!"};
        QTest::newRow("another letter case")
            << QStringList{"A", "a"} << QStringList{"A", "a"} << QStringList{};
        QTest::newRow("nothing typed") << QStringList{""} << QStringList{} << QStringList{"名目不能为空!"};
        QTest::newRow("single quotes")
            << QStringList{"O'Neil's", "'"} << QStringList{"O'Neil's", "'"} << QStringList{};
    }
    void addEntries() {
        QFETCH(QStringList, typed);
        QFETCH(QStringList, stored);
        QFETCH(QStringList, messages);
        TestLedger ledger;
        platform::ScopedMessageBoxScript boxes;
        Page p;
        for (const QString& text : typed) {
            p.type(text);
            p.click("addButton");
        }
        QCOMPARE(boxes.texts(), messages);
        for (const platform::MessageRequest& m : boxes.messages())
            QCOMPARE(m.caption, QString("注意"));
        QCOMPARE(column(ledger, "addr_items"), stored);
        QCOMPARE(p.page.listedItems(), stored);
        // The last row is the one selected and marked.
        if (!stored.isEmpty()) {
            QCOMPARE(p.selectedRows(), QList<int>{int(stored.size()) - 1});
            QCOMPARE(p.list->currentRow(), int(stored.size()) - 1);
        }
    }

    void enterInTheEntryBoxAdds() {
        TestLedger ledger;
        platform::ScopedMessageBoxScript boxes;
        Page p;
        p.entry->setFocus();
        QTest::keyClicks(p.entry, "101");
        QTest::keyClick(p.entry, Qt::Key_Return);
        QCOMPARE(column(ledger, "addr_items"), QStringList{"101"});
        QCOMPARE(p.entry->toPlainText(), QString("101"));
    }

    void modifyEntries_data() {
        QTest::addColumn<int>("row"); // -1: none selected
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QStringList>("messages");
        const QStringList before{"101", "O'Neil", "103"};
        QTest::newRow("renamed") << 0 << "201" << QStringList{"201", "O'Neil", "103"} << QStringList{};
        QTest::newRow("unchanged") << 2 << "103" << before << QStringList{"此项已存在!"};
        QTest::newRow("to another row's text") << 0 << "103" << before << QStringList{"此项已存在!"};
        QTest::newRow("emptied") << 1 << "" << before << QStringList{"名目不能为空!"};
        QTest::newRow("nothing selected") << -1 << "x" << before << QStringList{"请选择需要修改的项!"};
        QTest::newRow("quote in old and new")
            << 1 << "O'Neil's" << QStringList{"101", "O'Neil's", "103"} << QStringList{};
    }
    void modifyEntries() {
        QFETCH(int, row);
        QFETCH(QString, typed);
        QFETCH(QStringList, stored);
        QFETCH(QStringList, messages);
        TestLedger ledger;
        ledger.exec("insert into remark_items values('101')");
        ledger.exec("insert into remark_items values('O''Neil')");
        ledger.exec("insert into remark_items values('103')");
        platform::ScopedMessageBoxScript boxes;
        Page p;
        p.category->setCurrentIndex(1);
        if (row >= 0)
            p.select(row);
        p.type(typed);
        p.click("modifyButton");
        QCOMPARE(boxes.texts(), messages);
        QCOMPARE(column(ledger, "remark_items"), stored);
        QCOMPARE(p.page.listedItems(), stored);
        if (row >= 0 && messages.isEmpty()) {
            QCOMPARE(p.selectedRows(), QList<int>{row});
            QCOMPARE(p.list->currentRow(), row);
        }
    }

    void deleteEntries_data() {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<int>("selectedAfter"); // -1: none
        QTest::newRow("last row: the new last is selected")
            << QStringList{"a", "b", "c"} << 2 << true << QStringList{"a", "b"} << 1;
        QTest::newRow("middle row: the same index")
            << QStringList{"a", "b", "c"} << 1 << true << QStringList{"a", "c"} << 1;
        QTest::newRow("only row: nothing left") << QStringList{"a"} << 0 << true << QStringList{} << -1;
        QTest::newRow("cancelled") << QStringList{"a", "b"} << 0 << false << QStringList{"a", "b"} << 0;
        QTest::newRow("with quotes") << QStringList{"it's", "b"} << 0 << true << QStringList{"b"} << 0;
        QTest::newRow("a repeated text goes with its twins")
            << QStringList{"a", "b", "b"} << 1 << true << QStringList{"a"} << 0;
    }
    void deleteEntries() {
        QFETCH(QStringList, rows);
        QFETCH(int, row);
        QFETCH(bool, confirm);
        QFETCH(QStringList, stored);
        QFETCH(int, selectedAfter);
        TestLedger ledger;
        for (const QString& r : rows)
            ledger.exec("insert into people_items values('" + QString(r).replace("'", "''") + "')");
        platform::ScopedMessageBoxScript boxes({confirm ? platform::Ok : platform::Cancel});
        Page p;
        p.category->setCurrentIndex(2);
        p.select(row);
        p.click("deleteButton");
        QCOMPARE(boxes.texts(), QStringList{"确定要删除<" + rows[row] + ">记录吗?"});
        QCOMPARE(boxes.messages()[0].caption, QString("确认"));
        QCOMPARE(boxes.messages()[0].buttons, platform::Ok | platform::Cancel);
        QCOMPARE(column(ledger, "people_items"), stored);
        QCOMPARE(p.page.listedItems(), stored);
        QStringList numbers;
        for (int i = 1; i <= stored.size(); ++i)
            numbers << QString::number(i);
        QCOMPARE(p.numbers(), numbers);
        QCOMPARE(p.selectedRows(), selectedAfter < 0 ? QList<int>{} : QList<int>{selectedAfter});
        QVERIFY(p.list->hasFocus());
    }

    void deleteWithoutSelection() {
        TestLedger ledger;
        ledger.exec("insert into addr_items values('a')");
        platform::ScopedMessageBoxScript boxes;
        Page p;
        p.click("deleteButton");
        QCOMPARE(boxes.texts(), QStringList{"请选择需要删除的项!"});
        QCOMPARE(column(ledger, "addr_items"), QStringList{"a"});
    }

    void categoriesAndHeadings() {
        TestLedger ledger;
        ledger.exec("insert into addr_items values('101')");
        ledger.exec("insert into people_items values('张三')");
        appSettings().addressCaption = "门牌号";
        platform::ScopedMessageBoxScript boxes;
        Page p;
        const auto heading = [&] { return p.list->horizontalHeaderItem(1)->text(); };
        QCOMPARE(p.category->itemText(0), QString("门牌号"));
        QCOMPARE(heading(), QString("门牌号"));
        QCOMPARE(p.list->horizontalHeaderItem(0)->text(), QString("序号"));
        QCOMPARE(p.page.listedItems(), QStringList{"101"});

        p.type("kept");
        p.category->setCurrentIndex(2);
        QCOMPARE(p.page.currentTable(), QString("people_items"));
        QCOMPARE(heading(), QString("工作人员"));
        QCOMPARE(p.page.listedItems(), QStringList{"张三"});
        QCOMPARE(p.entry->toPlainText(), QString("kept"));

        p.category->setCurrentIndex(0);
        QCOMPARE(heading(), QString("房间地址"));
        QCOMPARE(p.page.listedItems(), QStringList{"101"});

        // A click on a row shows its entry; a click beside the rows empties the box.
        QTest::mouseClick(p.list->viewport(), Qt::LeftButton, {},
                          p.list->visualRect(p.list->model()->index(0, 1)).center());
        QCOMPARE(p.entry->toPlainText(), QString("101"));
        QTest::mouseClick(p.list->viewport(), Qt::LeftButton, {},
                          QPoint(5, p.list->viewport()->height() - 5));
        QCOMPARE(p.entry->toPlainText(), QString());
        QVERIFY(boxes.messages().isEmpty());
    }

    void mainWindowOffersANewAddressAtOnce() {
        TestLedger ledger;
        platform::ScopedMessageBoxScript boxes;
        settings::installSettingsHooks();
        CReceiptDlg window;
        auto* address = window.findChild<QComboBox*>("address");
        QCOMPARE(address->findText("8号楼101"), -1);
        bool sawDialog = false;
        whenModal(&window, [&](QWidget* modal) {
            auto* dlg = qobject_cast<CSettingsDlg*>(modal);
            sawDialog = dlg != nullptr;
            if (!dlg)
                return;
            dlg->itemsPage()->findChild<QPlainTextEdit*>("entry")->setPlainText("8号楼101");
            dlg->itemsPage()->findChild<QPushButton*>("addButton")->click();
            QTest::keyClick(dlg, Qt::Key_Escape);
        });
        window.findChild<QPushButton*>("settingsButton")->click();
        QVERIFY(sawDialog);
        QVERIFY(address->findText("8号楼101") >= 0);
    }
};

QTEST_MAIN(TestItemsPage)
#include "tst_itemspage.moc"
