#pragma once

#include "base/ErrorReport.h"
#include "run/ImportHost.h"
#include "run/RunSummary.h"
#include "load/SendSink.h"
#include "run/WorkingCopy.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>

namespace qb {

class RejectsFile;
class RunLog;

// What a run keeps across its files: the totals each file adds to.
struct RunTally {
    ImportHost& host;
    ImportSummary& summary;
    RunLog& log;
    RejectsFile& rejects;
    std::string procedure;  // the error reports' procedure path
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    std::uint64_t bytesTotal = 0;
    std::uint64_t bytesBefore = 0;  // of the files already done
    std::uint64_t workBefore = 0;   // read and sent by this run in the files already done
    // File names listed more than once, folders aside: the run's, read by each of its files; none when null.
    const std::unordered_set<std::string>* repeatedNames = nullptr;

    // True once the host has asked for the run to stop; it is asked again until then.
    bool StopRequested();
};

// Where one file's reports and progress go. Each report carries its own
// context: the file for a whole-file step, the record for a line's.
class FileReports : public ErrorReporter, public SendSink {
public:
    // position: the file's, from 1, among the run's.
    FileReports(RunTally& run, int position, std::string path);
    // Logs the file's rows and counts its bytes as done.
    ~FileReports() override;
    FileReports(const FileReports&) = delete;
    FileReports& operator=(const FileReports&) = delete;

    // The file, as its reports name it.
    const std::string& Path() const { return m_path; }
    // The table its rows go to, for the log.
    void Table(const std::string& table);
    // The file's working copy, once written: refused records' bytes come
    // from it, or from the file itself where it was converted.
    void Copied(const PreparedCopy& copy);
    // A word about the file in the log.
    void Note(const std::string& text);
    // The file goes on after the last line an earlier run stored: said in the log and the status line.
    void Continued(long afterLine, long earlierRows);
    // reached: how far into the working copy the run has come.
    void Progress(off_t reached);
    // How its lines were sent: the bulk path, "batches" or "line by line".
    void SentBy(const std::string& way) { m_result.sentBy = way; }
    // What became of it, for the run's record of its files (see FileResult).
    void Outcome(const std::string& outcome) { m_result.outcome = outcome; }

    void ShowErrorReport(const std::string& procedure, int line, const std::string& description) override;
    void Stored(long rows, off_t reached) override;
    void Inserted(long inserted, long found) override;
    void Refused(int step, const std::string& description, const RecordSpan& record) override;
    void Lost(int step, const std::string& description, const RecordSpan& record) override;
    bool KeepGoing() override;

private:
    void Show(int step, const std::string& description, const RecordSpan& record, bool rejected);

    RunTally& m_run;
    int m_position;
    std::string m_path;
    std::uint64_t m_size;
    int CopyFd() const { return m_prepared ? m_prepared->copy.Get() : -1; }

    const PreparedCopy* m_prepared = nullptr;
    std::uint64_t m_copySize = 0;
    long m_rows = 0;
    bool m_nameRepeats = false;
    long m_continuedAfter = 0;
    long m_earlierRows = 0;
    std::optional<off_t> m_sentFrom;  // where this run's sending began, in a continued file
    off_t m_reached = 0;
    std::uint64_t WorkDone() const;
    FileResult m_result;  // handed to the summary when the file ends
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

// A file's size, or 0 for what is not a regular file.
std::uint64_t FileSize(const std::string& path);
// The path's last part: the file's name without its folder.
std::string BaseName(const std::string& path);

}  // namespace qb
