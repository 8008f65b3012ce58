// The window's side of the many-files bench: the main window as a user has it
// after start-up (create a new table, column names from the first line, the
// default table names), the files in its list, and Start Importing timed to
// the summary. Every box is answered as a user clicking through would.
// Usage: qb-bench-window DSN FILE...   (offscreen unless QT_QPA_PLATFORM says otherwise)
// Prints "seconds S", and with 6000 files or more "6th-thousand S": files 5001-6000.
#include "gui/Dialogs.h"
#include "gui/FileListView.h"
#include "gui/MainWindow.h"
#include "gui/SettingsStore.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QListWidget>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class AnsweringDialogs : public qb::Dialogs {
public:
    std::vector<std::string> messages;
    int reports = 0;

protected:
    qb::BoxAnswer ShowMessageBox(const qb::MessageBoxRequest& request) override
    {
        messages.push_back(request.text);
        switch (request.buttons) {
        case qb::BoxButtons::YesNo:
        case qb::BoxButtons::YesNoCancel:
            return qb::BoxAnswer::Yes;
        case qb::BoxButtons::RetryCancel:
            return qb::BoxAnswer::Cancel;  // retrying could go on for ever
        default:
            return qb::BoxAnswer::Ok;
        }
    }
    qb::ErrorReportAnswer ShowErrorReportBox(const qb::ErrorReportRequest& request) override
    {
        if (reports++ == 0)
            std::fprintf(stderr, "first error report: %s\n%s\n", request.box.text.c_str(), request.details.c_str());
        return {true, false};  // no more of them: a broken run should still end soon
    }
    std::string ShowInputBox(const qb::InputBoxRequest&) override { return {}; }
    qb::OpenFilesResult ShowOpenFiles(const qb::OpenFilesRequest&) override { return {}; }
    std::string ShowFolderBrowser(const qb::FolderRequest&) override { return {}; }
    std::string ShowSaveFile(const qb::SaveFileRequest&) override { return {}; }
};

double Seconds(Clock::duration span)
{
    return std::chrono::duration<double>(span).count();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s DSN FILE...\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    // A settings folder of its own: the user's choices neither reach the run nor are touched by it.
    QTemporaryDir config;
    qb::SettingsStore settings(config.path());
    AnsweringDialogs dialogs;
    const std::string dsn = argv[1];
    qb::MainWindow window(settings, dialogs, [&dsn] { return dsn; });
    window.Form_Load();
    window.show();
    for (int i = 2; i < argc; ++i)
        window.Files().AppendExact(argv[i]);
    QApplication::processEvents();
    const int files = argc - 2;

    // Tables are put at the top of the table list, a few at a time, once their files are done: the
    // bunches that pass 5000 and 6000 mark the 6th thousand, within the tenth of a second they wait.
    int created = 0;
    Clock::time_point at5000, at6000;
    auto* tables = window.findChild<QListWidget*>(QStringLiteral("List1"));
    QObject::connect(tables->model(), &QAbstractItemModel::rowsInserted, &window,
                     [&](const QModelIndex&, int first, int last) {
                         const int before = created;
                         created += last - first + 1;
                         if (before < 5000 && created >= 5000)
                             at5000 = Clock::now();
                         if (before < 6000 && created >= 6000)
                             at6000 = Clock::now();
                     });

    dialogs.messages.clear();
    const auto start = Clock::now();
    window.PushButton1_Click();
    const auto end = Clock::now();

    std::printf("seconds %.3f\n", Seconds(end - start));
    if (files >= 6000 && created >= 6000)
        std::printf("6th-thousand %.3f\n", Seconds(at6000 - at5000));
    const bool done = !dialogs.messages.empty() && dialogs.messages.back() == "Done.";
    if (done && dialogs.reports == 0 && created == files)
        return 0;
    std::fprintf(stderr, "%d of %d tables created, %d error reports, last box: %s\n", created, files, dialogs.reports,
                 dialogs.messages.empty() ? "(none)" : dialogs.messages.back().c_str());
    return 1;
}
