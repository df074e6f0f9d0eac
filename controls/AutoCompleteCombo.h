#pragma once

// An editable combo box that completes what the operator types from its own list: after each
// typed character the first entry beginning with the text (letter case ignored) is taken into the
// edit field with the untyped rest selected, so typing on overwrites it. Backspace and Delete
// never complete, until the next other key.
//
// Signals for the owner: editTextEdited() after each change the operator made by typing (with
// the completed text), activated() when an entry is picked from the list. currentIndexChanged()
// also follows completion and is no sign of the operator's choice.

#include <QComboBox>
#include <QStringList>

class QKeyEvent;

class CAutoCompleteCombo : public QComboBox {
    Q_OBJECT

public:
    explicit CAutoCompleteCombo(QWidget* parent = nullptr);

    // Entries stay sorted as the list of a sorted drop-down: by the Chinese collation, letter
    // case ignored.
    void addItemSorted(const QString& text);
    void addItemsSorted(const QStringList& texts);

    // Whether the next edit completes (false after Backspace or Delete).
    bool completionArmed() const { return m_nCompletion != 0; }

signals:
    void editTextEdited(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void noteKey(const QKeyEvent* event);
    void onTextEdited(const QString& text);
    void complete();

    int m_nCompletion = 1;
};
