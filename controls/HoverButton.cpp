#include "controls/HoverButton.h"

#include <QEnterEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {

// The sunken edge of a classic three-dimensional button, in pixels on each side.
constexpr int kEdge = 2;
constexpr int kSteps = 64;

const QColor kOutline(50, 100, 160);

// One side of the inner frame: its colour and its pen width.
struct FrameSide {
    QColor color;
    int width;
};
struct FramePens {
    FrameSide left, right, top, bottom;
};
const FramePens kHoverPens{{QColor(250, 196, 88), 3},
                           {QColor(251, 202, 106), 3},
                           {QColor(252, 210, 121), 2},
                           {QColor(229, 151, 0), 2}};
const FramePens kFocusPens{{QColor(153, 198, 252), 3},
                           {QColor(162, 189, 252), 3},
                           {QColor(162, 201, 255), 2},
                           {QColor(162, 201, 255), 2}};

// A line of a wide pen covers width pixels across, centred on its coordinate (one more before it
// than after it when the width is even), and every pixel between its two ends.
void penLine(QPainter& painter, const FrameSide& pen, int x1, int y1, int x2, int y2) {
    const int before = pen.width / 2;
    if (y1 == y2) {
        const int left = std::min(x1, x2);
        painter.fillRect(QRect(left, y1 - before, std::abs(x2 - x1) + 1, pen.width), pen.color);
    } else {
        const int top = std::min(y1, y2);
        painter.fillRect(QRect(x1 - before, top, pen.width, std::abs(y2 - y1) + 1), pen.color);
    }
}

// The dotted focus rectangle: every other pixel of the border of r inverted, so that it shows on
// any colour.
void invertDottedRect(QImage& image, const QRect& r) {
    const qreal ratio = image.devicePixelRatio();
    const QRect px(QPoint(qRound(r.left() * ratio), qRound(r.top() * ratio)),
                   QPoint(qRound((r.right() + 1) * ratio) - 1, qRound((r.bottom() + 1) * ratio) - 1));
    auto invert = [&image](int x, int y) {
        if (!image.rect().contains(x, y))
            return;
        const QRgb c = image.pixel(x, y);
        image.setPixel(x, y, qRgba(255 - qRed(c), 255 - qGreen(c), 255 - qBlue(c), qAlpha(c)));
    };
    // Walk the border once, clockwise, dotting every second pixel.
    int n = 0;
    for (int x = px.left(); x <= px.right(); ++x)
        if (n++ % 2 == 0)
            invert(x, px.top());
    for (int y = px.top() + 1; y <= px.bottom(); ++y)
        if (n++ % 2 == 0)
            invert(px.right(), y);
    for (int x = px.right() - 1; x >= px.left(); --x)
        if (n++ % 2 == 0)
            invert(x, px.bottom());
    for (int y = px.bottom() - 1; y > px.top(); --y)
        if (n++ % 2 == 0)
            invert(px.left(), y);
}

} // namespace

CHoverButton::CHoverButton(QWidget* parent) : QPushButton(parent) {
}

CHoverButton::CHoverButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
}

QColor CHoverButton::gradientColor(int step, bool hover) {
    step = std::clamp(step, 0, kSteps - 1);
    const int rg = 255 - step / 2;
    return QColor(rg, rg, hover ? 255 - step : 255 - step / 5);
}

void CHoverButton::startTracking() {
    // A disabled button takes no mouse input, so it never lights up.
    if (m_bTracking || !isEnabled())
        return;
    m_bTracking = true;
    m_bHover = true;
    update();
}

void CHoverButton::clearMouseState() {
    m_bHover = false;
    m_bTracking = false;
    m_bLButtonDown = false;
    update();
}

void CHoverButton::enterEvent(QEnterEvent* event) {
    startTracking();
    QPushButton::enterEvent(event);
}

void CHoverButton::leaveEvent(QEvent* event) {
    clearMouseState();
    QPushButton::leaveEvent(event);
}

void CHoverButton::mouseMoveEvent(QMouseEvent* event) {
    // The pointer can be over the button without an enter (a dialog that opened under it).
    if (rect().contains(event->position().toPoint()))
        startTracking();
    QPushButton::mouseMoveEvent(event);
}

void CHoverButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_bLButtonDown = true;
        update();
    }
    QPushButton::mousePressEvent(event);
}

