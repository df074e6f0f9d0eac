// Font records as "FontSet.ini" keeps them, and the file itself: what is read, what is written,
// what a broken file falls back to.

#include "print/LogFont.h"
#include "print/PrintFonts.h"
#include "print/ReceiptRenderer.h"
#include "tests/support/DataColumns.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFontInfo>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

class TestPrintFonts : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_previousDir;

    static QByteArray gbk(const QString& text) { return QStringEncoder("GBK").encode(text); }
    static QByteArray fileBytes() {
        QFile f(QStringLiteral("FontSet.ini"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static void writeFile(const QByteArray& bytes) {
        QFile f(QStringLiteral("FontSet.ini"));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

private slots:
    // Each test gets a current directory of its own, as start-up makes the program directory current.
    void init() {
        m_previousDir = QDir::currentPath();
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QVERIFY(QDir::setCurrent(m_dir->path()));
        printFonts() = factoryFonts();
    }
    void cleanup() {
        QDir::setCurrent(m_previousDir);
        m_dir.reset();
    }

    // A line and how the parsed record writes back: "" does not parse, "=" writes back as read.
    void parse_data() {
        columns<QString, QString>("line", "formatted");
        const QString k = "-16,0,0,0,400,0,0,0,134,3,2,1,49,";
        const auto row = [](const char* name, const QString& line, const QString& formatted) {
            QTest::newRow(name) << line << (formatted == "=" ? line : formatted);
        };
        row("factory body", k + "楷体", "=");
        row("blanks before numbers", " -16, 0,0,0, 700,1,0,0,134,3,2,1,2,  宋体",
            "-16,0,0,0,700,1,0,0,134,3,2,1,2,宋体");
        row("face ends at a blank", k + "Noto Sans CJK SC", k + "Noto");
        row("carriage return of a DOS line", k + "黑体\r", k + "黑体");
        row("no face name", k, "");
        row("twelve numbers", "-16,0,0,0,400,0,0,0,134,3,2,1,楷体", "");
        row("letters", "height,0,0,0,400,0,0,0,134,3,2,1,49,楷体", "");
        row("byte field too large", "-16,0,0,0,400,0,0,0,300,3,2,1,49,楷体", "");
        row("height beyond 32 bits", "-99999999999,0,0,0,400,0,0,0,134,3,2,1,49,楷体", "");
        // Heights and widths no font has would overflow when scaled to the printer.
        row("height INT_MIN", "-2147483648,0,0,0,400,0,0,0,134,3,2,1,49,楷体", "");
        row("height INT_MAX", "2147483647,0,0,0,400,0,0,0,134,3,2,1,49,楷体", "");
        row("height just beyond", "-1001,0,0,0,400,0,0,0,134,3,2,1,49,楷体", "");
        row("width INT_MAX", "-16,2147483647,0,0,400,0,0,0,134,3,2,1,49,楷体", "");
        row("largest height and width", "-1000,1000,0,0,400,0,0,0,134,3,2,1,49,楷体", "=");
        // A face name keeps at most 31 GBK bytes and never half a character.
        row("face cut to 31 bytes", k + QString(20, QChar(0x6977)), k + QString(15, QChar(0x6977)));
        row("face cut before a split character", k + "AB" + QString(20, QChar(0x6977)),
            k + "AB" + QString(14, QChar(0x6977)));
        // Start-up reads the file before any window shows: a huge face name must not stall it.
        row("huge face cut in one pass", k + QString(300000, QChar(0x6977)), k + QString(15, QChar(0x6977)));
    }
    void parse() {
        auto [line, formatted] = fetch<QString, QString>("line", "formatted");
        QElapsedTimer timer;
        timer.start();
        const auto font = parseLogFont(line);
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed()) + " ms"));
        QCOMPARE(font.has_value(), !formatted.isEmpty());
        if (font)
            QCOMPARE(formatLogFont(*font), formatted);
    }

    void parsedFieldsLandInTheirPlaces() {
        const auto f = parseLogFont(QStringLiteral("-17,5,900,450,700,1,1,1,134,3,2,1,49,黑体"));
        QVERIFY(f);
        QCOMPARE((QList<int>{f->height, f->width, f->escapement, f->orientation, f->weight, int(f->italic),
                             int(f->underline), int(f->strikeOut), int(f->charSet), int(f->pitchAndFamily)}),
                 (QList<int>{-17, 5, 900, 450, 700, 1, 1, 1, 134, 49}));
        QCOMPARE(f->faceName, QStringLiteral("黑体"));
    }

    void fromChooser_data() {
        columns<QFont, int, QString, QString>("font", "dpi", "start", "face");

        QFont heiti(QStringLiteral("黑体"));
        heiti.setPointSize(12);
        heiti.setBold(true);
        QTest::newRow("12pt bold heiti at 96 dpi")
            << heiti << 96 << QString("-16,0,0,0,700,0,0,0,134") << "黑体";
        QTest::newRow("12pt at 120 dpi") << heiti << 120 << QString("-20,0,0,0,700,0,0,0,134") << "黑体";
        QFont kai(QStringLiteral("AR PL UKai CN"));
        kai.setPointSize(9);
        kai.setItalic(true);
        QTest::newRow("installed kai is written as 楷体")
            << kai << 96 << QString("-12,0,0,0,400,1,0,0,134") << "楷体";
    }
    void fromChooser() {
        auto [font, dpi, start, face] = fetch<QFont, int, QString, QString>("font", "dpi", "start", "face");
        const QString line = formatLogFont(fromQFont(font, dpi));
        QVERIFY2(line.startsWith(start + u','), qPrintable(line));
        QVERIFY2(line.endsWith(u',' + face), qPrintable(line));
        QVERIFY(parseLogFont(line)); // what is written can be read back
    }

    void drawingScalesWithTruncation_data() {
        columns<int, double, int, int>("height", "ratio", "adjust", "expected");
        QTest::newRow("600 dpi reduced") << -16 << 6.25 << 25 << -75;
        QTest::newRow("truncates toward zero") << -17 << 3.125 << 0 << -53; // -53.125
        QTest::newRow("no height") << 0 << 2.0 << 0 << -32;
    }
    void drawingScalesWithTruncation() {
        auto [height, ratio, adjust, expected] =
            fetch<int, double, int, int>("height", "ratio", "adjust", "expected");
        LogFont f = factoryFont(BodyFont);
        f.height = height;
        QCOMPARE(scaledFontHeight(f, ratio, adjust), expected);
    }

    void chineseFacesFindInstalledFonts_data() {
        columns<QString, QString>("face", "installed");
        QTest::newRow("kai") << QString("楷体") << "AR PL UKai CN";
        QTest::newRow("song") << QString("宋体") << "AR PL UMing CN";
        QTest::newRow("hei") << QString("黑体") << "Noto Sans CJK SC";
    }
    void chineseFacesFindInstalledFonts() {
        auto [face, installed] = fetch<QString, QString>("face", "installed");
        LogFont f = factoryFont(BodyFont);
        f.faceName = face;
        QCOMPARE(QFontInfo(toQFont(f, 1.0)).family(), installed);
    }

    void firstStartWritesTheFactoryFile() {
        QVERIFY(!QFile::exists(QStringLiteral("FontSet.ini")));
        printFonts()[BodyFont].height = -40;
        LoadPrintFonts();
        QCOMPARE(fileBytes(),
                 gbk(QStringList(factoryFontLines().begin(), factoryFontLines().end()).join('\n') + '\n'));
        QCOMPARE(printFonts(), factoryFonts());
        QCOMPARE(QFileInfo(QStringLiteral("FontSet.ini")).permissions() & 0x7077,
                 QFile::ReadOwner | QFile::WriteOwner);
    }

    void loadReadsEveryLineAndRepairsBrokenOnes_data() {
        // fromFile: roles taken from the file, the others factory
        columns<QByteArray, QList<int>>("file", "fromFile");

        const QByteArray a = gbk("-20,0,0,0,700,0,0,0,134,3,2,1,49,黑体\n");
        const QByteArray b = gbk("-30,0,0,0,400,1,0,0,134,3,2,1,2,宋体\n");
        QTest::newRow("four good lines") << a + b + a + b << QList<int>{0, 1, 2, 3};
        QTest::newRow("DOS line ends") << QByteArray(a).replace("\n", "\r\n") + b << QList<int>{0, 1};
        QTest::newRow("second line broken") << a + "garbage\n" + a + b << QList<int>{0, 2, 3};
        QTest::newRow("binary junk") << QByteArray("\xff\xfe\x00\x01,,,\x80\n\n", 10) << QList<int>{};
    }
    void loadReadsEveryLineAndRepairsBrokenOnes() {
        auto [file, fromFile] = fetch<QByteArray, QList<int>>("file", "fromFile");
        writeFile(file);
        LoadPrintFonts();
        const QStringList lines = QStringDecoder("GBK").decode(file).operator QString().split(u'\n');
        for (int role = 0; role < 4; ++role) {
            const LogFont expected = fromFile.contains(role) ? *parseLogFont(lines[role]) : factoryFont(role);
            QCOMPARE(printFonts()[std::size_t(role)], expected);
        }
        // What was read draws at any printer resolution.
        const ReceiptFonts drawn(printFonts(), PrintScale(1200, 1200, 96, 96));
        QVERIFY(drawn.font(PrintFontRole::HeadingReduced).pixelSize() > 0);
        QCOMPARE(fileBytes(), file); // reading never rewrites the file
    }

    void saveWritesFourGbkLinesAndApplies() {
        auto fonts = factoryFonts();
        fonts[BodyFont] = *parseLogFont(QStringLiteral("-16,0,0,0,700,0,0,0,134,3,2,1,49,黑体"));
        fonts[BottomRemarkFont].height = -12;
        QVERIFY(SavePrintFonts(fonts));
        QCOMPARE(printFonts(), fonts);
        QCOMPARE(fileBytes(), gbk("-16,0,0,0,700,0,0,0,134,3,2,1,49,黑体\n"
                                  "-24,0,0,0,400,0,0,0,134,3,2,1,49,黑体\n"
                                  "-16,0,0,0,400,0,0,0,134,3,2,1,2,宋体\n"
                                  "-12,0,0,0,400,0,0,0,134,3,2,1,49,幼圆\n"));
    }

    void restoreThatCannotWriteChangesNothing() {
        QVERIFY(QDir().mkdir(QStringLiteral("FontSet.ini"))); // a folder in the file's place
        auto fonts = factoryFonts();
        fonts[BodyFont].weight = 700;
        printFonts() = fonts;
        QVERIFY(!RestoreFactoryFonts());
        QCOMPARE(printFonts(), fonts);
        // Nor does loading touch it: the factory fonts stand in for the run.
        LoadPrintFonts();
        QCOMPARE(printFonts(), factoryFonts());
        QVERIFY(QFileInfo(QStringLiteral("FontSet.ini")).isDir());
    }
};

QTEST_MAIN(TestPrintFonts)
#include "tst_printfonts.moc"
