// The records list on screen: heading clicks, hidden columns that can be dragged open, selection
// helpers and the signals the main window listens to.

#include "records/RecordsModel.h"
#include "records/SortListCtrl.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>

namespace {

QStringList cells(const QString& no, const QString& total) {
    QStringList c(kRecordCellCount);
    c[RecordColumn::No - 1] = no;
    c[RecordColumn::Total - 1] = total;
    return c;
}

void sendMouse(QWidget* target, QEvent::Type type, const QPoint& pos, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
    QMouseEvent event(type, pos, target->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

} // namespace

class TestSortListCtrl : public QObject {
    Q_OBJECT

    RecordsModel* m_model = nullptr;
    CSortListCtrl* m_list = nullptr;

private slots:
    void init() {
        m_list = new CSortListCtrl;
        m_model = new RecordsModel(m_list);
        m_model->setHeadings(
            RecordsModel::headingsFor("房间地址", "热水费", "押金", "网费", "卫生费", "管理费"));
        for (const char* no : {"10", "9", "100", "2", "30", "4"})
            m_model->appendRow(cells(QString::fromLatin1(no), "1.00"));
        m_list->setRecordsModel(m_model);
        m_list->resize(900, 300);
        m_list->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_list));
    }
    void cleanup() {
        delete m_list;
        m_list = nullptr;
    }

    void headingClicksSortAndReverse() {
        QHeaderView* header = m_list->horizontalHeader();
        const QPoint onNo(header->sectionViewportPosition(RecordColumn::No) + 20, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, onNo);
        QStringList numbers;
        for (int r = 0; r < m_model->rowCount(); ++r)
            numbers << m_model->cell(r, RecordColumn::No);
        QCOMPARE(numbers, (QStringList{"2", "4", "9", "10", "30", "100"}));
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, onNo);
        QCOMPARE(m_model->cell(0, RecordColumn::No), QStringLiteral("100"));
        QVERIFY(!m_model->sortAscending());
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

    void selectionHelpersFollowTheSort() {
        for (int row : {4, 1, 2})
            m_list->selectionModel()->select(m_model->index(row, 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QCOMPARE(m_list->selectedRowsAscending(), (QList<int>{1, 2, 4}));
        m_list->selectAndFocusRow(6); // past the end: nothing stays selected
        QCOMPARE(m_list->firstSelectedRow(), -1);
        m_list->selectAndFocusRow(1); // "9"
        m_model->sortByColumn(RecordColumn::No);
        QCOMPARE(m_list->selectedRowsAscending(), QList<int>{2});
        QCOMPARE(m_model->cell(m_list->currentIndex().row(), RecordColumn::No), QStringLiteral("9"));
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
};

QTEST_MAIN(TestSortListCtrl)
#include "tst_sortlistctrl.moc"
