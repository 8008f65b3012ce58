// quillbarrow: the windows over the import core.
#include "filelist/TemporaryFiles.h"
#include "frame/LookAndFeel.h"
#include "frame/SettingsStore.h"
#include "frame/WindowFlow.h"
#include "platform/QtDialogs.h"

#include <QApplication>

int main(int argc, char** argv)
{
    qb::InstallSignalCleanup();
    QApplication application(argc, argv);
    qb::SettingsStore settings;
    qb::QtDialogs dialogs;
    qb::WindowFlow flow(settings, dialogs, qb::SystemPlatform(), qb::ProgramFolder());
    flow.Start();
    return QApplication::exec();
}
