#include "data/JetSql.h"
#include "data/DbError.h"

#include <QRegularExpression>

#include <cmath>
#include <vector>

namespace jet {

std::optional<QDateTime> parseDate(const QString& text) {
    static const QRegularExpression re(QStringLiteral(
        R"(^\s*(\d{1,4})\s*[-/]\s*(\d{1,2})\s*[-/]\s*(\d{1,2})(?:\s+(\d{1,2})\s*:\s*(\d{1,2})(?:\s*:\s*(\d{1,2}))?)?\s*$)"));
    const auto m = re.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (!date.isValid() || date.year() < 100)
        return std::nullopt;
    const int h = m.captured(4).isEmpty() ? 0 : m.captured(4).toInt();
    const int mi = m.captured(5).isEmpty() ? 0 : m.captured(5).toInt();
    const int s = m.captured(6).isEmpty() ? 0 : m.captured(6).toInt();
    const QTime time(h, mi, s);
    if (!time.isValid())
        return std::nullopt;
    return QDateTime(date, time);
}

QString normaliseDate(const QDateTime& dt) {
    return QString::asprintf("%.4d-%.2d-%.2d %.2d:%.2d:%.2d", dt.date().year(), dt.date().month(),
                             dt.date().day(), dt.time().hour(), dt.time().minute(), dt.time().second());
}

QString quote(const QString& text) {
    QString out = text;
    out.replace(QLatin1Char('\''), QLatin1String("''"));
    return out;
}

QString number2(double value) {
    if (!std::isfinite(value))
        value = 0.0;
    QString s = QString::asprintf("%.2f", value);
    if (s == QLatin1String("-0.00"))
        s = QStringLiteral("0.00");
    return s;
}

namespace {

bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

// One level of parentheses; a "top N" found at this level becomes "limit N" where it closes.
struct Level {
    QString limit;
    bool fromSubquery = false;
};

// Words after a subquery that show it was given no name of its own.
bool endsUnnamedSubquery(const QString& word) {
    static const char* const keywords[] = {"order", "where", "group", "limit", "union", "having", "join",
                                           "inner", "left", "right", "full", "cross", "on", "except",
                                           "intersect", "offset", "window"};
    if (word.isEmpty())
        return true;
    const QString lower = word.toLower();
    for (const char* k : keywords)
        if (lower == QLatin1String(k))
            return true;
    return false;
}

} // namespace

QString translate(const QString& sql, Dialect dialect) {
    const bool server = dialect == Dialect::PostgreSQL;
    int subqueries = 0;
    QString out;
    out.reserve(sql.size() + 16);
    std::vector<Level> levels(1);
    QString lastWord; // the previous keyword-like word, lower case
    const qsizetype n = sql.size();
    qsizetype i = 0;
    auto closeLevel = [&](Level& level) {
        if (!level.limit.isEmpty()) {
            while (!out.isEmpty() && out.back().isSpace())
                out.chop(1);
            out += QLatin1String(" limit ") + level.limit;
            level.limit.clear();
        }
    };
    while (i < n) {
        const QChar c = sql[i];
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            // Quoted text, with the quote doubled inside, passes as it stands.
            qsizetype j = i + 1;
            while (j < n) {
                if (sql[j] == c) {
                    if (j + 1 < n && sql[j + 1] == c) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            out += sql.mid(i, j - i + 1);
            i = j + 1;
            lastWord.clear();
            continue;
        }
        if (c == QLatin1Char('[')) {
            const qsizetype j = sql.indexOf(QLatin1Char(']'), i + 1);
            const qsizetype end = j < 0 ? n : j + 1;
            if (server && j >= 0) {
                QString name = sql.mid(i + 1, j - i - 1).toLower();
                name.replace(QLatin1Char('"'), QLatin1String("\"\""));
                out += QLatin1Char('"') + name + QLatin1Char('"');
            } else {
                out += sql.mid(i, end - i);
            }
            i = end;
            lastWord.clear();
            continue;
        }
        if (c == QLatin1Char('#')) {
            const qsizetype j = sql.indexOf(QLatin1Char('#'), i + 1);
            if (j < 0)
                throw DbError(
                    QStringLiteral("Syntax error in date in query expression '%1'.").arg(sql.mid(i)));
            const QString literal = sql.mid(i + 1, j - i - 1);
            const auto dt = parseDate(literal);
            if (!dt)
                throw DbError(
                    QStringLiteral("Syntax error in date in query expression '#%1#'.").arg(literal));
            out += QLatin1Char('\'') + normaliseDate(*dt) + QLatin1Char('\'');
            i = j + 1;
            lastWord.clear();
            continue;
        }
        if (c == QLatin1Char('(')) {
            levels.emplace_back();
            levels.back().fromSubquery = server && lastWord == QLatin1String("from");
            out += c;
            ++i;
            lastWord.clear();
            continue;
        }
        if (c == QLatin1Char(')')) {
            bool name = false;
            if (levels.size() > 1) {
                closeLevel(levels.back());
                name = levels.back().fromSubquery;
                levels.pop_back();
            }
            out += c;
            ++i;
            if (name) {
                qsizetype k = i;
                while (k < n && sql[k].isSpace())
                    ++k;
                qsizetype e = k;
                while (e < n && isWordChar(sql[e]))
                    ++e;
                if (endsUnnamedSubquery(sql.mid(k, e - k)))
                    out += QStringLiteral(" as subquery%1").arg(++subqueries);
            }
            lastWord.clear();
            continue;
        }
        if (c == QLatin1Char(';')) {
            closeLevel(levels.back());
            out += c;
            ++i;
            lastWord.clear();
            continue;
        }
        if (isWordChar(c)) {
            qsizetype j = i;
            while (j < n && isWordChar(sql[j]))
                ++j;
            const QString word = sql.mid(i, j - i);
            const QString lower = word.toLower();
            if (lower == QLatin1String("top") &&
                (lastWord == QLatin1String("select") || lastWord == QLatin1String("distinct"))) {
                // "top N": keep N for the end of this select.
                qsizetype k = j;
                while (k < n && sql[k].isSpace())
                    ++k;
                qsizetype e = k;
                while (e < n && sql[e].isDigit())
                    ++e;
                if (e > k) {
                    levels.back().limit = sql.mid(k, e - k);
                    i = e;
                    while (i < n && sql[i].isSpace())
                        ++i;
                    lastWord.clear();
                    continue;
                }
            }
            if (lower == QLatin1String("delete")) {
                // "delete * from" is the same as "delete from".
                qsizetype k = j;
                while (k < n && sql[k].isSpace())
                    ++k;
                if (k < n && sql[k] == QLatin1Char('*')) {
                    out += word;
                    i = k + 1;
                    lastWord = lower;
                    continue;
                }
            }
            if (server && lower == QLatin1String("user"))
                out += QLatin1String("\"user\"");
            else if (server && lower == QLatin1String("like"))
                out += QLatin1String("ilike");
            else
                out += word;
            i = j;
            lastWord = lower;
            continue;
        }
        out += c;
        if (!c.isSpace())
            lastWord.clear();
        ++i;
    }
    while (levels.size() > 1) {
        closeLevel(levels.back());
        levels.pop_back();
    }
    closeLevel(levels.back());
    return out;
}

} // namespace jet