void CHoverButton::mouseReleaseEvent(QMouseEvent* event) {
    // Before the base class: its click may open a dialog or close this one.
    if (event->button() == Qt::LeftButton) {
        m_bLButtonDown = false;
        update();
    }
    QPushButton::mouseReleaseEvent(event);
}

void CHoverButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange && !isEnabled())
        clearMouseState();
    QPushButton::changeEvent(event);
}

void CHoverButton::paintEvent(QPaintEvent*) {
    // Drawn on an image first so that the focus rectangle can invert what lies beneath it.
    const qreal ratio = devicePixelRatioF();
    QImage canvas(size() * ratio, QImage::Format_ARGB32_Premultiplied);
    canvas.setDevicePixelRatio(ratio);
    canvas.fill(Qt::transparent);
    {
        QPainter painter(&canvas);
        const QRect r = rect();

        // The outline, a rounded rectangle inside the button with corners of 5 by 5 pixels.
        painter.setPen(QPen(kOutline, 1));
        painter.setBrush(Qt::white);
        painter.drawRoundedRect(r.adjusted(0, 0, -1, -1), 2.5, 2.5);

        m_bFocus = hasFocus();

        const QRect face = r.adjusted(kEdge, kEdge, -kEdge, -kEdge);
        fillFace(painter, face);
        drawFrame(painter, face);

        // The caption, centred on the face; a pushed button's caption sinks by one pixel.
        painter.setFont(font());
        const QSize extent = painter.fontMetrics().size(Qt::TextShowMnemonic, text());
        const int faceRight = face.right() + 1;
        const int faceBottom = face.bottom() + 1;
        int x = (face.left() + faceRight) / 2 - extent.width() / 2;
        int y = (face.top() + faceBottom) / 2 - extent.height() / 2;
        if (isDown()) {
            ++x;
            ++y;
        }
        const QRect textRect(QPoint(x, y), extent);
        const int flags = Qt::TextShowMnemonic | Qt::AlignLeft | Qt::AlignTop;
        if (isEnabled()) {
            painter.setPen(palette().color(QPalette::Active, QPalette::ButtonText));
            painter.drawText(textRect, flags, text());
        } else {
            // The engraved look of disabled text: a light copy one pixel down and right, the
            // shadow colour on top.
            painter.setPen(palette().color(QPalette::Light));
            painter.drawText(textRect.translated(1, 1), flags, text());
            painter.setPen(palette().color(QPalette::Dark));
            painter.drawText(textRect, flags, text());
        }
    }
    if (m_bFocus && !m_bHover)
        invertDottedRect(canvas, rect().adjusted(kEdge, kEdge, -kEdge, -kEdge));
    QPainter(this).drawImage(0, 0, canvas);
}

void CHoverButton::fillFace(QPainter& painter, const QRect& face) {
    // Rows from the face's top down to two rows below it, across to two columns beyond it; rows
    // below the face's height keep the last step.
    const int height = face.height();
    const int first = face.top();
    const int last = face.bottom() + 1 + 2;
    const int width = face.width() + 2;
    auto stepAt = [height](int y) {
        return height > 0 ? std::min(kSteps - 1, (kSteps - 1) * y / height) : kSteps - 1;
    };
    if (m_bLButtonDown) {
        // Held down: the gradient turned upside down, walked from the bottom up, so the face
        // looks pressed in.
        for (int y = last; y >= first; --y)
            painter.fillRect(QRect(face.left(), y, width, 1), gradientColor(stepAt(last - y), m_bHover));
        return;
    }
    for (int y = first; y <= last; ++y)
        painter.fillRect(QRect(face.left(), y, width, 1), gradientColor(stepAt(y), m_bHover));
}

void CHoverButton::drawFrame(QPainter& painter, const QRect& face) {
    if (!m_bHover && !m_bFocus)
        return;
    const FramePens& pens = m_bHover ? kHoverPens : kFocusPens;
    const int left = face.left();
    const int top = face.top();
    const int right = face.right() + 1;
    const int bottom = face.bottom() + 1;
    penLine(painter, pens.left, left, bottom - 1, left, top + 1);
    penLine(painter, pens.right, right - 1, bottom - 1, right - 1, top);
    penLine(painter, pens.top, left - 1, top, right - 1, top);
    penLine(painter, pens.bottom, left, bottom, right - 1, bottom);
}
