#include "platform/Artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace artwork {

namespace {

QPixmap iconPixmap(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    // The receipt sheet.
    p.setPen(QPen(QColor(40, 70, 140), 1.2));
    p.setBrush(QColor(255, 253, 240));
    p.drawRoundedRect(QRectF(5, 2, 22, 28), 2, 2);
    p.setPen(QPen(QColor(150, 160, 180), 1));
    for (int y = 17; y <= 26; y += 3)
        p.drawLine(QPointF(9, y), QPointF(23, y));
    // A small house above the lines.
    QPainterPath roof;
    roof.moveTo(16, 4.5);
    roof.lineTo(23, 10.5);
    roof.lineTo(9, 10.5);
    roof.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 50, 40));
    p.drawPath(roof);
    p.setBrush(QColor(60, 110, 200));
    p.drawRect(QRectF(11, 10.5, 10, 4.5));
    return pm;
}

} // namespace

QIcon applicationIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64})
        icon.addPixmap(iconPixmap(size));
    return icon;
}

QPixmap loginBanner() {
    QPixmap pm(334, 64);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 334, 64);
    sky.setColorAt(0, QColor(36, 92, 170));
    sky.setColorAt(1, QColor(120, 176, 235));
    p.fillRect(pm.rect(), sky);
    p.drawPixmap(14, 8, iconPixmap(48));
    QFont title(QStringLiteral("Noto Sans CJK SC"));
    title.setPixelSize(24);
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRect(74, 6, 250, 32), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Rentbook"));
    QFont sub(QStringLiteral("Noto Sans CJK SC"));
    sub.setPixelSize(13);
    p.setFont(sub);
    p.setPen(QColor(230, 240, 255));
    p.drawText(QRect(76, 36, 250, 22), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("房租水电收据 · 记账 · 打印"));
    return pm;
}

} // namespace artwork
