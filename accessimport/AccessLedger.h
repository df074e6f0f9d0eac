#pragma once

// An Access file of the old program seen as a Rentbook ledger: its tables and columns matched to
// the ledger's by name in any letter case, and its rows given in the ledger's column order. What
// the file lacks and what it holds beyond the ledger are listed, for the import's summary.

#include "accessimport/AccessReader.h"

namespace accessimport {

struct LedgerTableColumns {
    QString table;
    QStringList columns;
};
// The ledger's tables with their columns, in the ledger's order.
const QList<LedgerTableColumns>& ledgerTableColumns();

struct AccessLedgerTable {
    QString name;            // the ledger's ("RECEIPT")
    QString fileName;        // as the file spells it
    qint64 recordedRows = 0; // what the file's table definition says
    QStringList columns;     // the ledger's columns the file has, in the ledger's order
    QList<quint8> types;     // their types in the file (AccessType)
    QStringList missingColumns;
    QStringList extraColumns; // as the file spells them; not read
    QList<int> fileColumns;   // where each of columns is in the file's rows
};

class AccessLedgerReader {
public:
    explicit AccessLedgerReader(AccessReadOptions options = {});

    // Checks the file and reads its catalogue. A file without RECEIPT is no ledger.
    bool open(const QString& path);
    // The next rows; batch->table indexes tables(), the values follow that table's columns.
    bool next(AccessBatch* batch);
    bool atEnd() const { return m_reader.atEnd(); }
    void close() { m_reader.close(); }

    QString errorString() const { return m_error.isEmpty() ? m_reader.errorString() : m_error; }
    QString detail() const { return m_reader.detail(); }
    int jetVersion() const { return m_reader.jetVersion(); }
    // The ledger's tables the file has, in the ledger's order.
    const QList<AccessLedgerTable>& tables() const { return m_tables; }
    QStringList missingTables() const { return m_missingTables; }
    QStringList extraTables() const { return m_extraTables; }

private:
    AccessReader m_reader;
    QList<AccessLedgerTable> m_tables;
    QList<int> m_ledgerTableOf; // for each of the reader's tables: index into m_tables, or -1
    QStringList m_missingTables;
    QStringList m_extraTables;
    QString m_error;
};

} // namespace accessimport
