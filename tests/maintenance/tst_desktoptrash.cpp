// The desktop's trash itself, in a home folder of the test's own: the ledger goes there whole
// and comes back to its old place with no note of it left in the trash.

#include "platform/Trash.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestDesktopTrash : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;

    QString ledger(const QString& name) {
        QFile f(m_home.filePath(name));
        if (!QDir(m_home.path()).mkpath(QFileInfo(f).path()) || !f.open(QIODevice::WriteOnly))
            qWarning("cannot write %s", qPrintable(f.fileName()));
        f.write("ledger bytes");
        return f.fileName();
    }
    void setDataHome(const QString& relative) {
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath(relative)));
    }

private slots:
    void initTestCase() { qputenv("HOME", QFile::encodeName(m_home.path())); }
    void init() { setDataHome(".local/share"); }

    void movesAndBringsBack() {
        const QString live = ledger("program/Rentbook.rbk");
        QString inTrash;
        QVERIFY(platform::moveToTrash(live, &inTrash));
        QVERIFY(!QFile::exists(live));
        QVERIFY2(inTrash.startsWith(m_home.path()), qPrintable(inTrash));
        QFile trashed(inTrash);
        QVERIFY(trashed.open(QIODevice::ReadOnly));
        QCOMPARE(trashed.readAll(), QByteArray("ledger bytes"));
        const QString info =
            QFileInfo(inTrash).dir().filePath("../info/" + QFileInfo(inTrash).fileName() + ".trashinfo");
        QVERIFY(QFile::exists(info));

        QVERIFY(platform::restoreFromTrash(inTrash, live));
        QVERIFY(QFile::exists(live));
        QVERIFY(!QFile::exists(inTrash));
        QVERIFY(!QFile::exists(info));
    }

    void failures() {
        QString inTrash;
        QVERIFY(!platform::moveToTrash(m_home.filePath("nothing.rbk"), &inTrash));
        // A data folder that cannot be made: a file stands where its parent should be. Nothing
        // may land in a trash of the working directory instead.
        ledger("blocker");
        setDataHome("blocker/share");
        QTemporaryDir cwd;
        QVERIFY(QDir::setCurrent(cwd.path()));
        const QString live = ledger("Rentbook.rbk");
        QVERIFY(!platform::moveToTrash(live, &inTrash));
        QVERIFY(QFile::exists(live));
        QVERIFY(!QFile::exists(cwd.filePath("files/Rentbook.rbk")));
    }
};

QTEST_GUILESS_MAIN(TestDesktopTrash)
#include "tst_desktoptrash.moc"
