#pragma once

#include <string>
#include <vector>

namespace qb {

enum class BoxButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum class BoxIcon { None, Exclamation, Information, Question, Critical };
enum class BoxAnswer { Ok, Cancel, Yes, No, Retry, ShowLog, RunReplacing, RunRemembering };

struct MessageBoxRequest {
    std::string text;
    std::string title;
    BoxButtons buttons = BoxButtons::Ok;
    BoxIcon icon = BoxIcon::None;
    std::string beneath;  // smaller text under the main one; empty: none
    bool offerLog = false;  // a "Show Log" button beside OK, answered ShowLog
    bool offerReplacing = false;   // kRunReplacingCaption, answered RunReplacing
    bool offerRemembering = false;  // kRunRememberingCaption, answered RunRemembering
};

// An error report's box: "Application Error", OK, exclamation, the report's
// own text, and while an import runs the way out of a flood of them.
struct ErrorReportRequest {
    MessageBoxRequest box;
    std::string details;         // behind "Show Details..."; empty: none
    bool offerQuiet = false;     // the "Don't show more error reports during this import" check box
    bool offerStop = false;      // a "Stop Import" button beside OK
};

// What the person did with an error report's box.
struct ErrorReportAnswer {
    bool quiet = false;  // ticked "Don't show more error reports during this import"
    bool stop = false;   // pressed "Stop Import"
};

inline constexpr const char* kQuietCaption = "Don't show more error reports during this import";
inline constexpr const char* kStopImportCaption = "Stop Import";
inline constexpr const char* kShowLogCaption = "Show Log";
inline constexpr const char* kRunReplacingCaption = "Run Again, Replacing Tables";
inline constexpr const char* kRunRememberingCaption = "Run Again, Remembering";

struct InputBoxRequest {
    std::string prompt;
    std::string title;
    std::string proposed;
};

struct OpenFilesRequest {
    std::string title;
    std::vector<std::string> filters;  // "Text Files (*.txt)"
    std::string active;                // the one in force when the dialog opens; empty: the first
    std::string folder;                // where the dialog opens; empty or gone: the dialog's own choice
};

// One full path; or the folder and then each name, separated by NUL
// characters. Empty when cancelled. tooMany: the names did not fit.
struct OpenFilesResult {
    std::string names;
    bool tooMany = false;
    std::string filter;  // the filter in force when the files were picked
};

struct FolderRequest {
    std::string prompt;
    std::string start;  // preselected; empty leaves the browser's own choice
};

struct SaveFileRequest {
    std::string title;
    std::vector<std::string> filters;  // "CSV Files (*.csv)"; the first is in force
    std::string proposed;              // the name the dialog opens with
    std::string suffix;                // added to a name typed without one
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
    // An error report raised during an import, with the way out of a flood of them.
    ErrorReportAnswer ImportErrorReport(const std::string& text, const std::string& details);
    // A run's final box: its word, and under it what the run did; with "Show Log" when the run kept one.
    BoxAnswer Outcome(const std::string& word, const std::string& beneath, bool offerLog = false);
    // A stopped run's box, with what can be done next where anything can.
    BoxAnswer Stopped(const std::string& text, bool offerReplacing, bool offerRemembering);
    // A message whose longer part scrolls behind "Show Details...".
    void Details(const std::string& text, const std::string& details);

    // The typed text, or empty text when cancelled.
    std::string Input(const std::string& prompt, const std::string& proposed = {},
                      const std::string& title = {});

    // The file-open dialog, several files at a time.
    OpenFilesResult OpenFiles(const OpenFilesRequest& request) { return ShowOpenFiles(request); }
    // A folder without its trailing separator (the root keeps it), or empty.
    std::string BrowseForFolder(const FolderRequest& request) { return ShowFolderBrowser(request); }
    // The file-save dialog: a full path, its replacing confirmed, or empty when cancelled.
    std::string SaveFile(const SaveFileRequest& request) { return ShowSaveFile(request); }

protected:
    // Requests arrive with their title already resolved.
    virtual BoxAnswer ShowMessageBox(const MessageBoxRequest& request) = 0;
    virtual ErrorReportAnswer ShowErrorReportBox(const ErrorReportRequest& request) = 0;
    virtual std::string ShowInputBox(const InputBoxRequest& request) = 0;
    virtual OpenFilesResult ShowOpenFiles(const OpenFilesRequest& request) = 0;
    virtual std::string ShowFolderBrowser(const FolderRequest& request) = 0;
    virtual std::string ShowSaveFile(const SaveFileRequest& request) = 0;
};

}  // namespace qb
