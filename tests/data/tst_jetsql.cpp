// Translation of the ledger dialect: what must change and what must not.

#include "data/DbError.h"
#include "data/JetSql.h"

#include <QTest>

class TestJetSql : public QObject {
    Q_OBJECT
private slots:
    void translate_data() {
        QTest::addColumn<QString>("jet");
        QTest::addColumn<QString>("sqlite");
        const auto row = [](const char* tag, const QString& jet, const QString& sqlite) {
            QTest::newRow(tag) << jet << sqlite;
        };
        row("nested top", "select * from (select top 20 * from RECEIPT order by id desc) order by id asc",
            "select * from (select * from RECEIPT order by id desc limit 20) order by id asc");
        row("top at end", "select top 1 * from RECEIPT order by id desc",
            "select * from RECEIPT order by id desc limit 1");
        row("date literal", "where Rdate between #2026-3-3 00:00:00# and #2026-3-31 23:59:59#",
            "where Rdate between '2026-03-03 00:00:00' and '2026-03-31 23:59:59'");
        row("short time", "#2026-12-1 0:0:0#", "'2026-12-01 00:00:00'");
        row("delete star", "delete * from client where id = 3", "delete from client where id = 3");
        row("quoted hash", "select * from t where a = '#1# top 5' and b = #2026-1-1#",
            "select * from t where a = '#1# top 5' and b = '2026-01-01 00:00:00'");
        // Left as they are.
        for (const char* same : {"values('it''s #x#')", "update [USER_SET] set [set2]='a' where [id]=1",
                                 "select stopped from t"})
            row(same, QString::fromUtf8(same), QString::fromUtf8(same));
    }
    void translate() {
        QFETCH(QString, jet);
        QFETCH(QString, sqlite);
        QCOMPARE(jet::translate(jet), sqlite);
    }

    void badDateLiteralThrows() {
        QVERIFY_THROWS_EXCEPTION(DbError,
                                 jet::translate(QStringLiteral("select * from t where d = #tomorrow#")));
        QVERIFY_THROWS_EXCEPTION(DbError,
                                 jet::translate(QStringLiteral("select * from t where d = #2026-1-1")));
    }

    void numbersForStatements_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << 12.5 << "12.50";
        QTest::newRow("rounded") << 3.456 << "3.46";
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << "0.00";
        QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << "0.00";
        QTest::newRow("negative zero") << -0.001 << "0.00";
    }
    void numbersForStatements() {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(jet::number2(value), text);
    }
};

QTEST_GUILESS_MAIN(TestJetSql)
#include "tst_jetsql.moc"
