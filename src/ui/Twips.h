#pragma once

#include "ui/FormFonts.h"

#include <QFont>
#include <QRect>
#include <QSize>
#include <QStringList>

namespace velmora {

// Window geometry is written in twips, as the windows were laid out: 1440 per
// inch, 15 per pixel at 96 dots per inch. Keeping the numbers as given lets the
// code be checked against the layout at a glance.
inline constexpr int TwipsPerPixel = 15;

constexpr int twips(int value)
{
    return value / TwipsPerPixel;
}

constexpr QSize twips(int width, int height)
{
    return QSize(twips(width), twips(height));
}

constexpr QRect twips(int left, int top, int width, int height)
{
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

// The small sans face the layouts were measured with. The program carries it
// (see FormFonts.h); the other families stand in only if that failed.
inline QFont formFont(qreal pointSize = 8.25)
{
    loadFormFonts();
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                      QStringLiteral("Helvetica"), QStringLiteral("DejaVu Sans Condensed"),
                      QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    return font;
}

} // namespace velmora
