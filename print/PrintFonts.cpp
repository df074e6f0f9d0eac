#include "print/PrintFonts.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QStringList>

namespace {

bool writeFontFile(const QStringList& lines) {
    QStringEncoder gbk("GBK");
    QByteArray bytes;
    for (const QString& line : lines) {
        bytes += gbk.encode(line);
        bytes += '\n';
    }
    // Through a save file, so that a write that fails half-way keeps the old file whole.
    QSaveFile file(fontFileName());
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    const bool created = !QFile::exists(fontFileName());
    if (!file.commit())
        return false;
    // A file the program makes is its owner's alone; one the operator has set up keeps its mode.
    if (created)
        QFile::setPermissions(fontFileName(), QFile::ReadOwner | QFile::WriteOwner);
    return true;
}

} // namespace

QString fontFileName() {
    return QStringLiteral("FontSet.ini");
}

std::array<LogFont, 4>& printFonts() {
    static std::array<LogFont, 4> fonts = factoryFonts();
    return fonts;
}

void LoadPrintFonts() {
    installFontSubstitutions();
    std::array<LogFont, 4>& fonts = printFonts();
    fonts = factoryFonts();

    QFile file(fontFileName());
    if (!file.exists()) {
        writeFontFile(QStringList(factoryFontLines().begin(), factoryFontLines().end()));
        return;
    }
    // A file that exists but cannot be read is left alone: the factory fonts serve this run.
    if (!file.open(QIODevice::ReadOnly))
        return;
    QStringDecoder gbk("GBK");
    const QString text = gbk.decode(file.readAll());
    const QStringList lines = text.split(u'\n');
    for (int i = 0; i < 4 && i < lines.size(); ++i) {
        if (const auto font = parseLogFont(lines[i]))
            fonts[std::size_t(i)] = *font;
    }
}

bool SavePrintFonts(const std::array<LogFont, 4>& fonts) {
    printFonts() = fonts;
    QStringList lines;
    for (const LogFont& f : fonts)
        lines << formatLogFont(f);
    return writeFontFile(lines);
}

bool RestoreFactoryFonts() {
    if (!writeFontFile(QStringList(factoryFontLines().begin(), factoryFontLines().end())))
        return false;
    printFonts() = factoryFonts();
    return true;
}
