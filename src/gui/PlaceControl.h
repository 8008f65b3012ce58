#pragma once

#include "gui/Twips.h"

#include <QRect>
#include <QString>

namespace qb {

// A control of the main window: its name and its bold font.
template <typename Control>
Control* Named(Control* control, const char* name, double points = 9)
{
    control->setObjectName(QString::fromUtf8(name));
    control->setFont(BoldFont(points));
    return control;
}

// A control of the main window as designed: its name, its place and its bold font.
template <typename Control>
Control* Place(Control* control, const char* name, QRect rect, double points = 9)
{
    Named(control, name, points);
    control->setGeometry(rect);
    return control;
}

}  // namespace qb
