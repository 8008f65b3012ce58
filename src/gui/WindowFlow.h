#pragma once

#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

namespace qb {

class ConnectionWindow;
class Dialogs;
class MainWindow;
class SettingsStore;

inline constexpr const char* kHomePage = "https://www.tolvane.example/";

// What start-up needs of the platform, replaceable in tests.
struct StartUpPlatform {
    std::function<int()> draw;                  // a whole number from 1 to 100
    std::function<void(const QUrl&)> openUrl;   // the user's browser
    std::function<void()> endProgram;           // at once, whatever is running
};

// The real thing: a draw seeded from the clock, the desktop's browser, and
// an immediate exit.
StartUpPlatform SystemPlatform();

// The two windows and the way between them. The connection window comes
// first; the main window is made the first time it is shown.
class WindowFlow {
public:
    WindowFlow(SettingsStore& settings, Dialogs& dialogs, StartUpPlatform platform, QString programFolder);
    ~WindowFlow();

    // The connection window's start-up.
    void Start();

    ConnectionWindow& Connection() const { return *m_connection; }
    MainWindow& Main();
    bool MainExists() const { return m_main != nullptr; }

private:
    void ShowMain();
    void Next();
    void SetupConnection();

    SettingsStore& m_settings;
    Dialogs& m_dialogs;
    StartUpPlatform m_platform;
    QString m_programFolder;
    std::unique_ptr<ConnectionWindow> m_connection;
    std::unique_ptr<MainWindow> m_main;
};

}  // namespace qb
