// Puts the ledger through what users' machines do to it: processes killed with SIGKILL in the
// middle of saving, and two copies saving at once; on a server ledger also the server itself
// stopping dead in the middle of saves. Each child saves receipts through the same code as the
// main window and prints every receipt number it has stored (acknowledged) on a line of its own;
// the parent then checks the ledger's integrity and that every acknowledged receipt is there, and
// that no number was stored twice.
//
//   rentbook_stress kill [runs]           (default 200)
//   rentbook_stress copies [each]         (default 100 receipts per copy)
//   rentbook_stress server [runs] [stops] (default 100 clerk kills, 10 server crashes)
//
// "server" runs a PostgreSQL cluster of its own (scripts/test-postgres) in a temporary folder,
// with the durability a real server has, and removes it afterwards.

#include "data/Database.h"
#include "data/ServerConnection.h"
#include "data/ServerLedger.h"
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
#include <QUrl>
#include <QUrlQuery>

#include <QElapsedTimer>
#include <QHash>

#include <csignal>
#include <cstdio>

#include <sys/types.h>
#include <unistd.h>

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

// The child: saves `count` receipts (0: until killed), one acknowledged number per line. A
// persistent child is a clerk who saves again when the server was away, until it is killed or a
// minute has passed.
int saveReceipts(const QString& ledger, const QString& address, int count, bool persistent) {
    Database db(ledger);
    QElapsedTimer running;
    running.start();
    while (!db.open()) {
        if (!persistent || running.elapsed() > 60000)
            return 3;
        QThread::msleep(100);
    }
    ReceiptForm f = sampleForm(address);
    for (int i = 0; count == 0 || i < count;) {
        try {
            f.number = NextReceiptNumber(db);
            InsertReceipt(db, f);
            std::printf("%s\n", qPrintable(f.number));
            std::fflush(stdout);
            ++i;
        } catch (const DbError& e) {
            if (!persistent || running.elapsed() > 60000) {
                std::fprintf(stderr, "%s\n", qPrintable(e.engineText()));
                return 4;
            }
            // What was being saved may or may not be stored: it was not acknowledged. The next
            // statement connects again.
            QThread::msleep(50);
        }
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

QSet<QString> storedNumbers(const QString& ledger, int* rows = nullptr, bool* opened = nullptr) {
    QSet<QString> out;
    Database db(ledger);
    if (opened)
        *opened = db.open();
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
                    {QStringLiteral("-child"), ledger, QStringLiteral("K"), QStringLiteral("0"),
                     QStringLiteral("once")});
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
            {QStringLiteral("-child"), ledger, QStringLiteral("A"), count, QStringLiteral("once")});
    b.start(QCoreApplication::applicationFilePath(),
            {QStringLiteral("-child"), ledger, QStringLiteral("B"), count, QStringLiteral("once")});
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

// ---- a server ledger ------------------------------------------------------------------------

// A PostgreSQL cluster of its own in a temporary folder, removed with the object.
class Cluster {
public:
    Cluster()
        : m_script(QStringLiteral(RENTBOOK_TEST_POSTGRES)), m_dir(m_temp.filePath(QStringLiteral("pg"))) {}
    ~Cluster() {
        if (m_started)
            script(QStringLiteral("stop"));
    }
    bool start() {
        if (!m_temp.isValid() || !script(QStringLiteral("start")))
            return false;
        m_started = true;
        QFile f(m_dir + QStringLiteral("/env"));
        if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
            return false;
        while (!f.atEnd()) {
            const QString line = QString::fromUtf8(f.readLine()).trimmed();
            const qsizetype eq = line.indexOf(QLatin1Char('='));
            if (eq > 0)
                m_settings.insert(line.left(eq), line.mid(eq + 1));
        }
        return !setting(QStringLiteral("RENTBOOK_TEST_PG")).isEmpty();
    }
    QString setting(const QString& key) const { return m_settings.value(key); }
    // Runs psql as the superuser on the maintenance database.
    bool psql(const QString& sql) const {
        QProcess p;
        p.start(setting(QStringLiteral("RENTBOOK_TEST_PG_BIN")) + QStringLiteral("/psql"),
                {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"),
                 QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-d"),
                 setting(QStringLiteral("RENTBOOK_TEST_PG")), QStringLiteral("-c"), sql});
        return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }
    // The server stopped as a crash stops it: at once, with no shutdown checkpoint; every other
    // time by killing the postmaster itself.
    bool crash(bool killPostmaster) const {
        const QString data = setting(QStringLiteral("RENTBOOK_TEST_PG_DATA"));
        if (killPostmaster) {
            QFile pidFile(data + QStringLiteral("/postmaster.pid"));
            if (!pidFile.open(QIODevice::ReadOnly))
                return false;
            const pid_t pid = pid_t(pidFile.readLine().trimmed().toLong());
            if (pid <= 0 || ::kill(pid, SIGKILL) != 0)
                return false;
            // Gone, or a zombie nobody reaped yet: either way it serves no more, and its lock file
            // must not make the next start wait for it.
            for (int i = 0; i < 100; ++i) {
                QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
                if (!stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z ")) {
                    pidFile.close();
                    const QUrlQuery address(QUrl(setting(QStringLiteral("RENTBOOK_TEST_PG"))));
                    QFile::remove(QStringLiteral("%1/.s.PGSQL.%2.lock")
                                      .arg(address.queryItemValue(QStringLiteral("host")),
                                           address.queryItemValue(QStringLiteral("port"))));
                    return QFile::remove(pidFile.fileName());
                }
                QThread::msleep(50);
            }
            return false;
        }
        QStringList args{setting(QStringLiteral("RENTBOOK_TEST_PG_BIN")) + QStringLiteral("/pg_ctl"),
                         QStringLiteral("stop"),
                         QStringLiteral("-D"),
                         data,
                         QStringLiteral("-m"),
                         QStringLiteral("immediate"),
                         QStringLiteral("-w")};
        const QString runas = setting(QStringLiteral("RENTBOOK_TEST_PG_RUNAS"));
        if (!runas.isEmpty())
            args = QStringList{QStringLiteral("-u"), runas, QStringLiteral("--")} + args;
        QProcess p;
        p.setWorkingDirectory(QStringLiteral("/"));
        p.start(runas.isEmpty() ? args.takeFirst() : QStringLiteral("runuser"), args);
        return p.waitForFinished(60000) && p.exitCode() == 0;
    }
    // Starts the server again; the backends a killed postmaster left may hold its memory for a
    // moment.
    bool restart() {
        for (int i = 0; i < 40; ++i) {
            if (script(QStringLiteral("server-start"), i < 39))
                return true;
            QThread::msleep(250);
        }
        return false;
    }

private:
    // quiet: what the script says goes unread (a start that will be tried again).
    bool script(const QString& command, bool quiet = false) {
        QProcess p;
        p.setProcessChannelMode(quiet ? QProcess::SeparateChannels : QProcess::ForwardedErrorChannel);
        p.start(m_script, {command, m_dir});
        return p.waitForFinished(180000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }
    QTemporaryDir m_temp;
    QString m_script;
    QString m_dir;
    QHash<QString, QString> m_settings;
    bool m_started = false;
};

// A child saving on the server ledger as the clerk account, over TCP with its password.
void startClerk(QProcess& child, const QString& ledger, const QString& password, const QString& address,
                bool persistent) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PGPASSWORD"), password);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("-child"), ledger, address, QStringLiteral("0"),
                 persistent ? QStringLiteral("persistent") : QStringLiteral("once")});
}

