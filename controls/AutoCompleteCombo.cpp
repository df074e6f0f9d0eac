#include "controls/AutoCompleteCombo.h"

#include <QCollator>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>

namespace {

const QCollator& listCollator() {
    static const QCollator collator = [] {
        QCollator c(QLocale(QLocale::Chinese, QLocale::China));
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    return collator;
}

} // namespace

CAutoCompleteCombo::CAutoCompleteCombo(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    // Our completion is the only one: no completer pop-up, no entry added on Enter.
    setCompleter(nullptr);
    setInsertPolicy(QComboBox::NoInsert);
    lineEdit()->installEventFilter(this);
    connect(lineEdit(), &QLineEdit::textEdited, this, &CAutoCompleteCombo::onTextEdited);
}

void CAutoCompleteCombo::addItemSorted(const QString& text) {
    // Binary search for the first entry after text: equal entries keep the order they came in.
    int lo = 0;
    int hi = count();
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (listCollator().compare(itemText(mid), text) <= 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    insertItem(lo, text);
}

void CAutoCompleteCombo::addItemsSorted(const QStringList& texts) {
    for (const QString& text : texts)
        addItemSorted(text);
}

void CAutoCompleteCombo::noteKey(const QKeyEvent* event) {
    m_nCompletion = (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete) ? 0 : 1;
}

void CAutoCompleteCombo::keyPressEvent(QKeyEvent* event) {
    noteKey(event);
    QComboBox::keyPressEvent(event);
}

bool CAutoCompleteCombo::eventFilter(QObject* watched, QEvent* event) {
    // Keys that reach the edit field without passing the combo box itself.
    if (watched == lineEdit() && event->type() == QEvent::KeyPress)
        noteKey(static_cast<QKeyEvent*>(event));
    return QComboBox::eventFilter(watched, event);
}

void CAutoCompleteCombo::onTextEdited(const QString& text) {
    if (m_nCompletion != 0)
        complete();
    emit editTextEdited(lineEdit() ? lineEdit()->text() : text);
}

void CAutoCompleteCombo::complete() {
    QLineEdit* edit = lineEdit();
    if (!edit)
        return;
    const QString typed = edit->text();
    const qsizetype typedLength = typed.size();
    // Nothing typed is no prefix to complete: cutting the whole text must not bring an entry.
    if (typed.isEmpty())
        return;
    int selStart = edit->cursorPosition();
    int selEnd = selStart;
    if (edit->hasSelectedText()) {
        selStart = edit->selectionStart();
        selEnd = edit->selectionEnd();
    }

    const int index = findText(typed, Qt::MatchStartsWith);
    if (index < 0) {
        // No entry begins with the text: it stays as typed, caret and selection where they were.
        if (edit->text() != typed)
            edit->setText(typed);
        if (selStart != selEnd)
            edit->setSelection(selStart, selEnd - selStart);
        else
            edit->setCursorPosition(selEnd);
        return;
    }
    setCurrentIndex(index);
    const QString completed = itemText(index);
    if (edit->text() != completed)
        edit->setText(completed);
    if (selEnd < typedLength) {
        // The caret was inside the text: the operator's own selection stays.
        if (selStart != selEnd)
            edit->setSelection(selStart, selEnd - selStart);
        else
            edit->setCursorPosition(selEnd);
    } else {
        edit->setSelection(static_cast<int>(typedLength), static_cast<int>(completed.size() - typedLength));
    }
}
