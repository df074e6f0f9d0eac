// The desktop's trash itself, in a home folder of the test's own: the ledger goes there whole
// and comes back to its old place with no note of it left in the trash.

#include "platform/Trash.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TestDesktopTrash : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;

private slots:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        qputenv("HOME", QFile::encodeName(m_home.path()));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath(QStringLiteral(".local/share"))));
    }

    void movesAndBringsBack() {
        QVERIFY(QDir(m_home.path()).mkpath(QStringLiteral("program")));
        const QString ledger = m_home.filePath(QStringLiteral("program/Rentbook.rbk"));
        QFile f(ledger);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("ledger bytes");
        f.close();

        QString inTrash;
        QVERIFY(platform::moveToTrash(ledger, &inTrash));
        QVERIFY(!QFile::exists(ledger));
        QVERIFY2(inTrash.startsWith(m_home.path()), qPrintable(inTrash));
        QFile trashed(inTrash);
        QVERIFY(trashed.open(QIODevice::ReadOnly));
        QCOMPARE(trashed.readAll(), QByteArray("ledger bytes"));
        trashed.close();
        const QString info = QFileInfo(inTrash).dir().filePath(QStringLiteral("../info/")) +
                             QFileInfo(inTrash).fileName() + QStringLiteral(".trashinfo");
        QVERIFY(QFile::exists(info));

        QVERIFY(platform::restoreFromTrash(inTrash, ledger));
        QVERIFY(QFile::exists(ledger));
        QVERIFY(!QFile::exists(inTrash));
        QVERIFY(!QFile::exists(info));
    }

    void noTrashIsAFailure() {
        // A data folder that cannot be made: a file stands where its parent should be.
        QFile blocker(m_home.filePath(QStringLiteral("blocker")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath(QStringLiteral("blocker/share"))));
        QTemporaryDir cwd;
        QVERIFY(QDir::setCurrent(cwd.path()));
        const QString ledger = m_home.filePath(QStringLiteral("Rentbook.rbk"));
        QFile f(ledger);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();

        QString inTrash;
        const bool moved = platform::moveToTrash(ledger, &inTrash);
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath(QStringLiteral(".local/share"))));
        QVERIFY(!moved);
        QVERIFY(QFile::exists(ledger));
        QVERIFY(!QFile::exists(cwd.filePath(QStringLiteral("files/Rentbook.rbk"))));
    }

    void missingFileIsNoSuccess() {
        QString inTrash;
        QVERIFY(!platform::moveToTrash(m_home.filePath(QStringLiteral("nothing.rbk")), &inTrash));
    }
};

QTEST_GUILESS_MAIN(TestDesktopTrash)
#include "tst_desktoptrash.moc"
