// The tenant register on a ledger of its own: opening on a room, searching, adding, modifying and
// deleting, the wheel over the dates, and the way in from the main window.

#include "data/Database.h"
#include "data/Settings.h"
#include "platform/Services.h"
#include "receipt/MainWindowHooks.h"
#include "receipt/ReceiptDlg.h"
#include "tenants/TenantDlg.h"
#include "tenants/TenantHooks.h"
#include "tenants/TenantListCtrl.h"
#include "tenants/TenantListModel.h"
#include "tests/support/TestLedger.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QFont>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

namespace {

const QDateTime kNow(QDate(2026, 3, 15), QTime(10, 20, 30));

// id 1 to 5, in this order.
void seedTenants(const TestLedger& ledger) {
    const QStringList rows{
        "'张三', '110101199001011234', '13800000001', '3-201', 'zs01', '红星厂', '500.00', 1000, "
        "'2026-01-01', '2026-12-31'",
        "'李四', '110101199202022345', '13900000002', '13-201', 'ls_02', '蓝天公司', '600.00', 1100, "
        "'2026-02-01', '2027-01-31'",
        "'王五', '320101198803033456', '13700000003', '3-202', 'ww%03', 'O''Neil商行', '700.00', 1200, "
        "'2026-03-01', '2026-08-31'",
        "'赵六', '440101199504044567', '13600000004', '5-101', 'zl04', '红星厂', '800.00', 1300, "
        "'2026-04-01', '2026-09-30'",
        "'孙七', '', '', '3-2010', '', '', '', 900, '2026-05-01', '2026-10-31'",
    };
    for (const QString& values : rows)
        ledger.exec("insert into client ([name],[card],[tel],[address],[qq],[company],[row1],[zuMoney],"
                    "[dateFrom],[dateTo]) values (" +
                    values + ")");
    for (const char* address : {"5-101", "3-201", "13-201"})
        ledger.exec(QString("insert into addr_items values ('%1')").arg(QString::fromUtf8(address)));
}

// Types the text key by key; Chinese characters come as key events that carry their text.
void typeInto(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 0x80)
            QTest::keyClick(widget, c.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

struct Opened {
    CTenantDlg dlg;
    CTenantListCtrl* list;
    TenantListModel* model;
    explicit Opened(const QString& preset = {}) {
        dlg.setPresetAddress(preset);
        dlg.show();
        list = dlg.findChild<CTenantListCtrl*>("tenantList");
        model = dlg.tenantModel();
    }
    QLineEdit* edit(const QString& name) const { return dlg.findChild<QLineEdit*>(name); }
    QComboBox* address() const { return dlg.findChild<QComboBox*>("addressCombo"); }
    QDateEdit* date(const QString& name) const { return dlg.findChild<QDateEdit*>(name); }
    void click(const QString& button) const {
        QTest::mouseClick(dlg.findChild<QPushButton*>(button), Qt::LeftButton);
    }
    void clickRow(int row, Qt::MouseButton button = Qt::LeftButton) const {
        QTest::mouseClick(list->viewport(), button, {}, list->visualRect(model->index(row, 1)).center());
    }
    QStringList ids() const {
        QStringList out;
        for (int r = 0; r < model->rowCount(); ++r)
            out << model->cell(r, TenantListColumn::Id);
        return out;
    }
    void type(const QString& name, const QString& text) const {
        edit(name)->clear();
        typeInto(edit(name), text);
    }
};

QStringList tenantRow(const TestLedger& ledger, int id) {
    return ledger.row(QString("select name, card, tel, address, qq, company, row1, zuMoney, typeof(zuMoney), "
                              "dateFrom, dateTo from client where id = %1")
                          .arg(id));
}

} // namespace

class TestTenantDlg : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QApplication::setFont(QFont("Noto Sans CJK SC", 9)); // the program's own look
    }

    void opensOnTheRoomOfAReceipt() {
        TestLedger ledger;
        seedTenants(ledger);
        platform::ScopedClock clock(kNow);
        platform::ScopedMessageBoxScript boxes;
        Opened t("3-201");
        QCOMPARE(t.dlg.windowTitle(), QString("客户管理表"));
        QCOMPARE(t.ids(), (QStringList{"1", "2", "5"}));
        QCOMPARE(t.address()->currentText(), QString("3-201"));
        QCOMPARE(t.address()->count(), 3);
        QCOMPARE(t.address()->itemText(0), QString("13-201"));
        QCOMPARE(t.date("fromDate")->date(), kNow.date());
        // Eleven columns, the money with two decimals, the dates without the time.
        QCOMPARE(t.model->columnCount(), 11);
        QCOMPARE(t.model->headerData(5, Qt::Horizontal, Qt::DisplayRole).toString(), QString("QQ/微信"));
        QCOMPARE(t.model->cell(1, TenantListColumn::Rent), QString("1100.00"));
        QCOMPARE(t.model->cell(1, TenantListColumn::DateFrom), QString("2026-02-01"));
        QCOMPARE(t.model->cell(1, TenantListColumn::DateTo), QString("2027-01-31"));
        QVERIFY(boxes.messages().isEmpty());
        QVERIFY(t.dlg.grab().save("tenant-dialog.png"));
    }

    void everyControlIsNamedForAssistiveTechnology() {
        TestLedger ledger;
        Opened t;
        QCOMPARE(t.list->accessibleName(), QString("租户列表"));
        int focusable = 0;
        for (QWidget* w : t.dlg.findChildren<QWidget*>()) {
            if (w->focusPolicy() & Qt::TabFocus && w->isVisible() && w->parentWidget() == &t.dlg) {
                ++focusable;
                QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
            }
        }
        QCOMPARE(focusable, 15);
    }

    void searchNarrowsBySubstring_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("ids");
        QTest::newRow("empty form lists all, empty and null columns too")
            << ""
            << "" << QStringList{"1", "2", "3", "4", "5", "6"};
        QTest::newRow("name") << "nameEdit"
                              << "四" << QStringList{"2"};
        QTest::newRow("card") << "cardEdit"
                              << "19900101" << QStringList{"1"};
        QTest::newRow("tel") << "telEdit"
                             << "0000" << QStringList{"1", "2", "3", "4"};
        QTest::newRow("address") << "addressCombo"
                                 << "-20" << QStringList{"1", "2", "3", "5"};
        QTest::newRow("qq") << "qqEdit"
                            << "l" << QStringList{"2", "4"};
        QTest::newRow("company") << "companyEdit"
                                 << "红星" << QStringList{"1", "4"};
        QTest::newRow("single quote") << "companyEdit"
                                      << "O'N" << QStringList{"3"};
        QTest::newRow("percent sign as typed") << "qqEdit"
                                               << "%0" << QStringList{"3"};
        QTest::newRow("underscore as typed") << "qqEdit"
                                             << "s_" << QStringList{"2"};
        QTest::newRow("nothing") << "nameEdit"
                                 << "钱" << QStringList{};
    }
    void searchNarrowsBySubstring() {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QStringList, ids);
        TestLedger ledger;
        seedTenants(ledger);
        // Written by another program: no telephone, QQ or employer at all.
        ledger.exec("insert into client ([name],[address]) values ('周八', '9-909')");
        platform::ScopedMessageBoxScript boxes;
        Opened t;
        if (field == "addressCombo") {
            t.address()->setEditText(text);
        } else if (!field.isEmpty()) {
            typeInto(t.edit(field), text);
        }
        t.click("queryButton");
        QCOMPARE(t.ids(), ids);
        QVERIFY(boxes.messages().isEmpty());
    }

    void searchesCombineFields() {
        TestLedger ledger;
        seedTenants(ledger);
        Opened t;
        typeInto(t.edit("companyEdit"), "红星");
        typeInto(t.edit("telEdit"), "04");
        t.click("queryButton");
        QCOMPARE(t.ids(), QStringList{"4"});
    }

    void addStoresMoneyAndDatesAndReadsThemBack() {
        TestLedger ledger;
        seedTenants(ledger);
        platform::ScopedClock clock(kNow);
        platform::ScopedMessageBoxScript boxes;
        Opened t;
        typeInto(t.edit("nameEdit"), "钱九");
        typeInto(t.edit("cardEdit"), "110");
        typeInto(t.edit("telEdit"), "139");
        t.address()->setEditText("7-701");
        typeInto(t.edit("qqEdit"), "q'q");
        typeInto(t.edit("companyEdit"), "%1%2");
        typeInto(t.edit("depositEdit"), "abc");
        typeInto(t.edit("rentEdit"), "1200");
        t.date("fromDate")->setDate(QDate(2026, 1, 5));
        t.date("toDate")->setDate(QDate(2026, 12, 31));
        t.click("addButton");

        QCOMPARE(boxes.texts(), QStringList{"添加完成！"});
        QCOMPARE(boxes.messages()[0].caption, platform::applicationName());
        QCOMPARE(tenantRow(ledger, 6),
                 (QStringList{"钱九", "110", "139", "7-701", "q'q", "%1%2", "0.00", "1200", "real",
                              "2026-01-05 00:00:00", "2026-12-31 00:00:00"}));
        QCOMPARE(t.model->rowCount(), 6);
        QCOMPARE(t.list->firstSelectedRow(), 5);
        QCOMPARE(t.list->selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(t.model->cell(5, TenantListColumn::Id), QString("6"));
        QCOMPARE(t.model->cell(5, TenantListColumn::Deposit), QString("0.00"));
        QCOMPARE(t.model->cell(5, TenantListColumn::Rent), QString("1200.00"));
        QCOMPARE(t.model->cell(5, TenantListColumn::DateFrom), QString("2026-01-05"));
        QCOMPARE(t.model->cell(5, TenantListColumn::DateTo), QString("2026-12-31"));

        // A search lists it so too, and a click puts the period back into the pickers.
        t.edit("nameEdit")->setText("钱");
        t.click("queryButton");
        QCOMPARE(t.ids(), QStringList{"6"});
        QCOMPARE(t.model->cell(0, TenantListColumn::Rent), QString("1200.00"));
        t.clickRow(0, Qt::LeftButton);
        t.clickRow(0, Qt::RightButton);
        QCOMPARE(t.date("fromDate")->date(), QDate(2026, 1, 5));
        QCOMPARE(t.date("toDate")->date(), QDate(2026, 12, 31));
        QCOMPARE(t.edit("nameEdit")->text(), QString("钱九"));
        QCOMPARE(t.edit("depositEdit")->text(), QString("0.00"));
        QCOMPARE(t.edit("rentEdit")->text(), QString("1200.00"));
        QCOMPARE(t.address()->currentText(), QString("7-701"));
    }

    // The list shows the rent as it was written, whatever text the engine makes of the number.
    void rentListedWithTwoDecimals_data() {
        QTest::addColumn<QString>("stored"); // a literal of the insert
        QTest::addColumn<QString>("listed");
        QTest::newRow("whole") << "1200"
                               << "1200.00";
        QTest::newRow("one decimal") << "1150.5"
                                     << "1150.50";
        QTest::newRow("half a cent") << "0.125"
                                     << "0.12";
        QTest::newRow("below a cent, negative") << "-0.001"
                                                << "0.00";
        QTest::newRow("large") << "123456789012.75"
                               << "123456789012.75";
        QTest::newRow("text of another program") << "'1,200'"
                                                 << "1.00";
        QTest::newRow("none") << "null"
                              << "";
    }
    void rentListedWithTwoDecimals() {
        QFETCH(QString, stored);
        QFETCH(QString, listed);
        TestLedger ledger;
        ledger.exec("insert into client ([name],[zuMoney]) values ('甲', " + stored + ")");
        Database db(ledger.path());
        QVERIFY(db.open());
        Recordset rs = db.query("select * from client");
        TenantListModel model;
        model.fill(rs);
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.cell(0, TenantListColumn::Rent), listed);
    }

    void rightClickAndKeyboardPickRows() {
        TestLedger ledger;
        seedTenants(ledger);
        Opened t;
        t.clickRow(1, Qt::RightButton);
        QCOMPARE(t.list->firstSelectedRow(), 1);
        QCOMPARE(t.edit("nameEdit")->text(), QString("李四"));
        QCOMPARE(t.date("fromDate")->date(), QDate(2026, 2, 1));
        // Arrow keys only move the selection; Space picks, as a click would.
        QTest::keyClick(t.list, Qt::Key_Down);
        QCOMPARE(t.edit("nameEdit")->text(), QString("李四"));
        QTest::keyClick(t.list, Qt::Key_Space);
        QCOMPARE(t.edit("nameEdit")->text(), QString("王五"));
        QCOMPARE(t.dlg.shownTenantId(), 3);
        QVERIFY(t.dlg.grab().save("tenant-dialog-picked.png"));
    }

    void addAndModifyNeedAName_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("message");
        QTest::newRow("add") << "addButton"
                             << "姓名一项不能为空!";
        QTest::newRow("modify") << "modifyButton"
                                << "姓名一项不能为空！";
    }
    void addAndModifyNeedAName() {
        QFETCH(QString, button);
        QFETCH(QString, message);
        TestLedger ledger;
        seedTenants(ledger);
        platform::ScopedMessageBoxScript boxes;
        Opened t;
        t.clickRow(0);
        t.edit("nameEdit")->clear();
        typeInto(t.edit("telEdit"), "9");
        t.click(button);
        QCOMPARE(boxes.texts(), QStringList{message});
        QCOMPARE(boxes.messages()[0].caption, QString("注意"));
        QCOMPARE(boxes.messages()[0].icon, platform::MsgIcon::Exclamation);
        QCOMPARE(ledger.rows("select * from client").size(), 5);
        QCOMPARE(ledger.row("select name, tel from client where id = 1"),
                 (QStringList{"张三", "13800000001"}));
    }

    // The tenant whose data the form shows is the one changed, however the rows have moved.
    void modifyChangesTheTenantShown_data() {
        QTest::addColumn<QString>("between"); // what happens after the click on 李四 (id 2, row 1)
        QTest::addColumn<QStringList>("idsBefore");
        QTest::addColumn<int>("rowAfter");
        QTest::newRow("nothing") << "" << QStringList{"1", "2", "3", "4", "5"} << 1;
        QTest::newRow("a search moved it up") << "search" << QStringList{"2"} << 0;
        QTest::newRow("a search left it out") << "search away" << QStringList{"4"} << -1;
        QTest::newRow("a deletion moved another tenant onto its old row")
            << "delete below" << QStringList{"1", "2", "4", "5"} << 1;
    }
    void modifyChangesTheTenantShown() {
        QFETCH(QString, between);
        QFETCH(QStringList, idsBefore);
        QFETCH(int, rowAfter);
        TestLedger ledger;
        seedTenants(ledger);
        platform::ScopedClock clock(kNow);
        platform::ScopedMessageBoxScript boxes;
        Opened t;
        t.clickRow(1);
        QCOMPARE(t.edit("nameEdit")->text(), QString("李四"));
        QCOMPARE(t.dlg.shownTenantId(), 2);
        if (between == "search") {
            t.click("queryButton"); // the form holds 李四's texts: only 李四 matches
        } else if (between == "search away") {
            t.edit("nameEdit")->setText("赵");
            t.edit("cardEdit")->clear();
            t.edit("telEdit")->clear();
            t.edit("qqEdit")->clear();
            t.edit("companyEdit")->clear();
            t.address()->setEditText("");
            t.click("queryButton");
            t.edit("nameEdit")->setText("李四");
        } else if (between == "delete below") {
            // The keyboard moves the selection without picking: the form still shows 李四.
            QTest::keyClick(t.list, Qt::Key_Down);
            QCOMPARE(t.list->firstSelectedRow(), 2);
            boxes.answer(platform::Ok);
            t.click("deleteButton");
            QCOMPARE(t.edit("nameEdit")->text(), QString("李四"));
        }
        QCOMPARE(t.ids(), idsBefore);
        boxes.clear();
        t.type("telEdit", "021-555");
        t.type("rentEdit", "1150.5");
        t.click("modifyButton");

        QCOMPARE(boxes.texts(), QStringList{"修改完成！"});
        const QStringList stored = tenantRow(ledger, 2);
        QCOMPARE((QStringList{stored[0], stored[2], stored[7], stored[8]}),
                 (QStringList{"李四", "021-555", "1150.5", "real"}));
        // Nobody else changed.
        QCOMPARE(ledger.rows("select * from client where tel = '021-555'").size(), 1);
        QCOMPARE(t.ids(), idsBefore);
        QCOMPARE(t.list->firstSelectedRow(), rowAfter);
        if (rowAfter >= 0) {
            QCOMPARE(t.model->cell(rowAfter, TenantListColumn::Tel), QString("021-555"));
            QCOMPARE(t.model->cell(rowAfter, TenantListColumn::Rent), QString("1150.50"));
        }
    }

    void modifyWithoutATenantShownAsksForOne_data() {
        QTest::addColumn<QString>("before");
        QTest::newRow("nothing picked") << "";
        QTest::newRow("a click beside the rows") << "click beside";
        QTest::newRow("the tenant shown was deleted") << "delete shown";
    }
    void modifyWithoutATenantShownAsksForOne() {
        QFETCH(QString, before);
        TestLedger ledger;
        seedTenants(ledger);
        platform::ScopedClock clock(kNow);
        platform::ScopedMessageBoxScript boxes;
        Opened t;
        if (before == "click beside") {
            t.clickRow(0);
            QTest::mouseClick(t.list->viewport(), Qt::LeftButton, {},
                              QPoint(5, t.list->viewport()->height() - 5));
            QCOMPARE(t.edit("nameEdit")->text(), QString());
            QCOMPARE(t.date("toDate")->date(), kNow.date());
        } else if (before == "delete shown") {
            t.clickRow(0);
            boxes.answer(platform::Ok);
            t.click("deleteButton");
            QCOMPARE(t.edit("nameEdit")->text(), QString("张三"));
            QCOMPARE(t.list->firstSelectedRow(), 0); // 李四 now
        }
        boxes.clear();
        t.type("nameEdit", "新名");
        t.click("modifyButton");
        QCOMPARE(boxes.texts(), QStringList{"请先在列表中选择要修改的租户！"});
        QCOMPARE(boxes.messages()[0].caption, QString("注意"));
        QCOMPARE(ledger.rows("select * from client where name = '新名'").size(), 0);
        QCOMPARE(ledger.row("select name from client where id = 2"), QStringList{"李四"});
    }

    void deleteSelectsAnotherRow_data() {
        QTest::addColumn<int>("tenants");
        QTest::addColumn<int>("row");
        QTest::addColumn<platform::MsgButton>("answer");
        QTest::addColumn<QStringList>("idsAfter");
        QTest::addColumn<int>("selectedAfter");
        QTest::newRow("middle row: the next one moves up")
            << 5 << 2 << platform::Ok << QStringList{"1", "2", "4", "5"} << 2;
        QTest::newRow("last row: the new last row")
            << 5 << 4 << platform::Ok << QStringList{"1", "2", "3", "4"} << 3;
        QTest::newRow("only row: an empty list") << 1 << 0 << platform::Ok << QStringList{} << -1;
        QTest::newRow("cancel") << 5 << 3 << platform::Cancel << QStringList{"1", "2", "3", "4", "5"} << 3;
    }
    void deleteSelectsAnotherRow() {
        QFETCH(int, tenants);
        QFETCH(int, row);
        QFETCH(platform::MsgButton, answer);
        QFETCH(QStringList, idsAfter);
        QFETCH(int, selectedAfter);
        TestLedger ledger;
        seedTenants(ledger);
        ledger.exec(QString("delete from client where id > %1").arg(tenants));
        platform::ScopedMessageBoxScript boxes({answer});
        Opened t;
        t.clickRow(row);
        t.click("deleteButton");
        QCOMPARE(boxes.texts(), QStringList{"确定要删除此行记录吗？"});
        QCOMPARE(boxes.messages()[0].caption, QString("确认"));
        QCOMPARE(boxes.messages()[0].buttons, platform::Ok | platform::Cancel);
        QCOMPARE(t.ids(), idsAfter);
        QCOMPARE(t.list->firstSelectedRow(), selectedAfter);
        QStringList stored;
        for (const QStringList& r : ledger.rows("select id from client order by id"))
            stored << r[0];
        QCOMPARE(stored, idsAfter);
    }

    void deleteWithoutSelectionAsks() {
        TestLedger ledger;
        seedTenants(ledger);
        platform::ScopedMessageBoxScript boxes;
        Opened t;
        t.click("deleteButton");
        QCOMPARE(boxes.texts(), QStringList{"请选中需要删除的行！"});
        QCOMPARE(boxes.messages()[0].caption, QString("提示"));
        QCOMPARE(ledger.rows("select * from client").size(), 5);
    }

    void wheelStepsBothDates_data() {
        QTest::addColumn<QString>("over"); // empty: the dialog itself
        QTest::addColumn<int>("delta");
        QTest::addColumn<QDate>("fromAfter");
        QTest::addColumn<QDate>("toAfter");
        QTest::newRow("up over the dialog") << "" << 120 << QDate(2027, 3, 10) << QDate(2027, 5, 20);
        QTest::newRow("down over the list") << "list" << -120 << QDate(2025, 3, 10) << QDate(2025, 5, 20);
        QTest::newRow("down over a label") << "nameLabel" << -120 << QDate(2025, 3, 10) << QDate(2025, 5, 20);
        QTest::newRow("up over the end picker")
            << "toDate" << 120 << QDate(2027, 3, 10) << QDate(2027, 5, 20);
    }
    void wheelStepsBothDates() {
        QFETCH(QString, over);
        QFETCH(int, delta);
        QFETCH(QDate, fromAfter);
        QFETCH(QDate, toAfter);
        TestLedger ledger;
        seedTenants(ledger);
        platform::ScopedClock clock(kNow);
        Opened t;
        t.date("fromDate")->setDate(QDate(2026, 3, 10));
        t.date("toDate")->setDate(QDate(2026, 5, 20));
        QWidget* target = over.isEmpty()   ? static_cast<QWidget*>(&t.dlg)
                          : over == "list" ? t.list->viewport()
                                           : t.dlg.findChild<QWidget*>(over);
        QVERIFY(target);
        const QPointF at = over.isEmpty() ? QPointF(5, 5) : QPointF(target->rect().center());
        QWheelEvent wheel(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &wheel);
        QCoreApplication::processEvents();
        QCOMPARE(t.date("fromDate")->date(), fromAfter);
        QCOMPARE(t.date("toDate")->date(), toAfter);
    }

    void unopenableLedgerIsReported() {
        TestLedger ledger;
        seedTenants(ledger);
        platform::ScopedMessageBoxScript boxes;
        Opened t;
        t.clickRow(0);
        DataSource::setLedgerPath(ledger.dir() + "/missing.rbk");
        boxes.clear();
        t.click("queryButton");
        t.click("modifyButton");
        t.click("addButton");
        QCOMPARE(boxes.texts(), QStringList(3, cannotOpenDatabaseText()));
        QCOMPARE(t.model->rowCount(), 5);
        DataSource::setLedgerPath(ledger.path());
        QCOMPARE(ledger.rows("select * from client").size(), 5);
    }

    // "租户管理(&R)..." opens the register over every tenant, "查询租户(&C)" on the receipt's room.
    void mainWindowOpensTheRegister_data() {
        QTest::addColumn<QString>("room");
        QTest::addColumn<int>("rows");
        QTest::newRow("button") << "" << 5;
        QTest::newRow("room of a receipt") << "13-201" << 1;
    }
    void mainWindowOpensTheRegister() {
        QFETCH(QString, room);
        QFETCH(int, rows);
        TestLedger ledger;
        seedTenants(ledger);
        g_strCurrentUser = "admin";
        g_strCurrentPower = "1";
        appSettings() = AppSettings();
        platform::ScopedMessageBoxScript boxes;
        InstallTenantHooks();
        CReceiptDlg window;
        int seen = -1;
        QString shownRoom;
        QTimer::singleShot(0, [&] {
            auto* dlg = qobject_cast<CTenantDlg*>(QApplication::activeModalWidget());
            if (!dlg)
                return;
            seen = dlg->tenantModel()->rowCount();
            shownRoom = dlg->findChild<QComboBox*>("addressCombo")->currentText();
            dlg->reject();
        });
        if (room.isEmpty())
            QTest::mouseClick(window.findChild<QPushButton*>("tenantsButton"), Qt::LeftButton);
        else
            mainWindowHooks().openTenants(window, room);
        QCOMPARE(seen, rows);
        QCOMPARE(shownRoom, room);
        mainWindowHooks().openTenants = nullptr;
    }
};

QTEST_MAIN(TestTenantDlg)
#include "tst_tenantdlg.moc"
