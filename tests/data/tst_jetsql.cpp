// Translation of the ledger dialect: what must change and what must not, for either engine. No
// statement outside the data layer has a value formatted into its text: values are bound. The
// sources are read as text; every finding is named by file and line.

#include "data/DbError.h"
#include "data/JetSql.h"
#include "tests/support/DataColumns.h"
#include "tests/support/DataRows.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

namespace {

// The code of a line: without a // comment, and character literals blanked (a '"' is no string).
QString codeOf(const QString& line) {
    QString code;
    bool inString = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (inString && c == u'\\' && i + 1 < line.size()) {
            code += c;
            code += line[++i];
            continue;
        }
        if (c == u'"')
            inString = !inString;
        else if (!inString && c == u'/' && line.mid(i, 2) == QLatin1String("//"))
            break;
        else if (!inString && c == u'\'') {
            const qsizetype close =
                line.indexOf(u'\'', i + (line.mid(i + 1, 1) == QLatin1String("\\") ? 3 : 2));
            if (close > i) {
                code += QLatin1String("' '");
                i = close;
                continue;
            }
        }
        code += c;
    }
    return code;
}

// Findings of one file: jet::quote anywhere, and a statement (text up to its semicolon) whose
// string literals hold SQL and that formats a value with arg() or asprintf().
QStringList findingsIn(const QString& path, const QString& name) {
    static const QRegularExpression literal(QStringLiteral("\"((?:[^\"\\\\]|\\\\.)*)\""));
    static const QRegularExpression sql(QStringLiteral("\\b(select|insert|update|delete|where)\\b"),
                                        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression formatting(QStringLiteral("\\.arg\\(|asprintf\\("));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {name + QStringLiteral(": cannot be read")};
    QStringList findings;
    QString statement;
    int start = 0;
    int number = 0;
    while (!file.atEnd()) {
        const QString code = codeOf(QString::fromUtf8(file.readLine()));
        ++number;
        if (code.contains(QLatin1String("jet::quote")))
            findings << QStringLiteral("%1:%2: jet::quote").arg(name).arg(number);
        if (statement.isEmpty())
            start = number;
        statement += code;
        const QString end = code.trimmed();
        if (!end.endsWith(u';') && !end.endsWith(u'{') && !end.endsWith(u'}'))
            continue;
        bool holdsSql = false;
        for (auto m = literal.globalMatch(statement); m.hasNext() && !holdsSql;)
            holdsSql = sql.match(m.next().captured(1)).hasMatch();
        if (holdsSql && formatting.match(statement).hasMatch())
            findings << QStringLiteral("%1:%2: a value formatted into a statement").arg(name).arg(start);
        statement.clear();
    }
    return findings;
}

} // namespace

