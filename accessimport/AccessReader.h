#pragma once

// Reads an Access (Jet 3, Jet 4, ACE) file: checks it, then starts the program as the reading
// child (AccessChild.h) and takes what it sends, a batch of rows at a time, so that a caller can
// show progress. A crash, a hang or garbage from the child is a damaged file, never a crash here.

#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

class QDataStream;
class QProcess;

namespace accessimport {

// Column types as the file records them.
enum AccessType : quint8 {
    AccessBoolean = 0x01,
    AccessByte = 0x02,
    AccessInteger = 0x03,
    AccessLong = 0x04,
    AccessCurrency = 0x05,
    AccessSingle = 0x06,
    AccessDouble = 0x07,
    AccessDateTime = 0x08,
    AccessBinary = 0x09,
    AccessText = 0x0A,
    AccessOle = 0x0B,
    AccessMemo = 0x0C,
    AccessGuid = 0x0F,
    AccessNumeric = 0x10
};

struct AccessColumn {
    QString name;
    quint8 type = 0;
};

struct AccessTable {
    QString name;
    QList<AccessColumn> columns;
    qint64 recordedRows = 0; // what the table definition says; the rows read may differ
};

// Rows of one table, values in the table's column order: an invalid QVariant for NULL, else
// qint64 (whole numbers, Yes/No as 1/0), double, QString (text; Date/Time as
// "YYYY-MM-DD HH:MM:SS"; Currency and Decimal as exact text, "12.3400") or QByteArray.
struct AccessBatch {
    int table = -1; // index into AccessReader::tables()
    QList<QVariantList> rows;
};

struct AccessReadOptions {
    QString program;              // the program started as the child; empty: this program
    int idleTimeoutMs = 30000;    // no word from the child for this long: it hangs
    int totalTimeoutMs = 1800000; // nor may the whole reading take longer
};

class AccessReader {
public:
    explicit AccessReader(AccessReadOptions options = {});
    ~AccessReader();
    AccessReader(const AccessReader&) = delete;
    AccessReader& operator=(const AccessReader&) = delete;

    // Checks the file and reads its catalogue; the rows of the tables in wanted (any letter
    // case, those the file has, in that order) follow through next(). False: errorString().
    bool open(const QString& path, const QStringList& wanted);
    // The next batch of rows. False at the end (atEnd()) or when the reading failed.
    bool next(AccessBatch* batch);
    bool atEnd() const { return m_finished; }
    // Stops the child; the reader is done.
    void close();

    // The message for the user, empty while all is well.
    QString errorString() const { return m_error; }
    // What went wrong, for a log.
    QString detail() const { return m_detail; }
    // 0 Jet 3, 1 Jet 4, 2 and up the ACE formats.
    int jetVersion() const { return m_jetVersion; }
    // Every user table of the file.
    const QList<AccessTable>& tables() const { return m_tables; }

private:
    bool checkFile(const QString& path);
    template <typename Parse> bool receive(Parse parse);
    bool fail(const QString& message, const QString& detail);
    bool damaged(const QString& detail);

    AccessReadOptions m_options;
    std::unique_ptr<QProcess> m_process;
    std::unique_ptr<QDataStream> m_stream;
    QElapsedTimer m_clock;
    QList<AccessTable> m_tables;
    int m_jetVersion = -1;
    int m_current = -1;
    quint64 m_rowsOfTable = 0;
    bool m_finished = false;
    QString m_error;
    QString m_detail;
};

// The messages the user reads.
QString damagedFileMessage();
QString badValueMessage(const QString& table, quint64 row, const QString& id, const QString& column);

} // namespace accessimport
