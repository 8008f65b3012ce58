// quillbarrow: the windows over the import core.
#include "base/StandardStreams.h"
#include "base/TemporaryFiles.h"
#include "gui/LookAndFeel.h"
#include "gui/SettingsStore.h"
#include "gui/WindowFlow.h"
#include "gui/QtDialogs.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    if (!qb::KeepStandardStreamsOpen()) {
        std::perror("quillbarrow: /dev/null");
        return 1;
    }
    qb::InstallSignalCleanup();
    QApplication application(argc, argv);
    qb::SettingsStore settings;
    qb::QtDialogs dialogs;
    qb::WindowFlow flow(settings, dialogs, qb::SystemPlatform(), qb::ProgramFolder());
    flow.Start();
    return QApplication::exec();
}
