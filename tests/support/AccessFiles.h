#pragma once

// The Access files of the import's tests: a test ledger and the file the tool writes of it, files
// written byte for byte, and a file with one of its bytes changed.

#include "tests/support/AccessTestFile.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

struct AccessFile {
    QString ledger;
    QString file;
    QString error;
};

// The test ledger "source.rbk" in dir and "old.mdb" written of it; options: the tool's.
inline AccessFile makeAccessFile(const QTemporaryDir& dir, const QStringList& options, int receipts = 40) {
    AccessFile made{dir.filePath(QStringLiteral("source.rbk")), dir.filePath(QStringLiteral("old.mdb")), {}};
    made.error = MakeAccessTestFile(made.ledger, made.file, options, receipts);
    return made;
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Changes a byte that holds something (most of a page is free space, where a change harms
// nothing), past the first 20; returns where.
inline qsizetype changeAByte(QByteArray& bytes, QRandomGenerator& random) {
    qsizetype at = 0;
    do
        at = random.bounded(qsizetype(20), bytes.size());
    while (bytes[at] == 0);
    bytes[at] = char(bytes[at] ^ (1 + random.bounded(255)));
    return at;
}
