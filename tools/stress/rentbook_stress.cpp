// Puts the ledger through what users' machines do to it: processes killed with SIGKILL in the
// middle of saving, and two copies saving at once. Each child saves receipts through the same
// code as the main window and prints every receipt number it has stored (acknowledged) on a line
// of its own; the parent then checks the ledger's integrity and that every acknowledged receipt is
// there, and, for two copies, that no number was stored twice.
//
//   rentbook_stress kill [runs]     (default 200)
//   rentbook_stress copies [each]   (default 100 receipts per copy)

#include "data/Database.h"
#include "receipt/ReceiptForm.h"
#include "receipt/ReceiptLedger.h"
#include "receipt/ReceiptNumber.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

namespace {

ReceiptForm sampleForm(const QString& address) {
    ReceiptForm f;
    f.address = address;
    f.waterlast = QStringLiteral("100");
    f.waterthis = QStringLiteral("112.5");
    f.housefee = QStringLiteral("800");
    f.total = QStringLiteral("840");
    f.issueDate = QDateTime(QDate(2026, 12, 6), QTime(9, 5, 3));
    f.periodStart = QDateTime(QDate(2026, 12, 1), QTime());
    f.periodEnd = QDateTime(QDate(2026, 12, 31), QTime());
    return f;
}

// The child: saves `count` receipts (0: until killed), one acknowledged number per line.
int saveReceipts(const QString& ledger, const QString& address, int count) {
    Database db(ledger);
    if (!db.open())
        return 3;
    ReceiptForm f = sampleForm(address);
    try {
        for (int i = 0; count == 0 || i < count; ++i) {
            f.number = NextReceiptNumber(db);
            InsertReceipt(db, f);
            std::printf("%s\n", qPrintable(f.number));
            std::fflush(stdout);
        }
    } catch (const DbError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.engineText()));
        return 4;
    }
    return 0;
}

QString emptyLedger() {
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("NewRentbook.nrbk"));
}

bool integrityOk(const QString& ledger) {
    Database db(ledger);
    if (!db.open())
        return false;
    Recordset rs = db.query(QStringLiteral("pragma integrity_check"));
    return !rs.isEOF() && rs.field(0) == QLatin1String("ok");
}

QSet<QString> storedNumbers(const QString& ledger, int* rows = nullptr) {
    QSet<QString> out;
    Database db(ledger);
    if (!db.open())
        return out;
    int n = 0;
    for (Recordset rs = db.query(QStringLiteral("select [NO] from RECEIPT")); !rs.isEOF(); rs.moveNext(), ++n)
        out.insert(rs.field(0));
    if (rows)
        *rows = n;
    return out;
}

QStringList acknowledged(QProcess& child) {
    QStringList out;
    for (const QByteArray& line : child.readAllStandardOutput().split('\n'))
        if (!line.trimmed().isEmpty())
            out << QString::fromLatin1(line.trimmed());
    return out;
}

int killRuns(int runs) {
    QTemporaryDir dir;
    const QString ledger = dir.filePath(QStringLiteral("Rentbook.rbk"));
    if (!QFile::copy(emptyLedger(), ledger))
        return 2;
    QFile::setPermissions(ledger, QFile::ReadOwner | QFile::WriteOwner);
    int saves = 0, journalsLeft = 0, lost = 0, damaged = 0;
    QSet<QString> allAcknowledged;
    for (int run = 0; run < runs; ++run) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("-child"), ledger, QStringLiteral("K"), QStringLiteral("0")});
        if (!child.waitForStarted())
            return 2;
        QThread::msleep(20 + QRandomGenerator::global()->bounded(300));
        child.kill();
        child.waitForFinished();
        const QStringList acked = acknowledged(child);
        saves += int(acked.size());
        for (const QString& n : acked)
            allAcknowledged.insert(n);
        if (QFile::exists(ledger + QStringLiteral("-journal")))
            ++journalsLeft;
        if (!integrityOk(ledger))
            ++damaged;
        const QSet<QString> stored = storedNumbers(ledger);
        for (const QString& n : std::as_const(allAcknowledged))
            if (!stored.contains(n))
                ++lost;
    }
    int rows = 0;
    const QSet<QString> stored = storedNumbers(ledger, &rows);
    std::printf("kill -9 runs: %d, acknowledged saves: %d, journals left by a kill: %d\n", runs, saves,
                journalsLeft);
    std::printf("ledgers failing integrity_check: %d, acknowledged receipts missing: %d\n", damaged, lost);
    std::printf("receipts stored: %d, distinct numbers: %d\n", rows, int(stored.size()));
    return damaged == 0 && lost == 0 && rows == stored.size() ? 0 : 1;
}

int twoCopies(int each) {
    QTemporaryDir dir;
    const QString ledger = dir.filePath(QStringLiteral("Rentbook.rbk"));
    if (!QFile::copy(emptyLedger(), ledger))
        return 2;
    QFile::setPermissions(ledger, QFile::ReadOwner | QFile::WriteOwner);
    QProcess a, b;
    const QString count = QString::number(each);
    a.start(QCoreApplication::applicationFilePath(),
            {QStringLiteral("-child"), ledger, QStringLiteral("A"), count});
    b.start(QCoreApplication::applicationFilePath(),
            {QStringLiteral("-child"), ledger, QStringLiteral("B"), count});
    a.waitForFinished(120000);
    b.waitForFinished(120000);
    const QStringList ackA = acknowledged(a), ackB = acknowledged(b);
    int rows = 0;
    const QSet<QString> stored = storedNumbers(ledger, &rows);
    int missing = 0;
    for (const QString& n : ackA + ackB)
        if (!stored.contains(n))
            ++missing;
    std::printf("two copies saving %d receipts each: exit codes %d and %d, acknowledged %d + %d\n", each,
                a.exitCode(), b.exitCode(), int(ackA.size()), int(ackB.size()));
    std::printf("receipts stored: %d, distinct numbers: %d, acknowledged but missing: %d, integrity: %s\n",
                rows, int(stored.size()), missing, integrityOk(ledger) ? "ok" : "FAILED");
    return a.exitCode() == 0 && b.exitCode() == 0 && rows == 2 * each && stored.size() == rows && missing == 0
               ? 0
               : 1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) == QLatin1String("-child"))
        return saveReceipts(args.value(2), args.value(3), args.value(4).toInt());
    if (args.value(1) == QLatin1String("copies"))
        return twoCopies(args.size() > 2 ? args.value(2).toInt() : 100);
    if (args.value(1) == QLatin1String("kill"))
        return killRuns(args.size() > 2 ? args.value(2).toInt() : 200);
    std::fprintf(stderr, "usage: rentbook_stress kill [runs] | copies [receipts per copy]\n");
    return 2;
}
