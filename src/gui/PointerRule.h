#pragma once

#include "gui/LookAndFeel.h"

#include <QCursor>
#include <QHash>
#include <QObject>
#include <QString>

#include <optional>

class QWidget;

namespace qb {

// The pointer values windows use.
enum class PointerStyle {
    Default = 0,  // no pointer of our own
    Arrow = 1,
    Busy = 11,
    Custom = 99,  // the window's custom image; the arrow when it has none
};

// A window's pointer and its hover rule: over a push button the custom
// image, over the background and other watched controls the default.
// Neither change happens while the window shows the busy pointer. Controls
// that are not watched leave the pointer as it was.
class PointerRule : public QObject {
public:
    // Lives as long as the window.
    explicit PointerRule(QWidget* window);

    PointerStyle Pointer() const { return m_style; }
    void SetPointer(PointerStyle style);
    bool IsBusy() const { return m_style == PointerStyle::Busy; }

    // False, and no custom image, when the file is absent or unreadable.
    bool LoadCustomImage(const QString& path);
    // The hand of the program folder ("HAND-M.CUR").
    bool LoadHandPointer(const QString& programFolder = ProgramFolder());
    bool HasCustomImage() const { return m_custom.has_value(); }

    void ShowsHandOver(QWidget* control);
    void ShowsDefaultOver(QWidget* control);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Watch(QWidget* control, PointerStyle style);
    void Apply();

    QWidget* m_window;
    PointerStyle m_style = PointerStyle::Default;
    std::optional<QCursor> m_custom;
    QHash<const QObject*, PointerStyle> m_watched;
};

}  // namespace qb
