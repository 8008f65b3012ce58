#pragma once

#include <string>

namespace qb {

enum class BoxButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum class BoxIcon { None, Exclamation, Information, Question, Critical };
enum class BoxAnswer { Ok, Cancel, Yes, No, Retry };

struct MessageBoxRequest {
    std::string text;
    std::string title;
    BoxButtons buttons = BoxButtons::Ok;
    BoxIcon icon = BoxIcon::None;
};

struct InputBoxRequest {
    std::string prompt;
    std::string title;
    std::string proposed;
};

// The caption of every box that names no title of its own.
const std::string& ApplicationTitle();
void UseApplicationTitle(std::string title);

// The modal message box and input box. Windows talk to this, never to the
// toolkit, so tests can see and answer every box.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // An empty title stands for the application title.
    BoxAnswer Message(const std::string& text, BoxButtons buttons = BoxButtons::Ok,
                      BoxIcon icon = BoxIcon::None, const std::string& title = {});
    // The typed text, or empty text when cancelled.
    std::string Input(const std::string& prompt, const std::string& proposed = {},
                      const std::string& title = {});

protected:
    // Requests arrive with their title already resolved.
    virtual BoxAnswer ShowMessageBox(const MessageBoxRequest& request) = 0;
    virtual std::string ShowInputBox(const InputBoxRequest& request) = 0;
};

}  // namespace qb
