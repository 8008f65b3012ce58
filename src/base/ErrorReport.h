#pragma once

#include <string>

namespace qb {

inline constexpr const char* kSupportAddress = "support@tolvane.example";

// Where a failed step of a handler is shown.
class ErrorReporter {
public:
    virtual ~ErrorReporter() = default;
    virtual void ShowErrorReport(const std::string& procedure, int line, const std::string& description) = 0;
};

// "in Quillbarrow2021/08/31.<window or module>.<procedure> " (note the trailing space).
std::string ProcedurePath(const std::string& window, const std::string& procedure,
                          const std::string& product = "Quillbarrow");

// The report's whole text: the description, CR LF, the procedure path,
// "at line", the number, two CRs and the support request.
std::string ErrorReportText(const std::string& procedure, int line, const std::string& description);

// Runs the numbered steps of one handler. A step that throws is reported
// with its number (or the number a StepFailure carries), and the handler
// goes on with its next step.
class StepRunner {
public:
    StepRunner(ErrorReporter& reporter, std::string procedure);

    // True when the step succeeded.
    template <typename Step>
    bool Run(int line, Step&& step)
    {
        try {
            step();
            return true;
        } catch (...) {
            ReportCurrentException(line);
            return false;
        }
    }

    int Reports() const { return m_reports; }

private:
    void ReportCurrentException(int line);

    ErrorReporter& m_reporter;
    std::string m_procedure;
    int m_reports = 0;
};

}  // namespace qb
