#pragma once

#include "gui/Dialogs.h"

#include <QString>
#include <QStringList>

class QWidget;

namespace qb {

// Message and input boxes as Qt's modal dialogs.
class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr);

protected:
    BoxAnswer ShowMessageBox(const MessageBoxRequest& request) override;
    ErrorReportAnswer ShowErrorReportBox(const ErrorReportRequest& request) override;
    std::string ShowInputBox(const InputBoxRequest& request) override;
    OpenFilesResult ShowOpenFiles(const OpenFilesRequest& request) override;
    std::string ShowFolderBrowser(const FolderRequest& request) override;
    std::string ShowSaveFile(const SaveFileRequest& request) override;

private:
    QWidget* m_parent;
};

// The program's texts break lines with CR LF or a lone CR; Qt's labels
// only break on LF.
QString DisplayText(const std::string& text);

// The names a file-open dialog may hand back at once, in bytes: far beyond
// what anyone picks by hand; more goes through Add All.
inline constexpr std::size_t kFileNameBufferSize = 256 * 1024;

// Picked paths in the dialog's result shape: the first one's folder, then
// each name, or each full path where its folder differs.
OpenFilesResult FileNameResult(const QStringList& picked, std::size_t limit = kFileNameBufferSize);

}  // namespace qb
