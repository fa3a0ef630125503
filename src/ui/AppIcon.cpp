#include "ui/AppIcon.h"

#include <QList>
#include <QPainter>
#include <QPixmap>

#include <cmath>
#include <numbers>

namespace velmora {

namespace {

// The icon is drawn on a 16-unit grid: a navy tile with rounded corners, the
// eight directions in their new order around a white centre (the two swapped
// groups in red, the others in yellow).
constexpr qreal Grid = 16;
constexpr qreal TileCorner = 3;
const QColor TileColour(0, 0, 128);

struct Disc
{
    QPointF centre;
    qreal radius;
    QColor colour;
};

QList<Disc> discs()
{
    const QPointF centre(Grid / 2, Grid / 2);
    QList<Disc> result;
    for (int slot = 0; slot < 8; ++slot) {
        const qreal angle = slot * std::numbers::pi / 4.0;
        result.append({centre + QPointF(std::sin(angle), -std::cos(angle)) * 5.5, 1.5,
                       slot % 4 == 0 ? QColor(255, 0, 0) : QColor(255, 255, 0)});
    }
    result.append({centre, 2, QColor(255, 255, 255)});
    return result;
}

QString number(qreal value)
{
    return QString::number(value, 'g', 6);
}

} // namespace

QImage appIconImage(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / Grid, size / Grid);
    painter.setPen(Qt::NoPen);
    painter.setBrush(TileColour);
    painter.drawRoundedRect(QRectF(0, 0, Grid, Grid), TileCorner, TileCorner);
    for (const Disc &disc : discs()) {
        painter.setBrush(disc.colour);
        painter.drawEllipse(disc.centre, disc.radius, disc.radius);
    }
    return image;
}

QString appIconSvg()
{
    QString svg = QLatin1String("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"") +
                  number(Grid) + QLatin1String("\" height=\"") + number(Grid) +
                  QLatin1String("\" viewBox=\"0 0 ") + number(Grid) + u' ' + number(Grid) +
                  QLatin1String("\">\n  <rect width=\"") + number(Grid) +
                  QLatin1String("\" height=\"") + number(Grid) + QLatin1String("\" rx=\"") +
                  number(TileCorner) + QLatin1String("\" fill=\"") + TileColour.name() +
                  QLatin1String("\"/>\n");
    for (const Disc &disc : discs()) {
        svg += QLatin1String("  <circle cx=\"") + number(disc.centre.x()) +
               QLatin1String("\" cy=\"") + number(disc.centre.y()) + QLatin1String("\" r=\"") +
               number(disc.radius) + QLatin1String("\" fill=\"") + disc.colour.name() +
               QLatin1String("\"/>\n");
    }
    return svg + QLatin1String("</svg>\n");
}

QIcon appIcon()
{
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(appIconImage(16)));
    icon.addPixmap(QPixmap::fromImage(appIconImage(32)));
    return icon;
}

} // namespace velmora
