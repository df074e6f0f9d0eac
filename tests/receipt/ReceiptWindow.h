#pragma once

// Reaching into the main window by its children's names: the form's boxes, the records list and
// its selection.

#include "records/RecordsModel.h"
#include "records/SortListCtrl.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>

inline QLineEdit* box(QWidget& w, const char* name) {
    auto* e = w.findChild<QLineEdit*>(QString::fromLatin1(name));
    if (!e)
        qFatal("no box %s", name);
    return e;
}

inline QComboBox* combo(QWidget& w, const char* name) {
    return w.findChild<QComboBox*>(QString::fromLatin1(name));
}

// The texts of several boxes, to be compared as one table.
inline QStringList texts(QWidget& w, std::initializer_list<const char*> names) {
    QStringList out;
    for (const char* name : names)
        out << box(w, name)->text();
    return out;
}

inline CSortListCtrl* list(QWidget& w) {
    return w.findChild<CSortListCtrl*>("records");
}

// Selects the list's rows given (by position), and nothing else.
inline void selectRows(CSortListCtrl* l, const QList<int>& rows) {
    l->clearSelection();
    for (int r : rows)
        l->selectionModel()->select(l->model()->index(r, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

// One column of the list, top to bottom.
inline QStringList column(const RecordsModel* model, int c) {
    QStringList out;
    for (int r = 0; r < model->rowCount(); ++r)
        out << model->cell(r, c);
    return out;
}

// The first cell of each row.
inline QStringList firstCells(const QList<QStringList>& rows) {
    QStringList out;
    for (const QStringList& r : rows)
        out << r.value(0);
    return out;
}
