// The three ways of adding files: the open dialog, a folder tree, a drop.
#include "gui/MainWindow.h"

#include "files/AddFiles.h"
#include "files/PackedFiles.h"
#include "gui/FileListView.h"
#include "gui/PointerRule.h"
#include "gui/SettingsStore.h"
#include "gui/Dialogs.h"

#include <QCoreApplication>

namespace qb {
namespace {

const char* const kOpenTitle = "Add File(s) - Hold Ctrl to select multiple files";
const char* const kTooManyFiles = "You've selected too many files to add.\r\rPlease try adding via the \"Add All\" button.";
const char* const kExtensionPrompt =
    "Enter file extension to load:\r\r(* for all files, txt for all txt files, doc for all doc files, etc.)";

}  // namespace

ScanHost MainWindow::WalkHost() const
{
    return {[] { QCoreApplication::processEvents(); }, *m_reporter};
}

void MainWindow::AppendPath(const std::string& path)
{
    // An archive adds each of its files.
    for (const std::string& entry : ListEntries(path))
        m_files->AppendExact(entry);
}

void MainWindow::PushButton3_Click()
{
    StepRunner steps(*m_reporter, ProcedurePath("Form2", "PushButton3_Click"));
    OpenFilesResult picked;
    steps.Run(112, [&] {
        picked = m_dialogs.OpenFiles({kOpenTitle,
                                      {"Text Files (*.txt)", "CSV Files (*.csv)", "All Files (*.*)"},
                                      m_settings.Get(QLatin1String(kAddFilterKey)).toStdString()});
        if (!picked.filter.empty())
            m_settings.Save(QLatin1String(kAddFilterKey), QString::fromStdString(picked.filter));
    });
    if (picked.tooMany) {
        m_dialogs.Message(kTooManyFiles);
        return;
    }
    std::vector<std::string> paths;
    steps.Run(116, [&] { paths = PickedPaths(picked.names); });
    for (const auto& path : paths)
        steps.Run(140, [&] { AppendPath(path); });
}

void MainWindow::PushButton4_Click()
{
    StepRunner steps(*m_reporter, ProcedurePath("Form2", "PushButton4_Click"));
    std::string extension;
    steps.Run(100, [&] {
        extension = m_dialogs.Input(kExtensionPrompt, m_settings.Extension().toStdString());
        if (!extension.empty())
            m_settings.SaveExtension(QString::fromStdString(extension));
    });
    if (extension.empty())
        return;
    std::string folder;
    steps.Run(106, [&] { folder = m_dialogs.BrowseForFolder({"Please select folder:", m_settings.LastFolder().toStdString()}); });
    if (folder.empty())
        return;
    steps.Run(333, [&] { m_settings.SaveLastFolder(QString::fromStdString(folder)); });
    steps.Run(114, [&] { m_pointer->SetPointer(PointerStyle::Busy); });
    steps.Run(116, [&] {
        AddFilesFromFolderTree(folder, extension, [this](const std::string& path) { AppendPath(path); }, WalkHost());
    });
    steps.Run(138, [&] { m_pointer->SetPointer(PointerStyle::Default); });
}

void MainWindow::AddDropped(const std::vector<std::string>& paths)
{
    if (m_run)
        return;  // a run reads the list: nothing is added to it meanwhile
    AddDroppedPaths(paths, [this](const std::string& path) { AppendPath(path); }, WalkHost());
}

}  // namespace qb
