#include "data/JetSql.h"
#include "data/DbError.h"

#include <QRegularExpression>

#include <algorithm>
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

bool isControlCharacter(QChar c, bool keepReturns) {
    const char16_t u = c.unicode();
    if (u < 0x20)
        return u != u'\t' && u != u'\n' && (u != u'\r' || !keepReturns);
    return u >= 0x7f && u <= 0x9f;
}

QString withoutControlCharacters(const QString& text, bool keepReturns) {
    const auto dropped = [keepReturns](QChar c) { return isControlCharacter(c, keepReturns); };
    const auto first = std::find_if(text.cbegin(), text.cend(), dropped);
    if (first == text.cend())
        return text;
    QString out;
    out.reserve(text.size());
    out.append(text.constData(), first - text.cbegin());
    for (auto c = first; c != text.cend(); ++c)
        if (!dropped(*c))
            out.append(*c);
    return out;
}

QString dateParameter(const QString& text) {
    const auto dt = parseDate(text);
    if (!dt)
        throw DbError(QStringLiteral("Syntax error in date in query expression '#%1#'.").arg(text));
    return normaliseDate(*dt);
}

namespace {

bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

qsizetype skipSpaces(const QString& sql, qsizetype i) {
    while (i < sql.size() && sql[i].isSpace())
        ++i;
    return i;
}

qsizetype wordEnd(const QString& sql, qsizetype i) {
    while (i < sql.size() && isWordChar(sql[i]))
        ++i;
    return i;
}

// One past the closing mark of the quoted text that starts at i (a doubled mark stays inside).
qsizetype quotedEnd(const QString& sql, qsizetype i) {
    const QChar mark = sql[i];
    for (qsizetype j = i + 1; j < sql.size(); ++j) {
        if (sql[j] != mark)
            continue;
        if (j + 1 < sql.size() && sql[j + 1] == mark) {
            ++j;
            continue;
        }
        return j + 1;
    }
    return sql.size();
}

// One past the closing tag of the server's dollar-quoted text ($$...$$, $fn$...$fn$) that starts at
// i; -1 when none starts there.
qsizetype dollarQuotedEnd(const QString& sql, qsizetype i) {
    qsizetype j = i + 1;
    if (j < sql.size() && !sql[j].isDigit())
        j = wordEnd(sql, j);
    if (j >= sql.size() || sql[j] != QLatin1Char('$'))
        return -1;
    const QString tag = sql.mid(i, j - i + 1);
    const qsizetype close = sql.indexOf(tag, j + 1);
    return close < 0 ? sql.size() : close + tag.size();
}

// One past the end of the quoted text or bracketed name that starts at i; i + 1 for any other
// character.
qsizetype skipToken(const QString& sql, qsizetype i) {
    const QChar c = sql[i];
    if (c == QLatin1Char('\'') || c == QLatin1Char('"'))
        return quotedEnd(sql, i);
    if (c == QLatin1Char('[')) {
        const qsizetype j = sql.indexOf(QLatin1Char(']'), i + 1);
        return j < 0 ? sql.size() : j + 1;
    }
    return i + 1;
}

// Words after a subquery that show it was given no name of its own.
bool endsUnnamedSubquery(const QString& word) {
    static const char* const keywords[] = {"order", "where",  "group",     "limit",  "union", "having",
                                           "join",  "inner",  "left",      "right",  "full",  "cross",
                                           "on",    "except", "intersect", "offset", "window"};
    if (word.isEmpty())
        return true;
    const QString lower = word.toLower();
    for (const char* k : keywords)
        if (lower == QLatin1String(k))
            return true;
    return false;
}

// "cast(x as real)" and "cast(x as integer)" as the file's engine reads them: text that is no
// number counts 0, a number followed by other text counts its number. The server refuses such
// text, so there the cast becomes a function of the server ledger's that reads numbers so.
struct NumericCast {
    QString function;
    QString operand;
    qsizetype end = 0; // one past the closing parenthesis
};

QString numericFunction(const QString& type) {
    const QString t = type.simplified().toLower();
    if (t == QLatin1String("real") || t == QLatin1String("double") ||
        t == QLatin1String("double precision") || t == QLatin1String("float"))
        return QStringLiteral("rentbook_real");
    if (t == QLatin1String("integer") || t == QLatin1String("int") || t == QLatin1String("bigint"))
        return QStringLiteral("rentbook_integer");
    return {};
}

std::optional<NumericCast> numericCast(const QString& sql, qsizetype afterCast) {
    const qsizetype open = skipSpaces(sql, afterCast);
    if (open >= sql.size() || sql[open] != QLatin1Char('('))
        return std::nullopt;
    int depth = 0;
    qsizetype as = -1;
    for (qsizetype i = open; i < sql.size();) {
        const QChar c = sql[i];
        if (c == QLatin1Char('(')) {
            ++depth;
        } else if (c == QLatin1Char(')') && --depth == 0) {
            if (as < 0)
                return std::nullopt;
            NumericCast cast{numericFunction(sql.mid(as + 2, i - as - 2)),
                             sql.mid(open + 1, as - open - 1).trimmed(), i + 1};
            return cast.function.isEmpty() ? std::nullopt : std::optional(cast);
        } else if (isWordChar(c)) {
            const qsizetype e = wordEnd(sql, i);
            if (depth == 1 && e - i == 2 && sql.mid(i, 2).toLower() == QLatin1String("as") &&
                (i == 0 || !isWordChar(sql[i - 1])))
                as = i;
            i = e;
            continue;
        }
        i = skipToken(sql, i);
    }
    return std::nullopt;
}

// One level of parentheses; a "top N" found at this level becomes "limit N" where it closes.
struct Level {
    QString limit;
    bool fromSubquery = false;
};

// Walks a statement token by token and writes it for the engine. Quoted text (the server's
// dollar-quoted text too) passes unchanged.
class Translator {
public:
    explicit Translator(Dialect dialect) : m_server(dialect == Dialect::PostgreSQL) {}

