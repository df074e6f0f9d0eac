#include "accessimport/AccessChild.h"

#include "accessimport/AccessStream.h"
#include "accessimport/JetValues.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QUuid>

#include <mdbtools.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>

namespace accessimport {
namespace {

using namespace stream;

// Row offsets carry two flags in their high bits (the meaning Jackcess documents; libmdb's own
// row scan has them the other way round and so shows deleted rows and loses moved ones).
constexpr int kOffsetMask = 0x1FFF;
constexpr int kDeletedRow = 0x8000; // kept on its page until the file is compacted
constexpr int kMovedRow = 0x4000;   // its place holds a pointer to the row on another page
constexpr quint32 kLongValueLimit = 256u << 20;

struct Damaged {
    QString detail;
};
struct Unreadable {
    QString why;
};

quint32 u32(const void* p) {
    return static_cast<quint32>(mdb_get_int32(const_cast<void*>(p), 0));
}

// The bytes of a long value (memo or OLE) kept on long-value pages.
QByteArray longValuePiece(MdbHandle* mdb, quint32 pageRow) {
    void* buf = nullptr;
    int offset = 0;
    size_t length = 0;
    if (pageRow >> 8 == 0 || mdb_find_pg_row(mdb, pageRow, &buf, &offset, &length) != 0)
        throw Damaged{QStringLiteral("long value at %1 cannot be found").arg(pageRow)};
    const auto* page = static_cast<const unsigned char*>(buf);
    if (page[0] != MDB_PAGE_DATA || std::memcmp(page + 4, "LVAL", 4) != 0)
        throw Damaged{QStringLiteral("page %1 is no long-value page").arg(pageRow >> 8)};
    return QByteArray(reinterpret_cast<const char*>(page) + offset, static_cast<qsizetype>(length));
}

QByteArray longValue(MdbHandle* mdb, const MdbField& field) {
    if (field.siz < MDB_MEMO_OVERHEAD)
        throw Damaged{QStringLiteral("long value header of %1 bytes").arg(field.siz)};
    const auto* head = static_cast<const unsigned char*>(field.value);
    const quint32 word = u32(head);
    const quint32 length = word & 0x3FFFFFFF;
    if (length > kLongValueLimit)
        throw Damaged{QStringLiteral("long value of %1 bytes").arg(length)};
    quint32 pageRow = u32(head + 4);
    switch (word & 0xC0000000) {
    case 0x80000000: // in the row itself
        if (length > static_cast<quint32>(field.siz - MDB_MEMO_OVERHEAD))
            throw Damaged{QStringLiteral("long value longer than its row")};
        return QByteArray(reinterpret_cast<const char*>(head) + MDB_MEMO_OVERHEAD, length);
    case 0x40000000: { // one row of a long-value page
        QByteArray value = longValuePiece(mdb, pageRow);
        if (static_cast<quint32>(value.size()) < length)
            throw Damaged{QStringLiteral("long value shorter than recorded")};
        value.truncate(length);
        return value;
    }
    case 0: { // a chain of rows, each led by the pointer to the next
        QByteArray value;
        for (int hops = 0; static_cast<quint32>(value.size()) < length; ++hops) {
            if (pageRow == 0 || hops > 100000)
                throw Damaged{QStringLiteral("long value chain ends early")};
            const QByteArray piece = longValuePiece(mdb, pageRow);
            if (piece.size() < 4)
                throw Damaged{QStringLiteral("long value chain piece of %1 bytes").arg(piece.size())};
            pageRow = u32(piece.constData());
            value += piece.mid(4);
        }
        value.truncate(length);
        return value;
    }
    default:
        throw Damaged{QStringLiteral("long value kind %1").arg(word >> 30)};
    }
}

int fixedSize(int type) {
    switch (type) {
    case MDB_BYTE:
        return 1;
    case MDB_INT:
        return 2;
    case MDB_LONGINT:
    case MDB_FLOAT:
        return 4;
    case MDB_MONEY:
    case MDB_DOUBLE:
    case MDB_DATETIME:
        return 8;
    case MDB_REPID:
        return 16;
    case MDB_NUMERIC:
        return 17;
    default:
        return 0;
    }
}

void putText(QDataStream& out, MdbHandle* mdb, QByteArrayView bytes) {
    bool ok = false;
    const QString text = jetText(bytes, IS_JET3(mdb), &ok);
    if (!ok)
        throw Unreadable{IS_JET3(mdb) ? QStringLiteral("no GBK text") : QStringLiteral("no UCS-2 text")};
    out << quint8(Text) << text;
}

void putValue(QDataStream& out, MdbHandle* mdb, const MdbColumn* col, const MdbField& field) {
    if (col->col_type == MDB_BOOL) { // kept in the null mask
        out << quint8(Integer) << qint64(field.is_null ? 0 : 1);
        return;
    }
    if (field.is_null) {
        out << quint8(Null);
        return;
    }
    if (field.start < 0 || field.siz < 0 || field.siz < fixedSize(col->col_type) ||
        field.start + field.siz > mdb->fmt->pg_size)
        throw Damaged{QStringLiteral("value of %1 bytes at %2").arg(field.siz).arg(field.start)};
    const auto* p = static_cast<const unsigned char*>(field.value);
    void* v = field.value;
    switch (col->col_type) {
    case MDB_BYTE:
        out << quint8(Integer) << qint64(p[0]);
        break;
    case MDB_INT:
        out << quint8(Integer) << qint64(static_cast<qint16>(mdb_get_int16(v, 0)));
        break;
    case MDB_LONGINT:
        out << quint8(Integer) << qint64(static_cast<qint32>(u32(p)));
        break;
    case MDB_MONEY: {
        quint64 units = 0;
        for (int i = 7; i >= 0; --i)
            units = units << 8 | p[i];
        out << quint8(Text) << currencyText(static_cast<qint64>(units));
        break;
    }
    case MDB_FLOAT: {
        const float f = mdb_get_single(v, 0);
        if (!std::isfinite(f))
            throw Unreadable{QStringLiteral("no number")};
        // The float's own shortest decimals, not its binary expansion as a double.
        char text[32];
        const auto end = std::to_chars(text, text + sizeof text, f).ptr;
        out << quint8(Real) << QByteArray(text, end - text).toDouble();
        break;
    }
    case MDB_DOUBLE: {
        const double d = mdb_get_double(v, 0);
        if (!std::isfinite(d))
            throw Unreadable{QStringLiteral("no number")};
        out << quint8(Real) << d;
        break;
    }
    case MDB_DATETIME: {
        const QString text = jetDateText(mdb_get_double(v, 0));
        if (text.isEmpty())
            throw Unreadable{QStringLiteral("no date")};
        out << quint8(Text) << text;
        break;
    }
    case MDB_TEXT:
        putText(out, mdb, QByteArrayView(p, field.siz));
        break;
    case MDB_MEMO:
        putText(out, mdb, longValue(mdb, field));
        break;
    case MDB_OLE:
        out << quint8(Bytes) << longValue(mdb, field);
        break;
    case MDB_BINARY:
        out << quint8(Bytes) << QByteArray(reinterpret_cast<const char*>(p), field.siz);
        break;
    case MDB_REPID: {
        const QUuid id(u32(p), quint16(mdb_get_int16(v, 4)), quint16(mdb_get_int16(v, 6)), p[8], p[9], p[10],
                       p[11], p[12], p[13], p[14], p[15]);
        out << quint8(Text) << id.toString(QUuid::WithBraces).toUpper();
        break;
    }
    case MDB_NUMERIC: {
        char* text = mdb_numeric_to_string(mdb, field.start, col->col_scale, col->col_prec);
        out << quint8(Text) << QString::fromLatin1(text);
        g_free(text);
        break;
    }
    default: // a kind the ledger never had; the catalogue names its type
        out << quint8(Null);
        break;
    }
}

class Child {
public:
    Child(MdbHandle* mdb, quint64 pages, QDataStream& out) : m_mdb(mdb), m_pages(pages), m_out(out) {}

