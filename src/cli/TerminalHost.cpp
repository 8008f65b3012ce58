#include "cli/TerminalHost.h"

#include "base/TemporaryFiles.h"
#include "run/ImportRun.h"
#include "run/RunTexts.h"

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

TerminalHost::TerminalHost(std::FILE* out, std::FILE* err, std::istream& in, bool showProgress)
    : m_out(out),
      m_err(err),
      m_outTerminal(::isatty(::fileno(out)) == 1),
      m_errTerminal(::isatty(::fileno(err)) == 1),
      m_in(in),
      m_showProgress(showProgress)
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

void TerminalHost::ShowMessage(const std::string& text)
{
    ClearProgress();
    std::fprintf(m_out, "%s\n", TerminalText(text, m_outTerminal).c_str());
    std::fflush(m_out);
}

void TerminalHost::RunEnded(const ImportSummary& summary)
{
    m_keyCounts = KeyCountsText(summary);
}

void TerminalHost::ShowFinalMessage(const std::string& word, const std::string& /*outcome*/)
{
    ShowMessage(m_keyCounts.empty() ? word : word + " " + m_keyCounts);
}

void TerminalHost::ShowErrorReport(const std::string& procedure, int line, const std::string& description)
{
    ClearProgress();
    std::fflush(m_out);
    std::fprintf(m_err, "%s\n", TerminalText(ErrorReportText(procedure, line, description), m_errTerminal).c_str());
    std::fflush(m_err);
}

void TerminalHost::ShowLineReport(const std::string& procedure, int line, const std::string& description,
                                  const LineContext& context)
{
    ClearProgress();
    std::fflush(m_out);
    const std::string where = context.line > 0 ? context.path + ":" + std::to_string(context.line) : context.path;
    std::fprintf(m_err, "%s: ", TerminalText(where, m_errTerminal).c_str());
    ShowErrorReport(procedure, line, description);
}

bool TerminalHost::StopRequested()
{
    return StopSignal() != 0;
}

void TerminalHost::ShowOnTerminal(const std::string& text)
{
    if (!m_showProgress)
        return;
    ClearProgress();
    std::fprintf(m_err, "%s\n", TerminalText(text, m_errTerminal).c_str());
    std::fflush(m_err);
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
