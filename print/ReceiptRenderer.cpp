#include "print/ReceiptRenderer.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPen>
#include <QTextLayout>
#include <QTextOption>

namespace {

// Line ends of a multi-line text become line separators, which the text layout breaks at.
QString layoutText(const QString& text) {
    QString s = text;
    s.replace(QLatin1String("\r\n"), QStringLiteral("\n"));
    s.replace(u'\r', u'\n');
    s.replace(u'\n', QChar::LineSeparator);
    return s;
}

// Lays the text out in lines of the given width, breaking at word boundaries where it can and
// anywhere else where it must (Chinese text breaks between any two characters). Lines are one
// font height apart. Returns the height of the text.
int layOutWrapped(QTextLayout& layout, const QFont& font, QPaintDevice* device, int width,
                  Qt::Alignment align) {
    QTextOption option(align);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    const int lineHeight = QFontMetrics(font, device).height();
    int y = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(qMax(0, width));
        line.setPosition(QPointF(0, y));
        y += lineHeight;
    }
    layout.endLayout();
    return y;
}

Qt::Alignment singleLineAlignment(TextMode mode) {
    switch (mode) {
    case TextMode::LeftVCentred:
        return Qt::AlignLeft | Qt::AlignVCenter;
    case TextMode::RightVCentred:
        return Qt::AlignRight | Qt::AlignVCenter;
    case TextMode::TopCentred:
        return Qt::AlignHCenter | Qt::AlignTop;
    case TextMode::BottomCentred:
        return Qt::AlignHCenter | Qt::AlignBottom;
    default:
        return Qt::AlignCenter;
    }
}

// Draws one line inside the rectangle less the clearance, placed by its ink rather than by the
// font's line height (which in the CJK faces reaches well above and below the characters), and in
// a smaller size when the ink would not fit. The ink's height counts a full ideograph too, so that
// captions of one font stand on one baseline whatever their characters.
void drawFitted(QPainter& painter, const QRect& r, int clear, Qt::Alignment align, const QString& line,
                QFont font) {
    const QRectF room = QRectF(r).adjusted(clear, clear, -clear, -clear);
    if (room.width() <= 0 || room.height() <= 0)
        return;
    const auto inkOf = [&](const QFont& f) {
        const QFontMetricsF metrics(f, painter.device());
        const QRectF text = metrics.tightBoundingRect(line);
        const QRectF full = metrics.tightBoundingRect(QStringLiteral("国"));
        // A pixel round it for the smoothing of the glyphs' edges.
        return QRectF(text.left(), qMin(text.top(), full.top()), text.width(),
                      qMax(text.bottom(), full.bottom()) - qMin(text.top(), full.top()))
            .adjusted(-1, -1, 1, 1);
    };
    QRectF ink = inkOf(font);
    while ((ink.width() > room.width() || ink.height() > room.height()) && font.pixelSize() > 1) {
        const double shrink = qMin(room.width() / ink.width(), room.height() / ink.height());
        font.setPixelSize(qBound(1, int(font.pixelSize() * shrink), font.pixelSize() - 1));
        ink = inkOf(font);
    }
    double x = room.center().x() - ink.center().x();
    if (align & Qt::AlignLeft)
        x = room.left() - ink.left();
    else if (align & Qt::AlignRight)
        x = room.right() - ink.right();
    double y = room.center().y() - ink.center().y();
    if (align & Qt::AlignTop)
        y = room.top() - ink.top();
    else if (align & Qt::AlignBottom)
        y = room.bottom() - ink.bottom();
    painter.setFont(font);
    painter.drawText(QPointF(x, y), line);
}

void drawText(QPainter& painter, const DrawOp& op, const QFont& font) {
    const QRect r = op.rect.toQRect();
    if (r.width() <= 0 || r.height() <= 0)
        return;
    painter.save();
    painter.setClipRect(r, Qt::IntersectClip);
    painter.setFont(font);
    if (op.mode == TextMode::WrapLeftTop || op.mode == TextMode::WrapCentred) {
        QTextLayout layout(layoutText(op.text), font, painter.device());
        layOutWrapped(layout, font, painter.device(), r.width(),
                      op.mode == TextMode::WrapCentred ? Qt::AlignHCenter : Qt::AlignLeft);
        // As an edit control shows wrapped text: a line that does not fit whole is left out
        // rather than printed cut in half.
        const int lineHeight = QFontMetrics(font, painter.device()).height();
        for (int i = 0; i < layout.lineCount(); ++i) {
            const QTextLine line = layout.lineAt(i);
            if (line.position().y() + lineHeight > r.height())
                break;
            line.draw(&painter, r.topLeft());
        }
    } else {
        QString line = op.text;
        line.replace(u'\n', u' ').remove(u'\r');
        if (op.keepClear)
            drawFitted(painter, r, *op.keepClear, singleLineAlignment(op.mode), line, font);
        else
            painter.drawText(r, int(singleLineAlignment(op.mode)) | Qt::TextSingleLine, line);
    }
    painter.restore();
}

} // namespace

