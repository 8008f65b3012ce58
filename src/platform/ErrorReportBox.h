#pragma once

#include "frame/ErrorReport.h"

namespace qb {

class Dialogs;

// Shows an error report as its box: "Application Error", OK, exclamation.
class ErrorReportBox : public ErrorReporter {
public:
    explicit ErrorReportBox(Dialogs& dialogs) : m_dialogs(dialogs) {}
    void ShowErrorReport(const std::string& procedure, int line, const std::string& description) override;

private:
    Dialogs& m_dialogs;
};

}  // namespace qb
