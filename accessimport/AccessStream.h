#pragma once

// What the reading child sends its parent, as a QDataStream:
//   magic, version,
//   Catalogue: Jet version, then per user table: name, row count the file records, columns
//              (name, type),
//   per wanted table: TableBegins (index into the catalogue), Rows batches (count, then per row
//              per column a ValueKind and its value), TableEnds (rows read),
//   and last Finished, or Failed (a detail for the log), or BadValue (table, row, id, column,
//   why), after which nothing follows.

#include <QDataStream>
#include <QtGlobal>

namespace accessimport::stream {

inline constexpr quint32 kMagic = 0x52424143; // "RBAC"
inline constexpr quint32 kVersion = 1;
inline constexpr QDataStream::Version kDataStreamVersion = QDataStream::Qt_6_0;

enum Record : quint8 {
    Catalogue = 'C',
    TableBegins = 'T',
    Rows = 'R',
    TableEnds = 'E',
    Finished = 'Z',
    Failed = 'X',
    BadValue = 'B'
};
enum ValueKind : quint8 { Null = 0, Integer = 1, Real = 2, Text = 3, Bytes = 4 };

// A batch is sent after this many rows, so that the parent sees progress.
inline constexpr int kBatchRows = 500;

} // namespace accessimport::stream
