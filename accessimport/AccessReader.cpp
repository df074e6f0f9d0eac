#include "accessimport/AccessReader.h"

#include "accessimport/AccessChild.h"
#include "accessimport/AccessStream.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace accessimport {

using namespace stream;

namespace {

QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// Sanity limits on what the child sends: more means garbage.
constexpr quint32 kMaxTables = 100000;
constexpr quint32 kMaxColumns = 256;
constexpr quint32 kMaxBatchRows = 100000;

} // namespace

QString damagedFileMessage() {
    return QStringLiteral("文件已损坏，无法读取");
}

QString badValueMessage(const QString& table, quint64 row, const QString& id, const QString& column) {
    if (id.isEmpty())
        return QStringLiteral("表 %1 的第 %2 行中，%3 的值无法读取").arg(table).arg(row).arg(column);
    return QStringLiteral("表 %1 的第 %2 行（id %3）中，%4 的值无法读取").arg(table).arg(row).arg(id, column);
}

AccessReader::AccessReader(AccessReadOptions options) : m_options(std::move(options)) {
}

AccessReader::~AccessReader() {
    close();
}

void AccessReader::close() {
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(5000);
    }
}

bool AccessReader::fail(const QString& message, const QString& detail) {
    if (m_error.isEmpty()) {
        m_error = message;
        m_detail = detail;
    }
    close();
    return false;
}

bool AccessReader::damaged(const QString& detail) {
    return fail(damagedFileMessage(), detail);
}

bool AccessReader::checkFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return fail(QStringLiteral("找不到文件“%1”").arg(shown(path)), QStringLiteral("no such file"));
    if (info.isDir())
        return fail(QStringLiteral("“%1”是文件夹，不是Access数据库文件").arg(shown(path)),
                    QStringLiteral("a folder"));
    QFile file(path);
    if (!info.isReadable() || !file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("没有读取文件“%1”的权限").arg(shown(path)), file.errorString());
    if (file.size() == 0)
        return fail(QStringLiteral("文件“%1”是空的，不是Access数据库文件").arg(shown(path)),
                    QStringLiteral("empty"));
    // The database definition page names its engine at offset 4.
    const QByteArray head = file.read(19);
    if (head.size() < 19 || (head.mid(4) != "Standard Jet DB" && head.mid(4) != "Standard ACE DB"))
        return fail(QStringLiteral("“%1”不是Access数据库文件").arg(shown(path)),
                    QStringLiteral("no Jet header"));
    return true;
}

bool AccessReader::open(const QString& path, const QStringList& wanted) {
    close();
    m_process.reset();
    m_stream.reset();
    m_tables.clear();
    m_jetVersion = -1;
    m_current = -1;
    m_finished = false;
    m_error.clear();
    m_detail.clear();
    if (!checkFile(path))
        return false;

    m_process = std::make_unique<QProcess>();
    // Its messages (libmdb warns on every odd row) would fill the pipe and stop it.
    m_process->setStandardErrorFile(QProcess::nullDevice());
    m_process->setStandardInputFile(QProcess::nullDevice());
    const QString program =
        m_options.program.isEmpty() ? QCoreApplication::applicationFilePath() : m_options.program;
    m_process->start(
        program,
        QStringList{QString::fromLatin1(kReadAccessFileSwitch), QFileInfo(path).absoluteFilePath()} + wanted);
    m_clock.start();
    if (!m_process->waitForStarted(m_options.idleTimeoutMs))
        return fail(QStringLiteral("无法读取“%1”：读取程序没有启动").arg(shown(path)),
                    m_process->errorString());
    m_stream = std::make_unique<QDataStream>(m_process.get());
    m_stream->setVersion(kDataStreamVersion);

    quint32 magic = 0, version = 0;
    if (!receive([&] { *m_stream >> magic >> version; }))
        return false;
    if (magic != kMagic || version != kVersion)
        return damaged(QStringLiteral("the reader answers in another language"));
    quint8 record = 0;
    QList<AccessTable> tables;
    qint32 jetVersion = -1;
    QString failure;
    const bool received = receive([&] {
        tables.clear();
        *m_stream >> record;
        if (record == Failed) {
            *m_stream >> failure;
            return;
        }
        if (record != Catalogue)
            return m_stream->setStatus(QDataStream::ReadCorruptData);
        quint32 count = 0;
        *m_stream >> jetVersion >> count;
        if (count > kMaxTables)
            return m_stream->setStatus(QDataStream::ReadCorruptData);
        for (quint32 t = 0; t < count && m_stream->status() == QDataStream::Ok; ++t) {
            AccessTable table;
            quint64 rows = 0;
            quint32 columns = 0;
            *m_stream >> table.name >> rows >> columns;
            if (columns > kMaxColumns)
                return m_stream->setStatus(QDataStream::ReadCorruptData);
            table.recordedRows = qint64(rows);
            for (quint32 c = 0; c < columns && m_stream->status() == QDataStream::Ok; ++c) {
                AccessColumn column;
                *m_stream >> column.name >> column.type;
                table.columns.append(column);
            }
            tables.append(table);
        }
    });
    if (!received)
        return false;
    if (record == Failed)
        return damaged(failure);
    m_tables = tables;
    m_jetVersion = jetVersion;
    return true;
}

