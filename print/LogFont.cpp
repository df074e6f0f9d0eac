#include "print/LogFont.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QStringEncoder>
#include <QStringList>

#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

// The blanks that end a number or the face name: those of the C library's "%s", nothing wider.
bool isBlank(QChar c) {
    const char16_t u = c.unicode();
    return u == u' ' || u == u'\t' || u == u'\n' || u == u'\v' || u == u'\f' || u == u'\r';
}

class LineReader {
public:
    explicit LineReader(const QString& line) : m_line(line) {}

    // A decimal number with optional sign after optional blanks, as "%ld" and "%u" read it.
    std::optional<qint64> number() {
        skipBlanks();
        qsizetype i = m_pos;
        bool negative = false;
        if (i < m_line.size() && (m_line[i] == u'+' || m_line[i] == u'-')) {
            negative = m_line[i] == u'-';
            ++i;
        }
        const qsizetype digitsFrom = i;
        qint64 value = 0;
        while (i < m_line.size() && m_line[i] >= u'0' && m_line[i] <= u'9') {
            value = value * 10 + (m_line[i].unicode() - u'0');
            if (value > (qint64(1) << 40)) // far beyond any field; stops the overflow here
                return std::nullopt;
            ++i;
        }
        if (i == digitsFrom)
            return std::nullopt;
        m_pos = i;
        return negative ? -value : value;
    }

