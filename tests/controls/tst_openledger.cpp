// Opening a ledger for a window's action: what cannot be opened is told once, in the program's
// words, and left as it was.

#include "controls/OpenLedger.h"
#include "data/Database.h"
#include "platform/Services.h"
#include "tests/support/DataColumns.h"
#include "tests/support/TestLedger.h"

#include <QFile>
#include <QTest>

class TestOpenLedger : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data() { TestLedger::addEngineRows(); }

    // Whatever is no ledger is refused like a missing one, and stays as it was: a missing file
    // is never created. A ledger of a newer build is refused on every connection, by name. (Another
    // program's database: tst_startup.)
    void fileThatIsNoLedgerDoesNotOpen_data() {
        columns<QString, QString>("kind", "message");
        const QString cannot = "不能打开数据库";
        QTest::newRow("missing") << QString("missing") << cannot;
        QTest::newRow("garbage") << QString("garbage") << cannot;
        QTest::newRow("zero bytes") << QString("empty") << cannot;
        QTest::newRow("ledger missing a table") << QString("partial") << cannot;
        QTest::newRow("newer version")
            << QString("newer") << QString("此账本由更新版本的程序创建，本程序不能打开它。");
    }
    void fileThatIsNoLedgerDoesNotOpen() {
        auto [kind, message] = fetch<QString, QString>("kind", "message");
        if (TestLedger::currentEngine() == LedgerEngine::Server)
            QSKIP("the server's cases: serverLedgerThatCannotBeUsedIsNamed");
        TestLedger ledger;
        const QString junk = ledger.dir() + "/junk.rbk";
        if (kind == "garbage" || kind == "empty") {
            QFile f(junk);
            QVERIFY(f.open(QIODevice::WriteOnly));
            if (kind == "garbage")
                f.write(QByteArray("Standard Jet DB").repeated(400));
        } else if (kind != "missing") {
            QVERIFY(QFile::copy(ledger.path(), junk));
            Database raw(junk);
            QVERIFY(raw.open());
            raw.execute(kind == "newer" ? QString("pragma user_version = 99")
                                        : QString("drop table remark_items"));
        }
        const auto contents = [&junk] {
            QFile f(junk);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
        };
        const QByteArray before = contents();

        platform::ScopedMessageBoxScript boxes;
        Database db(junk);
        QVERIFY(!OpenLedger(db));
        QCOMPARE(boxes.texts().size(), 1);
        if (kind == "newer")
            QVERIFY(boxes.texts()[0].startsWith(message) && boxes.texts()[0].contains(junk));
        else
            QCOMPARE(boxes.texts()[0], message);
        QCOMPARE(boxes.messages().first().caption, QString("Rentbook"));
        QCOMPARE(contents(), before);
    }
};

QTEST_GUILESS_MAIN(TestOpenLedger)
#include "tst_openledger.moc"
