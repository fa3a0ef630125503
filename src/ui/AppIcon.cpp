#include "ui/AppIcon.h"

#include <QPainter>
#include <QPixmap>

#include <cmath>
#include <numbers>

namespace velmora {

namespace {

QPixmap drawIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);

    const qreal unit = size / 16.0;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 128)); // navy
    painter.drawRoundedRect(QRectF(0, 0, size, size), 3 * unit, 3 * unit);

    // The eight directions in their new order: the two swapped groups in red,
    // the others in yellow.
    const QPointF centre(size / 2.0, size / 2.0);
    const qreal radius = 5.5 * unit;
    for (int slot = 0; slot < 8; ++slot) {
        const qreal angle = slot * std::numbers::pi / 4.0;
        const QPointF at = centre + QPointF(std::sin(angle), -std::cos(angle)) * radius;
        painter.setBrush(slot % 4 == 0 ? QColor(255, 0, 0) : QColor(255, 255, 0));
        painter.drawEllipse(at, 1.5 * unit, 1.5 * unit);
    }
    painter.setBrush(QColor(255, 255, 255));
    painter.drawEllipse(centre, 2 * unit, 2 * unit);
    return pixmap;
}

} // namespace

QIcon appIcon()
{
    QIcon icon;
    icon.addPixmap(drawIcon(16));
    icon.addPixmap(drawIcon(32));
    return icon;
}

} // namespace velmora