class TestJetSql : public QObject {
    Q_OBJECT
private slots:
    // One statement, as the file's engine and as the server gets it.
    void translate_data() {
        columns<QString, QString, QString>("jet", "sqlite", "postgresql");
        const auto row = [](const char* tag, const QString& jet, const QString& sqlite,
                            const QString& postgresql) { QTest::newRow(tag) << jet << sqlite << postgresql; };
        row("nested top", "select * from (select top 20 * from RECEIPT order by id desc) order by id asc",
            "select * from (select * from RECEIPT order by id desc limit 20) order by id asc",
            "select * from (select * from RECEIPT order by id desc limit 20) as subquery1 order by id asc");
        row("top at end", "select top 1 * from RECEIPT order by id desc",
            "select * from RECEIPT order by id desc limit 1",
            "select * from RECEIPT order by id desc limit 1");
        row("top after distinct", "select distinct top 5 [NO] from RECEIPT",
            "select distinct [NO] from RECEIPT limit 5", "select distinct \"no\" from RECEIPT limit 5");
        row("delete star", "delete * from client where id = 3", "delete from client where id = 3",
            "delete from client where id = 3");
        // The rest the file's engine takes as they stand; the server's form is the last column.
        const auto server = [&row](const char* tag, const QString& jet, const QString& postgresql) {
            row(tag, jet, jet, postgresql);
        };
        // Values are bound: the server numbers the places they go.
        server("placeholders", "update t set a = ?, [b] = ? where id in (?, ?)",
               "update t set a = $1, \"b\" = $2 where id in ($3, $4)");
        server("marks in quoted text and names", "select '? top 5', \"?\", [x?] from t where a = ?",
               "select '? top 5', \"?\", \"x?\" from t where a = $1");
        server("placeholder inside a cast", "select ?, cast(? as real), ?",
               "select $1, rentbook_real($2), $3");
        server("the server's dollar-quoted text",
               "as $fn$ select [x] from user where a like ?; $fn$ and b = ?",
               "as $fn$ select [x] from user where a like ?; $fn$ and b = $1");
        // Names: bracketed ones lower-cased and quoted, the table USER quoted wherever it stands.
        server("bracketed names", "update [USER_SET] set [set2]='a' where [id]=1",
               "update \"user_set\" set \"set2\"='a' where \"id\"=1");
        server("bracketed keyword", "select [NO], [Rdate] from RECEIPT",
               "select \"no\", \"rdate\" from RECEIPT");
        server("bracketed user", "select * from [USER] where [userName] = 'x'",
               "select * from \"user\" where \"username\" = 'x'");
        server("bare user", "insert into USER (userName) values('user')",
               "insert into \"user\" (userName) values('user')");
        // Text comparisons ignore the letter case of A to Z, as the file's engine does.
        server("like", "where [NO] like '%1%' and Remark LIKE 'a%'",
               "where \"no\" ilike '%1%' and Remark ilike 'a%'");
        server("like with escape", "where [name] like '%50\\%%' escape '\\'",
               "where \"name\" ilike '%50\\%%' escape '\\'");
        // Casts read text as the file's engine does.
        server("cast as real", "sum(cast([standby2] as real) - cast([standby1] as REAL))",
               "sum(rentbook_real(\"standby2\") - rentbook_real(\"standby1\"))");
        server("cast as integer, nested", "max(0, cast( ([standby6]) As  Integer ))",
               "max(0, rentbook_integer((\"standby6\")))");
        server("cast of a cast", "cast(cast(x as integer) as real)", "rentbook_real(rentbook_integer(x))");
        server("cast with 'as' in its text", "cast('as' || [a] as real)", "rentbook_real('as' || \"a\")");
        // A subquery in a from clause is named where it has no name.
        server("unnamed subquery, where", "select * from (select * from RECEIPT where a = 1) where b = 2",
               "select * from (select * from RECEIPT where a = 1) as subquery1 where b = 2");
        server("unnamed subquery at the end", "select count(*) from (select [NO] from RECEIPT)",
               "select count(*) from (select \"no\" from RECEIPT) as subquery1");
        server("two subqueries", "select * from (select 1) union all select * from (select 2)",
               "select * from (select 1) as subquery1 union all select * from (select 2) as subquery2");
        // Left as they are by either engine: a word that only begins like a name or a keyword, a
        // collation other than nocase, a cast to text, a named subquery, parentheses that are no
        // subquery, and text.
        for (const char* same :
             {"select username, users from t", "where a = 'x' collate binary", "cast(100000 + n as text)",
              "select dates, date from t", "select r.* from (select * from RECEIPT) r order by id",
              "select * from t where id in (select id from u)", "values('it''s #x#')",
              "select stopped from t",
              "values('[Remark] like ''%a%'' from (select top 3 user) cast(x as real)')",
              "values('line\none', \"O\"\"Neil [x]\")"})
            row(same, QString::fromUtf8(same), QString::fromUtf8(same), QString::fromUtf8(same));
    }
    void translate() {
        const auto [jet, sqlite, postgresql] =
            fetch<QString, QString, QString>("jet", "sqlite", "postgresql");
        QCOMPARE(jet::translate(jet), sqlite);
        QCOMPARE(jet::translate(jet, jet::Dialect::SQLite), sqlite);
        QCOMPARE(jet::translate(jet, jet::Dialect::PostgreSQL), postgresql);
    }

    // Dates the program writes go to a date column in its one stored form; text that is no date
    // is refused.
    void dateParameters_data() {
        columns<QString, QString>("text", "stored"); // stored empty: refused
        row("range start", "2026-3-3 00:00:00", "2026-03-03 00:00:00");
        row("range end", "2026-3-31 23:59:59", "2026-03-31 23:59:59");
        row("short time", "2026-12-1 0:0:0", "2026-12-01 00:00:00");
        row("slashes and blanks", "2026/12/6  9: 5", "2026-12-06 09:05:00");
        row("day only", "2026-1-1", "2026-01-01 00:00:00");
        row("words", "tomorrow", "");
        row("no such day", "2026-2-30", "");
    }
    void dateParameters() {
        const auto [text, stored] = fetch<QString, QString>("text", "stored");
        if (stored.isEmpty())
            QVERIFY_THROWS_EXCEPTION(DbError, jet::dateParameter(text));
        else
            QCOMPARE(jet::dateParameter(text), stored);
    }

    void numbersForStatements_data() {
        columns<double, QString>("value", "text");
        QTest::newRow("plain") << 12.5 << "12.50";
        QTest::newRow("rounded") << 3.456 << "3.46";
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << "0.00";
        QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << "0.00";
        QTest::newRow("negative zero") << -0.001 << "0.00";
    }
    void numbersForStatements() {
        const auto [value, text] = fetch<double, QString>("value", "text");
        QCOMPARE(jet::number2(value), text);
    }

    void noValueIsFormattedIntoAStatement() {
        const QString root = QStringLiteral(RENTBOOK_SOURCE_DIR);
        QStringList findings;
        int files = 0;
        QDirIterator it(root, {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QString name = path.mid(root.size() + 1);
            const QString top = name.section(u'/', 0, 0);
            if (top == QLatin1String("data") || top == QLatin1String("tests") || top.startsWith(u'.') ||
                top.startsWith(QLatin1String("build")) || !name.contains(u'/'))
                continue;
            ++files;
            findings += findingsIn(path, name);
        }
        QVERIFY2(files > 50, "the sources were not found");
        QVERIFY2(findings.isEmpty(), qPrintable(findings.join(u'\n')));
    }
};

QTEST_GUILESS_MAIN(TestJetSql)
#include "tst_jetsql.moc"
