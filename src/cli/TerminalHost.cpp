#include "cli/TerminalHost.h"

#include "base/TemporaryFiles.h"
#include "run/ImportRun.h"
#include "run/RunSummary.h"
#include "run/RunTexts.h"
#include "base/CountText.h"

#include <algorithm>
#include <cstdio>

#include <string>
#include <unistd.h>

namespace qb::cli {

std::string TerminalText(const std::string& text, bool terminal)
{
    std::string result;
    result.reserve(text.size());
    const auto escape = [&result](unsigned char byte) {
        static constexpr char kHex[] = "0123456789abcdef";
        result += "\\x";
        result += kHex[byte >> 4];
        result += kHex[byte & 15];
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (byte == '\r' && (next == '\n' || next == '\r')) {
            result += '\n';
            ++i;
        } else if (terminal && byte == 0xC2 && next >= 0x80 && next <= 0x9F) {  // a C1 control as UTF-8
            escape(byte);
            escape(next);
            ++i;
        } else if (terminal && ((byte < 0x20 && byte != '\n' && byte != '\t') || byte == 0x7F)) {
            escape(byte);
        } else {
            result += text[i];
        }
    }
    return result;
}

std::string ProblemText(const std::string& text, bool terminal)
{
    const std::string plain = TerminalText(text, terminal);
    std::string result = "quillbarrow-import:";
    bool first = true;
    for (std::size_t from = 0; from < plain.size();) {
        const std::size_t end = std::min(plain.find('\n', from), plain.size());
        if (end > from) {
            result += first ? " " : "\n  ";
            result.append(plain, from, end - from);
            first = false;
        }
        from = end + 1;
    }
    return result + "\n";
}

std::string FileLine(const FileResult& result)
{
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s", result.seconds);
    std::string text = result.path + ": ";
    if (!result.outcome.empty() && result.outcome != "done")
        text += result.outcome + ", ";
    text += CountText(result.rowsStored, "row", "rows") + " stored, " + GroupedNumber(result.linesRefused) +
            " refused, ";
    if (!result.sentBy.empty())
        text += "via " + result.sentBy + ", ";
    return text + seconds;
}

std::string FailureText(const ImportSummary& summary)
{
    std::string parts;
    const auto add = [&parts](const std::string& part) { parts += (parts.empty() ? "" : ", ") + part; };
    const std::string ofAll = " of " + CountText(summary.files, "file", "files");
    if (summary.filesSkipped > 0)
        add(GroupedNumber(summary.filesSkipped) + ofAll + " skipped");
    if (summary.filesCut > 0)
        add(GroupedNumber(summary.filesCut) + ofAll + " cut short");
    if (summary.linesRejected > 0)
        add(CountText(summary.linesRejected, "line", "lines") + " refused");
    if (parts.empty() && summary.errorReports > 0)
        add(CountText(summary.errorReports, "error", "errors"));
    if (!summary.problems.empty())
        add(CountText(static_cast<long>(summary.problems.size()), "output file", "output files") + " not written");
    std::string text = "failed: " + (parts.empty() ? std::string("see the messages above") : parts);
    return summary.logPath.empty() ? text : text + "; log: " + summary.logPath;
}

TerminalHost::TerminalHost(std::FILE* out, std::FILE* err, std::istream& in, bool showProgress, Verbosity verbosity)
    : m_out(out),
      m_err(err),
      m_outTerminal(::isatty(::fileno(out)) == 1),
      m_errTerminal(::isatty(::fileno(err)) == 1),
      m_in(in),
      m_showProgress(showProgress && verbosity != Verbosity::Quiet),
      m_verbosity(verbosity)
{
}

TerminalHost::~TerminalHost()
{
    ClearProgress();
}

void TerminalHost::ClearProgress()
{
    if (m_progressShown) {
        std::fputs("\r\033[K", m_err);
        std::fflush(m_err);
        m_progressShown = false;
    }
}

void TerminalHost::Say(const std::string& text)
{
    ClearProgress();
    std::fprintf(m_out, "%s\n", TerminalText(text, m_outTerminal).c_str());
    std::fflush(m_out);
}

void TerminalHost::Problem(const std::string& text)
{
    ClearProgress();
    std::fflush(m_out);
    std::fputs(ProblemText(text, m_errTerminal).c_str(), m_err);
    std::fflush(m_err);
}

void TerminalHost::Note(const std::string& text)
{
    if (m_verbosity != Verbosity::Quiet)
        Problem(text);
}

// A run shows a message only where it refuses something.
void TerminalHost::ShowMessage(const std::string& text)
{
    Problem(text);
}

void TerminalHost::ShowErrorReport(const std::string& /*procedure*/, int /*line*/, const std::string& description)
{
    Problem(description);
}

void TerminalHost::ShowLineReport(const std::string& /*procedure*/, int /*line*/, const std::string& description,
                                  const LineContext& context)
{
    const std::string where = context.line > 0 ? context.path + ":" + std::to_string(context.line) : context.path;
    Problem(where + ": " + description);
}

void TerminalHost::FileEnded(const FileResult& result)
{
    if (m_verbosity == Verbosity::Verbose)
        Say(FileLine(result));
}

bool TerminalHost::StopRequested()
{
    return StopSignal() != 0;
}

std::string TerminalHost::AskText(const std::string& prompt, const std::string& /*proposed*/)
{
    ClearProgress();
    std::fprintf(m_err, "%s ", prompt.c_str());
    std::fflush(m_err);
    std::string answer;
    if (!std::getline(m_in, answer))
        return {};
    if (!answer.empty() && answer.back() == '\r')
        answer.pop_back();
    return answer;
}

void TerminalHost::ReportProgress(const ImportProgress& progress)
{
    if (!m_showProgress)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (m_progressShown && now - m_lastProgress < std::chrono::milliseconds(100))
        return;
    m_lastProgress = now;
    std::fprintf(m_err, "\r\033[K%s", StatusText(progress).c_str());
    std::fflush(m_err);
    m_progressShown = true;
}

}  // namespace qb::cli
