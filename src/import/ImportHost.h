#pragma once

#include <string>

namespace qb {

// What an import needs of the window (or terminal) that runs it.
class ImportHost {
public:
    virtual ~ImportHost() = default;

    virtual void ShowMessage(const std::string& text) = 0;
    virtual void ShowErrorReport(const std::string& procedure, int line, const std::string& description) = 0;
    // Returns the typed text, or empty text when cancelled.
    virtual std::string AskText(const std::string& prompt) = 0;
    // Called at every line and field: must be cheap.
    virtual void Yield() = 0;
    virtual void SetBusy(bool on) = 0;
};

}  // namespace qb
