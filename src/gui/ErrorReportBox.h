#pragma once

#include "base/ErrorReport.h"

#include <string>

namespace qb {

class Dialogs;
struct LineContext;

// Shows an error report as its box: "Application Error", OK, exclamation.
class ErrorReportBox : public ErrorReporter {
public:
    explicit ErrorReportBox(Dialogs& dialogs) : m_dialogs(dialogs) {}
    void ShowErrorReport(const std::string& procedure, int line, const std::string& description) override;

private:
    Dialogs& m_dialogs;
};

// The details of a report raised while a file is imported, in UTF-8: the
// file, the line number and the line's first bytes, decoded for the eye
// (invalid UTF-8 as U+FFFD, control characters as their pictures).
std::string LineReportDetails(const LineContext& context);

}  // namespace qb
