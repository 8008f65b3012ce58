#include "gui/PreviewWindow.h"

#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace qb {
namespace {

// A column of long values is not made wider than this; its heading always fits.
constexpr int kWidestColumn = 320;

}  // namespace

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
    // The heading cannot take the focus: its menu and renaming are reached from the grid's keys.
    m_grid->installEventFilter(this);
    m_scope = new QLabel(this);
    m_scope->setObjectName(QStringLiteral("PreviewScope"));
    m_scope->setWordWrap(true);
    m_hint = new QLabel(QStringLiteral("Double-click a heading to rename its column, or right-click it to choose its "
                                       "type or leave it out. From the keyboard: F2 renames the current column, "
                                       "the menu key opens its menu."),
                        this);
    m_hint->setObjectName(QStringLiteral("PreviewHint"));
    m_hint->setWordWrap(true);
    m_reset = new QPushButton(QStringLiteral("Reset columns"), this);
    m_reset->setObjectName(QStringLiteral("PreviewReset"));
    m_reset->setToolTip(QStringLiteral("Undo every edit of these columns"));
    connect(m_reset, &QPushButton::clicked, this, [this] {
        if (onReset)
            onReset();
    });
    auto* editing = new QHBoxLayout;
    editing->addWidget(m_hint, 1);
    editing->addWidget(m_reset, 0, Qt::AlignTop);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_file);
    layout->addWidget(m_message);
    layout->addWidget(m_grid, 1);
    layout->addWidget(m_note);
    layout->addWidget(m_scope);
    layout->addLayout(editing);
}

bool PreviewWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_grid && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const int column = std::max(m_grid->currentColumn(), 0);
        if (key->key() == Qt::Key_F2 && key->modifiers() == Qt::NoModifier) {
            RenameColumn(column);
            return true;
        }
        if (key->key() == Qt::Key_Menu || (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier)) {
            QHeaderView* header = m_grid->horizontalHeader();
            OpenColumnMenu(column, header->mapToGlobal(QPoint(header->sectionViewportPosition(column) + 4,
                                                              header->height())));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
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
    if (!Editable(column) || !onEdit)
        return;
    // Each edit shows the preview again: what is shown now is kept for the edits that follow.
    const std::vector<std::string> named = m_shown.named;
    // A file going by position goes by name once edited: the other columns keep where they went.
    if (Appending() && !m_shown.byName && m_shown.edits.empty()) {
        const std::vector<std::string> targets = m_shown.targets;
        for (std::size_t i = 0; i < named.size(); ++i) {
            if (i == static_cast<std::size_t>(column))
                continue;
            if (i < targets.size() && !targets[i].empty())
                onEdit(named[i], ColumnEdit{.name = targets[i]});
            else
                onEdit(named[i], ColumnEdit{.leftOut = true});
        }
    }
    onEdit(named[static_cast<std::size_t>(column)], edit);
}

void PreviewWindow::OpenTargetMenu(QMenu& menu, int column, const ColumnEdit& edit)
{
    const auto c = static_cast<std::size_t>(column);
    const std::string shown = c < m_shown.targets.size() ? m_shown.targets[c] : std::string();
    QMenu* targets = menu.addMenu(QStringLiteral("Goes to"));
    for (const std::string& target : m_shown.tableColumns) {
        QAction* choice = targets->addAction(QString::fromStdString(target));
        choice->setCheckable(true);
        choice->setChecked(target == shown);
        connect(choice, &QAction::triggered, this, [this, column, edit, target] {
            ColumnEdit chosen = edit;
            chosen.name = target;
            chosen.leftOut = false;
            EditColumn(column, chosen);
        });
    }
}

void PreviewWindow::RenameColumn(int column)
{
    if (Appending()) {
        QHeaderView* header = m_grid->horizontalHeader();
        OpenColumnMenu(column, header->mapToGlobal(QPoint(header->sectionViewportPosition(column) + 4, header->height())));
        return;
    }
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
    OpenColumnMenu(m_grid->horizontalHeader()->logicalIndexAt(at), m_grid->horizontalHeader()->mapToGlobal(at));
}

