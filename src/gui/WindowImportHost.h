#pragma once

#include "gui/Dialogs.h"
#include "run/ImportHost.h"

#include <QElapsedTimer>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qb {

class PointerRule;

// The main window as the import's host: boxes through the dialogs, the busy
// pointer on the window, and window events let through every few
// milliseconds, so that yielding at every field costs next to nothing.
class WindowImportHost : public ImportHost {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    // Faster than this a status line only flickers and costs the run time.
    static constexpr std::chrono::milliseconds kProgressInterval{100};

    // tablesCreated: names of tables made, in the order made; given in bunches at most every
    // kProgressInterval and before any box, so that a list showing them is not laid out for each.
    WindowImportHost(Dialogs& dialogs, PointerRule& pointer,
                     std::function<void(const std::vector<std::string>&)> tablesCreated,
                     std::chrono::milliseconds eventInterval = std::chrono::milliseconds(5));

    void ShowMessage(const std::string& text) override;
    void ShowFinalMessage(const std::string& word, const std::string& outcome) override;
    void ShowStoppedMessage(const std::string& text) override;
    void ShowErrorReport(const std::string& procedure, int line, const std::string& description) override;
    void ShowLineReport(const std::string& procedure, int line, const std::string& description,
                        const LineContext& context) override;
    std::string AskText(const std::string& prompt, const std::string& proposed = {}) override;
    void Yield() override;
    void SetBusy(bool on) override;
    void TableCreated(const std::string& name) override;
    void ReportProgress(const ImportProgress& progress) override;
    bool StopRequested() override;

    void RequestStop() { m_stop = true; }
    // Stops, and shows no more boxes: the window is to close once the run has ended.
    void StopToQuit() { m_stop = m_quitting = true; }
    void RunEnded(const ImportSummary& summary) override;
    // Hands on the tables made and not yet told of.
    void FlushTables();
    // Reports not shown because the user asked for no more.
    int UnshownReports() const { return m_unshown; }
    // The latest progress, whether it was passed on or not.
    const std::optional<ImportProgress>& LastProgress() const { return m_last; }

    // Hears of progress, and of each file as the run reaches it (no rows
    // from it yet), at most once per kProgressInterval of the clock.
    std::function<void(const ImportProgress&)> onProgress;
    // Hears of the run's end before its final box.
    std::function<void(const ImportSummary&)> onEnded;
    // Opens the run's log: "Show Log" on the final box, offered when the run kept a log.
    std::function<void()> onShowLog;
    Clock clock = [] { return std::chrono::steady_clock::now(); };
    // What a stopped run's box may offer: running again, the tables it made replaced (when it made
    // any), or remembering from now on.
    bool offerReplacing = false;
    bool offerRemembering = false;
    // What the stopped run's box was answered: RunReplacing, RunRemembering, or Ok.
    BoxAnswer Next() const { return m_next; }
    // The tables the run made, in the order made.
    const std::vector<std::string>& Made() const { return m_made; }

private:
    void Report(const std::string& text, const std::string& details);

    Dialogs& m_dialogs;
    PointerRule& m_pointer;
    std::function<void(const std::vector<std::string>&)> m_tablesCreated;
    std::vector<std::string> m_pendingTables;
    std::vector<std::string> m_made;
    BoxAnswer m_next = BoxAnswer::Ok;
    QElapsedTimer m_sinceTables;
    qint64 m_eventInterval;
    QElapsedTimer m_sinceEvents;
    bool m_stop = false;
    bool m_quiet = false;
    bool m_quitting = false;
    int m_unshown = 0;
    bool m_logKept = false;
    std::optional<ImportProgress> m_last;
    std::optional<std::chrono::steady_clock::time_point> m_lastShown;
};

}  // namespace qb
