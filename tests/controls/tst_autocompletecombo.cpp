// The auto-completing combo box typed into as an operator would: completion with the untyped
// rest selected, Backspace and Delete that never complete, text that matches nothing, editing
// in the middle, letter case, and the signal the owner runs its prefill on. Control characters
// pasted or committed by an input method into the program's boxes: dropped wherever they come in,
// the caret behind what it was behind; tab and line feed stay, and boxes with a validator of
// their own keep it.

#include "controls/AutoCompleteCombo.h"
#include "controls/TextGuard.h"
#include "tests/support/DataColumns.h"

#include <QApplication>
#include <QClipboard>
#include <QDoubleSpinBox>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <memory>

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
    // Keys typed into an empty box (\b is Backspace, \x7f Delete, \x01 Home, \r Return, \x02 Ctrl+A,
    // \x18 Ctrl+X, \x1c Left, \x1d Right, \x1e Shift+Right): the text, the completed rest selected,
    // and the caret.
    void typingCompletes_data() {
        columns<QString, QString, QString, int>("keys", "text", "selection", "cursor");
        QTest::newRow("first entry") << QString("3") << QString("301") << QString("01") << 3;
        QTest::newRow("letter case ignored") << QString("b") << QString("B-101") << QString("-101") << 5;
        QTest::newRow("Chinese") << QString("花园") << QString("花园路1号") << QString("路1号") << 5;
        QTest::newRow("no match") << QString("4") << QString("4") << QString() << 1;
        QTest::newRow("match lost") << QString("3x") << QString("3x") << QString() << 2;
        QTest::newRow("typing over the rest") << QString("30") << QString("301") << QString("1") << 3;
        QTest::newRow("typed to the end") << QString("302") << QString("302") << QString() << 3;
        QTest::newRow("Backspace takes the rest") << QString("3\b") << QString("3") << QString() << 1;
        QTest::newRow("Delete takes the rest") << QString("3\x7f") << QString("3") << QString() << 1;
        QTest::newRow("nothing comes back") << QString("3\x7f\b") << QString() << QString() << 0;
        QTest::newRow("the next key completes") << QString("3\b\b30") << QString("301") << QString("1") << 3;
        QTest::newRow("no match, typed at Home") << QString("4\x01") + "1" << QString("14") << QString() << 1;
        QTest::newRow("Enter adds nothing") << QString("999\r") << QString("999") << QString() << 3;
        // Ctrl+A, Ctrl+X: an empty box is no prefix of any entry.
        QTest::newRow("cutting it all brings nothing back")
            << QString("3\x02\x18") << QString() << QString() << 0;
        // "50" of "3502" selected and typed over with "0": "302" is an entry, the caret stays.
        QTest::newRow("editing in the middle")
            << QString("3502\x01\x1d\x1e\x1e") + "0" << QString("302") << QString() << 2;
        // "5" typed after the "3" of "30": "3501" completes, the caret stays where it was typed.
        QTest::newRow("typing in the middle")
            << QString("30\x7f\x1c") + "5" << QString("3501") << QString() << 2;
    }
    void typingCompletes() {
        auto [keys, text, selection, cursor] =
            fetch<QString, QString, QString, int>("keys", "text", "selection", "cursor");
        auto combo = makeCombo({"302", "301", "B-101", "花园路1号", "3501"});
        for (const QChar c : keys) {
            const int special = QString("\b\x7f\x01\r\x02\x18\x1c\x1d\x1e").indexOf(c);
            if (special >= 0)
                QTest::keyClick(combo.get(),
                                std::array{Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Home, Qt::Key_Return,
                                           Qt::Key_A, Qt::Key_X, Qt::Key_Left, Qt::Key_Right,
                                           Qt::Key_Right}[special],
                                special == 4 || special == 5 ? Qt::ControlModifier
                                : special == 8               ? Qt::ShiftModifier
                                                             : Qt::NoModifier);
            else
                type(combo.get(), c);
        }
        QCOMPARE(combo->currentText(), text);
        QCOMPARE(selected(*combo), selection);
        QCOMPARE(combo->lineEdit()->cursorPosition(), cursor);
        QCOMPARE(combo->count(), 5);
        const int entry = combo->findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive);
        if (entry >= 0) // the index follows a completed entry
            QCOMPARE(combo->currentIndex(), entry);
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

    void initTestCase() { GuardTypedText(*qApp); }

    void controlCharactersNeverEnterABox_data() {
        columns<QString, QString, QString, QString>("box", "how", "text", "kept");
        const QChar nul(0);
        QTest::newRow("NUL pasted into a line box")
            << QString("line") << QString("paste") << QString("tenant") + nul + "keys"
            << QString("tenantkeys");
        QTest::newRow("Windows line end pasted into a line box")
            << QString("line") << QString("paste") << QString("a\r\nb") << QString("a\nb");
        QTest::newRow("tab pasted into a line box")
            << QString("line") << QString("paste") << QString("a\tb") << QString("a\tb");
        QTest::newRow("bell, escape, DEL and C1 pasted into the address box")
            << QString("combo") << QString("paste")
            << QString("a\x07") + "b\x1b" + "c\x7f" + "d" + QChar(0x85) + "e" << QString("abcde");
        QTest::newRow("NUL from an input method")
            << QString("line") << QString("input method") << QString("x") + nul + "y" << QString("xy");
        QTest::newRow("NUL pasted into a plain-text box")
            << QString("plain") << QString("paste") << QString("a") + nul + "b\tc\r\nd\x01"
            << QString("ab\tc\nd");
    }
    void controlCharactersNeverEnterABox() {
        auto [box, how, text, kept] = fetch<QString, QString, QString, QString>("box", "how", "text", "kept");
        std::unique_ptr<QWidget> widget;
        if (box == "plain")
            widget = std::make_unique<QPlainTextEdit>();
        else if (box == "combo")
            widget = std::make_unique<CAutoCompleteCombo>();
        else
            widget = std::make_unique<QLineEdit>();
        auto* plain = qobject_cast<QPlainTextEdit*>(widget.get());
        auto* combo = qobject_cast<CAutoCompleteCombo*>(widget.get());
        QLineEdit* line = combo ? combo->lineEdit() : qobject_cast<QLineEdit*>(widget.get());
        widget->show();
        QVERIFY(QTest::qWaitForWindowExposed(widget.get()));
        QApplication::clipboard()->setText(text);
        if (plain) {
            plain->setPlainText("[]");
            QTextCursor cursor = plain->textCursor();
            cursor.setPosition(1);
            plain->setTextCursor(cursor);
            plain->paste();
            QCOMPARE(plain->toPlainText(), "[" + kept + "]");
            return;
        }
        line->setText("[]");
        line->setCursorPosition(1);
        if (how == "paste") {
            line->paste();
        } else {
            QInputMethodEvent commit;
            commit.setCommitString(text);
            QApplication::sendEvent(line, &commit);
        }
        QCOMPARE(line->text(), "[" + kept + "]");
        QCOMPARE(line->cursorPosition(), 1 + kept.size());
    }

    void boxesWithTheirOwnValidatorKeepIt() {
        QDoubleSpinBox spin;
        spin.show();
        QVERIFY(QTest::qWaitForWindowExposed(&spin));
        const QLineEdit* inner = spin.findChild<QLineEdit*>();
        QVERIFY(inner && inner->validator());
        QVERIFY(!qobject_cast<const CControlCharFilter*>(inner->validator()));
    }
};

QTEST_MAIN(TestAutoCompleteCombo)
#include "tst_autocompletecombo.moc"
