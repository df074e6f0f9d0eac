// The query dialog on a ledger of its own: the pick-lists, the receipts each search hands to the
// main window, the dates and their wheel, and a ledger that cannot be opened.

#include "controls/AutoCompleteCombo.h"
#include "data/Database.h"
#include "platform/Services.h"
#include "records/QueryDlg.h"
#include "tests/support/DataColumns.h"
#include "tests/support/TestLedger.h"

#include <QApplication>
#include <QDateEdit>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>

namespace {

const QDateTime kNow(QDate(2026, 3, 15), QTime(10, 20, 30));
const QString kAll = " 选择全部";

// The receipts of the month around kNow, and one on either side of it.
void seedLedger(const TestLedger& ledger) {
    const QStringList receipts{
        "'9912', '2026-02-28 23:59:59', '幸福路3号101', '', '张三', '李四'",
        "'0012', '2026-03-01 00:00:00', '幸福路3号101', '', '张三', '李四'",
        "'1120', '2026-03-05 12:00:00', '幸福路3号102', 'O''Brien押金', '张三', '老李四'",
        "'1302', '2026-03-10 08:00:00', '和平街9号', '普通', '王五', '张三'",
        "'3125', '2026-03-15 23:59:59', '和平街8号', '含''引号', '王五', '王五'",
        "'4121', '2026-03-16 00:00:00', '和平街8号', '', '张三', '李四'",
    };
    // April's: texts that look like patterns, a row another tool wrote with NULLs, and ids that
    // do not follow the dates.
    const QStringList april{
        "'A_1', '2026-04-20 08:00:00', '幸福路3号101', 'C:\\账本', '张三', '李四'",
        "'AB1', '2026-04-05 08:00:00', '和平街8号', '50%折扣', '王五', '张三'",
        "'5000', '2026-04-12 08:00:00', '和平街8号', '押金5000', '张三', '李四'",
        "'50%', '2026-04-01 08:00:00', NULL, NULL, NULL, NULL",
        "'%1', '2026-04-09 08:00:00', '和平街9号', '', '王五', '王五'",
    };
    for (const QString& values : receipts + april)
        ledger.exec("insert into RECEIPT ([NO], Rdate, district, Remark, accountant, payee) values (" +
                    values + ")");
    for (const auto& [table, entry] : {std::pair{"people_items", "张三"},
                                       {"people_items", "李四"},
                                       {"people_items", "王五"},
                                       {"addr_items", "幸福路3号101"},
                                       {"addr_items", "和平街8号"},
                                       {"remark_items", "普通"},
                                       {"remark_items", "押金"}})
        ledger.exec(QString("insert into %1 values (?)").arg(QLatin1String(table)),
                    {QString::fromUtf8(entry)});
}

QStringList sorted(QStringList list) {
    list.sort();
    return list;
}

QStringList items(const QComboBox* box) {
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

// Key presses carrying any text, Chinese included, over whatever the box shows.
void typeInto(QComboBox* box, const QString& text) {
    box->lineEdit()->selectAll();
    if (text.isEmpty())
        QTest::keyClick(box->lineEdit(), Qt::Key_Backspace);
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

// The dialog with a target that runs each statement on the ledger, as the main window does, and
// keeps the receipt numbers it found.
struct Opened {
    QList<QStringList> found;
    CQueryDlg dlg;
    explicit Opened(const QString& ledgerPath)
        : dlg([this, ledgerPath](const SqlStatement& statement) {
              Database db(ledgerPath);
              QStringList numbers;
              if (db.open()) {
                  for (Recordset rs = db.query(statement); !rs.isEOF(); rs.moveNext())
                      numbers << rs.field(1);
              }
              found << numbers;
          }) {
        dlg.show();
    }
    template <class T> T* control(const QString& accessibleName) {
        for (T* w : dlg.findChildren<T*>()) {
            if (w->accessibleName() == accessibleName)
                return w;
        }
        return nullptr;
    }
    CAutoCompleteCombo* box(const QString& name) { return control<CAutoCompleteCombo>(name); }
    QDateEdit* date(const QString& name) { return control<QDateEdit>(name); }
    QPushButton* button(const QString& name) { return control<QPushButton>(name); }
    QStringList query() {
        QTest::mouseClick(button("确定"), Qt::LeftButton);
        return found.isEmpty() ? QStringList{"<no query>"} : found.last();
    }
};

const QStringList kBoxes{"单号", "地址", "开票人", "收款人", "备注"};

} // namespace

class TestQueryDlg : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data() { TestLedger::addEngineRows(); }

    void initTestCase() { QApplication::setFont(QFont("Noto Sans CJK SC", 9)); }

    void opensAtItsFixedSizeWithTheListsAndDates() {
        TestLedger ledger;
        seedLedger(ledger);
        platform::ScopedClock clock(kNow);
        platform::ScopedMessageBoxScript boxes;
        Opened q(ledger.path());
        QVERIFY(boxes.messages().isEmpty());
        QCOMPARE(q.dlg.minimumSize(), q.dlg.maximumSize()); // a fixed size
        QVERIFY(q.dlg.grab().save(QDir(QCoreApplication::applicationDirPath()).filePath("query-dialog.png")));
        for (const QString& name : kBoxes) {
            QVERIFY2(q.box(name), qPrintable(name));
            QCOMPARE(q.box(name)->currentText(), kAll);
            QCOMPARE(q.box(name)->itemText(0), kAll);
        }
        QCOMPARE(sorted(items(q.box("单号")).mid(1)),
                 sorted({"9912", "0012", "1120", "1302", "3125", "4121", "A_1", "AB1", "5000", "50%", "%1"}));
        QCOMPARE(sorted(items(q.box("地址")).mid(1)), sorted({"幸福路3号101", "和平街8号"}));
        QCOMPARE(sorted(items(q.box("备注")).mid(1)), sorted({"普通", "押金"}));
        QCOMPARE(sorted(items(q.box("开票人")).mid(1)), sorted({"张三", "李四", "王五"}));
        QCOMPARE(items(q.box("收款人")), items(q.box("开票人")));
        QCOMPARE(q.date("开票日期")->date(), QDate(2026, 3, 1));
        QCOMPARE(q.date("至")->date(), QDate(2026, 3, 15));
    }

    void numberListIsLimitedToTheNewest() {
        TestLedger ledger;
        const int stored = CQueryDlg::kNumberListLimit + 5;
        ledger.exec(
            QString("with recursive c(n) as (select 1 union all select n + 1 from c where n < %1) "
                    "insert into RECEIPT ([NO], Rdate, district, Remark, accountant, payee) "
                    "select 'N' || substr(cast(100000 + n as text), 2), '2026-03-02', '', '', '', '' from c")
                .arg(stored));
        platform::ScopedClock clock(kNow);
        Opened q(ledger.path());
        const QStringList numbers = items(q.box("单号"));
        QCOMPARE(numbers.size(), CQueryDlg::kNumberListLimit + 1);
        QVERIFY(numbers.contains(QString::asprintf("N%05d", stored)));
        QVERIFY(!numbers.contains("N00005"));
        // The search itself still reaches every receipt.
        typeInto(q.box("单号"), "N00005");
        QCOMPARE(q.query(), QStringList{"N00005"});
    }

    void findsWhatTheBoxesSay_data() {
        // from: null: as the dialog opens
        columns<QString, QString, QDate, QDate, QStringList>("box", "typed", "from", "to", "expected");
        const QStringList month{"0012", "1120", "1302", "3125"};
        const auto row = [](const char* tag, const QString& box, const QString& typed,
                            const QStringList& expected, QDate from = {},
                            QDate to = {}) { QTest::newRow(tag) << box << typed << from << to << expected; };
        row("everything in the dates", "", {}, month);
        row("part of a number", "单号", "12", {"0012", "1120", "3125"});
        row("select-all inside other text", "地址", "abc选择全部", month);
        row("part of an address", "地址", "3号", {"0012", "1120"});
        row("a quote alone", "备注", "'", {"1120", "3125"});
        row("a clerk's name as payee", "收款人", "李四", {"0012", "1120"});
        row("clerk", "开票人", "王五", {"1302", "3125"});
        row("the to-day's last second", "", {}, {"3125"}, QDate(2026, 3, 15), QDate(2026, 3, 15));
        row("across the month end", "", {}, {"9912", "0012"}, QDate(2026, 2, 28), QDate(2026, 3, 1));
        row("from after to", "", {}, {}, QDate(2026, 3, 20), QDate(2026, 3, 10));
        // What is typed is found as typed, in the order of the ids, on either engine.
        const QDate aprilFirst(2026, 4, 1), aprilLast(2026, 4, 30);
        const auto april = [&](const char* tag, const QString& box, const QString& typed,
                               const QStringList& expected) {
            row(tag, box, typed, expected, aprilFirst, aprilLast);
        };
        april("select-all lets NULL pass", "", {}, {"A_1", "AB1", "5000", "50%", "%1"});
        april("an empty box lets NULL pass", "备注", "", {"A_1", "AB1", "5000", "50%", "%1"});
        april("an underscore is no wildcard", "单号", "A_1", {"A_1"});
        april("a percent sign is no wildcard", "单号", "50%", {"50%"});
        april("a percent sign alone", "备注", "%", {"AB1"});
        april("a typed %1 stays text", "单号", "%1", {"%1"});
        april("a backslash is no escape", "备注", "\\", {"A_1"});
        april("a backslash before a percent sign", "备注", "\\%", {});
        april("letter case aside", "备注", "c:\\", {"A_1"});
        april("a clerk left NULL is not found", "开票人", "张", {"A_1", "5000"});
    }
    void findsWhatTheBoxesSay() {
        auto [box, typed, from, to, expected] =
            fetch<QString, QString, QDate, QDate, QStringList>("box", "typed", "from", "to", "expected");
        TestLedger ledger;
        seedLedger(ledger);
        platform::ScopedClock clock(kNow);
        platform::ScopedMessageBoxScript boxes;
        Opened q(ledger.path());
        if (!box.isEmpty())
            typeInto(q.box(box), typed);
        if (from.isValid()) {
            q.date("开票日期")->setDate(from);
            q.date("至")->setDate(to);
        }
        QCOMPARE(q.query(), expected);
        QVERIFY(boxes.messages().isEmpty());
        // The dialog stays open for the next search.
        QVERIFY(q.dlg.isVisible());
        QCOMPARE(q.query(), expected);
    }

    void wheelStepsBothDates_data() {
        // over: empty: the dialog itself
        // section: -1: as the dialog opens
        columns<QString, int, int, QDate, QDate>("over", "delta", "section", "fromAfter", "toAfter");
        QTest::newRow("up, year as opened") << "" << 120 << -1 << QDate(2027, 3, 10) << QDate(2027, 5, 20);
        QTest::newRow("down on the day")
            << "" << -120 << int(QDateTimeEdit::DaySection) << QDate(2026, 3, 9) << QDate(2026, 5, 19);
        QTest::newRow("over the to picker")
            << "至" << -120 << int(QDateTimeEdit::MonthSection) << QDate(2026, 2, 10) << QDate(2026, 4, 20);
    }
    void wheelStepsBothDates() {
        auto [over, delta, section] = fetch<QString, int, int>("over", "delta", "section");
        TestLedger ledger;
        platform::ScopedClock clock(kNow);
        Opened q(ledger.path());
        QDateEdit* from = q.date("开票日期");
        QDateEdit* to = q.date("至");
        // Away from the ends of month and year, where the picker holds a section still.
        from->setDate(QDate(2026, 3, 10));
        to->setDate(QDate(2026, 5, 20));
        if (section >= 0) {
            from->setCurrentSection(QDateTimeEdit::Section(section));
            to->setCurrentSection(QDateTimeEdit::Section(section));
        }
        QWidget* target = over.isEmpty() ? static_cast<QWidget*>(&q.dlg) : q.date(over);
        const QPointF at = over.isEmpty() ? QPointF(5, 5) : QPointF(target->rect().center());
        QWheelEvent wheel(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &wheel);
        QCoreApplication::processEvents();
        auto [fromAfter, toAfter] = fetch<QDate, QDate>("fromAfter", "toAfter");
        QCOMPARE(from->date(), fromAfter);
        QCOMPARE(to->date(), toAfter);
    }

    void unopenableLedgerLeavesOnlySelectAll() {
        TestLedger ledger;
        seedLedger(ledger);
        DataSource::setLedgerPath(QDir(ledger.dir()).filePath("missing.rbk"));
        platform::ScopedClock clock(kNow);
        platform::ScopedMessageBoxScript boxes;
        Opened q(ledger.path());
        QCOMPARE(boxes.texts(), QStringList{"不能打开数据库"});
        for (const QString& name : kBoxes)
            QCOMPARE(items(q.box(name)), QStringList{kAll});
        // The search goes on through the main window's own connection.
        QCOMPARE(q.query(), (QStringList{"0012", "1120", "1302", "3125"}));
    }
};

QTEST_MAIN(TestQueryDlg)
#include "tst_querydlg.moc"
