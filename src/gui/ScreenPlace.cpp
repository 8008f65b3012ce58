#include "gui/ScreenPlace.h"

#include <QEvent>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace qb {
namespace {

QMargins FrameOf(const QWidget& window)
{
    const QRect frame = window.frameGeometry();
    const QRect client = window.geometry();
    return {client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
            frame.bottom() - client.bottom()};
}

// Places the window again once, when its real frame is first known, if that frame lies off the screen.
class FrameWatch : public QObject {
public:
    explicit FrameWatch(QWidget& window) : QObject(&window), m_window(window)
    {
        setObjectName(QStringLiteral("FrameWatch"));
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::Move && event->type() != QEvent::Resize && event->type() != QEvent::Show)
            return false;
        const QMargins frame = FrameOf(m_window);
        const QScreen* screen = m_window.screen();
        if (frame.isNull() || !screen)
            return false;
        if (!screen->availableGeometry().contains(m_window.frameGeometry()))
            m_window.move(FrameOnScreen(screen->availableGeometry(), m_window.size(), frame));
        m_window.removeEventFilter(this);
        deleteLater();
        return false;
    }

private:
    QWidget& m_window;
};

}  // namespace

QPoint FrameOnScreen(const QRect& available, const QSize& client, const QMargins& frame)
{
    const QSize outer = client.grownBy(frame);
    const auto along = [](int start, int room, int size) { return start + std::max(0, (room - size) / 2); };
    return {along(available.x(), available.width(), outer.width()),
            along(available.y(), available.height(), outer.height())};
}

void PlaceOnScreen(QWidget& window)
{
    const QScreen* screen = window.screen();
    if (!screen)
        return;
    const QMargins known = FrameOf(window);
    // move() places a window's frame, title bar included, even before the frame is known: its top
    // left corner lies on the screen then, and if its bottom does not, the watch moves it up.
    window.move(FrameOnScreen(screen->availableGeometry(), window.size(), known));
    if (known.isNull() && !window.findChild<FrameWatch*>(QStringLiteral("FrameWatch"), Qt::FindDirectChildrenOnly))
        new FrameWatch(window);
}

}  // namespace qb
