#pragma once

#include "base/ErrorReport.h"

#include <cstdint>
#include <string>

namespace qb {

struct ImportSummary;
struct FileResult;

// How far a run has come, for a status line and a progress bar.
struct ImportProgress {
    int file = 0;  // 1-based position in the list
    int files = 0;
    std::string path;
    long rowsInFile = 0;  // rows stored from this file, with an earlier run's where it is continued
    long rows = 0;        // rows stored in the run
    std::uint64_t bytesDone = 0;   // of all the run's files, sent or passed over
    std::uint64_t bytesTotal = 0;
    double seconds = 0;  // since the run started
    // The run's own work, for the time left: each file's bytes count once read and once sent;
    // files passed over and lines an earlier run stored are neither done nor left.
    std::uint64_t workDone = 0;
    std::uint64_t workLeft = 0;
    bool nameRepeats = false;  // another file of the run has the same name: say the folder too
    long continuedAfter = 0;   // the last line an earlier run stored of this file; 0: from its start
};

// Where a report raised while a file is imported comes from.
struct LineContext {
    std::string path;   // the file
    long line = 0;      // 1-based, by the file's own line ends; 0 when it concerns the whole file
    std::string bytes;  // the line's first bytes, at most kContextBytes
    bool rejected = false;  // the line was refused and not stored
};
inline constexpr std::size_t kContextBytes = 1000;

// What an import needs of the window (or terminal) that runs it.
class ImportHost : public ErrorReporter {
public:
    virtual void ShowMessage(const std::string& text) = 0;
    // The run's last box: its word ("Done.") and what the run did, for a host that shows more than the word.
    virtual void ShowFinalMessage(const std::string& word, const std::string& /*outcome*/) { ShowMessage(word); }
    // A stopped run's last box: what was reached and what not.
    virtual void ShowStoppedMessage(const std::string& text) { ShowMessage(text); }
    // Returns the typed text, or empty text when cancelled; proposed is the answer offered
    // (a terminal, which cannot offer one, leaves it aside).
    virtual std::string AskText(const std::string& prompt, const std::string& proposed = {}) = 0;
    // Called at every line: must be cheap.
    virtual void Yield() = 0;
    virtual void SetBusy(bool on) = 0;
    // After each statement or batch stored; a front end may show progress from it.
    virtual void ReportProgress(const ImportProgress& /*progress*/) {}
    // A table was created and put at the front of the table list.
    virtual void TableCreated(const std::string& /*name*/) {}
    // Asked at every record sent and now and then while a file is read,
    // just after Yield: true ends the run after the statement or batch in
    // flight, with "Import stopped.".
    virtual bool StopRequested() { return false; }
    // An error report raised while a file is imported, with where it comes
    // from. Shown as a plain error report unless the host does more.
    virtual void ShowLineReport(const std::string& procedure, int line, const std::string& description,
                                const LineContext& /*context*/)
    {
        ShowErrorReport(procedure, line, description);
    }
    // The run is over, its summary complete; the final box comes next, so
    // progress shown now is what the box stands over.
    virtual void RunEnded(const ImportSummary& /*summary*/) {}
    // A file is over, however it ended: what became of it.
    virtual void FileEnded(const FileResult& /*result*/) {}
};

}  // namespace qb
