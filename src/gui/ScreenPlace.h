#pragma once

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace qb {

// Where a window's frame goes so that all of it, title bar included, lies in the screen's free area:
// centred there, and where it is larger, kept to the area's top left so that the title bar stays in reach.
QPoint FrameOnScreen(const QRect& available, const QSize& client, const QMargins& frame);

// Places the window so on the screen it opens on. Before it is first shown its frame is not known: once
// it is, the window is placed again if it then lies partly off the screen.
void PlaceOnScreen(QWidget& window);

}  // namespace qb
