#include "gui/Dialogs.h"

#include <utility>

namespace qb {

namespace {

std::string& TitleSlot()
{
    // Until start-up shortens it, the product name is the best caption.
    static std::string title = "Quillbarrow";
    return title;
}

}  // namespace

const std::string& ApplicationTitle()
{
    return TitleSlot();
}

void UseApplicationTitle(std::string title)
{
    TitleSlot() = std::move(title);
}

BoxAnswer Dialogs::Message(const std::string& text, BoxButtons buttons, BoxIcon icon, const std::string& title)
{
    return ShowMessageBox({text, title.empty() ? ApplicationTitle() : title, buttons, icon, {}});
}

ErrorReportAnswer Dialogs::ImportErrorReport(const std::string& text, const std::string& details)
{
    return ShowErrorReportBox(
        {{text, "Application Error", BoxButtons::Ok, BoxIcon::Exclamation, {}}, details, true, true});
}

BoxAnswer Dialogs::Outcome(const std::string& word, const std::string& beneath, bool offerLog)
{
    return ShowMessageBox({word, ApplicationTitle(), BoxButtons::Ok, BoxIcon::None, beneath, offerLog});
}

BoxAnswer Dialogs::Stopped(const std::string& text, bool offerReplacing, bool offerRemembering)
{
    MessageBoxRequest request{text, ApplicationTitle(), BoxButtons::Ok, BoxIcon::None, {}, false};
    request.offerReplacing = offerReplacing;
    request.offerRemembering = offerRemembering;
    return ShowMessageBox(request);
}

void Dialogs::Details(const std::string& text, const std::string& details)
{
    ShowErrorReportBox({{text, ApplicationTitle(), BoxButtons::Ok, BoxIcon::None, {}}, details, false});
}

std::string Dialogs::Input(const std::string& prompt, const std::string& proposed, const std::string& title)
{
    return ShowInputBox({prompt, title.empty() ? ApplicationTitle() : title, proposed});
}

}  // namespace qb
