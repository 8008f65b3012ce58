// quillbarrow: the windows over the import core.
#include "base/TemporaryFiles.h"
#include "gui/LookAndFeel.h"
#include "gui/SettingsStore.h"
#include "gui/WindowFlow.h"
#include "gui/QtDialogs.h"

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
