#include "accessimport/AccessImport.h"
#include "accessimport/AccessLedger.h"
#include "data/Database.h"
#include "data/LedgerImport.h"

#include <QDir>

#include <cmath>

namespace accessimport {

namespace {

const QString kUntouched = QStringLiteral("账本未做任何改动。");

// Thrown where a row cannot go into the ledger; the message names it.
struct RowRefused {
    QString message;
    QString detail;
};

// A number the ledger keeps in a REAL (double precision) column, as text it reads back exactly.
QString numberText(double value) {
    char text[32];
    const int length = RealCellText(value, text);
    return length > 0 ? QString::fromLatin1(text, length) : QString::number(value, 'g', 17);
}

bool isBlank(const QString& text) {
    return text.trimmed().isEmpty();
}

// One of the file's tables as it goes into the ledger: the statement, and where its money columns
// are among its values, with their counts.
struct TableImport {
    const AccessLedgerTable* table = nullptr;
    SqlStatement insert;
    QList<int> money;                // the positions in the rows of the money columns
    TableFigures* figures = nullptr; // what was read, money sums in the order of money
    qint64 row = 0;
};

// Adds a value to the counts of a money column, as the ledger's counts take it: rounded to the
// cent on its own; text that is no number is counted apart.
void countMoney(MoneySum& sum, const QVariant& value) {
    if (!value.isValid())
        return;
    double number = 0;
    bool ok = true;
    if (value.typeId() == QMetaType::QString) {
        if (isBlank(value.toString()))
            return;
        number = value.toString().trimmed().toDouble(&ok);
    } else {
        number = value.toDouble(&ok);
    }
    ++sum.values;
    const double cents = std::round(number * 100);
    if (!ok || !std::isfinite(cents) || std::fabs(cents) >= 1e36)
        ++sum.odd;
    else
        sum.cents += static_cast<Cents>(cents);
}

// What the ledger stores for a value of the file. Blank text in a money column is no amount.
SqlValue ledgerValue(const QVariant& value, bool money) {
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        return {};
    case QMetaType::LongLong:
        return SqlValue(value.toLongLong());
    case QMetaType::Double:
        return SqlValue(numberText(value.toDouble()));
    case QMetaType::QString:
        if (money && isBlank(value.toString()))
            return {};
        return SqlValue(value.toString());
    default:
        throw DbError(QStringLiteral("a binary value, which the ledger has no column for"));
    }
}

QString rowName(const TableImport& t, const QVariantList& values) {
    const qsizetype id = t.table->columns.indexOf(QStringLiteral("id"));
    const QString idText = id >= 0 ? values.value(id).toString() : QString();
    return idText.isEmpty()
               ? QStringLiteral("表 %1 的第 %2 行").arg(t.table->name).arg(t.row)
               : QStringLiteral("表 %1 的第 %2 行（id %3）").arg(t.table->name).arg(t.row).arg(idText);
}

void importRow(Database& db, TableImport& t, const QVariantList& values) {
    ++t.row;
    SqlValues bound;
    bound.reserve(values.size());
    try {
        for (qsizetype c = 0; c < values.size(); ++c)
            bound << ledgerValue(values[c], t.money.contains(int(c)));
        db.execute(SqlStatement(t.insert.text(), bound).keepPrepared());
    } catch (const DbError& e) {
        throw RowRefused{rowName(t, values) + QStringLiteral("无法写入账本：") + e.engineText(),
                         e.engineText()};
    }
    ++t.figures->rows;
    for (qsizetype k = 0; k < t.money.size(); ++k)
        countMoney(t.figures->sums[k], values.value(t.money[k]));
}

// The figures of one table, found by the ledger's name.
TableFigures* figuresOf(LedgerFigures& figures, const QString& table) {
    for (TableFigures& f : figures)
        if (f.table.compare(table, Qt::CaseInsensitive) == 0)
            return &f;
    return nullptr;
}

// Money columns named as the ledger's schema spells them, whichever engine counted them.
void spellAsLedger(LedgerFigures& figures) {
    for (TableFigures& f : figures)
        for (const LedgerTableColumns& lt : ledgerTableColumns())
            if (lt.table == f.table)
                for (MoneySum& s : f.sums)
                    for (const QString& column : lt.columns)
                        if (column.compare(s.column, Qt::CaseInsensitive) == 0)
                            s.column = column;
}

// One table's import: its statement, and where its money columns are among its values (-1: the
// file lacks it). The table has been emptied and read counted since.
TableImport prepareTable(const AccessLedgerTable& table, LedgerFigures& read) {
    TableImport t;
    t.table = &table;
    t.insert = LedgerInsertStatement(table.name, table.columns);
    t.figures = figuresOf(read, table.name);
    if (!t.figures)
        throw DbError(QStringLiteral("the ledger has no table %1").arg(table.name));
    for (const MoneySum& s : std::as_const(t.figures->sums)) {
        int at = -1;
        for (qsizetype c = 0; c < table.columns.size() && at < 0; ++c)
            if (table.columns[c].compare(s.column, Qt::CaseInsensitive) == 0)
                at = int(c);
        t.money << at;
    }
    return t;
}

} // namespace

namespace {

QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

ImportResult& refuse(ImportResult& r, const QString& path, const QString& why, const QString& detail) {
    r.message = QStringLiteral("没有导入“%1”：%2\n").arg(shown(path), why) + kUntouched;
    r.detail = detail.isEmpty() ? why : detail;
    return r;
}

} // namespace

