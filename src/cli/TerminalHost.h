#pragma once

#include "run/ImportHost.h"

#include <chrono>
#include <cstdio>
#include <istream>

namespace qb {
struct FileResult;
}

namespace qb::cli {

// How much a run says beside what went wrong.
enum class Verbosity {
    Quiet,    // errors only
    Normal,   // and warnings, "Done."
    Verbose,  // and a line per file, the summary
};

// Answers from standard input; every error report and refusal on standard
// error as "quillbarrow-import: PATH:LINE: text", "quillbarrow-import: PATH:
// text" or "quillbarrow-import: text", as compilers do, without the window's
// report lines; a progress line on standard error when it is a terminal,
// always cleared before anything else is written. The run's last words are
// left to the caller, who knows its exit status.
class TerminalHost : public ImportHost {
public:
    TerminalHost(std::FILE* out, std::FILE* err, std::istream& in, bool showProgress,
                 Verbosity verbosity = Verbosity::Normal);
    ~TerminalHost() override;

    void ShowMessage(const std::string& text) override;
    void ShowErrorReport(const std::string& procedure, int line, const std::string& description) override;
    void ShowLineReport(const std::string& procedure, int line, const std::string& description,
                        const LineContext& context) override;
    std::string AskText(const std::string& prompt, const std::string& proposed = {}) override;
    void Yield() override {}
    void SetBusy(bool) override {}
    void ReportProgress(const ImportProgress& progress) override;
    bool StopRequested() override;
    void ShowFinalMessage(const std::string&, const std::string&) override {}
    void ShowStoppedMessage(const std::string&) override {}
    // Verbose: the file's line on standard output.
    void FileEnded(const FileResult& result) override;

    // A line on standard output.
    void Say(const std::string& text);
    // An error on standard error, led by the program's name.
    void Problem(const std::string& text);
    // A warning or note, as an error is said; not when quiet.
    void Note(const std::string& text);
    Verbosity Level() const { return m_verbosity; }
    bool OutputIsTerminal() const { return m_outTerminal; }

private:
    void ClearProgress();

    std::FILE* m_out;
    std::FILE* m_err;
    bool m_outTerminal;
    bool m_errTerminal;
    std::istream& m_in;
    bool m_showProgress;
    Verbosity m_verbosity;
    bool m_progressShown = false;
    std::chrono::steady_clock::time_point m_lastProgress;
};

// CR LF and CR CR breaks as newlines. For a terminal, every other control
// byte but tab (C1 ones as UTF-8 too) as \xHH, so that a database's text
// cannot move the cursor or change colours; a file or pipe gets it raw.
std::string TerminalText(const std::string& text, bool terminal = false);

// "quillbarrow-import: TEXT" and a newline; TEXT's further lines follow indented by two spaces, blank
// ones left out, so that a database's report of several lines stays one message.
std::string ProblemText(const std::string& text, bool terminal = false);

// "PATH: 1,200 rows stored, 3 refused, via batches, 1.2 s"; the outcome after the path where the file
// was not simply done ("PATH: skipped, 0 rows stored, ...").
std::string FileLine(const FileResult& result);

// What a run that did not succeed came to, for its last line:
// "failed: 2 of 5 files skipped, 3 lines refused; log: PATH".
std::string FailureText(const ImportSummary& summary);

}  // namespace qb::cli