    void readCatalogue() {
        // The catalogue is a table too: lost pages there would hide whole tables.
        MdbCatalogEntry system;
        std::memset(&system, 0, sizeof system);
        system.mdb = m_mdb;
        system.object_type = MDB_TABLE;
        system.table_pg = 2;
        std::strcpy(system.object_name, "MSysObjects");
        scanRows(openTable(&system).get(), [](int, size_t) { return true; });

        GPtrArray* catalogue = mdb_read_catalog(m_mdb, MDB_TABLE);
        if (!catalogue)
            throw Damaged{QStringLiteral("no catalogue")};
        for (guint i = 0; i < catalogue->len; ++i) {
            auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalogue, i));
            if (mdb_is_user_table(entry))
                m_entries.append(entry);
        }
        m_out << quint8(Catalogue) << qint32(m_mdb->f->jet_version) << quint32(m_entries.size());
        for (MdbCatalogEntry* entry : m_entries) {
            const TableDef table = openTable(entry);
            m_out << QString::fromUtf8(entry->object_name) << quint64(table->num_rows)
                  << quint32(table->num_cols);
            for (guint c = 0; c < table->num_cols; ++c) {
                const auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, c));
                m_out << QString::fromUtf8(col->name) << quint8(col->col_type);
            }
        }
    }

    // Sends the rows of the wanted tables the file has, in the order asked for.
    bool readTables(const QStringList& wanted) {
        for (const QString& name : wanted) {
            for (qsizetype i = 0; i < m_entries.size(); ++i) {
                if (QString::fromUtf8(m_entries[i]->object_name).compare(name, Qt::CaseInsensitive) == 0) {
                    if (!sendRows(i, openTable(m_entries[i]).get()))
                        return false;
                    break;
                }
            }
        }
        return true;
    }

