// The export save dialog: its type list, the extension switch, and what it asks the platform's
// file dialog.

#include "records/FileExportDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QTest>
#include <QTimer>

using platform::FileType;

class TestFileExportDialog : public QObject {
    Q_OBJECT

private slots:
    void parsesTypeSpecs_data() {
        QTest::addColumn<QString>("typeList");
        QTest::addColumn<QList<FileType>>("types");
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
        QTest::newRow("replaced") << QString("a.b.txt") << QString("*.csv") << QString("a.b.csv");
        QTest::newRow("dot in a folder")
            << QString("/tmp/x.y/备份") << QString("*.csv") << QString("/tmp/x.y/备份.csv");
        QTest::newRow("leading dot is no extension")
            << QString(".备份") << QString("*.csv") << QString(".备份.csv");
        QTest::newRow("any file keeps the name")
            << QString("备份.csv") << QString("*.*") << QString("备份.csv");
        QTest::newRow("first of several") << QString("a.txt") << QString("*.rbk;*.bak") << QString("a.rbk");
    }
    void switchesTheExtension() {
        QFETCH(QString, name);
        QFETCH(QString, pattern);
        QFETCH(QString, expected);
        QCOMPARE(SwitchFileExtension(name, pattern), expected);
    }

    void asksTheFileDialogAndKeepsTheAnswer() {
        platform::ScopedFileDialogScript script;
        script.answerCancel();
        script.answerPath("/tmp/out.rbk", 1);

        // The type is preselected by the name's extension, whatever its letter case.
        CFileExportDialog dlg("导出", "表格文件(*.csv)|账本(*.rbk)", "2024-3-5记录表导出备份.RBK");
        dlg.setTitle("导出备份表格");
        QVERIFY(!dlg.exec()); // cancelled
        QCOMPARE(dlg.pathName(), QString());

        QVERIFY(dlg.exec());
        QCOMPARE(dlg.pathName(), QStringLiteral("/tmp/out.rbk"));
        QCOMPARE(dlg.fileTypeIndex(), 2);

        QCOMPARE(script.requests().size(), 2);
        const platform::SaveFileRequest& asked = script.requests().first();
        QCOMPARE(asked.title, QStringLiteral("导出备份表格"));
        QCOMPARE(asked.fileName, QStringLiteral("2024-3-5记录表导出备份.RBK"));
        QCOMPARE(asked.selectedType, 1);
        // Picking the first type while the name field holds a typed name.
        QCOMPARE(asked.typeChanged("我的备份", 0), QStringLiteral("我的备份.csv"));
        QCOMPARE(asked.typeChanged("我的备份.csv", 1), QStringLiteral("我的备份.rbk"));
    }

    // The platform's own dialog shows each file type as the program words it, once.
    void fileTypeReadsAsWorded() {
        QString shown;
        QTimer::singleShot(0, [&shown] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
            shown = types ? types->currentText() : QString("?");
            dialog->reject();
        });
        platform::SaveFileRequest request;
        request.title = "导出";
        request.types = {{"表格文件(.csv)", "*.csv"}};
        request.fileName = QDir::temp().filePath("x.csv");
        QVERIFY(!platform::getSaveFileName(nullptr, request));
        QCOMPARE(shown, QString("表格文件(.csv)"));
    }
};

QTEST_MAIN(TestFileExportDialog)
#include "tst_fileexportdialog.moc"
