#include "mainwindow/WindowImportHost.h"

#include "frame/PointerRule.h"
#include "platform/Dialogs.h"

#include <QCoreApplication>

namespace qb {
WindowImportHost::WindowImportHost(Dialogs& dialogs, PointerRule& pointer,
                                   std::function<void(const std::string&)> tableCreated,
                                   std::chrono::milliseconds eventInterval)
    : m_dialogs(dialogs), m_pointer(pointer), m_reports(dialogs), m_tableCreated(std::move(tableCreated)),
      m_eventInterval(eventInterval.count())
{
    m_sinceEvents.start();
}

void WindowImportHost::ShowMessage(const std::string& text)
{
    m_dialogs.Message(text);
}

void WindowImportHost::ShowErrorReport(const std::string& procedure, int line, const std::string& description)
{
    m_reports.ShowErrorReport(procedure, line, description);
}

std::string WindowImportHost::AskText(const std::string& prompt)
{
    return m_dialogs.Input(prompt);
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
    if (m_tableCreated)
        m_tableCreated(name);
}

}  // namespace qb