private:
    using TableDef = std::unique_ptr<MdbTableDef, decltype(&mdb_free_tabledef)>;

    TableDef openTable(MdbCatalogEntry* entry) {
        TableDef table(mdb_read_table(entry), &mdb_free_tabledef);
        if (!table)
            throw Damaged{
                QStringLiteral("table %1 cannot be read").arg(QString::fromUtf8(entry->object_name))};
        if (table->num_cols > MDB_MAX_COLS || !mdb_read_columns(table.get()) ||
            table->columns->len != table->num_cols)
            throw Damaged{
                QStringLiteral("columns of %1 cannot be read").arg(QString::fromUtf8(entry->object_name))};
        return table;
    }

    // Calls visit(start, size) for every row of the table, until it returns false: the rows on
    // the data pages its usage map lists, whatever count the table definition records (a file
    // not closed properly may record none), a moved row in its place. Lost pages are a damaged
    // file.
    template <typename Visit> bool scanRows(MdbTableDef* table, Visit visit) {
        // libmdb reads a page just past the end as zeros, and skips it as no page of the table.
        for (gint32 page = 0;
             (page = mdb_map_find_next(m_mdb, table->usage_map, guint(table->map_sz), page)) > 0;)
            if (quint64(page) >= m_pages)
                throw Damaged{QStringLiteral("page %1 of %2 is past the end")
                                  .arg(page)
                                  .arg(QString::fromUtf8(table->name))};
        const int rowCountAt = m_mdb->fmt->row_count_offset;
        quint64 seen = 0;
        mdb_rewind_table(table);
        while (mdb_read_next_dpg(table)) {
            const guint32 page = table->cur_phys_pg;
            const int rows = mdb_get_int16(m_mdb->pg_buf, rowCountAt);
            for (int r = 0; r < rows; ++r) {
                int start = 0;
                size_t size = 0;
                if (mdb_find_row(m_mdb, r, &start, &size) != 0 || size == 0)
                    throw Damaged{QStringLiteral("row %1 of page %2").arg(r).arg(page)};
                if (start & kDeletedRow)
                    continue;
                ++seen;
                if (!(start & kMovedRow)) {
                    if (!visit(start & kOffsetMask, size))
                        return false;
                    continue;
                }
                if (size < 4)
                    throw Damaged{QStringLiteral("moved row %1 of page %2").arg(r).arg(page)};
                findMovedRow(table, u32(m_mdb->pg_buf + (start & kOffsetMask)), &start, &size);
                const bool go = visit(start, size);
                if (!mdb_read_pg(m_mdb, page))
                    throw Damaged{QStringLiteral("page %1 cannot be read again").arg(page)};
                if (!go)
                    return false;
            }
        }
        // Fewer rows than the table definition records: pages are lost, and an import would
        // silently lack their rows.
        if (seen < table->num_rows)
            throw Damaged{QStringLiteral("%1 rows of %2 found, %3 recorded")
                              .arg(seen)
                              .arg(QString::fromUtf8(table->name))
                              .arg(table->num_rows)};
        return true;
    }

    // Reads the page a moved row lives on; the row's place on it.
    void findMovedRow(MdbTableDef* table, quint32 target, int* start, size_t* size) {
        const guint32 page = target >> 8;
        const int row = int(target & 0xFF);
        if (page == 0 || !mdb_read_pg(m_mdb, page) || m_mdb->pg_buf[0] != MDB_PAGE_DATA ||
            mdb_get_int32(m_mdb->pg_buf, 4) != long(table->entry->table_pg) ||
            row >= mdb_get_int16(m_mdb->pg_buf, m_mdb->fmt->row_count_offset) ||
            mdb_find_row(m_mdb, row, start, size) != 0 || *size == 0 || (*start & kMovedRow))
            throw Damaged{QStringLiteral("moved row at %1 cannot be found").arg(target)};
        *start &= kOffsetMask;
    }

    bool sendRows(qsizetype index, MdbTableDef* table) {
        m_out << quint8(TableBegins) << quint32(index);
        m_table = table;
        m_rowNumber = 0;
        m_batch.clear();
        m_batchRows = 0;
        if (!scanRows(table, [this](int start, size_t size) { return sendRow(start, size); }))
            return false;
        flushBatch();
        m_out << quint8(TableEnds) << quint64(m_rowNumber);
        return true;
    }

    // False when a value cannot be read: the BadValue record is sent and nothing follows.
    bool sendRow(int start, size_t size) {
        MdbField fields[MDB_MAX_COLS];
        if (mdb_crack_row(m_table, start, size, fields) < 0)
            throw Damaged{QStringLiteral("row at %1 cannot be taken apart").arg(start)};
        ++m_rowNumber;
        QByteArray row;
        QDataStream out(&row, QIODevice::WriteOnly);
        out.setVersion(kDataStreamVersion);
        for (guint c = 0; c < m_table->num_cols; ++c) {
            const auto* col = static_cast<MdbColumn*>(g_ptr_array_index(m_table->columns, c));
            try {
                putValue(out, m_mdb, col, fields[c]);
            } catch (const Unreadable& bad) {
                flushBatch();
                m_out << quint8(BadValue) << QString::fromUtf8(m_table->entry->object_name)
                      << quint64(m_rowNumber) << rowId(fields) << QString::fromUtf8(col->name) << bad.why;
                return false;
            }
        }
        m_batch += row;
        if (++m_batchRows == kBatchRows)
            flushBatch();
        return true;
    }

    // The row's id, to name the row in a message; empty when it has none.
    QString rowId(const MdbField* fields) const {
        for (guint c = 0; c < m_table->num_cols; ++c) {
            const auto* col = static_cast<MdbColumn*>(g_ptr_array_index(m_table->columns, c));
            if (qstricmp(col->name, "id") == 0 && col->col_type == MDB_LONGINT && !fields[c].is_null &&
                fields[c].siz >= 4)
                return QString::number(static_cast<qint32>(u32(fields[c].value)));
        }
        return {};
    }

    void flushBatch() {
        if (m_batchRows == 0)
            return;
        m_out << quint8(Rows) << quint32(m_batchRows);
        m_out.writeRawData(m_batch.constData(), int(m_batch.size()));
        if (auto* file = qobject_cast<QFile*>(m_out.device()))
            file->flush();
        m_batch.clear();
        m_batchRows = 0;
    }

    MdbHandle* m_mdb;
    quint64 m_pages; // in the file
    QDataStream& m_out;
    QList<MdbCatalogEntry*> m_entries;
    MdbTableDef* m_table = nullptr;
    quint64 m_rowNumber = 0;
    QByteArray m_batch;
    int m_batchRows = 0;
};

} // namespace

