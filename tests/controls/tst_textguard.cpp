// Control characters pasted or committed by an input method into the program's boxes: dropped
// wherever they come in, the caret behind what it was behind; tab and line feed stay, and boxes
// with a validator of their own keep it.

#include "controls/AutoCompleteCombo.h"
#include "controls/TextGuard.h"

#include <QApplication>
#include <QClipboard>
#include <QDoubleSpinBox>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include <memory>

class TestTextGuard : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { GuardTypedText(*qApp); }

    void controlCharactersNeverEnterABox_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("kept");
        const QChar nul(0);
        QTest::newRow("NUL pasted into a line box") << "line"
                                                    << "paste" << QString("tenant") + nul + "keys"
                                                    << "tenantkeys";
        QTest::newRow("Windows line end pasted into a line box") << "line"
                                                                 << "paste"
                                                                 << "a\r\nb"
                                                                 << "a\nb";
        QTest::newRow("tab pasted into a line box") << "line"
                                                    << "paste"
                                                    << "a\tb"
                                                    << "a\tb";
        QTest::newRow("bell, escape, DEL and C1 pasted into the address box")
            << "combo"
            << "paste" << QString("a\x07") + "b\x1b" + "c\x7f" + "d" + QChar(0x85) + "e"
            << "abcde";
        QTest::newRow("NUL from an input method") << "line"
                                                  << "input method" << QString("x") + nul + "y"
                                                  << "xy";
        QTest::newRow("NUL pasted into a plain-text box") << "plain"
                                                          << "paste" << QString("a") + nul + "b\tc\r\nd\x01"
                                                          << "ab\tc\nd";
    }
    void controlCharactersNeverEnterABox() {
        QFETCH(QString, box);
        QFETCH(QString, how);
        QFETCH(QString, text);
        QFETCH(QString, kept);
        std::unique_ptr<QWidget> widget;
        QLineEdit* line = nullptr;
        QPlainTextEdit* plain = nullptr;
        if (box == "plain") {
            widget = std::make_unique<QPlainTextEdit>();
            plain = static_cast<QPlainTextEdit*>(widget.get());
        } else if (box == "combo") {
            widget = std::make_unique<CAutoCompleteCombo>();
            line = static_cast<CAutoCompleteCombo*>(widget.get())->lineEdit();
        } else {
            widget = std::make_unique<QLineEdit>();
            line = static_cast<QLineEdit*>(widget.get());
        }
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

QTEST_MAIN(TestTextGuard)
#include "tst_textguard.moc"
