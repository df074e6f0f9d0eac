// The Access files of 100,000 receipts: how long the test tool takes to write a Jet 3 and a Jet 4
// file of them, how long the reader takes to read them and the import to put them into a new
// ledger file, with the memory each used. Not a test.

#include "accessimport/AccessChild.h"
#include "accessimport/AccessImport.h"
#include "accessimport/AccessLedger.h"
#include "data/Database.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <sys/resource.h>

#include <cstdio>

using namespace accessimport;

namespace {

bool python(const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral(RENTBOOK_PYTHON), arguments);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

long maxResidentMb(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_maxrss / 1024;
}

} // namespace

// Reads a file as the importer will, in a process of its own so that the memory figures are the
// reading's alone; prints the receipts read, the seconds, and the most memory of child and parent.
int readFile(const QString& file) {
    QElapsedTimer clock;
    clock.start();
    AccessLedgerReader reader;
    qint64 receipts = 0;
    AccessBatch batch;
    if (reader.open(file)) {
        while (reader.next(&batch))
            if (reader.tables()[batch.table].name == u"RECEIPT")
                receipts += batch.rows.size();
    }
    if (!reader.atEnd()) {
        std::fprintf(stderr, "%s: %s (%s)\n", qPrintable(file), qPrintable(reader.errorString()),
                     qPrintable(reader.detail()));
        return 1;
    }
    reader.close();
    std::printf("%lld %.1f %ld %ld\n", receipts, clock.elapsed() / 1000.0, maxResidentMb(RUSAGE_CHILDREN),
                maxResidentMb(RUSAGE_SELF));
    return 0;
}

// Imports a file into a new ledger file made from the empty ledger, in a process of its own; prints
// the receipts imported, the seconds, and the most memory of child and parent.
int importFile(const QString& file, const QString& ledger) {
    QFile::remove(ledger);
    Database db(ledger);
    if (!QFile::copy(QStringLiteral(RENTBOOK_EMPTY_LEDGER), ledger) ||
        !QFile::setPermissions(ledger, QFile::ReadOwner | QFile::WriteOwner) || !db.open()) {
        std::fprintf(stderr, "no new ledger at %s from %s\n", qPrintable(ledger), RENTBOOK_EMPTY_LEDGER);
        return 1;
    }
    QElapsedTimer clock;
    clock.start();
    const ImportResult result = ImportAccessLedger(db, file);
    if (!result.ok) {
        std::fprintf(stderr, "%s\n", qPrintable(result.message));
        return 1;
    }
    std::printf("%lld %.1f %ld %ld\n", result.tables.value(0).rows, clock.elapsed() / 1000.0,
                maxResidentMb(RUSAGE_CHILDREN), maxResidentMb(RUSAGE_SELF));
    return 0;
}

// Runs this program with the arguments and returns the four figures it prints; empty on failure.
QList<QByteArray> figuresOf(const QStringList& arguments) {
    QProcess run;
    run.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    run.start(QCoreApplication::applicationFilePath(), arguments);
    if (!run.waitForFinished(-1) || run.exitCode() != 0)
        return {};
    const QList<QByteArray> figures = run.readAllStandardOutput().simplified().split(' ');
    return figures.size() == 4 ? figures : QList<QByteArray>{};
}

int main(int argc, char** argv) {
    if (const int status = runAccessReaderChild(argc, argv); status >= 0)
        return status;
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--read") == 0)
        return readFile(QString::fromLocal8Bit(argv[2]));
    if (argc == 4 && qstrcmp(argv[1], "--import") == 0)
        return importFile(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    const QString source = QStringLiteral(RENTBOOK_SOURCE_DIR);
    const QDir dir(QStringLiteral(RENTBOOK_BENCH_DIR));
    dir.mkpath(QStringLiteral("access"));
    const QString ledger = dir.filePath(QStringLiteral("access/receipts-100000.rbk"));
    if (!QFileInfo::exists(ledger) &&
        !python({source + QStringLiteral("/tests/accessimport/make_test_ledger.py"),
                 source + QStringLiteral("/data/schema.sql"), ledger, QStringLiteral("--jet3"),
                 QStringLiteral("--receipts"), QStringLiteral("100000")})) {
        std::fprintf(stderr, "the ledger of 100,000 receipts could not be made\n");
        return 1;
    }
    for (const QString& format : {QStringLiteral("--jet3"), QStringLiteral("--jet4")}) {
        const QString file = dir.filePath(QStringLiteral("access/receipts-100000%1.mdb").arg(format));
        QElapsedTimer clock;
        clock.start();
        if (!python({source + QStringLiteral("/tools/make_access_ledger"), format, ledger, file})) {
            std::fprintf(stderr, "make_access_ledger %s failed\n", qPrintable(format));
            return 1;
        }
        const double written = clock.elapsed() / 1000.0;
        const QList<QByteArray> figures = figuresOf({QStringLiteral("--read"), file});
        const QList<QByteArray> imported = figuresOf(
            {QStringLiteral("--import"), file, dir.filePath(QStringLiteral("access/imported.rbk"))});
        if (figures.isEmpty() || imported.isEmpty())
            return 1;
        std::printf(
            "%s, %.1f MB: written in %.1f s; read in %s s, %s receipts; most memory: the reading child "
            "%s MB, the program %s MB\n",
            qPrintable(format.mid(2)), QFileInfo(file).size() / 1048576.0, written, figures[1].constData(),
            figures[0].constData(), figures[2].constData(), figures[3].constData());
        std::printf(
            "%s: imported into a new ledger file in %s s, %s receipts; most memory: the reading child "
            "%s MB, the program %s MB\n",
            qPrintable(format.mid(2)), imported[1].constData(), imported[0].constData(),
            imported[2].constData(), imported[3].constData());
    }
    return 0;
}
