#pragma once

#include "gui/Twips.h"

#include <QRect>
#include <QString>

namespace qb {

// A control of the main window as designed: its name, its place and its bold font.
template <typename Control>
Control* Place(Control* control, const char* name, QRect rect, double points = 9)
{
    control->setObjectName(QString::fromUtf8(name));
    control->setGeometry(rect);
    control->setFont(BoldFont(points));
    return control;
}

}  // namespace qb