    Translation run(const QString& sql) {
        m_out.reserve(sql.size() + 16);
        pass(sql);
        while (m_levels.size() > 1) {
            closeLevel();
            m_levels.pop_back();
        }
        closeLevel();
        return {m_out, m_placeholders, m_several};
    }

private:
    void pass(const QString& sql) {
        for (qsizetype i = 0; i < sql.size();) {
            const QChar c = sql[i];
            if (isWordChar(c)) {
                i = word(sql, i);
                continue;
            }
            const qsizetype dollarEnd = m_server && c == QLatin1Char('$') ? dollarQuotedEnd(sql, i) : -1;
            if (c == QLatin1Char('\'') || c == QLatin1Char('"'))
                i = copy(sql, i, quotedEnd(sql, i));
            else if (dollarEnd >= 0)
                i = copy(sql, i, dollarEnd);
            else if (c == QLatin1Char('['))
                i = bracketed(sql, i);
            else if (c == QLatin1Char('('))
                i = opened(i);
            else if (c == QLatin1Char(')'))
                i = closed(sql, i);
            else if (c == QLatin1Char(';'))
                i = ended(sql, i);
            else if (c == QLatin1Char('?'))
                i = placeholder(i);
            else {
                m_out += c;
                if (!c.isSpace())
                    m_lastWord.clear();
                ++i;
            }
        }
    }

    qsizetype copy(const QString& sql, qsizetype from, qsizetype to) {
        m_out += QStringView(sql).mid(from, to - from);
        m_lastWord.clear();
        return to;
    }

    // For the server, bracketed names become quoted lower-case names (the server ledger's names).
    qsizetype bracketed(const QString& sql, qsizetype i) {
        const qsizetype j = sql.indexOf(QLatin1Char(']'), i + 1);
        if (!m_server || j < 0)
            return copy(sql, i, j < 0 ? sql.size() : j + 1);
        QString name = sql.mid(i + 1, j - i - 1).toLower();
        name.replace(QLatin1Char('"'), QLatin1String("\"\""));
        m_out += QLatin1Char('"') + name + QLatin1Char('"');
        m_lastWord.clear();
        return j + 1;
    }

    qsizetype opened(qsizetype i) {
        m_levels.emplace_back();
        m_levels.back().fromSubquery = m_server && m_lastWord == QLatin1String("from");
        m_out += QLatin1Char('(');
        m_lastWord.clear();
        return i + 1;
    }

