// The register's dates as stored and listed, and listed dates read back into a picker.

#include "tenants/TenantStatements.h"

#include <QTest>

class TestTenantStatements : public QObject {
    Q_OBJECT

private slots:
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