// The acknowledged numbers a child has printed so far, read while it runs (its pipe must not
// fill up).
void collect(QProcess& child, QByteArray& out) {
    child.waitForReadyRead(0);
    out += child.readAllStandardOutput();
}

QStringList lines(const QByteArray& out) {
    QStringList numbers;
    for (const QByteArray& line : out.split('\n'))
        if (!line.trimmed().isEmpty())
            numbers << QString::fromLatin1(line.trimmed());
    return numbers;
}

// Clerks' processes killed while saving on a server ledger, then the server stopping dead while
// three clerks save.
int serverRuns(int runs, int stops) {
    Cluster cluster;
    if (!cluster.start()) {
        std::fprintf(stderr,
                     "rentbook_stress: the PostgreSQL cluster did not start (scripts/test-postgres)\n");
        return 2;
    }
    // The test cluster trades durability for speed; a server clerks rely on does not.
    for (const char* sql : {"alter system set fsync = on", "alter system set synchronous_commit = on",
                            "alter system set full_page_writes = on"})
        if (!cluster.psql(QString::fromLatin1(sql)))
            return 2;
    if (!cluster.psql(QStringLiteral("select pg_reload_conf()")) ||
        !cluster.psql(QStringLiteral("create database rentbook owner clerk")))
        return 2;
    const QString password = cluster.setting(QStringLiteral("RENTBOOK_TEST_PG_PASSWORD"));
    const QString ledger = cluster.setting(QStringLiteral("RENTBOOK_TEST_PG_TCP"))
                               .replace(QStringLiteral("/postgres"), QStringLiteral("/rentbook"));
    SetServerPassword(password);
    QString message;
    if (!InitServerLedger(ledger, message)) {
        std::fprintf(stderr, "rentbook_stress: %s\n", qPrintable(message));
        return 2;
    }
    ForgetServerConnections();

    QSet<QString> acknowledged;
    int lost = 0, saves = 0;
    const auto check = [&](const QStringList& acked) {
        saves += int(acked.size());
        for (const QString& n : acked)
            acknowledged.insert(n);
        const QSet<QString> stored = storedNumbers(ledger);
        for (const QString& n : std::as_const(acknowledged))
            lost += !stored.contains(n);
    };

    for (int run = 0; run < runs; ++run) {
        QProcess child;
        startClerk(child, ledger, password, QStringLiteral("K"), false);
        if (!child.waitForStarted())
            return 2;
        QByteArray out;
        for (int waited = 0, wait = 20 + QRandomGenerator::global()->bounded(300); waited < wait;
             waited += 10) {
            QThread::msleep(10);
            collect(child, out);
        }
        child.kill();
        child.waitForFinished();
        out += child.readAllStandardOutput();
        check(lines(out));
    }
    const int clerkSaves = saves;

    QProcess clerks[3];
    QByteArray outs[3];
    for (int c = 0; c < 3; ++c)
        startClerk(clerks[c], ledger, password, QStringLiteral("S%1").arg(c), true);
    int crashed = 0, restarted = 0;
    const auto pause = [&](int ms) {
        for (int waited = 0; waited < ms; waited += 10) {
            QThread::msleep(10);
            for (int c = 0; c < 3; ++c)
                collect(clerks[c], outs[c]);
        }
    };
    for (int stop = 0; stop < stops; ++stop) {
        pause(300 + QRandomGenerator::global()->bounded(700));
        crashed += cluster.crash(stop % 2 == 1);
        pause(100);
        restarted += cluster.restart();
    }
    // The clerks get a moment to save again after the last restart.
    pause(1500);
    QStringList serverAcked;
    for (int c = 0; c < 3; ++c) {
        clerks[c].kill();
        clerks[c].waitForFinished();
        outs[c] += clerks[c].readAllStandardOutput();
        serverAcked += lines(outs[c]);
    }
    check(serverAcked);

    int rows = 0;
    bool opened = false;
    const QSet<QString> stored = storedNumbers(ledger, &rows, &opened);
    std::printf("server ledger, clerks killed while saving: %d runs, acknowledged saves %d\n", runs,
                clerkSaves);
    std::printf("server ledger, server crashed while three clerks saved: %d crashes (%d of %d stops done, %d "
                "restarts), acknowledged saves %d\n",
                stops, crashed, stops, restarted, saves - clerkSaves);
    std::printf(
        "acknowledged receipts missing: %d, receipts stored: %d, distinct numbers: %d, ledger opens: %s\n",
        lost, rows, int(stored.size()), opened ? "yes" : "NO");
    return lost == 0 && opened && rows == stored.size() && crashed == stops && restarted == stops &&
                   saves - clerkSaves > 0
               ? 0
               : 1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) == QLatin1String("-child"))
        return saveReceipts(args.value(2), args.value(3), args.value(4).toInt(),
                            args.value(5) == QLatin1String("persistent"));
    if (args.value(1) == QLatin1String("server"))
        return serverRuns(args.size() > 2 ? args.value(2).toInt() : 100,
                          args.size() > 3 ? args.value(3).toInt() : 10);
    if (args.value(1) == QLatin1String("copies"))
        return twoCopies(args.size() > 2 ? args.value(2).toInt() : 100);
    if (args.value(1) == QLatin1String("kill"))
        return killRuns(args.size() > 2 ? args.value(2).toInt() : 200);
    std::fprintf(stderr,
                 "usage: rentbook_stress kill [runs] | copies [receipts per copy] | server [runs] [stops]\n");
    return 2;
}
