#include "accessimport/AccessLedger.h"

#include <QDir>

namespace accessimport {

namespace {

QStringList names(std::initializer_list<const char*> list) {
    QStringList out;
    for (const char* name : list)
        out << QString::fromLatin1(name);
    return out;
}

QStringList numbered(const char* stem, int from, int to) {
    QStringList out;
    for (int i = from; i <= to; ++i)
        out << QString::fromLatin1(stem) + QString::number(i);
    return out;
}

qsizetype indexOf(const QStringList& list, const QString& name) {
    for (qsizetype i = 0; i < list.size(); ++i)
        if (list[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

} // namespace

const QList<LedgerTableColumns>& ledgerTableColumns() {
    static const QList<LedgerTableColumns> tables{
        {QStringLiteral("RECEIPT"),
         names({"id",         "NO",       "Rdate",      "district", "waterlast",   "waterthis",
                "waterfee",   "eleclast", "electhis",   "elecfee",  "housefee",    "cleanfee",
                "TVfee",      "netfee",   "managefee",  "otherfee", "total_money", "Remark",
                "accountant", "payee",    "waterprice", "elecprice"}) +
             numbered("standby", 1, 5) + names({"Tdate", "standby6"})},
        {QStringLiteral("USER"), names({"id", "userName", "power", "code"})},
        {QStringLiteral("USER_SET"), names({"id", "accountantSet", "recordSet"}) + numbered("set", 2, 10)},
        {QStringLiteral("table2"), numbered("row", 1, 7)},
        {QStringLiteral("price"), names({"id", "items", "price"})},
        {QStringLiteral("client"), names({"id", "name", "card", "tel", "address", "qq", "company"}) +
                                       numbered("row", 1, 6) + names({"zuMoney", "dateFrom", "dateTo"})},
        {QStringLiteral("addr_items"), names({"items"})},
        {QStringLiteral("people_items"), names({"items"})},
        {QStringLiteral("remark_items"), names({"items"})},
    };
    return tables;
}

AccessLedgerReader::AccessLedgerReader(AccessReadOptions options) : m_reader(std::move(options)) {
}

bool AccessLedgerReader::open(const QString& path) {
    m_tables.clear();
    m_ledgerTableOf.clear();
    m_missingTables.clear();
    m_extraTables.clear();
    m_error.clear();
    QStringList wanted;
    for (const LedgerTableColumns& table : ledgerTableColumns())
        wanted << table.table;
    if (!m_reader.open(path, wanted))
        return false;

    const QList<AccessTable>& fileTables = m_reader.tables();
    QStringList fileNames;
    for (const AccessTable& table : fileTables)
        fileNames << table.name;
    m_ledgerTableOf = QList<int>(fileTables.size(), -1);
    for (const LedgerTableColumns& ledger : ledgerTableColumns()) {
        const qsizetype at = indexOf(fileNames, ledger.table);
        if (at < 0) {
            m_missingTables << ledger.table;
            continue;
        }
        const AccessTable& file = fileTables[at];
        AccessLedgerTable table;
        table.name = ledger.table;
        table.fileName = file.name;
        table.recordedRows = file.recordedRows;
        QStringList fileColumns;
        for (const AccessColumn& column : file.columns)
            fileColumns << column.name;
        for (const QString& column : ledger.columns) {
            const qsizetype c = indexOf(fileColumns, column);
            if (c < 0) {
                table.missingColumns << column;
            } else {
                table.columns << column;
                table.types << file.columns[c].type;
                table.fileColumns << int(c);
            }
        }
        for (const QString& column : fileColumns)
            if (indexOf(ledger.columns, column) < 0)
                table.extraColumns << column;
        m_ledgerTableOf[at] = int(m_tables.size());
        m_tables << table;
    }
    for (qsizetype i = 0; i < fileTables.size(); ++i)
        if (m_ledgerTableOf[i] < 0)
            m_extraTables << fileTables[i].name;
    if (m_missingTables.contains(QStringLiteral("RECEIPT"))) {
        m_error =
            QStringLiteral("“%1”不是Rentbook的账本：其中没有表 RECEIPT").arg(QDir::toNativeSeparators(path));
        m_reader.close();
        return false;
    }
    return true;
}

bool AccessLedgerReader::next(AccessBatch* batch) {
    if (!m_error.isEmpty())
        return false;
    AccessBatch file;
    if (!m_reader.next(&file))
        return false;
    const int index =
        file.table >= 0 && file.table < m_ledgerTableOf.size() ? m_ledgerTableOf[file.table] : -1;
    if (index < 0) {
        m_error = damagedFileMessage();
        m_reader.close();
        return false;
    }
    const QList<int>& from = m_tables[index].fileColumns;
    batch->table = index;
    batch->rows.clear();
    batch->rows.reserve(file.rows.size());
    for (const QVariantList& row : std::as_const(file.rows)) {
        QVariantList values;
        values.reserve(from.size());
        for (int c : from)
            values.append(row.value(c));
        batch->rows.append(std::move(values));
    }
    return true;
}

} // namespace accessimport
