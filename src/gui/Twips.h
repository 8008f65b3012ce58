#pragma once

#include <QFont>
#include <QRect>

class QWidget;

namespace qb {

// Twips (1/1440 inch) at the screen's logical resolution.
int TwipsToPixels(int twips, const QWidget* widget);
QRect TwipsRect(int left, int top, int width, int height, const QWidget* widget);

// Fonts differ between machines: a control made for one may cut its text on another.
// As wide as its text needs, its left edge kept.
void FitToText(QWidget* control);
// At least as wide as its text needs, its right edge kept.
void WidenToText(QWidget* control);

// Arial bold at the given size, or a metric-compatible sans where Arial is missing.
QFont BoldFont(double points);

}  // namespace qb
