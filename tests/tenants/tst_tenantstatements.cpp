// The register's statements on a ledger of either engine: what a search finds, what an insert,
// update and delete store; the register's dates as stored and listed, and listed dates read back
// into a picker.

#include "tenants/TenantStatements.h"

#include "data/Database.h"
#include "tests/support/TestLedger.h"

#include <QTest>

namespace {

QStringList namesFound(const TenantFields& search) {
    Database db;
    if (!db.open())
        throw DbError(db.problemText());
    QStringList names;
    for (Recordset rs = db.query(BuildTenantQuery(search)); !rs.isEOF(); rs.moveNext())
        names << rs.field(ClientColumn::Name);
    return names;
}

TenantValues tenant(const QString& name, const QString& company) {
    TenantValues v;
    v.text.name = name;
    v.text.company = company;
    v.deposit = "500.00";
    v.rent = 1200.456;
    v.dateFrom = "2026-01-05 00:00:00";
    v.dateTo = "2026-12-31 00:00:00";
    return v;
}

} // namespace

class TestTenantStatements : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data() { TestLedger::addEngineRows(); }

    // Every typed character stands for itself: LIKE's wildcards, the escape mark and quotes; letters
    // A to Z match in either case, as the file's engine compares them.
    void searchFindsTheTextAnywhere_data() {
        QTest::addColumn<QString>("company");
        QTest::addColumn<QStringList>("found");
        QTest::newRow("plain") << "红星" << QStringList{"红星厂", "老红星"};
        QTest::newRow("percent") << "50%" << QStringList{"50%折扣"};
        QTest::newRow("underscore") << "a_b" << QStringList{"a_b店"};
        QTest::newRow("backslash") << "c\\d" << QStringList{"c\\d行"};
        QTest::newRow("quote") << "O'Neil" << QStringList{"O'Neil商行"};
        QTest::newRow("other letter case") << "o'neil" << QStringList{"O'Neil商行"};
        QTest::newRow("letter case beyond A to Z") << "ä" << QStringList{"ä记"};
        QTest::newRow("nothing") << "无此" << QStringList{};
        QTest::newRow("empty: every tenant")
            << "" << QStringList{"红星厂", "老红星", "50%折扣",    "5000折扣", "a_b店",
                                 "axb店",  "c\\d行", "O'Neil商行", "Ä记",      "ä记"};
    }
    void searchFindsTheTextAnywhere() {
        QFETCH(QString, company);
        QFETCH(QStringList, found);
        TestLedger ledger;
        Database db;
        QVERIFY(db.open());
        for (const char* c : {"红星厂", "老红星", "50%折扣", "5000折扣", "a_b店", "axb店", "c\\d行",
                              "O'Neil商行", "Ä记", "ä记"})
            InsertTenant(db, tenant(QString::fromUtf8(c), QString::fromUtf8(c)));
        TenantFields search;
        search.company = company;
        QCOMPARE(namesFound(search), found);
    }

    void insertUpdateDeleteStoreWhatTheyShould() {
        TestLedger ledger;
        Database db;
        QVERIFY(db.open());
        const qint64 first = InsertTenant(db, tenant("张三", "甲"));
        // The key handed back is the new tenant's, not the largest one.
        ledger.exec("insert into client (id, name) values (100, '旁人')");
        TenantValues li = tenant("李四", "丙");
        li.text.qq = "%1'%2";
        const qint64 second = InsertTenant(db, li);
        QCOMPARE(ledger.row(QString("select name from client where id = %1").arg(first)),
                 QStringList{"张三"});
        QCOMPARE(ledger.row(QString("select name from client where id = %1").arg(second)),
                 QStringList{"李四"});
        li.text.tel = "021-555";
        li.rent = 1150.5;
        li.dateTo = "";
        QCOMPARE(db.execute(BuildTenantUpdate(li, second)), 1);
        QCOMPARE(db.execute(BuildTenantUpdate(li, 999)), 0);
        QCOMPARE(
            ledger.row(QString("select name, tel, qq, company, row1, zuMoney, dateFrom, dateTo from client "
                               "where id = %1")
                           .arg(second)),
            (QStringList{"李四", "021-555", "%1'%2", "丙", "500.00", "1150.5", "2026-01-05 00:00:00", ""}));
        QCOMPARE(db.execute(BuildTenantDelete(first)), 1);
        QCOMPARE(ledger.rows("select name from client order by name"),
                 (QList<QStringList>{{"旁人"}, {"李四"}}));
    }

    void listedDatesReadBack_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("listed");
        QTest::addColumn<QDate>("picked");
        QTest::newRow("stored form") << QString("2026-01-05 00:00:00") << "2026-01-05" << QDate(2026, 1, 5);
        QTest::newRow("end of year") << QString("2026-12-31 00:00:00") << "2026-12-31" << QDate(2026, 12, 31);
        QTest::newRow("no time") << QString("2026-07-09") << "2026-07-09" << QDate(2026, 7, 9);
        QTest::newRow("none") << QString() << "" << QDate();
        QTest::newRow("no date") << QString("abc def") << "abc" << QDate();
    }
    void listedDatesReadBack() {
        QFETCH(QString, stored);
        QFETCH(QString, listed);
        QFETCH(QDate, picked);
        QCOMPARE(TenantListDate(stored), listed);
        QCOMPARE(ParseTenantListDate(listed), picked);
        if (picked.isValid())
            QCOMPARE(TenantListDate(TenantDateText(picked)), listed);
    }
};

QTEST_MAIN(TestTenantStatements)
#include "tst_tenantstatements.moc"
