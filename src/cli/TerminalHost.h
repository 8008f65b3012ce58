#pragma once

#include "run/ImportHost.h"

#include <chrono>
#include <cstdio>
#include <istream>

namespace qb::cli {

// Messages to standard output, error reports to standard error (each
// raised while a file is imported led by "PATH:LINE:" or "PATH:", as
// compilers do), answers from standard input; a progress line on standard
// error when it is a terminal, always cleared before anything else is written.
class TerminalHost : public ImportHost {
public:
    TerminalHost(std::FILE* out, std::FILE* err, std::istream& in, bool showProgress);
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
    // "Done." followed, where a key decided what a duplicate did, by the rows inserted, updated and skipped.
    void RunEnded(const ImportSummary& summary) override;
    void ShowFinalMessage(const std::string& word, const std::string& outcome) override;
    // A line on standard error, only when it is a terminal (the summary).
    void ShowOnTerminal(const std::string& text);

private:
    void ClearProgress();

    std::FILE* m_out;
    std::FILE* m_err;
    bool m_outTerminal;
    bool m_errTerminal;
    std::istream& m_in;
    bool m_showProgress;
    bool m_progressShown = false;
    std::chrono::steady_clock::time_point m_lastProgress;
    std::string m_keyCounts;  // of the run ended
};

// CR LF and CR CR breaks as newlines. For a terminal, every other control
// byte but tab (C1 ones as UTF-8 too) as \xHH, so that a database's text
// cannot move the cursor or change colours; a file or pipe gets it raw.
std::string TerminalText(const std::string& text, bool terminal = false);

}  // namespace qb::cli
