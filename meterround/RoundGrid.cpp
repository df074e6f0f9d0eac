#include "meterround/RoundGrid.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QTimer>

RoundGrid::RoundGrid(QWidget* parent) : QTableView(parent) {
    setItemDelegate(new RoundCellDelegate(this));
    setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::DoubleClicked |
                    QAbstractItemView::EditKeyPressed);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setTabKeyNavigation(true);
}

void RoundGrid::moveInColumn(int step) {
    const QModelIndex current = currentIndex();
    if (!current.isValid() || !model())
        return;
    for (int row = current.row() + step; row >= 0 && row < model()->rowCount(); row += step) {
        const QModelIndex next = model()->index(row, current.column());
        if (!isRowHidden(row) && (next.flags() & Qt::ItemIsEditable)) {
            setCurrentIndex(next);
            scrollTo(next);
            return;
        }
    }
}

void RoundGrid::focusFirst(int column) {
    if (!model() || model()->rowCount() == 0)
        return;
    setCurrentIndex(model()->index(0, column));
    if (isRowHidden(0) || !(currentIndex().flags() & Qt::ItemIsEditable))
        moveInColumn(1);
}

void RoundGrid::commitEditing() {
    if (state() != QAbstractItemView::EditingState)
        return;
    QWidget* editor = QApplication::focusWidget();
    if (editor && isAncestorOf(editor)) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void RoundGrid::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                            const QList<int>& roles) {
    auto* editor = state() == QAbstractItemView::EditingState
                       ? qobject_cast<QLineEdit*>(QApplication::focusWidget())
                       : nullptr;
    if (!editor || !isAncestorOf(editor)) {
        QTableView::dataChanged(topLeft, bottomRight, roles);
        return;
    }
    const QString typed = editor->text();
    const int cursor = editor->cursorPosition();
    QTableView::dataChanged(topLeft, bottomRight, roles);
    editor->setText(typed);
    editor->setCursorPosition(cursor);
}

void RoundGrid::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Down:
        if (event->modifiers() & ~Qt::KeypadModifier)
            break;
        moveInColumn(1);
        return;
    case Qt::Key_Up:
        if (event->modifiers() & ~Qt::KeypadModifier)
            break;
        moveInColumn(-1);
        return;
    default:
        break;
    }
    QTableView::keyPressEvent(event);
}

RoundCellDelegate::RoundCellDelegate(RoundGrid* grid) : QStyledItemDelegate(grid), m_grid(grid) {
}

QWidget* RoundCellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor))
        line->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9.]*")), line));
    return editor;
}

bool RoundCellDelegate::eventFilter(QObject* object, QEvent* event) {
    auto* editor = qobject_cast<QWidget*>(object);
    if (editor && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool modified = key->modifiers() & ~Qt::KeypadModifier;
        int step = 0;
        if (!modified &&
            (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Down))
            step = 1;
        else if (!modified && key->key() == Qt::Key_Up)
            step = -1;
        if (step != 0) {
            emit commitData(editor);
            emit closeEditor(editor, QAbstractItemDelegate::NoHint);
            m_grid->moveInColumn(step);
            return true;
        }
    }
    return QStyledItemDelegate::eventFilter(object, event);
}
