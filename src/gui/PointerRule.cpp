#include "gui/PointerRule.h"

#include <QAbstractScrollArea>
#include <QEnterEvent>
#include <QEvent>
#include <QMouseEvent>
#include <QWidget>

namespace qb {

PointerRule::PointerRule(QWidget* window) : QObject(window), m_window(window) {}

void PointerRule::SetPointer(PointerStyle style)
{
    m_style = style;
    Apply();
}

void PointerRule::Apply()
{
    switch (m_style) {
    case PointerStyle::Default:
        m_window->unsetCursor();
        break;
    case PointerStyle::Arrow:
        m_window->setCursor(Qt::ArrowCursor);
        break;
    case PointerStyle::Busy:
        m_window->setCursor(Qt::WaitCursor);
        break;
    case PointerStyle::Custom:
        if (m_custom)
            m_window->setCursor(*m_custom);
        else
            m_window->unsetCursor();
        break;
    }
}

bool PointerRule::LoadCustomImage(const QString& path)
{
    m_custom = LoadPointerImage(path);
    if (m_style == PointerStyle::Custom)
        Apply();
    return m_custom.has_value();
}

bool PointerRule::LoadHandPointer(const QString& programFolder)
{
    return LoadCustomImage(ProgramFile(programFolder, QLatin1String(kHandPointerFile)));
}

void PointerRule::ShowsHandOver(QWidget* control)
{
    Watch(control, PointerStyle::Custom);
}

void PointerRule::ShowsDefaultOver(QWidget* control)
{
    Watch(control, PointerStyle::Default);
}

void PointerRule::Watch(QWidget* control, PointerStyle style)
{
    if (!control)
        return;
    QList<QWidget*> parts{control};
    // Moves over a list land on its viewport, not on the list.
    if (auto* area = qobject_cast<QAbstractScrollArea*>(control))
        parts.append(area->viewport());
    for (QWidget* part : parts) {
        if (!m_watched.contains(part)) {
            part->installEventFilter(this);
            connect(part, &QObject::destroyed, this, [this](QObject* gone) { m_watched.remove(gone); });
        }
        part->setMouseTracking(true);
        m_watched.insert(part, style);
    }
}

bool PointerRule::eventFilter(QObject* watched, QEvent* event)
{
    QPointF position;
    if (event->type() == QEvent::MouseMove)
        position = static_cast<QMouseEvent*>(event)->position();
    else if (event->type() == QEvent::Enter)
        position = static_cast<QEnterEvent*>(event)->position();
    else
        return false;

    const auto found = m_watched.constFind(watched);
    if (found == m_watched.constEnd() || IsBusy())
        return false;
    // A move that reached this control from a child under the pointer belongs
    // to the child: a control without a rule leaves the pointer alone.
    if (static_cast<const QWidget*>(watched)->childAt(position.toPoint()))
        return false;
    if (m_style != *found)
        SetPointer(*found);
    return false;
}

}  // namespace qb

