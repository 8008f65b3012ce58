#pragma once

#include <QString>
#include <QStringList>
#include <QTreeWidget>

#include <functional>

namespace qb {

// The ordered list of files to import: one column, one path per entry,
// duplicates allowed. Entries are reordered by dragging one over the others
// (their texts are exchanged step by step) and removed by double-click or
// Delete, unless the window is busy.
// The local file paths a drag carries, in its order; empty when it carries none.
QStringList DroppedFiles(const QMimeData* data);

class FileListView : public QTreeWidget {
    Q_OBJECT

public:
    explicit FileListView(QWidget* parent = nullptr);

    void Append(const QString& path);
    QStringList Paths() const;

    // Whether the owning window shows the busy pointer, and how it returns
    // to its default pointer when the mouse moves over the list.
    void SetWindowPointer(std::function<bool()> busy, std::function<void()> showDefault);
    // The drag pointer image; an empty path leaves the list's pointer plain.
    void SetDragPointerImage(const QString& path);
    // Where the pointer is on the screen, vertically; injectable for tests.
    void SetScreenY(std::function<int()> screenY);

    void RemoveSelected();

    // The drag steps, in list coordinates.
    void BeginDrag(const QPoint& position);
    void DragStep(const QPoint& position);
    void EndDrag();

    bool MouseDown() const { return m_mouseDown; }

    // Local files and folders dropped on the list, in drop order.
    std::function<void(const QStringList&)> onDrop;

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

    std::function<bool()> m_busy;
    std::function<void()> m_showDefault;
    std::function<int()> m_screenY;
    QString m_dragImage;
    bool m_mouseDown = false;
    int m_dragged = -1;  // index of the entry whose text is being dragged
};

}  // namespace qb