void PreviewWindow::OpenColumnMenu(int column, const QPoint& global)
{
    if (!Editable(column))
        return;
    const auto c = static_cast<std::size_t>(column);
    const ColumnEdit edit = Edited(column);
    const std::string shownType = c < m_shown.types.size() ? m_shown.types[c] : "TEXT";
    QMenu menu(this);
    if (Appending()) {
        OpenTargetMenu(menu, column, edit);
    } else {
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
    }
    // A key is made with a new table only.
    if (!Appending()) {
        QAction* key = menu.addAction(QStringLiteral("Key"));
        key->setCheckable(true);
        key->setChecked(edit.key);
        connect(key, &QAction::triggered, this, [this, column, edit](bool on) {
            ColumnEdit changed = edit;
            changed.key = on;
            EditColumn(column, changed);
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
    menu.exec(global);
}

// Every heading whole, its type included; long values only up to a width.
void PreviewWindow::FitHeadings()
{
    QHeaderView* header = m_grid->horizontalHeader();
    for (int c = 0; c < m_grid->columnCount(); ++c) {
        m_grid->resizeColumnToContents(c);
        if (header->sectionSize(c) > kWidestColumn)
            header->resizeSection(c, std::max(header->sectionSizeHint(c), kWidestColumn));
    }
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
    // Editing is offered only where a first line names the columns.
    const bool editable = preview.error.empty() && !preview.named.empty();
    m_hint->setVisible(editable);
    m_hint->setText(!preview.tableColumns.empty()
                        ? QStringLiteral("Each heading names the table column its values go to: right-click it (or "
                                         "press the menu key) to choose another or leave the column out.")
                        : QStringLiteral("Double-click a heading to rename its column, or right-click it to choose "
                                         "its type or leave it out. From the keyboard: F2 renames the current "
                                         "column, the menu key opens its menu."));
    m_reset->setVisible(editable);
    m_reset->setEnabled(!preview.edits.empty());
    m_scope->setVisible(editable && preview.sameColumns > 0);
    m_scope->setText(preview.sameColumns > 1
                         ? QStringLiteral("These edits apply to %1 files with the same columns.").arg(preview.sameColumns)
                         : QStringLiteral("These edits apply to this file only: no other file listed has its columns."));
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
        // Appending with a header: the file's column, then the table's it goes to.
        if (c < static_cast<int>(preview.targets.size())) {
            const auto i = static_cast<std::size_t>(c);
            const bool kept = i < preview.kept.size() && preview.kept[i];
            const QString target = !preview.targets[i].empty() ? QString::fromStdString(preview.targets[i])
                                   : kept                      ? QStringLiteral("(no column)")
                                                               : QStringLiteral("(left out)");
            header = QString::fromStdString(preview.named[i]) + QStringLiteral("\n\u2192 ") + target;
        }
        // A guessed type under its column's name.
        if (c < static_cast<int>(preview.types.size()))
            header += QLatin1Char('\n') + QString::fromStdString(preview.types[static_cast<std::size_t>(c)]);
        // Dates read in another form than ISO, which go in ISO form.
        if (c < static_cast<int>(preview.dateForms.size()) && !preview.dateForms[static_cast<std::size_t>(c)].empty())
            header += QStringLiteral(" (%1)").arg(QString::fromStdString(preview.dateForms[static_cast<std::size_t>(c)]));
        if (c < static_cast<int>(preview.kept.size()) && !preview.kept[static_cast<std::size_t>(c)] &&
            preview.targets.empty())
            header += QStringLiteral("\n(left out)");
        else if (Editable(c) && Edited(c).key)
            header += QStringLiteral("\n(key)");
        headers << header;
    }
    m_grid->setHorizontalHeaderLabels(headers);
    const auto leftOut = [&preview](int c) {
        return c < static_cast<int>(preview.kept.size()) && !preview.kept[static_cast<std::size_t>(c)];
    };
    for (int c = 0; c < columns; ++c) {
        if (leftOut(c))
            m_grid->horizontalHeaderItem(c)->setForeground(Qt::gray);
    }
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
            if (cell.null)
                item->setFont(nullFont);
            // Values not sent are greyed like NULLs.
            if (cell.null || leftOut(c))
                item->setForeground(Qt::gray);
            if (marked)
                item->setBackground(QColor(255, 225, 225));
            m_grid->setItem(r, c, item);
        }
    }
    FitHeadings();
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