// The ledger's own receipts or tenants would be replaced.
QString LedgerImportProblem(Database& db) {
    const auto count = [&db](const char* table) {
        Recordset rs = db.query(LedgerCountStatement(QLatin1String(table)));
        return rs.isEOF() ? 0 : rs.field(0).toLongLong();
    };
    const qint64 receipts = count("RECEIPT"), tenants = count("client");
    if (receipts + tenants == 0)
        return {};
    return QStringLiteral("当前账本中已有收据 %1 张、租户 %2 个。旧账本只能导入到没有收据和租户的账本中。\n"
                          "要导入，请先用“管理数据”中的“重新开始记账”开始一个新账本，再导入。")
        .arg(receipts)
        .arg(tenants);
}

namespace {

void describe(ImportResult& r, const AccessLedgerReader& reader) {
    for (const AccessLedgerTable& t : reader.tables())
        r.tables.append(ImportedTable{t.name, t.fileName, 0, t.missingColumns, t.extraColumns});
    r.missingTables = reader.missingTables();
    r.extraTables = reader.extraTables();
}

qint64 recordedRows(const AccessLedgerReader& reader) {
    qint64 total = 0;
    for (const AccessLedgerTable& t : reader.tables())
        total += t.recordedRows;
    return total;
}

// Every row of the file into the emptied tables. False when the reading failed or was cancelled
// (r says which); throws RowRefused and DbError.
bool importRows(Database& db, AccessLedgerReader& reader, ImportResult& r, const ImportProgress& progress) {
    QList<TableImport> tables;
    for (const AccessLedgerTable& t : reader.tables())
        tables.append(prepareTable(t, r.read));
    const qint64 total = recordedRows(reader);
    qint64 done = 0;
    AccessBatch batch;
    while (reader.next(&batch)) {
        TableImport& t = tables[batch.table];
        for (const QVariantList& row : std::as_const(batch.rows))
            importRow(db, t, row);
        r.tables[batch.table].rows = t.row;
        done += batch.rows.size();
        if (progress && !progress(done, std::max(total, done))) {
            reader.close();
            r.cancelled = true;
            return false;
        }
    }
    return reader.atEnd();
}

// The table of the first difference between the counts.
QString firstDifference(const LedgerFigures& read, const LedgerFigures& written) {
    for (qsizetype i = 0; i < std::max(read.size(), written.size()); ++i)
        if (read.value(i) != written.value(i))
            return read.value(i).table.isEmpty() ? written.value(i).table : read.value(i).table;
    return {};
}

// Writes the file into the ledger inside tx; false (r says why) where nothing may stay.
bool importInto(Database& db, Transaction& tx, AccessLedgerReader& reader, const QString& path,
                ImportResult& r, const ImportProgress& progress) {
    if (const QString why = LedgerImportProblem(db); !why.isEmpty()) {
        refuse(r, path, why, {});
        return false;
    }
    for (const AccessLedgerTable& t : reader.tables())
        db.execute(LedgerEmptyStatement(t.name));
    r.read = CountLedger(db);
    spellAsLedger(r.read);
    if (!importRows(db, reader, r, progress)) {
        if (r.cancelled)
            r.message = QStringLiteral("导入已取消，") + kUntouched;
        else
            refuse(r, path, reader.errorString(), reader.detail());
        return false;
    }
    HashLedgerPasswords(db);
    ContinueLedgerIds(db);
    r.written = CountLedger(db);
    spellAsLedger(r.written);
    if (r.read != r.written) {
        const QString why = QStringLiteral("导入后核对不一致（表 %1），导入已全部撤销。\n")
                                .arg(firstDifference(r.read, r.written)) +
                            FiguresReport(r.read, r.written);
        refuse(r, path, why, {});
        return false;
    }
    tx.commit();
    return true;
}

} // namespace

ImportResult ImportAccessLedger(Database& db, const QString& path, const ImportProgress& progress,
                                const AccessReadOptions& options) {
    ImportResult r;
    AccessLedgerReader reader(options);
    if (!reader.open(path))
        return refuse(r, path, reader.errorString(), reader.detail());
    describe(r, reader);
    try {
        Transaction tx(db);
        if (!importInto(db, tx, reader, path, r, progress))
            return r;
    } catch (const RowRefused& e) {
        return refuse(r, path, e.message, e.detail);
    } catch (const DbError& e) {
        return refuse(r, path, e.message(), e.engineText());
    }
    r.ok = true;
    r.message = QStringLiteral("已从“%1”导入旧账本。\n").arg(shown(path)) + ImportSummary(r);
    return r;
}

QString ImportSummary(const ImportResult& r) {
    QStringList lines;
    for (const ImportedTable& t : r.tables) {
        QString line = QStringLiteral("%1：%2 行").arg(t.table).arg(t.rows);
        if (!t.missingColumns.isEmpty())
            line += QStringLiteral("；文件中没有的列（取默认值）：%1")
                        .arg(t.missingColumns.join(QStringLiteral("、")));
        if (!t.extraColumns.isEmpty())
            line += QStringLiteral("；未导入的列：%1").arg(t.extraColumns.join(QStringLiteral("、")));
        lines << line;
    }
    if (!r.missingTables.isEmpty())
        lines << QStringLiteral("文件中没有的表（账本中原有内容保留）：%1")
                     .arg(r.missingTables.join(QStringLiteral("、")));
    if (!r.extraTables.isEmpty())
        lines << QStringLiteral("未导入的表：%1").arg(r.extraTables.join(QStringLiteral("、")));
    return lines.join(QLatin1Char('\n'));
}

} // namespace accessimport
