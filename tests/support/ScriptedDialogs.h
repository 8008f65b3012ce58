#pragma once

#include "gui/Dialogs.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qb::test {

// Records every box a window opens and answers from a script. An exhausted
// script accepts what the box offers: its first button, the proposed text.
class ScriptedDialogs : public Dialogs {
public:
    std::vector<MessageBoxRequest> messages;
    std::vector<InputBoxRequest> inputs;
    std::deque<BoxAnswer> answers;  // ShowLog: "Show Log" pressed on a run's final box
    // Import error reports, each also among messages in its place.
    std::vector<ErrorReportRequest> reports;
    std::deque<bool> quiet;  // "Don't show more..." ticked; exhausted: not ticked
    std::deque<bool> stopImport;  // "Stop Import" pressed; exhausted: OK
    std::deque<std::optional<std::string>> typed;  // nullopt: Cancel
    std::vector<OpenFilesRequest> openRequests;
    std::deque<OpenFilesResult> picked;  // exhausted: cancelled
    std::vector<FolderRequest> folderRequests;
    std::deque<std::string> folders;  // exhausted: cancelled
    std::vector<SaveFileRequest> saveRequests;
    std::deque<std::string> savedAs;  // exhausted: cancelled
    // Runs while a box is "open", to look at the window behind it.
    std::function<void()> whileOpen;

protected:
    BoxAnswer ShowMessageBox(const MessageBoxRequest& request) override
    {
        messages.push_back(request);
        if (whileOpen)
            whileOpen();
        if (answers.empty())
            return FirstButton(request.buttons);
        const BoxAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }

    ErrorReportAnswer ShowErrorReportBox(const ErrorReportRequest& request) override
    {
        reports.push_back(request);
        messages.push_back(request.box);
        if (whileOpen)
            whileOpen();
        ErrorReportAnswer answer;
        if (!quiet.empty()) {
            answer.quiet = quiet.front();
            quiet.pop_front();
        }
        if (!stopImport.empty()) {
            answer.stop = stopImport.front();
            stopImport.pop_front();
        }
        return answer;
    }

    std::string ShowInputBox(const InputBoxRequest& request) override
    {
        inputs.push_back(request);
        if (whileOpen)
            whileOpen();
        if (typed.empty())
            return request.proposed;
        const std::optional<std::string> answer = typed.front();
        typed.pop_front();
        return answer.value_or(std::string());
    }

    OpenFilesResult ShowOpenFiles(const OpenFilesRequest& request) override
    {
        openRequests.push_back(request);
        if (picked.empty())
            return {};
        OpenFilesResult result = picked.front();
        picked.pop_front();
        return result;
    }

    std::string ShowFolderBrowser(const FolderRequest& request) override
    {
        folderRequests.push_back(request);
        if (whileOpen)
            whileOpen();
        if (folders.empty())
            return {};
        std::string folder = folders.front();
        folders.pop_front();
        return folder;
    }

    std::string ShowSaveFile(const SaveFileRequest& request) override
    {
        saveRequests.push_back(request);
        if (savedAs.empty())
            return {};
        std::string path = savedAs.front();
        savedAs.pop_front();
        return path;
    }

private:
    static BoxAnswer FirstButton(BoxButtons buttons)
    {
        switch (buttons) {
        case BoxButtons::YesNo:
        case BoxButtons::YesNoCancel:
            return BoxAnswer::Yes;
        case BoxButtons::RetryCancel:
            return BoxAnswer::Retry;
        default:
            return BoxAnswer::Ok;
        }
    }
};

}  // namespace qb::test
