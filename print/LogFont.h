#pragma once

// A print font as "FontSet.ini" keeps it: the fields of a logical-font record, one line each.
// The record is turned into a QFont only when a receipt is drawn.

#include <QFont>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

struct LogFont {
    std::int32_t height = 0; // screen pixels; negative: character height without internal leading
    std::int32_t width = 0;  // average character width, 0 = as the face has it
    std::int32_t escapement = 0;
    std::int32_t orientation = 0;
    std::int32_t weight = 0; // 400 normal, 700 bold
    std::uint8_t italic = 0;
    std::uint8_t underline = 0;
    std::uint8_t strikeOut = 0;
    std::uint8_t charSet = 0;
    std::uint8_t outPrecision = 0;
    std::uint8_t clipPrecision = 0;
    std::uint8_t quality = 0;
    std::uint8_t pitchAndFamily = 0;
    QString faceName; // no blanks, at most 31 GBK bytes

    bool operator==(const LogFont&) const = default;
};

// The four print fonts, in file order.
enum PrintFontIndex { BodyFont = 0, TitleFont = 1, HeadingFont = 2, BottomRemarkFont = 3 };

// The longest face name a record holds, in GBK bytes.
inline constexpr int kMaxFaceNameBytes = 31;

// The largest height or width a record holds, in screen pixels (750 points at 96 dpi); a line of
// the file beyond it is broken.
inline constexpr int kMaxFontPixels = 1000;

// Reads one "FontSet.ini" line: thirteen numbers separated by commas, then the face name up to
// the first blank or the end of the line. std::nullopt when the line does not have that shape,
// a number does not fit its field, or the height or width lies beyond kMaxFontPixels.
std::optional<LogFont> parseLogFont(const QString& line);

// "%ld,%ld,%ld,%ld,%ld,%u,%u,%u,%u,%u,%u,%u,%u,%s" of the record, without a line end.
QString formatLogFont(const LogFont& font);

// The lines a fresh "FontSet.ini" holds: body, title, table caption, bottom remark.
const std::array<QString, 4>& factoryFontLines();
LogFont factoryFont(int index);
std::array<LogFont, 4> factoryFonts();

// Makes the Chinese face names of the records find the CJK fonts installed on this machine.
// Runs once; later calls do nothing.
void installFontSubstitutions();

// The pixel height a record draws with at the given scale: trunc(height × scaleY), plus an
// optional adjustment already in device pixels (the reduced heading font passes trunc(4 × ratio)).
int scaledFontHeight(const LogFont& font, double scaleY, int adjust = 0);

// The font that draws a record whose height is already in device pixels (negative: character
// height, positive: cell height, 0: the face's default).
QFont toQFont(const LogFont& font, int deviceHeight);
// The font that draws a record at screen-to-device scale scaleY.
QFont toQFont(const LogFont& font, double scaleY);

// The font the font chooser starts from: the record at its screen size in points, under the name
// of the installed font that stands in for a Chinese face.
QFont toChooserFont(const LogFont& font, int screenDpiY);

// The record of a font picked in the font chooser, as a screen of screenDpiY would describe it.
// The substitutes of the Chinese faces are written back under their Chinese names (previousFace
// when the font still is its substitute, so that 幼圆 stays 幼圆); any other face name is cut at its
// first blank, since the file cannot hold blanks.
LogFont fromQFont(const QFont& font, int screenDpiY, const QString& previousFace = {});
