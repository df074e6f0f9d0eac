// Puts the ledger through what users' machines do to it: processes killed with SIGKILL in the
// middle of saving, and two copies saving at once; on a server ledger also the server itself
// stopping dead in the middle of saves, and the network cutting connections right after a commit
// went out. Each child saves receipts through the same code as the main window and prints every
// receipt number it has stored (acknowledged) on a line of its own, and every number it was told
// was not stored with a "-" before it ("?" when the program could not find out); the parent then
// checks the ledger's integrity, that every acknowledged receipt is there, that no receipt it was
// told was not stored is there, and that no number was stored twice.
//
//   rentbook_stress kill [runs]           (default 200)
//   rentbook_stress copies [each]         (default 100 receipts per copy)
//   rentbook_stress server [runs] [stops] (default 100 clerk kills, 10 server crashes)
//   rentbook_stress cut [saves] [every]   (default 1700 saves by three clerks, a cut after every 20th commit)
//
// "server" runs a PostgreSQL cluster of its own (scripts/test-postgres) in a temporary folder,
// with the durability a real server has, and removes it afterwards.

#include "data/Database.h"
#include "data/ServerConnection.h"
#include "data/ServerLedger.h"
#include "receipt/ReceiptForm.h"
#include "receipt/ReceiptLedger.h"
#include "receipt/ReceiptNumber.h"
#include "tests/support/Forwarder.h"

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
        // A number only once a save of it is tried: a failure before that stored nothing of it.
        f.number.clear();
        try {
            f.number = NextReceiptNumber(db);
            InsertReceipt(db, f);
            std::printf("%s\n", qPrintable(f.number));
            std::fflush(stdout);
            ++i;
        } catch (const DbError& e) {
            // What the clerk is told: not stored, or not known.
            if (!f.number.isEmpty()) {
                std::printf("%c%s\n", e.engineCode() == kServerCommitUnknown ? '?' : '-',
                            qPrintable(f.number));
                std::fflush(stdout);
            }
            if (!persistent || running.elapsed() > 60000) {
                std::fprintf(stderr, "%s\n", qPrintable(e.engineText()));
                return 4;
            }
            // The next statement connects again.
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

// The lines of a child that start with mark ('\0': the acknowledged numbers, which have none).
QStringList marked(const QByteArray& out, char mark) {
    QStringList numbers;
    for (const QByteArray& raw : out.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty())
            continue;
        const bool plain = line[0] >= '0' && line[0] <= '9';
        if (mark == '\0' ? plain : line[0] == mark)
            numbers << QString::fromLatin1(plain ? line : line.mid(1));
    }
    return numbers;
}

QStringList acknowledged(QProcess& child) {
    return marked(child.readAllStandardOutput(), '\0');
}

// Receipts stored as "number address": told apart from another clerk's under the same number.
QSet<QString> storedReceipts(const QString& ledger) {
    QSet<QString> out;
    Database db(ledger);
    if (!db.open())
        return out;
    for (Recordset rs = db.query(QStringLiteral("select [NO], [district] from RECEIPT")); !rs.isEOF();
         rs.moveNext())
        out.insert(rs.field(0) + QLatin1Char(' ') + rs.field(1));
    return out;
}

