#include "gui/Twips.h"

#include <QWidget>
#include <cmath>

namespace qb {

int TwipsToPixels(int twips, const QWidget* widget)
{
    const int dpi = widget ? widget->logicalDpiX() : 96;
    return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

QRect TwipsRect(int left, int top, int width, int height, const QWidget* widget)
{
    return {TwipsToPixels(left, widget), TwipsToPixels(top, widget), TwipsToPixels(width, widget),
            TwipsToPixels(height, widget)};
}

QFont BoldFont(double points)
{
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

}  // namespace qb
