#pragma once

#include "frame/ErrorReport.h"

#include <string>

namespace qb {

// What an import needs of the window (or terminal) that runs it.
class ImportHost : public ErrorReporter {
public:
    virtual void ShowMessage(const std::string& text) = 0;
    // Returns the typed text, or empty text when cancelled.
    virtual std::string AskText(const std::string& prompt) = 0;
    // Called at every line and field: must be cheap.
    virtual void Yield() = 0;
    virtual void SetBusy(bool on) = 0;
    // After each statement sent; a front end may show progress from it.
    virtual void ReportProgress(int /*file*/, int /*files*/, long /*rowsSent*/) {}
    // A table was created and put at the front of the table list.
    virtual void TableCreated(const std::string& /*name*/) {}
};

}  // namespace qb
