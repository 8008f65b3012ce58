#pragma once

#include "gui/MainWindow.h"
#include "gui/SettingsStore.h"
#include "support/ScriptedDialogs.h"
#include "support/WindowTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace qb::test {

// The main window over settings of its own, scripted boxes and the SQLite test data source.
struct MainWindowFixture {
    QTemporaryDir config;
    QTemporaryDir files;
    SettingsStore settings{config.path()};
    ScriptedDialogs dialogs;
    std::string dsn = SqliteDsn();
    MainWindow window{settings, dialogs, [this] { return dsn; }};

    template <typename T = QWidget>
    T* Find(const char* name)
    {
        return window.findChild<T*>(name);
    }
    // A file among the fixture's files, its folders made.
    QString File(const QString& name, const QByteArray& bytes)
    {
        const QString path = files.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return path;
    }
};

}  // namespace qb::test