    // A subquery in a from clause gets the name the server insists on, where it has none.
    qsizetype closed(const QString& sql, qsizetype i) {
        bool name = false;
        if (m_levels.size() > 1) {
            closeLevel();
            name = m_levels.back().fromSubquery;
            m_levels.pop_back();
        }
        m_out += QLatin1Char(')');
        m_lastWord.clear();
        if (name) {
            const qsizetype k = skipSpaces(sql, i + 1);
            if (endsUnnamedSubquery(sql.mid(k, wordEnd(sql, k) - k)))
                m_out += QStringLiteral(" as subquery%1").arg(++m_subqueries);
        }
        return i + 1;
    }

    // A statement ends at a semicolon; anything after it but blanks and semicolons is another.
    qsizetype ended(const QString& sql, qsizetype i) {
        closeLevel();
        for (qsizetype k = i + 1; k < sql.size() && !m_several; ++k)
            m_several = !sql[k].isSpace() && sql[k] != QLatin1Char(';');
        m_out += QLatin1Char(';');
        m_lastWord.clear();
        return i + 1;
    }

    // The server numbers its parameters.
    qsizetype placeholder(qsizetype i) {
        ++m_placeholders;
        if (m_server)
            m_out += QLatin1Char('$') + QString::number(m_placeholders);
        else
            m_out += QLatin1Char('?');
        m_lastWord.clear();
        return i + 1;
    }

    qsizetype word(const QString& sql, qsizetype i) {
        const qsizetype j = wordEnd(sql, i);
        const QString word = sql.mid(i, j - i);
        const QString lower = word.toLower();
        qsizetype next = -1;
        if (lower == QLatin1String("top") &&
            (m_lastWord == QLatin1String("select") || m_lastWord == QLatin1String("distinct")))
            next = top(sql, j);
        else if (lower == QLatin1String("delete"))
            next = deleteStar(sql, j, word);
        else if (m_server && lower == QLatin1String("cast"))
            next = cast(sql, j);
        if (next >= 0)
            return next;
        if (m_server && lower == QLatin1String("user"))
            m_out += QLatin1String("\"user\"");
        else if (m_server && lower == QLatin1String("like")) // letter case aside, as on the file
            m_out += QLatin1String("ilike");
        else
            m_out += word;
        m_lastWord = lower;
        return j;
    }

    // "top N": N kept for the end of this select; -1 when no number follows.
    qsizetype top(const QString& sql, qsizetype afterTop) {
        const qsizetype k = skipSpaces(sql, afterTop);
        qsizetype e = k;
        while (e < sql.size() && sql[e].isDigit())
            ++e;
        if (e == k)
            return -1;
        m_levels.back().limit = sql.mid(k, e - k);
        m_lastWord.clear();
        return skipSpaces(sql, e);
    }

    // "delete * from" is the same as "delete from".
    qsizetype deleteStar(const QString& sql, qsizetype afterDelete, const QString& word) {
        const qsizetype k = skipSpaces(sql, afterDelete);
        if (k >= sql.size() || sql[k] != QLatin1Char('*'))
            return -1;
        m_out += word;
        m_lastWord = QStringLiteral("delete");
        return k + 1;
    }

    qsizetype cast(const QString& sql, qsizetype afterCast) {
        const auto cast = numericCast(sql, afterCast);
        if (!cast)
            return -1;
        m_out += cast->function + QLatin1Char('(');
        m_lastWord.clear();
        pass(cast->operand);
        m_out += QLatin1Char(')');
        m_lastWord.clear();
        return cast->end;
    }

    void closeLevel() {
        Level& level = m_levels.back();
        if (level.limit.isEmpty())
            return;
        while (!m_out.isEmpty() && m_out.back().isSpace())
            m_out.chop(1);
        m_out += QLatin1String(" limit ") + level.limit;
        level.limit.clear();
    }

    const bool m_server;
    QString m_out;
    std::vector<Level> m_levels = std::vector<Level>(1);
    QString m_lastWord; // the previous keyword-like word, lower case
    int m_subqueries = 0;
    int m_placeholders = 0;
    bool m_several = false;
};

} // namespace

Translation translateStatement(const QString& statement, Dialect dialect) {
    return Translator(dialect).run(statement);
}

QString translate(const QString& statement, Dialect dialect) {
    return translateStatement(statement, dialect).text;
}

} // namespace jet
