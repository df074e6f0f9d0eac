#pragma once

// Plays the drawing operations of a receipt on a QPainter, with the print fonts scaled to the
// device. Single-line texts are clipped to their rectangle; wrapped texts break between any two
// Chinese characters and inside a word that does not fit a line.

#include "print/LogFont.h"
#include "print/ReceiptLayout.h"

#include <QFont>

#include <array>

class QPainter;
class QPaintDevice;

// The five fonts of a drawing, scaled to the device.
class ReceiptFonts {
public:
    ReceiptFonts(const std::array<LogFont, 4>& fonts, const PrintScale& scale);
    const QFont& font(PrintFontRole role) const { return m_fonts[std::size_t(role)]; }

private:
    std::array<QFont, 5> m_fonts;
};

// Measures with the fonts as they draw on a device.
class DeviceTextMeasurer : public TextMeasurer {
public:
    DeviceTextMeasurer(const ReceiptFonts& fonts, QPaintDevice* device);
    int textWidth(PrintFontRole role, const QString& text) const override;
    int wrappedHeight(PrintFontRole role, const QString& text, int width) const override;

private:
    const ReceiptFonts& m_fonts;
    QPaintDevice* m_device;
};

// Plays the operations on a painter.
void DrawReceiptOps(QPainter& painter, const QList<DrawOp>& ops, const ReceiptFonts& fonts);

// One receipt in the page rectangle, two-row or three-row table; the cells are prepared already.
void DrawTwoRowReceipt(QPainter& painter, const PrintRect& page, const ReceiptPrintData& data,
                       const PreparedReceipt& prepared, const PrintScale& scale,
                       const std::array<LogFont, 4>& fonts);
void DrawThreeRowReceipt(QPainter& painter, const PrintRect& page, const ReceiptPrintData& data,
                         const PreparedReceipt& prepared, const PrintScale& scale,
                         const std::array<LogFont, 4>& fonts);

// Prepares the cells and draws the receipt's variant (data.threeRow) in the page rectangle.
void DrawReceipt(QPainter& painter, const PrintRect& page, ReceiptPrintData& data, const PrintScale& scale,
                 const std::array<LogFont, 4>& fonts);
