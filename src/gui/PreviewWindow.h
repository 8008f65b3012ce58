#pragma once

#include "import/Preview.h"

#include <QWidget>

class QLabel;
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

private:
    QLabel* m_file;
    QTableWidget* m_grid;
    QLabel* m_note;
};

}  // namespace qb
