#include "gui/PreviewWindow.h"

#include <QFont>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace qb {

PreviewWindow::PreviewWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("PreviewWindow"));
    setWindowTitle(QStringLiteral("Preview"));
    resize(720, 420);
    m_file = new QLabel(this);
    m_file->setObjectName(QStringLiteral("PreviewFile"));
    // Why the grid is empty, or what is wrong with what it shows: read before the grid.
    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("PreviewMessage"));
    m_message->setWordWrap(true);
    m_message->setStyleSheet(QStringLiteral("QLabel { color: #a00000; }"));
    m_message->hide();
    m_grid = new QTableWidget(this);
    m_grid->setObjectName(QStringLiteral("PreviewGrid"));
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("PreviewNote"));
    m_grid->horizontalHeader()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_grid->horizontalHeader(), &QHeaderView::customContextMenuRequested, this,
            &PreviewWindow::ShowColumnMenu);
    connect(m_grid->horizontalHeader(), &QHeaderView::sectionDoubleClicked, this, &PreviewWindow::RenameColumn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_file);
    layout->addWidget(m_message);
    layout->addWidget(m_grid, 1);
    layout->addWidget(m_note);
}

ColumnEdit PreviewWindow::Edited(int column) const
{
    const auto c = static_cast<std::size_t>(column);
    return c < m_shown.edits.size() ? m_shown.edits[c] : ColumnEdit{};
}

// Only the columns a first line names are a new table's to edit.
bool PreviewWindow::Editable(int column) const
{
    return !m_shown.named.empty() && column >= 0 && static_cast<std::size_t>(column) < m_shown.named.size();
}

void PreviewWindow::EditColumn(int column, const ColumnEdit& edit)
{
    if (Editable(column) && onEdit)
        onEdit(m_shown.named[static_cast<std::size_t>(column)], edit);
}

void PreviewWindow::RenameColumn(int column)
{
    if (!Editable(column) || !askName)
        return;
    const std::string name = askName("Name for column #" + std::to_string(column + 1) + ":",
                                     m_shown.headers[static_cast<std::size_t>(column)]);
    if (name.empty())
        return;
    ColumnEdit edit = Edited(column);
    // Back to the first line's own name: nothing is edited of it any more.
    edit.name = name == m_shown.named[static_cast<std::size_t>(column)] ? std::string() : name;
    EditColumn(column, edit);
}

void PreviewWindow::ShowColumnMenu(const QPoint& at)
{
    const int column = m_grid->horizontalHeader()->logicalIndexAt(at);
    if (!Editable(column))
        return;
    const auto c = static_cast<std::size_t>(column);
    const ColumnEdit edit = Edited(column);
    const std::string shownType = c < m_shown.types.size() ? m_shown.types[c] : "TEXT";
    QMenu menu(this);
    menu.addAction(QStringLiteral("Rename..."), this, [this, column] { RenameColumn(column); });
    QMenu* types = menu.addMenu(QStringLiteral("Type"));
    for (const std::string& type : typeChoices) {
        QAction* choice = types->addAction(QString::fromStdString(type));
        choice->setCheckable(true);
        choice->setChecked(type == shownType);
        connect(choice, &QAction::triggered, this, [this, column, edit, type] {
            ColumnEdit chosen = edit;
            chosen.type = type;
            EditColumn(column, chosen);
        });
    }
    QAction* leaveOut = menu.addAction(QStringLiteral("Leave Out"));
    leaveOut->setCheckable(true);
    leaveOut->setChecked(edit.leftOut);
    connect(leaveOut, &QAction::triggered, this, [this, column, edit](bool out) {
        ColumnEdit changed = edit;
        changed.leftOut = out;
        EditColumn(column, changed);
    });
    menu.exec(m_grid->horizontalHeader()->mapToGlobal(at));
}

bool PreviewWindow::ShowLine(long line)
{
    // The last record to begin on or before the line holds it, unless the file ends before.
    const auto after = std::upper_bound(m_shown.lines.begin(), m_shown.lines.end(), line);
    if (after == m_shown.lines.begin() || (after == m_shown.lines.end() && m_shown.lines.back() != line)) {
        m_grid->clearSelection();
        return false;
    }
    const int row = static_cast<int>(after - m_shown.lines.begin()) - 1;
    m_grid->setCurrentCell(row, 0);
    m_grid->selectRow(row);
    m_grid->scrollTo(m_grid->model()->index(row, 0), QAbstractItemView::PositionAtCenter);
    return true;
}

