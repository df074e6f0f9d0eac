#include "data/LedgerFigures.h"
#include "data/DbError.h"
#include "data/ServerConnection.h"
#include "data/TransferTables.h"

#include <QStringList>

#include <charconv>
#include <cmath>

#include <libpq-fe.h>
#include <sqlite3.h>

namespace transfer {

namespace {

qint64 rowsOf(const LedgerFigures& f, const char* table) {
    for (const TableFigures& t : f)
        if (t.table == QLatin1String(table))
            return t.rows;
    return 0;
}

} // namespace

std::optional<double> parseNumber(const char* text, int length) {
    while (length > 0 && (*text == ' ' || *text == '\t')) {
        ++text;
        --length;
    }
    while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t'))
        --length;
    if (length > 0 && *text == '+') {
        ++text;
        --length;
    }
    double value = 0;
    const auto parsed = std::from_chars(text, text + length, value);
    if (length == 0 || parsed.ec != std::errc() || parsed.ptr != text + length)
        return std::nullopt;
    return value;
}

bool isBlank(const char* text, int length) {
    for (int i = 0; i < length; ++i)
        if (text[i] != ' ' && text[i] != '\t')
            return false;
    return true;
}

Counter::Counter(const Table& t) : money(t.moneyColumns()) {
    figures.table = QString::fromLatin1(t.fileName);
    for (int i : money)
        figures.sums.append(MoneySum{QString::fromUtf8(t.columns[std::size_t(i)].fileName)});
}

void Counter::addNumber(int k, double value) {
    MoneySum& s = figures.sums[k];
    ++s.values;
    const double cents = std::round(value * 100);
    if (!std::isfinite(cents) || std::fabs(cents) >= 1e36)
        ++s.odd;
    else
        s.cents += static_cast<Cents>(cents);
}

void Counter::addOdd(int k) {
    ++figures.sums[k].values;
    ++figures.sums[k].odd;
}

LedgerFigures countServer(ServerConnection& server, const std::vector<Table>& tables) {
    LedgerFigures out;
    for (const Table& t : tables) {
        Counter count(t);
        QByteArray cols;
        for (int i : count.money)
            cols += (cols.isEmpty() ? "" : ", ") + quoted(t.columns[std::size_t(i)].serverName);
        if (cols.isEmpty()) {
            const auto r = server.exec("select count(*) from " + quoted(t.serverName));
            count.figures.rows = std::atoll(PQgetvalue(r->result, 0, 0));
        } else {
            const auto r = server.exec("select " + cols + " from " + quoted(t.serverName));
            count.figures.rows = r->rows;
            for (int row = 0; row < r->rows; ++row)
                for (int k = 0; k < count.money.size(); ++k) {
                    if (PQgetisnull(r->result, row, k))
                        continue;
                    if (const auto v =
                            parseNumber(PQgetvalue(r->result, row, k), PQgetlength(r->result, row, k)))
                        count.addNumber(k, *v);
                    else
                        count.addOdd(k);
                }
        }
        out.append(count.figures);
    }
    return out;
}

LedgerFigures countFile(sqlite3* file, const std::vector<Table>& tables) {
    LedgerFigures out;
    for (const Table& t : tables) {
        Counter count(t);
        QByteArray cols = "1";
        for (int i : count.money)
            cols += ", " + quoted(t.columns[std::size_t(i)].fileName);
        const QByteArray sql = "select " + cols + " from " + quoted(t.fileName);
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(file, sql.constData(), int(sql.size()), &st, nullptr) != SQLITE_OK)
            throwFile(file);
        std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(st, sqlite3_finalize);
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            ++count.figures.rows;
            for (int k = 0; k < count.money.size(); ++k) {
                const int type = sqlite3_column_type(st, k + 1);
                if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
                    count.addNumber(k, sqlite3_column_double(st, k + 1));
                } else if (type != SQLITE_NULL) {
                    const char* text = reinterpret_cast<const char*>(sqlite3_column_text(st, k + 1));
                    const int length = sqlite3_column_bytes(st, k + 1);
                    if (isBlank(text, length))
                        continue;
                    if (const auto v = parseNumber(text, length))
                        count.addNumber(k, *v);
                    else
                        count.addOdd(k);
                }
            }
        }
        if (rc != SQLITE_DONE)
            throwFile(file);
        out.append(count.figures);
    }
    return out;
}

QString contentsText(const LedgerFigures& f) {
    return QStringLiteral("收据 %1 张，租户 %2 个，用户 %3 个")
        .arg(rowsOf(f, "RECEIPT"))
        .arg(rowsOf(f, "client"))
        .arg(rowsOf(f, "USER"));
}

QString comparedText() {
    return QStringLiteral("核对内容（两边相同才算成功）：\n"
                          "· 每个表的行数；\n"
                          "· 收据的每个数值列和租户的租金（zuMoney）：\n"
                          "   非空值的个数，及各值四舍五入到分后的合计。");
}

} // namespace transfer

QString CentsText(Cents cents) {
    const bool negative = cents < 0;
    __extension__ typedef unsigned __int128 Magnitude;
    Magnitude v = negative ? Magnitude(-cents) : Magnitude(cents);
    const int fraction = int(v % 100);
    v /= 100;
    QString digits;
    do {
        digits.prepend(QLatin1Char(char('0' + int(v % 10))));
        v /= 10;
    } while (v != 0);
    if (fraction != 0) {
        digits += QLatin1Char('.') + QString::number(fraction / 10);
        if (fraction % 10 != 0)
            digits += QString::number(fraction % 10);
    }
    return negative ? QLatin1Char('-') + digits : digits;
}

QString FiguresReport(const LedgerFigures& source, const LedgerFigures& target) {
    const auto sumText = [](const MoneySum& s) {
        QString t = QStringLiteral("%1 个值，合计 %2").arg(s.values).arg(CentsText(s.cents));
        if (s.odd > 0)
            t += QStringLiteral("（另有 %1 个不是数字）").arg(s.odd);
        return t;
    };
    QStringList lines;
    for (int i = 0; i < std::max(source.size(), target.size()); ++i) {
        const TableFigures a = source.value(i), b = target.value(i);
        const QString name = a.table.isEmpty() ? b.table : a.table;
        lines << (a.rows == b.rows ? QStringLiteral("%1：%2 行").arg(name).arg(a.rows)
                                   : QStringLiteral("%1：原 %2 行，复制后 %3 行 ← 不一致")
                                         .arg(name)
                                         .arg(a.rows)
                                         .arg(b.rows));
        int empty = 0;
        for (int k = 0; k < std::max(a.sums.size(), b.sums.size()); ++k) {
            const MoneySum x = a.sums.value(k), y = b.sums.value(k);
            const QString column = x.column.isEmpty() ? y.column : x.column;
            if (x == y && x.values == 0) {
                ++empty;
                continue;
            }
            lines << (x == y ? QStringLiteral("    %1：%2").arg(column, sumText(x))
                             : QStringLiteral("    %1：原 %2；复制后 %3 ← 不一致")
                                   .arg(column, sumText(x), sumText(y)));
        }
        // Columns without a value on either side, counted all the same.
        if (empty > 0)
            lines << (empty == std::max(a.sums.size(), b.sums.size())
                          ? QStringLiteral("    （数值列两边都没有值）")
                          : QStringLiteral("    （其余 %1 个数值列两边都没有值）").arg(empty));
    }
    return lines.join(QLatin1Char('\n'));
}
