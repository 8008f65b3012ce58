#pragma once

#include <QString>
#include <QStringList>
#include <QTreeWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qb {

// The local file paths a drag carries, in its order, as the file system's
// exact bytes; empty when it carries none.
std::vector<std::string> DroppedFiles(const QMimeData* data);

// The ordered list of files to import: one column, one path per entry,
// duplicates allowed. Each entry keeps its path's exact bytes and shows them
// decoded. Entries are reordered by dragging one over the others (they are
// exchanged step by step) and removed by double-click or Delete (all those
// selected, with Shift and Ctrl), unless the window is busy or the list locked.
class FileListView : public QTreeWidget {
    Q_OBJECT

public:
    explicit FileListView(QWidget* parent = nullptr);

    // A path as the file system has it, in bytes that need not be UTF-8.
    void AppendExact(const std::string& path);
    // A path given as text.
    void Append(const QString& path);
    // The entries as shown.
    QStringList Paths() const;
    // The entries' exact paths, for the import.
    std::vector<std::string> ExactPaths() const;
    // One entry's exact path; nothing past the end.
    std::optional<std::string> ExactPathAt(int index) const;
    // The first selected entry's exact path, else the first entry's; nothing in an empty list.
    std::optional<std::string> ChosenPath() const;

    // Whether the owning window shows the busy pointer, and how it returns
    // to its default pointer when the mouse moves over the list.
    void SetWindowPointer(std::function<bool()> busy, std::function<void()> showDefault);
    // The drag pointer image; an empty path leaves the list's pointer plain.
    void SetDragPointerImage(const QString& path);
    // Where the pointer is on the screen, vertically; injectable for tests.
    void SetScreenY(std::function<int()> screenY);

    // Removes every selected entry, unless the window is busy or the list locked.
    void RemoveSelected();
    // True while the entries may not change, neither by removal, reordering nor drops: a run reads them.
    std::function<bool()> locked;

    // The drag steps, in list coordinates.
    void BeginDrag(const QPoint& position);
    void DragStep(const QPoint& position);
    void EndDrag();

    bool MouseDown() const { return m_mouseDown; }

    // Local files and folders dropped on the list, in drop order.
    std::function<void(const std::vector<std::string>&)> onDrop;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool Busy() const { return m_busy && m_busy(); }
    bool Locked() const { return locked && locked(); }

    std::function<bool()> m_busy;
    std::function<void()> m_showDefault;
    std::function<int()> m_screenY;
    QString m_dragImage;
    bool m_mouseDown = false;
    int m_dragged = -1;  // index of the entry being dragged
};

}  // namespace qb
