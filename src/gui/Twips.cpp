#include "gui/Twips.h"

#include <QWidget>
#include <algorithm>
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

void FitToText(QWidget* control)
{
    control->resize(control->sizeHint().width(), control->height());
}

void WidenToText(QWidget* control)
{
    const QRect designed = control->geometry();
    const int width = std::max(designed.width(), control->sizeHint().width());
    control->setGeometry(designed.x() + designed.width() - width, designed.y(), width, designed.height());
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
