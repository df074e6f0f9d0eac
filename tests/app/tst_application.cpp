// A database error that a handler lets pass is reported at the event loop, explained with the
// engine's text below, and the program goes on; every box drops control characters.

#include "app/RentbookApplication.h"
#include "data/DbError.h"
#include "platform/Services.h"

#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

class TestApplication : public QObject {
    Q_OBJECT
private slots:
    void databaseErrorIsReportedAndTheWindowGoesOn() {
        platform::ScopedMessageBoxScript boxes;
        QPushButton button("save");
        int clicks = 0;
        QObject::connect(&button, &QPushButton::clicked, [&] {
            ++clicks;
            throw DbError("no such table: RECEIPT");
        });
        button.show();
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(boxes.texts(), QStringList{"此账本是由其他程序或其他版本创建的，缺少本程序需要的表或列。\n\n"
                                            "详细信息：no such table: RECEIPT"});
        QCOMPARE(boxes.messages()[0].caption, QString("Rentbook"));
        // The button is usable again: the error did not leave it pressed.
        QVERIFY(!button.isDown());
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(clicks, 2);
        QCOMPARE(boxes.texts().size(), 2);
    }

    // Every box of the program drops control characters (tst_autocompletecombo has the cases).
    void boxesDropControlCharacters() {
        QLineEdit box;
        box.show();
        QApplication::clipboard()->setText(QString("tenant") + QChar(0) + "keys");
        box.paste();
        QCOMPARE(box.text(), QString("tenantkeys"));
    }
};

int main(int argc, char** argv) {
    RentbookApplication app(argc, argv);
    TestApplication test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_application.moc"
