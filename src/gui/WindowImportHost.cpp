#include "gui/WindowImportHost.h"

#include "gui/PointerRule.h"
#include "gui/Dialogs.h"
#include "gui/ErrorReportBox.h"
#include "run/RunSummary.h"

#include <QCoreApplication>

namespace qb {
WindowImportHost::WindowImportHost(Dialogs& dialogs, PointerRule& pointer,
                                   std::function<void(const std::vector<std::string>&)> tablesCreated,
                                   std::chrono::milliseconds eventInterval)
    : m_dialogs(dialogs), m_pointer(pointer), m_tablesCreated(std::move(tablesCreated)),
      m_eventInterval(eventInterval.count())
{
    m_sinceEvents.start();
}

void WindowImportHost::ShowMessage(const std::string& text)
{
    FlushTables();
    if (!m_quitting)
        m_dialogs.Message(text);
}

void WindowImportHost::ShowFinalMessage(const std::string& word, const std::string& outcome)
{
    FlushTables();
    if (m_quitting)
        return;
    const bool offerLog = m_logKept && onShowLog;
    if (m_dialogs.Outcome(word, outcome, offerLog) == BoxAnswer::ShowLog && offerLog)
        onShowLog();
}

void WindowImportHost::ShowStoppedMessage(const std::string& text)
{
    FlushTables();
    if (m_quitting)
        return;
    const bool replacing = offerReplacing && !m_made.empty();
    const BoxAnswer answer = m_dialogs.Stopped(text, replacing, offerRemembering);
    if ((answer == BoxAnswer::RunReplacing && replacing) || (answer == BoxAnswer::RunRemembering && offerRemembering))
        m_next = answer;
}

void WindowImportHost::RunEnded(const ImportSummary& summary)
{
    m_logKept = !summary.logPath.empty();
    if (onEnded)
        onEnded(summary);
}

void WindowImportHost::ShowErrorReport(const std::string& procedure, int line, const std::string& description)
{
    Report(ErrorReportText(procedure, line, description), {});
}

void WindowImportHost::ShowLineReport(const std::string& procedure, int line, const std::string& description,
                                      const LineContext& context)
{
    Report(ErrorReportText(procedure, line, description), LineReportDetails(context));
}

void WindowImportHost::Report(const std::string& text, const std::string& details)
{
    FlushTables();
    // Once stopped, the reports of the batch in flight are counted, not shown.
    if (m_quiet || m_stop) {
        ++m_unshown;
        return;
    }
    const ErrorReportAnswer answer = m_dialogs.ImportErrorReport(text, details);
    m_quiet = answer.quiet;
    m_stop = m_stop || answer.stop;
}

std::string WindowImportHost::AskText(const std::string& prompt, const std::string& proposed)
{
    FlushTables();
    return m_dialogs.Input(prompt, proposed);
}

void WindowImportHost::Yield()
{
    if (m_sinceEvents.elapsed() < m_eventInterval)
        return;
    QCoreApplication::processEvents();
    m_sinceEvents.restart();
}

void WindowImportHost::SetBusy(bool on)
{
    m_pointer.SetPointer(on ? PointerStyle::Busy : PointerStyle::Default);
}

void WindowImportHost::TableCreated(const std::string& name)
{
    m_made.push_back(name);
    m_pendingTables.push_back(name);
    if (!m_sinceTables.isValid() || m_sinceTables.elapsed() >= kProgressInterval.count())
        FlushTables();
}

void WindowImportHost::FlushTables()
{
    if (m_pendingTables.empty())
        return;
    if (m_tablesCreated)
        m_tablesCreated(m_pendingTables);
    m_pendingTables.clear();
    m_sinceTables.restart();
}

void WindowImportHost::ReportProgress(const ImportProgress& progress)
{
    m_last = progress;
    const auto now = clock();
    if (m_lastShown && now - *m_lastShown < kProgressInterval)
        return;
    m_lastShown = now;
    if (onProgress)
        onProgress(progress);
}

bool WindowImportHost::StopRequested()
{
    return m_stop;
}

}  // namespace qb
