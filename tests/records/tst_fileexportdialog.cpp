// The export save dialog: its type list, the preselected type, the extension switch, and what it
// asks the platform's file dialog.

#include "records/FileExportDialog.h"

#include <QTest>

using platform::FileType;

class TestFileExportDialog : public QObject {
    Q_OBJECT

private slots:
    void parsesTypeSpecs_data() {
        QTest::addColumn<QString>("typeList");
        QTest::addColumn<QList<FileType>>("types");
        QTest::newRow("one") << "表格文件(*.csv)" << QList<FileType>{{"表格文件(*.csv)", "*.csv"}};
        QTest::newRow("two") << "表格文件(*.csv)|账本备份(*.rbk)"
                             << QList<FileType>{{"表格文件(*.csv)", "*.csv"}, {"账本备份(*.rbk)", "*.rbk"}};
        QTest::newRow("parentheses in the words")
            << "文件(新)(*.txt)" << QList<FileType>{{"文件(新)(*.txt)", "*.txt"}};
        QTest::newRow("no pattern") << "所有文件" << QList<FileType>{{"所有文件", "*.*"}};
        QTest::newRow("trailing bar") << "表格文件(*.csv)|" << QList<FileType>{{"表格文件(*.csv)", "*.csv"}};
    }
    void parsesTypeSpecs() {
        QFETCH(QString, typeList);
        QFETCH(QList<FileType>, types);
        QCOMPARE(ParseFileTypeSpec(typeList), types);
    }

    void switchesTheExtension_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("expected");
        QTest::newRow("replaced") << "2024-3-5记录表导出备份.csv"
                                  << "*.rbk"
                                  << "2024-3-5记录表导出备份.rbk";
        QTest::newRow("appended") << "备份"
                                  << "*.csv"
                                  << "备份.csv";
        QTest::newRow("only the last part") << "a.b.txt"
                                            << "*.csv"
                                            << "a.b.csv";
        QTest::newRow("dot in a folder") << "/tmp/x.y/备份"
                                         << "*.csv"
                                         << "/tmp/x.y/备份.csv";
        QTest::newRow("any file keeps the name") << "备份.csv"
                                                 << "*.*"
                                                 << "备份.csv";
        QTest::newRow("first of several") << "a.txt"
                                          << "*.rbk;*.bak"
                                          << "a.rbk";
        QTest::newRow("empty name stays empty") << ""
                                                << "*.csv"
                                                << "";
        QTest::newRow("leading dot is no extension") << ".备份"
                                                     << "*.csv"
                                                     << ".备份.csv";
    }
    void switchesTheExtension() {
        QFETCH(QString, name);
        QFETCH(QString, pattern);
        QFETCH(QString, expected);
        QCOMPARE(SwitchFileExtension(name, pattern), expected);
    }

    void preselectsTheTypeOfTheName_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("type");
        QTest::newRow("second type") << "账本.RBK" << 1;
        QTest::newRow("first type") << "表.csv" << 0;
        QTest::newRow("unknown extension") << "a.doc" << 0;
        QTest::newRow("no extension") << "abc" << 0;
    }
    void preselectsTheTypeOfTheName() {
        QFETCH(QString, name);
        QFETCH(int, type);
        QCOMPARE(PreselectedFileType(ParseFileTypeSpec("表格文件(*.csv)|账本(*.rbk)|所有文件(*.*)"), name),
                 type);
    }

    void asksTheFileDialogAndKeepsTheAnswer() {
        platform::ScopedFileDialogScript script;
        script.answerCancel();
        script.answerPath("/tmp/out.rbk", 1);

        CFileExportDialog dlg("导出", "表格文件(*.csv)|账本(*.rbk)", "2024-3-5记录表导出备份.rbk");
        QCOMPARE(dlg.fileTypeIndex(), 2);
        dlg.setTitle("导出备份表格");
        QVERIFY(!dlg.exec()); // cancelled
        QCOMPARE(dlg.pathName(), QString());

        QVERIFY(dlg.exec());
        QCOMPARE(dlg.pathName(), QStringLiteral("/tmp/out.rbk"));
        QCOMPARE(dlg.fileTypeIndex(), 2);

        QCOMPARE(script.requests().size(), 2);
        const platform::SaveFileRequest& asked = script.requests().first();
        QCOMPARE(asked.title, QStringLiteral("导出备份表格"));
        QCOMPARE(asked.fileName, QStringLiteral("2024-3-5记录表导出备份.rbk"));
        QCOMPARE(asked.selectedType, 1);
        QCOMPARE(asked.types.size(), 2);
        // Picking the first type while the name field holds a typed name.
        QCOMPARE(asked.typeChanged("我的备份", 0), QStringLiteral("我的备份.csv"));
        QCOMPARE(asked.typeChanged("我的备份.csv", 1), QStringLiteral("我的备份.rbk"));
    }

    void replacedTypeListAsTheExportUsesIt() {
        platform::ScopedFileDialogScript script;
        CFileExportDialog dlg("导出", "表格文件(*.csv)", "2024-3-5记录表导出备份.csv");
        dlg.setFileTypes(QList<FileType>{{"表格文件(.csv)", "*.csv"}});
        QVERIFY(!dlg.exec()); // an empty script cancels
        const platform::SaveFileRequest& asked = script.requests().constFirst();
        QCOMPARE(asked.types, (QList<FileType>{{"表格文件(.csv)", "*.csv"}}));
        QCOMPARE(asked.selectedType, 0);
        QCOMPARE(asked.typeChanged("x.txt", 0), QStringLiteral("x.csv"));
    }
};

QTEST_MAIN(TestFileExportDialog)
#include "tst_fileexportdialog.moc"
