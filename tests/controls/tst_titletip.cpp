// Title tips over narrow boxes, driven by the pointer: a text that fits shows none, a wider
// one shows whole in the right colours over the box, the tip goes when the pointer leaves and
// never stands between the operator and the box; the same for the entries of a list and of a
// combo box's drop-down list.

#include "controls/TitleTip.h"
#include "controls/TitleTipCombo.h"
#include "controls/TitleTipListBox.h"
#include "tests/support/DataColumns.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTest>

namespace {

const QString kShort = QStringLiteral("两行项目");
const QString kLong = QStringLiteral("三行项目 with a caption far too wide for the box");

QRect globalGeometry(const QWidget* widget) {
    return QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size());
}

// The window with its tip laid over it where the tip stands on the screen, for a look by eye.
void savePicture(QWidget* window, CTitleTip* tip, const QString& name) {
    QImage picture = window->grab().toImage();
    QPainter painter(&picture);
    painter.drawPixmap(tip->mapToGlobal(QPoint(0, 0)) - window->mapToGlobal(QPoint(0, 0)), tip->grab());
    painter.end();
    QVERIFY(picture.save(name));
}

} // namespace

class TestTitleTip : public QObject {
    Q_OBJECT

    std::unique_ptr<QWidget> m_host;
    CTitleTipCombo* m_combo = nullptr;
    CTitleTipListBox* m_list = nullptr;
    QPushButton* m_other = nullptr;

    void pointerOverCombo() { QTest::mouseMove(m_combo, QPoint(20, m_combo->height() / 2)); }
    // A point on an entry near the list's left edge (a long entry reaches beyond the list).
    QPoint onEntry(int row) const {
        return QPoint(10, m_list->visualItemRect(m_list->item(row)).center().y());
    }
    void pointerOffBoxes() {
        QTest::mouseMove(m_host.get(), QPoint(m_host->width() - 2, m_host->height() - 2));
    }

private slots:
    void init() {
        QCursor::setPos(QPoint(1000, 1000));
        m_host = std::make_unique<QWidget>();
        m_host->resize(300, 200);
        m_combo = new CTitleTipCombo(m_host.get());
        m_combo->addItems({kShort, kLong});
        m_combo->setGeometry(10, 10, 100, 24);
        m_list = new CTitleTipListBox(m_host.get());
        m_list->addItems({kShort, kLong});
        m_list->setGeometry(10, 50, 100, 80);
        m_other = new QPushButton(QStringLiteral("x"), m_host.get());
        m_other->setGeometry(200, 10, 40, 20);
        m_host->show();
        QVERIFY(QTest::qWaitForWindowActive(m_host.get()));
    }
    void cleanup() {
        pointerOffBoxes();
        m_host.reset();
    }

    void comboTip_data() {
        // spare: pixels of the text area left beside the text; -1: as made
        columns<QString, bool, bool, bool, int>("text", "focused", "editable", "shown", "spare");
        QTest::newRow("fits") << kShort << true << false << false << -1;
        QTest::newRow("too wide, focused") << kLong << true << false << true << -1;
        QTest::newRow("too wide, no focus") << kLong << false << false << true << -1;
        QTest::newRow("too wide, editable, no focus") << kLong << false << true << true << -1;
        // The box draws its text with margins: six pixels to spare still fit, five do not.
        QTest::newRow("6 pixels to spare") << kShort << true << false << false << 6;
        QTest::newRow("5 pixels to spare") << kShort << true << false << true << 5;
    }
    void comboTip() {
        auto [text, focused, editable, shown, spare] =
            fetch<QString, bool, bool, bool, int>("text", "focused", "editable", "shown", "spare");
        m_combo->setEditable(editable);
        m_combo->setCurrentText(text);
        if (spare >= 0) {
            const int area = m_combo->fontMetrics().horizontalAdvance(text) + spare;
            m_combo->resize(m_combo->width() + area - m_combo->textArea().width(), m_combo->height());
            QCOMPARE(m_combo->textArea().width(), area);
        }
        (focused ? static_cast<QWidget*>(m_combo) : m_other)->setFocus();
        if (editable) // the pointer over the line edit, which takes the mouse
            QTest::mouseMove(m_combo->lineEdit(), QPoint(10, m_combo->lineEdit()->height() / 2));
        else
            pointerOverCombo();
        CTitleTip* tip = m_combo->titleTip();
        QCOMPARE(tip->isVisible(), shown);
        if (!shown)
            return;
        QCOMPARE(tip->tipText(), text);
        if (spare >= 0)
            return;
        const QPalette& colours = m_combo->palette();
        QCOMPARE(tip->backgroundColor(), colours.color(focused ? QPalette::Highlight : QPalette::Base));
        QCOMPARE(tip->textColor(), colours.color(focused ? QPalette::HighlightedText : QPalette::Text));
        // Over the box, from its text onwards, wide enough for the whole text.
        const QRect box = globalGeometry(m_combo);
        const QRect over = tip->geometry();
        QVERIFY(box.contains(over.topLeft()));
        QVERIFY(over.left() - box.left() < 10);
        QVERIFY(over.bottom() <= box.bottom());
        QVERIFY(over.width() >= tip->fontMetrics().horizontalAdvance(text));
        QVERIFY(over.width() > box.width());
        if (focused)
            savePicture(m_host.get(), tip, QStringLiteral("title-tip-combo.png"));
        // A text that fits takes the tip away at once.
        m_combo->setCurrentText(kShort);
        QVERIFY(!tip->isVisible());
    }

