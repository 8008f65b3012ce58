#include "base/ErrorReport.h"

#include "base/StepFailure.h"

#include <exception>
#include <utility>

namespace qb {

std::string ProcedurePath(const std::string& window, const std::string& procedure, const std::string& product)
{
    return "in " + product + "2021/08/31." + window + "." + procedure + " ";
}

std::string ErrorReportText(const std::string& procedure, int line, const std::string& description)
{
    return description + "\r\n" + procedure + "at line " + std::to_string(line) + "\r\r" +
           "Please email screenshot of this message to " + kSupportAddress;
}

StepRunner::StepRunner(ErrorReporter& reporter, std::string procedure)
    : m_reporter(reporter), m_procedure(std::move(procedure))
{
}

void StepRunner::ReportCurrentException(int line)
{
    std::string description = "Unknown error";
    try {
        throw;
    } catch (const StepFailure& failure) {
        line = failure.Line();
        description = failure.what();
    } catch (const std::exception& error) {
        description = error.what();
    } catch (...) {
    }
    ++m_reports;
    m_reporter.ShowErrorReport(m_procedure, line, description);
}

}  // namespace qb
