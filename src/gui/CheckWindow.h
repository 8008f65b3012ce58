#pragma once

#include "check/DryRun.h"
#include "run/ImportSettings.h"

#include <QObject>
#include <QWidget>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

class QLabel;
class QTableWidget;

namespace qb {

class Dialogs;

// Fields joined by separator, each holding it, a double quote or a line end quoted as spreadsheets read them.
QString QuotedFields(const QStringList& fields, QChar separator);
// A reason as its row tells it: the row names the file already.
QString ReasonWithoutPath(const QString& reason, const QString& path);

// The first characters of a record's bytes as text: bytes that are not UTF-8 as \xNN, tabs, line ends
// and other control characters as their symbols, and "…" when more follows.
QString VisibleStart(const std::string& bytes, int characters = 60);

// What Check found: a row per problem of the files that have any, the clean files counted in one line,
// and the dry run's summary. Not modal, so that the list can be mended with it open; each Check refills it.
class CheckWindow : public QWidget {
    Q_OBJECT

public:
    enum Column { FileColumn, LineColumn, ReasonColumn, TextColumn };

    explicit CheckWindow(Dialogs& dialogs, QWidget* parent = nullptr);

    void Show(const DryRunResult& result);
    QTableWidget& Grid() const { return *m_grid; }

    // A row's file, by its exact path, and the line its problem begins on (0: none), to be previewed.
    std::function<void(const std::string& path, long line)> onOpen;
    // The selected rows, or all of them when none is, tab-separated with their file and line.
    void CopyRows();
    // Every row, with a header, to a CSV file the save dialog names.
    void SaveCsv();

private:
    QStringList RowFields(int row) const;
    void OpenRow(int row);
    bool eventFilter(QObject* watched, QEvent* event) override;

    // outcome: the file's line of the dry run, which its cell tells.
    void SetRow(int row, const std::string& exactPath, const QString& file, const QString& outcome, long line,
                const QString& reason, const QString& text);

    Dialogs& m_dialogs;
    QLabel* m_cancelled;
    QLabel* m_summary;
    QLabel* m_clean;
    QTableWidget* m_grid;
};

// A dry run on a thread of its own. Its progress and its end come back as signals on the thread that
// made it; destroying it cancels the run and waits for it.
class BackgroundCheck : public QObject {
    Q_OBJECT

public:
    BackgroundCheck(ImportSettings settings, QObject* parent = nullptr);
    ~BackgroundCheck() override;

    void Start();
    void Cancel() { m_cancel = true; }
    // Once finished has come.
    const DryRunResult& Result() const { return m_result; }

signals:
    void fileStarted(int file, int files, const QString& path);
    void finished();

private:
    void Run();  // on the thread

    ImportSettings m_settings;
    std::atomic<bool> m_cancel{false};
    DryRunResult m_result;
    std::thread m_thread;
};

}  // namespace qb
