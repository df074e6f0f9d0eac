#pragma once

// An Access file for the import's tests: a test ledger with the awkward rows
// (tests/accessimport/make_test_ledger.py, "--jet3" among options leaves out what GBK cannot
// hold) and receipts more, written by tools/make_access_ledger with options. The including test
// defines RENTBOOK_SOURCE_DIR and RENTBOOK_PYTHON. Returns what went wrong, empty when made.

#include <QProcess>
#include <QString>
#include <QStringList>

inline QString MakeAccessTestFile(const QString& ledger, const QString& out, const QStringList& options,
                                  int receipts) {
    const QString source = QStringLiteral(RENTBOOK_SOURCE_DIR);
    QStringList ledgerArgs{source + QStringLiteral("/tests/accessimport/make_test_ledger.py"),
                           source + QStringLiteral("/data/schema.sql"), ledger, QStringLiteral("--receipts"),
                           QString::number(receipts)};
    if (options.contains(QStringLiteral("--jet3")))
        ledgerArgs << QStringLiteral("--jet3");
    const QList<QStringList> runs{ledgerArgs,
                                  QStringList{source + QStringLiteral("/tools/make_access_ledger")} +
                                      options + QStringList{ledger, out}};
    for (const QStringList& arguments : runs) {
        QProcess process;
        process.start(QStringLiteral(RENTBOOK_PYTHON), arguments);
        if (!process.waitForFinished(120000) || process.exitCode() != 0)
            return arguments.join(u' ') + QStringLiteral(" failed: ") +
                   QString::fromUtf8(process.readAllStandardError());
    }
    return {};
}
