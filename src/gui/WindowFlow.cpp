#include "gui/WindowFlow.h"

#include "gui/ConnectionWindow.h"
#include "gui/LookAndFeel.h"
#include "gui/PointerRule.h"
#include "gui/SettingsStore.h"
#include "gui/MainWindow.h"
#include "gui/ScreenPlace.h"

#include <QDesktopServices>
#include <QTime>

#include <cstdio>
#include <cstdlib>
#include <random>

namespace qb {

StartUpPlatform SystemPlatform()
{
    return {
        [] {
            // Seeded from the clock's seconds since midnight; the seed sequence
            // keeps starts a few minutes apart from drawing alike.
            std::seed_seq seed{static_cast<unsigned>(QTime::currentTime().msecsSinceStartOfDay() / 1000)};
            std::mt19937 generator(seed);
            return static_cast<int>(std::uniform_real_distribution<double>(0.0, 1.0)(generator) * 100) + 1;
        },
        [](const QUrl& url) { QDesktopServices::openUrl(url); },
        [] {
            // Closing a window ends everything, an import under way included;
            // every statement already sent is committed on its own.
            std::fflush(nullptr);
            std::_Exit(0);
        },
    };
}

WindowFlow::WindowFlow(SettingsStore& settings, Dialogs& dialogs, StartUpPlatform platform, QString programFolder)
    : m_settings(settings), m_dialogs(dialogs), m_platform(std::move(platform)),
      m_programFolder(std::move(programFolder)), m_connection(std::make_unique<ConnectionWindow>(settings, dialogs))
{
    m_connection->onNext = [this] { Next(); };
    m_connection->onClose = [this] { m_platform.endProgram(); };
}

WindowFlow::~WindowFlow() = default;

void WindowFlow::Start()
{
    ConnectionWindow& form1 = *m_connection;
    StepRunner steps(form1.Reporter(), ProcedurePath("Form1", "Form_Load"));
    steps.Run(100, [&] { ApplySkin(&form1, m_programFolder); });
    steps.Run(102, [&] { form1.setWindowTitle(QString::fromLatin1(kProductName)); });
    steps.Run(104, [&] { form1.setWindowIcon(QIcon(ProgramFile(m_programFolder, QLatin1String(kAppIconFile)))); });
    steps.Run(106, [&] { SetApplicationTitle(); });
    steps.Run(108, [&] { form1.Pointer().LoadHandPointer(m_programFolder); });
    steps.Run(110, [&] {
        if (m_platform.draw() == 7)
            m_platform.openUrl(QUrl(QString::fromLatin1(kHomePage)));
    });
    steps.Run(112, [&] { form1.SetDataSourceName(m_settings.DataSourceName()); });
    bool opens = false;
    steps.Run(114, [&] { opens = form1.CheckConnection(); });
    if (opens) {
        ShowMain();
        form1.hide();
    } else {
        PlaceOnScreen(form1);
        form1.show();
    }
}

MainWindow& WindowFlow::Main()
{
    if (!m_main) {
        m_main = std::make_unique<MainWindow>(m_settings, m_dialogs,
                                              [this] { return m_connection->DataSourceName().toStdString(); });
        m_main->onSetupConnection = [this] { SetupConnection(); };
        m_main->onClose = [this] { m_platform.endProgram(); };
        m_main->Form_Load();
        PlaceOnScreen(*m_main);
    }
    return *m_main;
}

void WindowFlow::ShowMain()
{
    Main().show();
}

void WindowFlow::Next()
{
    ShowMain();
    m_connection->hide();
    m_main->Form_Load();
}

void WindowFlow::SetupConnection()
{
    PlaceOnScreen(*m_connection);
    m_connection->show();
    m_main->hide();
}

}  // namespace qb