int runAccessReaderChild(int argc, char** argv) {
    if (argc < 3 || std::strcmp(argv[1], kReadAccessFileSwitch) != 0)
        return -1;
    // What the parent reads goes to a descriptor of its own: anything a library prints on
    // standard output lands on standard error instead of in the middle of the data.
    const int dataFd = dup(STDOUT_FILENO);
    dup2(STDERR_FILENO, STDOUT_FILENO);
    QFile data;
    if (dataFd < 0 || !data.open(dataFd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle))
        return 2;
    QDataStream out(&data);
    out.setVersion(kDataStreamVersion);
    out << kMagic << kVersion;

    // Jet 3 names in GBK, whatever code page the file claims (values are decoded here, from
    // their bytes); names come as UTF-8; no debugging output, no search path for the file.
    qputenv("MDB_JET3_CHARSET", "GBK");
    qputenv("MDBICONV", "UTF-8");
    qunsetenv("MDB_ICONV");
    qunsetenv("MDBOPTS");
    qunsetenv("MDBPATH");
    QStringList wanted;
    for (int i = 3; i < argc; ++i)
        wanted << QString::fromLocal8Bit(argv[i]);

    MdbHandle* mdb = mdb_open(argv[2], MDB_NOFLAGS);
    if (!mdb) {
        out << quint8(Failed) << QStringLiteral("libmdb cannot open the file");
        return 0;
    }
    // Access writes whole pages; a file that ends within one was cut short.
    const qint64 size = QFileInfo(QFile::decodeName(argv[2])).size();
    if (size % mdb->fmt->pg_size != 0) {
        out << quint8(Failed) << QStringLiteral("the file ends within a page");
        mdb_close(mdb);
        return 0;
    }
    try {
        Child child(mdb, quint64(size / mdb->fmt->pg_size), out);
        child.readCatalogue();
        if (child.readTables(wanted))
            out << quint8(Finished);
    } catch (const Damaged& damaged) {
        out << quint8(Failed) << damaged.detail;
    }
    mdb_close(mdb);
    data.close();
    return 0;
}

} // namespace accessimport
