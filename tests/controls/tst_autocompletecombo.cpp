// The auto-completing combo box typed into as an operator would: completion with the untyped
// rest selected, Backspace and Delete that never complete, text that matches nothing, editing
// in the middle, letter case, and the signal the owner runs its prefill on.

#include "controls/AutoCompleteCombo.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

class TestAutoCompleteCombo : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<CAutoCompleteCombo> makeCombo(const QStringList& items) {
        auto combo = std::make_unique<CAutoCompleteCombo>();
        combo->addItemsSorted(items);
        combo->setCurrentIndex(-1);
        combo->show();
        combo->activateWindow();
        combo->setFocus();
        return combo;
    }

    static QString selected(const CAutoCompleteCombo& combo) { return combo.lineEdit()->selectedText(); }

    // Key presses carrying any text, Chinese included (keyClicks knows only ASCII).
    static void type(QWidget* widget, const QString& text) {
        for (const QChar c : text)
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }

private slots:
    void typingCompletes_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("selection");
        QTest::newRow("first entry") << QString("3") << QString("301") << QString("01");
        QTest::newRow("letter case ignored") << QString("b") << QString("B-101") << QString("-101");
        QTest::newRow("Chinese") << QString("花园") << QString("花园路1号") << QString("路1号");
        QTest::newRow("no match") << QString("4") << QString("4") << QString();
        QTest::newRow("match lost") << QString("3x") << QString("3x") << QString();
    }
    void typingCompletes() {
        QFETCH(QString, typed);
        QFETCH(QString, text);
        QFETCH(QString, selection);
        auto combo = makeCombo({"302", "301", "B-101", "花园路1号"});
        type(combo.get(), typed);
        QCOMPARE(combo->currentText(), text);
        QCOMPARE(selected(*combo), selection);
        if (selection.isEmpty())
            QCOMPARE(combo->lineEdit()->cursorPosition(), int(typed.size()));
    }

    void typingOverwritesTheCompletedRest() {
        auto combo = makeCombo({"301", "302"});
        QTest::keyClicks(combo.get(), "3");
        QCOMPARE(combo->currentText(), QString("301"));
        QTest::keyClicks(combo.get(), "0");
        QCOMPARE(combo->currentText(), QString("301"));
        QCOMPARE(selected(*combo), QString("1"));
        QTest::keyClicks(combo.get(), "2");
        QCOMPARE(combo->currentText(), QString("302"));
        QCOMPARE(selected(*combo), QString());
        QCOMPARE(combo->currentIndex(), 1);
    }

    void backspaceDoesNotComplete_data() {
        QTest::addColumn<int>("key");
        QTest::newRow("Backspace") << int(Qt::Key_Backspace);
        QTest::newRow("Delete") << int(Qt::Key_Delete);
    }
    void backspaceDoesNotComplete() {
        QFETCH(int, key);
        auto combo = makeCombo({"301", "302"});
        QTest::keyClicks(combo.get(), "3");
        // The selected rest goes, and nothing comes back.
        QTest::keyClick(combo.get(), Qt::Key(key));
        QCOMPARE(combo->currentText(), QString("3"));
        QTest::keyClick(combo.get(), Qt::Key_Backspace);
        QCOMPARE(combo->currentText(), QString());
        // The next other key completes again.
        QTest::keyClicks(combo.get(), "30");
        QCOMPARE(combo->currentText(), QString("301"));
        QCOMPARE(selected(*combo), QString("1"));
    }

    void noMatchKeepsTextAndCaret() {
        auto combo = makeCombo({"301", "302"});
        QTest::keyClicks(combo.get(), "4");
        QTest::keyClick(combo.get(), Qt::Key_Home);
        QTest::keyClicks(combo.get(), "1");
        QCOMPARE(combo->currentText(), QString("14"));
        QCOMPARE(combo->lineEdit()->cursorPosition(), 1);
        QVERIFY(!combo->lineEdit()->hasSelectedText());
    }

    void editingInTheMiddleKeepsTheSelection() {
        auto combo = makeCombo({"301", "302", "3501"});
        QTest::keyClicks(combo.get(), "3502");
        // Select "50" and type "0": "302" is an entry, completed without moving the selection.
        combo->lineEdit()->setSelection(1, 2);
        QTest::keyClicks(combo.get(), "0");
        QCOMPARE(combo->currentText(), QString("302"));
        QCOMPARE(combo->lineEdit()->cursorPosition(), 2);
        // "30" with the caret after "3", type "5": "350" completes to "3501", but the caret
        // stays where the operator typed and nothing is selected.
        combo->lineEdit()->setText("30");
        combo->lineEdit()->setCursorPosition(1);
        QTest::keyClicks(combo.get(), "5");
        QCOMPARE(combo->currentText(), QString("3501"));
        QCOMPARE(combo->lineEdit()->cursorPosition(), 2);
        QVERIFY(!combo->lineEdit()->hasSelectedText());
    }

    void onlyTypingIsSignalled() {
        auto combo = makeCombo({"301", "302"});
        QSignalSpy edited(combo.get(), &CAutoCompleteCombo::editTextEdited);
        QTest::keyClicks(combo.get(), "3");
        QCOMPARE(edited.size(), 1);
        QCOMPARE(edited.at(0).at(0).toString(), QString("301")); // the completed text
        // Text set by the program, as when a stored receipt is opened, is no typing.
        combo->setEditText("302");
        combo->setCurrentIndex(0);
        QCOMPARE(edited.size(), 1);
    }

    void enterAddsNothing() {
        auto combo = makeCombo({"301"});
        QTest::keyClicks(combo.get(), "999");
        QTest::keyClick(combo.get(), Qt::Key_Return);
        QCOMPARE(combo->count(), 1);
        QCOMPARE(combo->currentText(), QString("999"));
    }

    void entriesStaySorted() {
        CAutoCompleteCombo combo;
        combo.addItemsSorted({"张三", "b-2", "李四", "A-1", "301", "10", "9", "王五", "a-0"});
        QStringList order;
        for (int i = 0; i < combo.count(); ++i)
            order << combo.itemText(i);
        // The Chinese collation: digits as text, Chinese names by their reading (李 li, 王 wang,
        // 张 zhang, which is not their order in Unicode), then Latin letters, letter case ignored.
        QCOMPARE(order, (QStringList{"10", "301", "9", "李四", "王五", "张三", "a-0", "A-1", "b-2"}));
        // Entries equal but for letter case keep the order they came in.
        combo.addItemSorted("A-0");
        QCOMPARE(combo.itemText(6), QString("a-0"));
        QCOMPARE(combo.itemText(7), QString("A-0"));
    }
};

QTEST_MAIN(TestAutoCompleteCombo)
#include "tst_autocompletecombo.moc"
