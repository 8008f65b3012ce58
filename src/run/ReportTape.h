#pragma once

#include "run/ImportHost.h"

#include <atomic>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

namespace qb {

// The host of one job of a run: what a file shows is written to a tape (a file in the run's folder),
// so that the run shows each file's reports together and in the list's order, whichever job finishes
// first; memory stays flat however many lines a file refuses. Its progress is kept for the run to add up,
// and a stop is asked of it through the run's flag.
class TapeHost : public ImportHost {
public:
    // paused: the run is showing reports (a window's box waits for its answer): the job waits too.
    TapeHost(const std::atomic<bool>& stop, const std::atomic<bool>& paused) : m_stop(stop), m_paused(paused) {}
    ~TapeHost() override;
    TapeHost(const TapeHost&) = delete;
    TapeHost& operator=(const TapeHost&) = delete;

    // A file's reports go to path from now on, made at the first one; a tape that cannot be made or written
    // says why in Error().
    void Begin(const std::string& path);
    void End();
    const std::string& Error() const { return m_error; }

    // The last progress reported.
    ImportProgress LastProgress();

    void ShowMessage(const std::string& text) override;
    void ShowErrorReport(const std::string& procedure, int line, const std::string& description) override;
    void ShowLineReport(const std::string& procedure, int line, const std::string& description,
                        const LineContext& context) override;
    void TableCreated(const std::string& name) override;
    // Jobs run only where nothing is asked.
    std::string AskText(const std::string&, const std::string& = {}) override { return {}; }
    void Yield() override;
    void SetBusy(bool) override {}
    void ReportProgress(const ImportProgress& progress) override;
    bool StopRequested() override { return m_stop.load(std::memory_order_relaxed); }

private:
    void Record(char kind, int line, std::initializer_list<const std::string*> texts, long number = 0, bool flag = false);

    const std::atomic<bool>& m_stop;
    const std::atomic<bool>& m_paused;
    std::FILE* m_tape = nullptr;
    std::string m_path;
    std::string m_error;
    std::mutex m_progressLock;
    ImportProgress m_progress;
};

// Shows a tape's reports on host, in the order they were written; tables made go to tableCreated.
// False where the tape cannot be read whole.
bool ReplayTape(const std::string& path, ImportHost& host, const std::function<void(const std::string&)>& tableCreated);

}  // namespace qb
