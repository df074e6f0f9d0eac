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

// The end of the quoted text, bracketed name or date literal that starts at i (one past its
// closing mark); i + 1 for any other character.
qsizetype skipToken(const QString& sql, qsizetype i) {
    const qsizetype n = sql.size();
    const QChar c = sql[i];
    if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
        qsizetype j = i + 1;
        while (j < n) {
            if (sql[j] == c) {
                if (j + 1 < n && sql[j + 1] == c) {
                    j += 2;
                    continue;
                }
                return j + 1;
            }
            ++j;
        }
        return n;
    }
    if (c == QLatin1Char('[') || c == QLatin1Char('#')) {
        const qsizetype j = sql.indexOf(c == QLatin1Char('[') ? QLatin1Char(']') : QLatin1Char('#'), i + 1);
        return j < 0 ? n : j + 1;
    }
    return i + 1;
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

// "cast(x as real)" and "cast(x as integer)" as the file's engine reads them: text that is no
// number counts 0, a number followed by other text counts its number. The server refuses such
// text, so there the cast becomes a function of the server ledger's that reads numbers so.
struct NumericCast {
    QString function;
    QString operand;
    qsizetype end = 0; // one past the closing parenthesis
};

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
        } else if (c == QLatin1Char(')')) {
            if (--depth == 0) {
                if (as < 0)
                    return std::nullopt;
                const QString type = sql.mid(as + 2, i - as - 2).simplified().toLower();
                NumericCast cast;
                if (type == QLatin1String("real") || type == QLatin1String("double") ||
                    type == QLatin1String("double precision") || type == QLatin1String("float"))
                    cast.function = QStringLiteral("rentbook_real");
                else if (type == QLatin1String("integer") || type == QLatin1String("int") ||
                         type == QLatin1String("bigint"))
                    cast.function = QStringLiteral("rentbook_integer");
                else
                    return std::nullopt;
                cast.operand = sql.mid(open + 1, as - open - 1).trimmed();
                cast.end = i + 1;
                return cast;
            }
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

} // namespace

QString translate(const QString& sql, Dialect dialect) {
    const bool server = dialect == Dialect::PostgreSQL;
    int subqueries = 0;
    QString out;
    out.reserve(sql.size() + 16);
    std::vector<Level> levels(1);
    QString lastWord; // the previous keyword-like word, lower case
    // Where the last quoted text starts and ends in out.
    qsizetype lastText = -1, lastTextEnd = -1;
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
            lastText = out.size();
            out += sql.mid(i, j - i + 1);
            lastTextEnd = out.size();
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
            if (server && lower == QLatin1String("cast")) {
                if (const auto cast = numericCast(sql, j)) {
                    out += cast->function + QLatin1Char('(') + translate(cast->operand, dialect) +
                           QLatin1Char(')');
                    i = cast->end;
                    lastWord.clear();
                    continue;
                }
            }
            if (server && lower == QLatin1String("collate")) {
                // "x = 'text' collate nocase": equal but for the letter case of A to Z. The server's
                // ilike compares so under the ledger's collation "C"; the text's own wildcards
                // are made literal.
                const qsizetype k = skipSpaces(sql, j);
                const qsizetype e = wordEnd(sql, k);
                qsizetype textEnd = out.size();
                while (textEnd > 0 && out[textEnd - 1].isSpace())
                    --textEnd;
                qsizetype op = lastText;
                while (op > 0 && out[op - 1].isSpace())
                    --op;
                const bool equal =
                    op > 0 && out[op - 1] == QLatin1Char('=') &&
                    (op < 2 || (out[op - 2] != QLatin1Char('<') && out[op - 2] != QLatin1Char('>') &&
                                out[op - 2] != QLatin1Char('!')));
                const bool unequal = op > 1 && (out.mid(op - 2, 2) == QLatin1String("<>") ||
                                                out.mid(op - 2, 2) == QLatin1String("!="));
                if (sql.mid(k, e - k).toLower() == QLatin1String("nocase") && lastText >= 0 &&
                    textEnd == lastTextEnd && (equal || unequal)) {
                    QString text = out.mid(lastText, lastTextEnd - lastText);
                    QString pattern;
                    for (const QChar ch : text) {
                        if (ch == QLatin1Char('\\') || ch == QLatin1Char('%') || ch == QLatin1Char('_'))
                            pattern += QLatin1Char('\\');
                        pattern += ch;
                    }
                    out.truncate(op - (equal ? 1 : 2));
                    if (!out.isEmpty() && !out.back().isSpace())
                        out += QLatin1Char(' ');
                    out += unequal ? QLatin1String("not ilike ") : QLatin1String("ilike ");
                    out += pattern;
                    i = e;
                    lastWord.clear();
                    continue;
                }
            }
            if (server && lower == QLatin1String("date")) {
                // SQLite's date(x, modifiers): the server reads date('...') as a cast to its type.
                const qsizetype k = skipSpaces(sql, j);
                if (k < n && sql[k] == QLatin1Char('(')) {
                    out += QLatin1String("rentbook_day");
                    i = j;
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