bool AccessReader::next(AccessBatch* batch) {
    batch->rows.clear();
    while (!m_finished && m_error.isEmpty() && m_stream) {
        quint8 record = 0;
        quint32 index = 0, count = 0;
        quint64 rowNumber = 0;
        QString table, id, column, why;
        QList<QVariantList> rows;
        const bool received = receive([&] {
            rows.clear();
            *m_stream >> record;
            switch (record) {
            case TableBegins:
                *m_stream >> index;
                if (index >= quint32(m_tables.size()))
                    m_stream->setStatus(QDataStream::ReadCorruptData);
                break;
            case Rows: {
                *m_stream >> count;
                if (m_current < 0 || count > kMaxBatchRows)
                    return m_stream->setStatus(QDataStream::ReadCorruptData);
                const qsizetype columns = m_tables[m_current].columns.size();
                for (quint32 r = 0; r < count && m_stream->status() == QDataStream::Ok; ++r) {
                    QVariantList row;
                    row.reserve(columns);
                    for (qsizetype c = 0; c < columns && m_stream->status() == QDataStream::Ok; ++c) {
                        quint8 kind = 0;
                        *m_stream >> kind;
                        if (kind == Null) {
                            row.append(QVariant());
                        } else if (kind == Integer) {
                            qint64 v = 0;
                            *m_stream >> v;
                            row.append(v);
                        } else if (kind == Real) {
                            double v = 0;
                            *m_stream >> v;
                            row.append(v);
                        } else if (kind == Text) {
                            QString v;
                            *m_stream >> v;
                            row.append(v);
                        } else if (kind == Bytes) {
                            QByteArray v;
                            *m_stream >> v;
                            row.append(v);
                        } else {
                            return m_stream->setStatus(QDataStream::ReadCorruptData);
                        }
                    }
                    rows.append(row);
                }
                break;
            }
            case TableEnds:
                *m_stream >> rowNumber;
                break;
            case Finished:
                break;
            case Failed:
                *m_stream >> why;
                break;
            case BadValue:
                *m_stream >> table >> rowNumber >> id >> column >> why;
                break;
            default:
                m_stream->setStatus(QDataStream::ReadCorruptData);
            }
        });
        if (!received)
            return false;
        switch (record) {
        case TableBegins:
            m_current = int(index);
            m_rowsOfTable = 0;
            break;
        case Rows:
            batch->table = m_current;
            batch->rows = std::move(rows);
            m_rowsOfTable += quint64(batch->rows.size());
            return true;
        case TableEnds:
            if (m_current < 0 || rowNumber != m_rowsOfTable)
                return damaged(QStringLiteral("the reader lost count of the rows"));
            m_current = -1;
            break;
        case Finished:
            m_finished = true;
            if (m_process->state() != QProcess::NotRunning &&
                !m_process->waitForFinished(m_options.idleTimeoutMs))
                close();
            break;
        case Failed:
            return damaged(why);
        case BadValue:
            return fail(badValueMessage(table, rowNumber, id, column), why);
        }
    }
    return false;
}

// Reads one record, waiting for the child as long as it is incomplete. A child that ends before
// the record does, sends what is no record, or says nothing for too long leaves a damaged file.
template <typename Parse> bool AccessReader::receive(Parse parse) {
    for (;;) {
        m_stream->startTransaction();
        parse();
        if (m_stream->commitTransaction())
            return true;
        if (m_stream->status() != QDataStream::ReadPastEnd)
            return damaged(QStringLiteral("the reader sent garbage"));
        if (m_process->state() == QProcess::NotRunning)
            return damaged(QStringLiteral("the reader ended (exit %1, %2) before its answer did")
                               .arg(m_process->exitCode())
                               .arg(m_process->exitStatus() == QProcess::CrashExit
                                        ? QStringLiteral("crashed")
                                        : QStringLiteral("exited")));
        const qint64 left = m_options.totalTimeoutMs - m_clock.elapsed();
        if (left <= 0)
            return damaged(
                QStringLiteral("the reading took longer than %1 ms").arg(m_options.totalTimeoutMs));
        const qint64 before = m_process->bytesAvailable();
        m_process->waitForReadyRead(int(qMin<qint64>(m_options.idleTimeoutMs, left)));
        if (m_process->bytesAvailable() == before && m_process->state() != QProcess::NotRunning)
            return damaged(QStringLiteral("the reader said nothing for %1 ms").arg(m_options.idleTimeoutMs));
    }
}

} // namespace accessimport