    bool literal(QChar c) {
        if (m_pos < m_line.size() && m_line[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }

    // "%s": blanks skipped, then everything up to the next blank; at least one character.
    std::optional<QString> word() {
        skipBlanks();
        const qsizetype from = m_pos;
        while (m_pos < m_line.size() && !isBlank(m_line[m_pos]))
            ++m_pos;
        if (m_pos == from)
            return std::nullopt;
        return m_line.mid(from, m_pos - from);
    }

private:
    void skipBlanks() {
        while (m_pos < m_line.size() && isBlank(m_line[m_pos]))
            ++m_pos;
    }

    const QString& m_line;
    qsizetype m_pos = 0;
};

// Cuts a face name to what the record holds: up to the first blank, at most 31 GBK bytes, never
// in the middle of a character. One pass that stops at the limit, so that a name of any length
// read from the file costs no more than its first 31 bytes.
QString fitFaceName(const QString& name) {
    QStringEncoder gbk("GBK");
    int bytes = 0;
    qsizetype end = 0;
    while (end < name.size() && !isBlank(name[end])) {
        const qsizetype length =
            name[end].isHighSurrogate() && end + 1 < name.size() && name[end + 1].isLowSurrogate() ? 2 : 1;
        bytes += int(QByteArray(gbk.encode(QStringView(name).mid(end, length))).size());
        if (bytes > kMaxFaceNameBytes)
            break;
        end += length;
    }
    return name.left(end);
}

struct Substitute {
    const char16_t* face;
    const char* installed;
};

// The installed fonts standing in for the faces the factory lines name.
constexpr Substitute kSubstitutes[] = {
    {u"楷体", "AR PL UKai CN"},
    {u"宋体", "AR PL UMing CN"},
    {u"黑体", "Noto Sans CJK SC"},
    {u"幼圆", "Noto Sans CJK SC"},
};

// The pixel size at which a font's ascent plus descent is the given cell height.
int emForCellHeight(const QFont& font, int cellHeight) {
    QFont probe = font;
    probe.setPixelSize(1000);
    const qreal cell = QFontMetricsF(probe).height();
    if (cell <= 0)
        return cellHeight;
    return int(std::lround(cellHeight * 1000.0 / cell));
}

} // namespace

std::optional<LogFont> parseLogFont(const QString& line) {
    LineReader in(line);
    LogFont f;
    std::int32_t* const ints[] = {&f.height, &f.width, &f.escapement, &f.orientation, &f.weight};
    std::uint8_t* const bytes[] = {&f.italic,       &f.underline,     &f.strikeOut, &f.charSet,
                                   &f.outPrecision, &f.clipPrecision, &f.quality,   &f.pitchAndFamily};
    for (std::int32_t* field : ints) {
        const auto v = in.number();
        if (!v || *v < std::numeric_limits<std::int32_t>::min() ||
            *v > std::numeric_limits<std::int32_t>::max())
            return std::nullopt;
        // A height or width no screen font has is a broken line, not a font to scale.
        if ((field == &f.height || field == &f.width) && (*v < -kMaxFontPixels || *v > kMaxFontPixels))
            return std::nullopt;
        *field = std::int32_t(*v);
        if (!in.literal(u','))
            return std::nullopt;
    }
    for (std::uint8_t* field : bytes) {
        const auto v = in.number();
        if (!v || *v < 0 || *v > 255)
            return std::nullopt;
        *field = std::uint8_t(*v);
        if (!in.literal(u','))
            return std::nullopt;
    }
    const auto face = in.word();
    if (!face)
        return std::nullopt;
    f.faceName = fitFaceName(*face);
    return f;
}

QString formatLogFont(const LogFont& f) {
    return QString::asprintf("%d,%d,%d,%d,%d,%u,%u,%u,%u,%u,%u,%u,%u,", f.height, f.width, f.escapement,
                             f.orientation, f.weight, unsigned(f.italic), unsigned(f.underline),
                             unsigned(f.strikeOut), unsigned(f.charSet), unsigned(f.outPrecision),
                             unsigned(f.clipPrecision), unsigned(f.quality), unsigned(f.pitchAndFamily)) +
           f.faceName;
}

const std::array<QString, 4>& factoryFontLines() {
    static const std::array<QString, 4> lines = {
        QStringLiteral("-16,0,0,0,400,0,0,0,134,3,2,1,49,楷体"),
        QStringLiteral("-24,0,0,0,400,0,0,0,134,3,2,1,49,黑体"),
        QStringLiteral("-16,0,0,0,400,0,0,0,134,3,2,1,2,宋体"),
        QStringLiteral("-16,0,0,0,400,0,0,0,134,3,2,1,49,幼圆"),
    };
    return lines;
}

LogFont factoryFont(int index) {
    if (index < 0 || index > 3)
        index = BodyFont;
    return *parseLogFont(factoryFontLines()[std::size_t(index)]);
}

std::array<LogFont, 4> factoryFonts() {
    return {factoryFont(0), factoryFont(1), factoryFont(2), factoryFont(3)};
}

void installFontSubstitutions() {
    static const bool installed = [] {
        for (const Substitute& s : kSubstitutes)
            QFont::insertSubstitutions(QString::fromUtf16(s.face),
                                       QStringList{QString::fromLatin1(s.installed)});
        return true;
    }();
    Q_UNUSED(installed);
}

int scaledFontHeight(const LogFont& font, double scaleY, int adjust) {
    // A record without a height draws at the body font's factory size.
    const int height = font.height != 0 ? qBound(-kMaxFontPixels, int(font.height), kMaxFontPixels) : -16;
    return int(std::trunc(height * qBound(0.0, scaleY, 1000.0))) + adjust;
}

QFont toQFont(const LogFont& lf, int deviceHeight) {
    installFontSubstitutions();
    QFont font;
    if (!lf.faceName.isEmpty())
        font.setFamily(lf.faceName);
    font.setWeight(lf.weight <= 0 ? QFont::Normal : QFont::Weight(qBound(1, int(lf.weight), 1000)));
    font.setItalic(lf.italic != 0);
    font.setUnderline(lf.underline != 0);
    font.setStrikeOut(lf.strikeOut != 0);
    int pixels = 16;
    if (deviceHeight < 0)
        pixels = -deviceHeight;
    else if (deviceHeight > 0)
        pixels = emForCellHeight(font, deviceHeight);
    font.setPixelSize(qMax(1, pixels));
    return font;
}

QFont toQFont(const LogFont& font, double scaleY) {
    return toQFont(font, scaledFontHeight(font, scaleY));
}

QFont toChooserFont(const LogFont& lf, int screenDpiY) {
    installFontSubstitutions();
    QFont font;
    if (!lf.faceName.isEmpty())
        font.setFamily(QFont::substitute(lf.faceName));
    const int pixels =
        lf.height != 0 ? std::abs(qBound(-kMaxFontPixels, int(lf.height), kMaxFontPixels)) : 16;
    font.setPointSizeF(pixels * 72.0 / (screenDpiY > 0 ? screenDpiY : 96));
    font.setWeight(lf.weight <= 0 ? QFont::Normal : QFont::Weight(qBound(1, int(lf.weight), 1000)));
    font.setItalic(lf.italic != 0);
    font.setUnderline(lf.underline != 0);
    font.setStrikeOut(lf.strikeOut != 0);
    return font;
}

LogFont fromQFont(const QFont& font, int screenDpiY, const QString& previousFace) {
    LogFont lf;
    if (font.pixelSize() > 0)
        lf.height = -qMin(font.pixelSize(), kMaxFontPixels);
    else
        lf.height =
            -int(std::lround(qBound(0.0, font.pointSizeF() * screenDpiY / 72.0, double(kMaxFontPixels))));
    lf.weight = std::int32_t(font.weight());
    lf.italic = font.italic() ? 1 : 0;
    lf.underline = font.underline() ? 1 : 0;
    lf.strikeOut = font.strikeOut() ? 1 : 0;
    lf.charSet = 134; // GB2312: the receipts are Chinese
    lf.outPrecision = 3;
    lf.clipPrecision = 2;
    lf.quality = 1;

    installFontSubstitutions();
    QString face = font.family();
    if (!previousFace.isEmpty() && QFont::substitute(previousFace).compare(face, Qt::CaseInsensitive) == 0) {
        face = previousFace;
    } else {
        for (const Substitute& s : kSubstitutes) {
            if (face.compare(QLatin1String(s.installed), Qt::CaseInsensitive) == 0) {
                face = QString::fromUtf16(s.face);
                break;
            }
        }
    }
    lf.faceName = fitFaceName(face);

    // The Chinese faces keep the pitch and family their factory lines carry; others say what
    // the installed font is.
    bool known = false;
    for (int i = 0; i < 4 && !known; ++i) {
        const LogFont factory = factoryFont(i);
        if (factory.faceName == lf.faceName) {
            lf.pitchAndFamily = factory.pitchAndFamily;
            known = true;
        }
    }
    if (!known) {
        const bool fixed = QFontInfo(font).fixedPitch();
        std::uint8_t family = 0;
        switch (font.styleHint()) {
        case QFont::Serif:
            family = 0x10;
            break;
        case QFont::SansSerif:
            family = 0x20;
            break;
        case QFont::Monospace:
        case QFont::TypeWriter:
            family = 0x30;
            break;
        case QFont::Cursive:
            family = 0x40;
            break;
        case QFont::Decorative:
        case QFont::Fantasy:
            family = 0x50;
            break;
        default:
            break;
        }
        lf.pitchAndFamily = std::uint8_t(family | (fixed ? 1 : 2));
    }
    return lf;
}