void PreviewWindow::Show(const QString& file, const Preview& preview)
{
    m_shown = preview;
    m_file->setText(file);
    m_grid->clear();
    QStringList messages;
    for (const std::string& message : preview.messages)
        messages << QString::fromStdString(message);
    if (messages.isEmpty() && !preview.error.empty())
        messages << QString::fromStdString(preview.error);
    m_message->setText(messages.join(QLatin1Char('\n')));
    m_message->setVisible(!messages.isEmpty());
    if (!preview.error.empty()) {
        m_grid->setRowCount(0);
        m_grid->setColumnCount(0);
        m_note->clear();
        return;
    }
    int columns = static_cast<int>(preview.headers.size());
    for (const auto& record : preview.records)
        columns = std::max(columns, static_cast<int>(record.size()));
    m_grid->setColumnCount(columns);
    m_grid->setRowCount(static_cast<int>(preview.records.size()));
    QStringList headers;
    for (int c = 0; c < columns; ++c) {
        QString header = c < static_cast<int>(preview.headers.size()) ? QString::fromStdString(preview.headers[c])
                                                                      : QStringLiteral("Column %1").arg(c + 1);
        // A guessed type under its column's name.
        if (c < static_cast<int>(preview.types.size()))
            header += QLatin1Char('\n') + QString::fromStdString(preview.types[static_cast<std::size_t>(c)]);
        if (c < static_cast<int>(preview.kept.size()) && !preview.kept[static_cast<std::size_t>(c)])
            header += QStringLiteral("\n(left out)");
        headers << header;
    }
    m_grid->setHorizontalHeaderLabels(headers);
    QFont nullFont = m_grid->font();
    nullFont.setItalic(true);
    for (int r = 0; r < static_cast<int>(preview.records.size()); ++r) {
        const auto& record = preview.records[static_cast<std::size_t>(r)];
        const bool marked = preview.marked[static_cast<std::size_t>(r)];
        const bool undecodable = r < static_cast<int>(preview.undecodable.size()) &&
                                 preview.undecodable[static_cast<std::size_t>(r)];
        // The replacement character stands where the bytes were; the mark says so from the margin.
        auto* mark = new QTableWidgetItem(undecodable ? QStringLiteral("\uFFFD %1").arg(r + 1)
                                          : marked    ? QStringLiteral("! %1").arg(r + 1)
                                                      : QString::number(r + 1));
        if (undecodable)
            mark->setToolTip(QString::fromStdString(preview.undecodableNote));
        else if (marked)
            mark->setToolTip(QStringLiteral("%1 fields").arg(record.size()));
        m_grid->setVerticalHeaderItem(r, mark);
        for (int c = 0; c < static_cast<int>(record.size()); ++c) {
            const PreviewCell& cell = record[static_cast<std::size_t>(c)];
            auto* item = new QTableWidgetItem(cell.null ? QStringLiteral("NULL") : QString::fromStdString(cell.text));
            if (cell.null) {
                item->setForeground(Qt::gray);
                item->setFont(nullFont);
            }
            if (marked)
                item->setBackground(QColor(255, 225, 225));
            m_grid->setItem(r, c, item);
        }
    }
    if (preview.columns)
        m_note->setText(preview.mismatched == 0
                            ? QStringLiteral("Every record shown has %1 fields.").arg(*preview.columns)
                            : QStringLiteral("%1 of %2 records shown do not have %3 fields.")
                                  .arg(preview.mismatched)
                                  .arg(preview.records.size())
                                  .arg(*preview.columns));
    else
        m_note->setText(QStringLiteral("%1 records shown.").arg(preview.records.size()));
    if (preview.typesFromPart)
        m_note->setText(m_note->text() +
                        QStringLiteral(" Types are guessed from the file's first 32 MB here; the import guesses them "
                                       "from all of it."));
}

}  // namespace qb