ReceiptFonts::ReceiptFonts(const std::array<LogFont, 4>& fonts, const PrintScale& scale) {
    const double ry = scale.ratioY();
    m_fonts[std::size_t(PrintFontRole::Body)] = toQFont(fonts[BodyFont], ry);
    m_fonts[std::size_t(PrintFontRole::Title)] = toQFont(fonts[TitleFont], ry);
    m_fonts[std::size_t(PrintFontRole::Heading)] = toQFont(fonts[HeadingFont], ry);
    // Four layout units smaller than the captions.
    m_fonts[std::size_t(PrintFontRole::HeadingReduced)] =
        toQFont(fonts[HeadingFont], scaledFontHeight(fonts[HeadingFont], ry, scale.sy(4)));
    m_fonts[std::size_t(PrintFontRole::BottomRemark)] = toQFont(fonts[BottomRemarkFont], ry);
}

DeviceTextMeasurer::DeviceTextMeasurer(const ReceiptFonts& fonts, QPaintDevice* device)
    : m_fonts(fonts), m_device(device) {
}

int DeviceTextMeasurer::textWidth(PrintFontRole role, const QString& text) const {
    return QFontMetrics(m_fonts.font(role), m_device).horizontalAdvance(text);
}

int DeviceTextMeasurer::wrappedHeight(PrintFontRole role, const QString& text, int width) const {
    if (text.isEmpty())
        return 0;
    const QFont& font = m_fonts.font(role);
    QTextLayout layout(layoutText(text), font, m_device);
    return layOutWrapped(layout, font, m_device, width, Qt::AlignHCenter);
}

void DrawReceiptOps(QPainter& painter, const QList<DrawOp>& ops, const ReceiptFonts& fonts) {
    painter.save();
    painter.setBrush(Qt::NoBrush);
    for (const DrawOp& op : ops) {
        switch (op.kind) {
        case DrawOp::Text:
            painter.setPen(Qt::black);
            drawText(painter, op, fonts.font(op.font));
            break;
        case DrawOp::Line:
        case DrawOp::Rect: {
            QPen pen(Qt::black, op.penWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
            painter.setPen(pen);
            if (op.kind == DrawOp::Line)
                painter.drawLine(op.rect.left, op.rect.top, op.rect.right, op.rect.bottom);
            else
                painter.drawRect(QRectF(op.rect.left, op.rect.top, op.rect.width(), op.rect.height()));
            break;
        }
        }
    }
    painter.restore();
}

namespace {

void drawVariant(QPainter& painter, const PrintRect& page, const ReceiptPrintData& data,
                 const PreparedReceipt& prepared, const PrintScale& scale,
                 const std::array<LogFont, 4>& fonts, bool threeRow) {
    const ReceiptFonts scaled(fonts, scale);
    const DeviceTextMeasurer measure(scaled, painter.device());
    DrawReceiptOps(painter, BuildReceiptOps(page, data, prepared, threeRow, scale, measure), scaled);
}

} // namespace

void DrawTwoRowReceipt(QPainter& painter, const PrintRect& page, const ReceiptPrintData& data,
                       const PreparedReceipt& prepared, const PrintScale& scale,
                       const std::array<LogFont, 4>& fonts) {
    drawVariant(painter, page, data, prepared, scale, fonts, false);
}

void DrawThreeRowReceipt(QPainter& painter, const PrintRect& page, const ReceiptPrintData& data,
                         const PreparedReceipt& prepared, const PrintScale& scale,
                         const std::array<LogFont, 4>& fonts) {
    drawVariant(painter, page, data, prepared, scale, fonts, true);
}

void DrawReceipt(QPainter& painter, const PrintRect& page, ReceiptPrintData& data, const PrintScale& scale,
                 const std::array<LogFont, 4>& fonts) {
    const PreparedReceipt prepared = PrepareReceiptCells(data);
    drawVariant(painter, page, data, prepared, scale, fonts, data.threeRow);
}
