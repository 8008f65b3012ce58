#include "platform/ErrorReportBox.h"

#include "platform/Dialogs.h"

namespace qb {

void ErrorReportBox::ShowErrorReport(const std::string& procedure, int line, const std::string& description)
{
    m_dialogs.Message(ErrorReportText(procedure, line, description), BoxButtons::Ok, BoxIcon::Exclamation,
                      "Application Error");
}

}  // namespace qb
