// No statement outside the data layer has a value formatted into its text: values are bound. The
// sources are read as text; every finding is named by file and line.

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

class TestBoundValues : public QObject {
    Q_OBJECT
private slots:
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

QTEST_GUILESS_MAIN(TestBoundValues)
#include "tst_boundvalues.moc"
