#pragma once

#include "run/ImportSettings.h"
#include "check/Preview.h"

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QTableWidget;

namespace qb {

// A file's first records as the import would read them, in a grid: the
// columns the CREATE would make, NULL fields greyed, records whose field
// count is not the column count marked. Not modal; the main window refills
// it whenever a choice that changes the reading changes.
class PreviewWindow : public QWidget {
    Q_OBJECT

public:
    explicit PreviewWindow(QWidget* parent = nullptr);

    void Show(const QString& file, const Preview& preview);
    QTableWidget& Grid() const { return *m_grid; }
    // Selects the record a file line falls in and scrolls to it; false when it is past the records shown.
    bool ShowLine(long line);

    // Appending with a header, each file column's heading names the table column it goes to, and its menu
    // chooses another or leaves it out: the edit's name is that table column.
    // A new table's columns, named by the file's first line, may be edited from the header's menu
    // (right button) or renamed by a double click; each edit gives the column, by the name the first
    // line gives it, and all that is edited of it now.
    std::function<void(const std::string& column, const ColumnEdit& edit)> onEdit;
    // "Reset columns": every edit of the columns shown is undone.
    std::function<void()> onReset;
    // Asks for a column's new name; empty when cancelled.
    std::function<std::string(const std::string& prompt, const std::string& proposed)> askName;
    std::vector<std::string> typeChoices{"TEXT"};
    // What the menu's choices do: the shown column takes the edit.
    void EditColumn(int column, const ColumnEdit& edit);
    void RenameColumn(int column);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowColumnMenu(const QPoint& at);
    void OpenColumnMenu(int column, const QPoint& global);
    void FitHeadings();
    ColumnEdit Edited(int column) const;
    bool Editable(int column) const;
    bool Appending() const { return !m_shown.tableColumns.empty(); }
    void OpenTargetMenu(QMenu& menu, int column, const ColumnEdit& edit);
    Preview m_shown;
    QLabel* m_file;
    QLabel* m_message;  // above the grid
    QTableWidget* m_grid;
    QLabel* m_note;
    QLabel* m_scope;  // to how many files the edits apply
    QLabel* m_hint;   // how a heading is edited
    QPushButton* m_reset;
};

}  // namespace qb
