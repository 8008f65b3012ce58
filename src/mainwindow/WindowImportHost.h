#pragma once

#include "import/ImportHost.h"
#include "platform/ErrorReportBox.h"

#include <QElapsedTimer>

#include <chrono>

#include <functional>

namespace qb {

class Dialogs;
class PointerRule;

// The main window as the import's host: boxes through the dialogs, the busy
// pointer on the window, and window events let through every few
// milliseconds, so that yielding at every field costs next to nothing.
class WindowImportHost : public ImportHost {
public:
    WindowImportHost(Dialogs& dialogs, PointerRule& pointer, std::function<void(const std::string&)> tableCreated,
                     std::chrono::milliseconds eventInterval = std::chrono::milliseconds(5));

    void ShowMessage(const std::string& text) override;
    void ShowErrorReport(const std::string& procedure, int line, const std::string& description) override;
    std::string AskText(const std::string& prompt) override;
    void Yield() override;
    void SetBusy(bool on) override;
    void TableCreated(const std::string& name) override;

private:
    Dialogs& m_dialogs;
    PointerRule& m_pointer;
    ErrorReportBox m_reports;
    std::function<void(const std::string&)> m_tableCreated;
    qint64 m_eventInterval;
    QElapsedTimer m_sinceEvents;
};

}  // namespace qb
