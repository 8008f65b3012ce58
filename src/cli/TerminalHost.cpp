#include "cli/TerminalHost.h"

#include "base/TemporaryFiles.h"
#include "import/ImportRun.h"
#include "import/RunTexts.h"

#include <string>

namespace qb::cli {

std::string TerminalText(const std::string& text)
{
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && (text[i + 1] == '\n' || text[i + 1] == '\r')) {
            result += '\n';
            ++i;
        } else {
            result += text[i];
        }
    }
    return result;
}

TerminalHost::TerminalHost(std::FILE* out, std::FILE* err, std::istream& in, bool showProgress)
    : m_out(out), m_err(err), m_in(in), m_showProgress(showProgress)
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
    std::fprintf(m_out, "%s\n", TerminalText(text).c_str());
    std::fflush(m_out);
}

void TerminalHost::ShowErrorReport(const std::string& procedure, int line, const std::string& description)
{
    ClearProgress();
    std::fflush(m_out);
    std::fprintf(m_err, "%s\n", TerminalText(ErrorReportText(procedure, line, description)).c_str());
    std::fflush(m_err);
}

void TerminalHost::ShowLineReport(const std::string& procedure, int line, const std::string& description,
                                  const LineContext& context)
{
    ClearProgress();
    std::fflush(m_out);
    if (context.line > 0)
        std::fprintf(m_err, "%s:%ld: ", context.path.c_str(), context.line);
    else
        std::fprintf(m_err, "%s: ", context.path.c_str());
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
    std::fprintf(m_err, "%s\n", text.c_str());
    std::fflush(m_err);
}

std::string TerminalHost::AskText(const std::string& prompt)
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
