#pragma once

#include "check/DryRun.h"
#include "run/ImportSettings.h"

#include <QObject>
#include <QWidget>

#include <atomic>
#include <string>
#include <thread>

class QLabel;
class QTableWidget;

namespace qb {

// The first characters of a record's bytes as text: bytes that are not UTF-8 as \xNN, tabs, line ends
// and other control characters as their symbols, and "…" when more follows.
QString VisibleStart(const std::string& bytes, int characters = 60);

// What Check found: a row per problem of the files that have any, the clean files counted in one line,
// and the dry run's summary. Not modal, so that the list can be mended with it open; each Check refills it.
class CheckWindow : public QWidget {
    Q_OBJECT

public:
    enum Column { FileColumn, LineColumn, ReasonColumn, TextColumn };

    explicit CheckWindow(QWidget* parent = nullptr);

    void Show(const DryRunResult& result);
    QTableWidget& Grid() const { return *m_grid; }

private:
    // outcome: the file's line of the dry run, which its cell tells.
    void SetRow(int row, const QString& file, const QString& outcome, long line, const QString& reason,
                const QString& text);

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