    // Over the list's entry too wide, the whole entry over the list, level with it. The tip goes
    // within a poll of the pointer leaving (or the list going), never to stay; at once over an
    // entry that fits; and a click on it reaches the box beneath, whose list drops down.
    void tipGoes_data() {
        columns<bool, QString>("list", "how");
        QTest::newRow("combo, pointer off the box") << false << "off";
        QTest::newRow("combo, pointer onto the drop-down button") << false << "button";
        QTest::newRow("combo, a click on the tip") << false << "click";
        QTest::newRow("list, pointer off the list") << true << "off";
        QTest::newRow("list, pointer onto an entry that fits") << true << "fits";
        QTest::newRow("list hidden") << true << "hide";
    }
    void tipGoes() {
        auto [list, how] = fetch<bool, QString>("list", "how");
        m_combo->setCurrentText(kLong);
        if (list)
            QTest::mouseMove(m_list->viewport(), onEntry(1));
        else
            pointerOverCombo();
        CTitleTip* tip = list ? m_list->titleTip() : m_combo->titleTip();
        QVERIFY(tip->isVisible());
        if (list) {
            QCOMPARE(tip->tipText(), kLong);
            const QRect entry = m_list->visualItemRect(m_list->item(1));
            QCOMPARE(tip->geometry().top(), m_list->viewport()->mapToGlobal(entry.topLeft()).y());
            QVERIFY(tip->width() > m_list->viewport()->width());
        }
        if (how == "off")
            pointerOffBoxes();
        else if (how == "button")
            QTest::mouseMove(m_combo, QPoint(m_combo->width() - 4, m_combo->height() / 2));
        else if (how == "hide")
            m_list->hide();
        else if (how == "fits")
            QTest::mouseMove(m_list->viewport(), onEntry(0));
        else
            QTest::mouseClick(tip, Qt::LeftButton, {}, QPoint(5, tip->height() / 2));
        if (how == "click") {
            QTRY_VERIFY(m_combo->view()->isVisible());
            QVERIFY(!tip->isVisible());
            m_combo->hidePopup();
        }
        if (how == "fits") // at once
            QVERIFY(!tip->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!tip->isVisible(), 400);
    }

    // The drop-down list grows to its widest entry, up to the screen's width: an entry wider
    // than the screen is cut and gets the tip.
    void dropDownListTip_data() {
        columns<int, bool>("repeat", "shown");
        QTest::newRow("fits the list") << 1 << false;
        QTest::newRow("wider than the screen") << 8 << true;
    }
    void dropDownListTip() {
        auto [repeat, shown] = fetch<int, bool>("repeat", "shown");
        const QString text = kLong.repeated(repeat);
        m_combo->setItemText(1, text);
        m_combo->showPopup();
        QAbstractItemView* view = m_combo->view();
        QTRY_VERIFY(view->isVisible());
        CTitleTip* tip = m_combo->listTitleTip();
        QVERIFY(tip);
        const QModelIndex longEntry = m_combo->model()->index(1, 0);
        QTest::mouseMove(view->viewport(), QPoint(20, view->visualRect(longEntry).center().y()));
        QCOMPARE(tip->isVisible(), shown);
        if (shown)
            QCOMPARE(tip->tipText(), text);
        m_combo->hidePopup();
        QTRY_VERIFY(!tip->isVisible());
    }
};

QTEST_MAIN(TestTitleTip)
#include "tst_titletip.moc"