// Of the saves a clerk at address was told were not stored, how many are (a number the clerk saved
// again later, and was told so, is that later save's).
int storedThoughRefused(const QSet<QString>& stored, const QString& address, const QStringList& refused,
                        const QStringList& acknowledged) {
    int n = 0;
    for (const QString& number : refused)
        n += stored.contains(number + QLatin1Char(' ') + address) && !acknowledged.contains(number);
    return n;
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

// A server ledger on a cluster of its own, with the durability a real server has; the clerks' address
// (the clerk account over TCP) in ledger and their password in password.
bool serverLedger(Cluster& cluster, QString& ledger, QString& password) {
    if (!cluster.start()) {
        std::fprintf(stderr,
                     "rentbook_stress: the PostgreSQL cluster did not start (scripts/test-postgres)\n");
        return false;
    }
    // The test cluster trades durability for speed; a server clerks rely on does not.
    for (const char* sql : {"alter system set fsync = on", "alter system set synchronous_commit = on",
                            "alter system set full_page_writes = on"})
        if (!cluster.psql(QString::fromLatin1(sql)))
            return false;
    if (!cluster.psql(QStringLiteral("select pg_reload_conf()")) ||
        !cluster.psql(QStringLiteral("create database rentbook owner clerk")))
        return false;
    password = cluster.setting(QStringLiteral("RENTBOOK_TEST_PG_PASSWORD"));
    ledger = cluster.setting(QStringLiteral("RENTBOOK_TEST_PG_TCP"))
                 .replace(QStringLiteral("/postgres"), QStringLiteral("/rentbook"));
    SetServerPassword(password);
    QString message;
    if (!InitServerLedger(ledger, message)) {
        std::fprintf(stderr, "rentbook_stress: %s\n", qPrintable(message));
        return false;
    }
    ForgetServerConnections();
    return true;
}

// What the clerks of one address were told, against what the ledger holds.
struct Told {
    int acknowledged = 0;
    int missing = 0; // acknowledged, and not in the ledger
    int refused = 0; // told "not stored"
    int storedThoughRefused = 0;
    int unknown = 0; // told the program could not find out
    int storedThoughUnknown = 0;
};

Told tell(const QSet<QString>& stored, const QString& address, const QByteArray& out) {
    Told t;
    const QStringList acked = marked(out, '\0'), refused = marked(out, '-'), unknown = marked(out, '?');
    t.acknowledged = int(acked.size());
    for (const QString& n : acked)
        t.missing += !stored.contains(n + QLatin1Char(' ') + address);
    t.refused = int(refused.size());
    t.storedThoughRefused = storedThoughRefused(stored, address, refused, acked);
    t.unknown = int(unknown.size());
    t.storedThoughUnknown = storedThoughRefused(stored, address, unknown, acked);
    return t;
}

void add(Told& sum, const Told& t) {
    sum.acknowledged += t.acknowledged;
    sum.missing += t.missing;
    sum.refused += t.refused;
    sum.storedThoughRefused += t.storedThoughRefused;
    sum.unknown += t.unknown;
    sum.storedThoughUnknown += t.storedThoughUnknown;
}

void printTold(const char* what, const Told& t) {
    std::printf("%s: acknowledged %d (missing %d); told not stored %d (stored all the same %d); "
                "told unknown %d (stored %d)\n",
                what, t.acknowledged, t.missing, t.refused, t.storedThoughRefused, t.unknown,
                t.storedThoughUnknown);
}

// Clerks' processes killed while saving on a server ledger, then the server stopping dead while
// three clerks save.
int serverRuns(int runs, int stops) {
    Cluster cluster;
    QString ledger, password;
    if (!serverLedger(cluster, ledger, password))
        return 2;

    QByteArray killedOut;
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
        killedOut += out + child.readAllStandardOutput();
    }

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
    for (int c = 0; c < 3; ++c) {
        clerks[c].kill();
        clerks[c].waitForFinished();
        outs[c] += clerks[c].readAllStandardOutput();
    }

    int rows = 0;
    bool opened = false;
    const QSet<QString> numbers = storedNumbers(ledger, &rows, &opened);
    const QSet<QString> stored = storedReceipts(ledger);
    const Told killed = tell(stored, QStringLiteral("K"), killedOut);
    Told crashes;
    for (int c = 0; c < 3; ++c)
        add(crashes, tell(stored, QStringLiteral("S%1").arg(c), outs[c]));
    std::printf("server ledger, clerks killed while saving: %d runs\n", runs);
    printTold("  the killed clerks", killed);
    std::printf("server ledger, server crashed while three clerks saved: %d crashes (%d of %d stops done, %d "
                "restarts)\n",
                stops, crashed, stops, restarted);
    printTold("  the three clerks", crashes);
    std::printf("receipts stored: %d, distinct numbers: %d, ledger opens: %s\n", rows, int(numbers.size()),
                opened ? "yes" : "NO");
    return killed.missing + crashes.missing == 0 &&
                   killed.storedThoughRefused + crashes.storedThoughRefused == 0 && opened &&
                   rows == numbers.size() && crashed == stops && restarted == stops &&
                   crashes.acknowledged > 0
               ? 0
               : 1;
}

// Three clerks saving through a network that cuts the connection right after every every-th
// commit went out: the server commits, the clerk hears nothing.
int cutRuns(int saves, int every) {
    Cluster cluster;
    QString ledger, password;
    if (!serverLedger(cluster, ledger, password))
        return 2;
    const QUrl direct(ledger);
    Forwarder network(std::uint16_t(direct.port()));
    if (!network.isValid())
        return 2;
    QUrl through(direct);
    through.setPort(network.port());
    // The simple-query message of a commit, as the program sends it.
    network.actOn(std::string("commit\0", 7), Forwarder::Action::Cut, true, -1, every - 1, every);

    QProcess clerks[3];
    QByteArray outs[3];
    for (int c = 0; c < 3; ++c)
        startClerk(clerks[c], through.toString(), password, QStringLiteral("C%1").arg(c), true);
    QElapsedTimer running;
    running.start();
    for (;;) {
        QThread::msleep(10);
        int acknowledged = 0;
        for (int c = 0; c < 3; ++c) {
            collect(clerks[c], outs[c]);
            acknowledged += int(marked(outs[c], '\0').size()) + int(marked(outs[c], '-').size()) +
                            int(marked(outs[c], '?').size());
        }
        if (acknowledged >= saves || running.elapsed() > 50000)
            break;
    }
    for (int c = 0; c < 3; ++c) {
        clerks[c].kill();
        clerks[c].waitForFinished();
        outs[c] += clerks[c].readAllStandardOutput();
    }
    int rows = 0;
    const QSet<QString> numbers = storedNumbers(ledger, &rows);
    const QSet<QString> stored = storedReceipts(ledger);
    Told told;
    for (int c = 0; c < 3; ++c)
        add(told, tell(stored, QStringLiteral("C%1").arg(c), outs[c]));
    std::printf("server ledger, connection cut right after every %dth commit went out: %d cuts\n", every,
                network.acted());
    printTold("  the three clerks", told);
    std::printf("receipts stored: %d, distinct numbers: %d\n", rows, int(numbers.size()));
    return told.missing == 0 && told.storedThoughRefused == 0 && rows == numbers.size() && network.acted() > 0
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
    if (args.value(1) == QLatin1String("cut"))
        return cutRuns(args.size() > 2 ? args.value(2).toInt() : 1700,
                       args.size() > 3 ? args.value(3).toInt() : 20);
    if (args.value(1) == QLatin1String("copies"))
        return twoCopies(args.size() > 2 ? args.value(2).toInt() : 100);
    if (args.value(1) == QLatin1String("kill"))
        return killRuns(args.size() > 2 ? args.value(2).toInt() : 200);
    std::fprintf(stderr,
                 "usage: rentbook_stress kill [runs] | copies [receipts per copy] | server [runs] [stops] | "
                 "cut [saves] [every]\n");
    return 2;
}
