// The three ways of adding files: the open dialog, a folder tree, a drop.
#include "gui/MainWindow.h"

#include "files/AddFiles.h"
#include "files/PackedFiles.h"
#include "files/PathHelpers.h"
#include "gui/FileListView.h"
#include "gui/PointerRule.h"
#include "gui/SettingsStore.h"
#include "gui/Dialogs.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLocale>

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
    for (const std::string& entry : ListEntries(path)) {
        if (m_listed.insert(entry).second)
            m_files->AppendExact(entry);
        else
            ++m_alreadyListed;
    }
}

void MainWindow::BeginAdding()
{
    const std::vector<std::string> paths = m_files->ExactPaths();
    m_listed = {paths.begin(), paths.end()};
    m_alreadyListed = 0;
}

void MainWindow::EndAdding()
{
    static const QString kAlready = QStringLiteral(" already in the list.");
    m_listed.clear();
    if (m_alreadyListed > 0)
        SetStatus(m_alreadyListed == 1 ? QStringLiteral("1 file was") + kAlready
                                       : QStringLiteral("%1 files were").arg(QLocale(QLocale::English).toString(
                                                                              m_alreadyListed)) + kAlready);
    else if (m_status->text().endsWith(kAlready))
        SetStatus({});  // said of an earlier add
}

void MainWindow::PushButton3_Click()
{
    StepRunner steps(*m_reporter, ProcedurePath("Form2", "PushButton3_Click"));
    OpenFilesResult picked;
    steps.Run(112, [&] {
        picked = m_dialogs.OpenFiles({kOpenTitle,
                                      {"Text Files (*.txt)", "CSV Files (*.csv)", "All Files (*.*)"},
                                      m_settings.Get(QLatin1String(kAddFilterKey)).toStdString(),
                                      m_settings.Get(QLatin1String(kAddFolderKey)).toStdString()});
        if (!picked.filter.empty())
            m_settings.Save(QLatin1String(kAddFilterKey), QString::fromStdString(picked.filter));
    });
    if (picked.tooMany) {
        m_dialogs.Message(kTooManyFiles);
        return;
    }
    std::vector<std::string> paths;
    steps.Run(116, [&] { paths = PickedPaths(picked.names); });
    if (!paths.empty())
        m_settings.Save(QLatin1String(kAddFolderKey), QString::fromStdString(ParentFolder(paths.front())));
    BeginAdding();
    for (const auto& path : paths)
        steps.Run(140, [&] { AppendPath(path); });
    EndAdding();
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
    BeginAdding();
    steps.Run(116, [&] {
        AddFilesFromFolderTree(folder, extension, [this](const std::string& path) { AppendPath(path); }, WalkHost());
    });
    EndAdding();
    steps.Run(138, [&] { m_pointer->SetPointer(PointerStyle::Default); });
}

void MainWindow::AddDropped(const std::vector<std::string>& paths)
{
    if (m_run)
        return;  // a run reads the list: nothing is added to it meanwhile
    BeginAdding();
    AddDroppedPaths(paths, [this](const std::string& path) { AppendPath(path); }, WalkHost());
    EndAdding();
}

}  // namespace qb
