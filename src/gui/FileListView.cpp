#include "gui/FileListView.h"

#include <algorithm>

#include <QCursor>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>
#include <QMouseEvent>
#include <QPixmap>

namespace qb {
namespace {

// Above this screen line a drag scrolls up, below the second one down.
constexpr int kScrollUpAbove = 305;
constexpr int kScrollDownBelow = 364;

// The path's bytes ride along with the shown text, which cannot hold them all.
constexpr int kExactPathRole = Qt::UserRole;

QByteArray ExactPath(const QTreeWidgetItem* item)
{
    const QVariant exact = item->data(0, kExactPathRole);
    return exact.isValid() ? exact.toByteArray() : QFile::encodeName(item->text(0));
}

void SetEntry(QTreeWidgetItem* item, const QString& text, const QByteArray& exact)
{
    item->setText(0, text);
    item->setData(0, kExactPathRole, exact);
}

}  // namespace

std::vector<std::string> DroppedFiles(const QMimeData* data)
{
    std::vector<std::string> paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            continue;
        // toLocalFile() would turn bytes that are not UTF-8 into U+FFFD; the
        // percent-encoded path still holds them.
        std::string path;
        if (!url.host().isEmpty())
            path = "//" + url.host().toStdString();
        const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        if (!path.empty() && !bytes.isEmpty() && !bytes.startsWith('/'))
            path += '/';
        paths.push_back(path + bytes.toStdString());
    }
    return paths;
}

FileListView::FileListView(QWidget* parent) : QTreeWidget(parent), m_screenY([] { return QCursor::pos().y(); })
{
    setObjectName(QStringLiteral("ListView1"));
    setColumnCount(1);
    setHeaderLabels({QStringLiteral("Text Files")});
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(false);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setMouseTracking(true);
    header()->setStretchLastSection(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setToolTip(QStringLiteral("Drag and drop files here. Double-click item to remove it. "
                              "Move | line to right and out of window to reveal full names."));
}

void FileListView::AppendExact(const std::string& path)
{
    const QByteArray exact = QByteArray::fromStdString(path);
    auto* item = new QTreeWidgetItem;
    SetEntry(item, QFile::decodeName(exact), exact);
    addTopLevelItem(item);
}

void FileListView::Append(const QString& path)
{
    AppendExact(QFile::encodeName(path).toStdString());
}

QStringList FileListView::Paths() const
{
    QStringList paths;
    for (int i = 0; i < topLevelItemCount(); ++i)
        paths << topLevelItem(i)->text(0);
    return paths;
}

std::vector<std::string> FileListView::ExactPaths() const
{
    std::vector<std::string> paths;
    for (int i = 0; i < topLevelItemCount(); ++i)
        paths.push_back(ExactPath(topLevelItem(i)).toStdString());
    return paths;
}

std::optional<std::string> FileListView::ExactPathAt(int index) const
{
    if (index < 0 || index >= topLevelItemCount())
        return std::nullopt;
    return ExactPath(topLevelItem(index)).toStdString();
}

std::optional<std::string> FileListView::ChosenPath() const
{
    const auto selected = selectedItems();
    return ExactPathAt(selected.isEmpty() ? 0 : indexOfTopLevelItem(selected.first()));
}

void FileListView::SetWindowPointer(std::function<bool()> busy, std::function<void()> showDefault)
{
    m_busy = std::move(busy);
    m_showDefault = std::move(showDefault);
}

void FileListView::SetDragPointerImage(const QString& path)
{
    m_dragImage = path;
}

void FileListView::SetScreenY(std::function<int()> screenY)
{
    m_screenY = std::move(screenY);
}

void FileListView::RemoveSelected()
{
    if (Busy() || Locked() || topLevelItemCount() == 0)
        return;
    std::vector<int> indexes;
    for (QTreeWidgetItem* item : selectedItems())
        indexes.push_back(indexOfTopLevelItem(item));
    // From the last, so that the places of the others stay as they were.
    std::sort(indexes.rbegin(), indexes.rend());
    for (const int index : indexes) {
        delete takeTopLevelItem(index);
        if (m_dragged == index)
            m_dragged = -1;
        else if (m_dragged > index)
            --m_dragged;
    }
}

void FileListView::BeginDrag(const QPoint& position)
{
    m_mouseDown = true;
    QTreeWidgetItem* item = itemAt(position);
    if (!item)
        return;
    setCurrentItem(item);  // locked or not, a click chooses the entry the preview shows
    if (Locked())
        return;
    const QPixmap image(m_dragImage);
    if (!image.isNull())
        viewport()->setCursor(QCursor(image));
    m_dragged = indexOfTopLevelItem(item);
}

void FileListView::DragStep(const QPoint& position)
{
    if (!Busy() && m_showDefault)
        m_showDefault();
    if (!m_mouseDown || Locked())
        return;
    QTreeWidgetItem* hovered = itemAt(position);
    QTreeWidgetItem* dragged = m_dragged >= 0 ? topLevelItem(m_dragged) : nullptr;
    if (!hovered || !dragged || ExactPath(hovered) == ExactPath(dragged))
        return;
    const QString draggedText = dragged->text(0);
    const QByteArray draggedPath = ExactPath(dragged);
    SetEntry(dragged, hovered->text(0), ExactPath(hovered));
    SetEntry(hovered, draggedText, draggedPath);
    setCurrentItem(hovered);
    m_dragged = indexOfTopLevelItem(hovered);

    const int y = m_screenY();
    if (y < kScrollUpAbove && m_dragged >= 1)
        scrollToItem(topLevelItem(m_dragged - 1));
    else if (y > kScrollDownBelow && m_dragged + 1 < topLevelItemCount())
        scrollToItem(topLevelItem(m_dragged + 1));
}

void FileListView::EndDrag()
{
    m_mouseDown = false;
    viewport()->setCursor(Qt::ArrowCursor);
}

void FileListView::mousePressEvent(QMouseEvent* event)
{
    // Shift and Ctrl add to the selection rather than start a drag.
    if (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier))
        QTreeWidget::mousePressEvent(event);
    else
        BeginDrag(event->position().toPoint());
}

void FileListView::mouseMoveEvent(QMouseEvent* event)
{
    DragStep(event->position().toPoint());
}

void FileListView::mouseReleaseEvent(QMouseEvent*)
{
    EndDrag();
}

void FileListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (QTreeWidgetItem* item = itemAt(event->position().toPoint()))
        setCurrentItem(item);
    RemoveSelected();
}

void FileListView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Delete)
        RemoveSelected();
    else
        QTreeWidget::keyPressEvent(event);
}

// Drops that carry no local files are refused before they land.
void FileListView::dragEnterEvent(QDragEnterEvent* event)
{
    if (Locked() || DroppedFiles(event->mimeData()).empty())
        event->ignore();
    else
        event->acceptProposedAction();
}

void FileListView::dragMoveEvent(QDragMoveEvent* event)
{
    if (Locked() || DroppedFiles(event->mimeData()).empty())
        event->ignore();
    else
        event->acceptProposedAction();
}

void FileListView::dropEvent(QDropEvent* event)
{
    const std::vector<std::string> paths = DroppedFiles(event->mimeData());
    if (paths.empty() || Locked()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    if (onDrop)
        onDrop(paths);
}

}  // namespace qb
