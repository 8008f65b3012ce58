#pragma once

#include "gui/MainWindow.h"
#include "gui/PreviewWindow.h"
#include "gui/SettingsStore.h"
#include "support/ScriptedDialogs.h"
#include "support/WindowTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace qb::test {

// Before each main window test: empty data sources, and a working copy of its own in temp, since
// another run on the machine may hold the shared one. False outside scripts/with-test-datasources.sh.
inline bool FreshDataSources(const QTemporaryDir& temp)
{
    if (SqliteDsn().empty())
        return false;
    ResetDataSources();
    qputenv("TEMP", temp.path().toLocal8Bit());
    return true;
}

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
    // The preview of a new file of bytes, opened by the window's own button.
    PreviewWindow* ShowPreview(const QString& name, const QByteArray& bytes)
    {
        window.Files().Append(File(name, bytes));
        QTest::mouseClick(Find<QPushButton>("PushButtonPreview"), Qt::LeftButton);
        return Find<PreviewWindow>("PreviewWindow");
    }
};

}  // namespace qb::test
