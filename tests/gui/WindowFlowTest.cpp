#include "gui/ConnectionWindow.h"
#include "gui/FileListView.h"
#include "gui/SettingsStore.h"
#include "gui/WindowFlow.h"
#include "run/ImportSettings.h"
#include "gui/MainWindow.h"
#include "support/ScriptedDialogs.h"
#include "support/WindowTestSupport.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QListWidget>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

namespace qb {

class WindowFlowTest : public QObject {
    Q_OBJECT

    struct Fixture {
        QTemporaryDir config;
        QTemporaryDir program;
        SettingsStore settings{config.path()};
        test::ScriptedDialogs dialogs;
        int draw = 50;
        std::vector<QUrl> opened;
        int ends = 0;
        std::unique_ptr<WindowFlow> flow;

        void Start()
        {
            flow = std::make_unique<WindowFlow>(
                settings, dialogs,
                StartUpPlatform{[this] { return draw; }, [this](const QUrl& url) { opened.push_back(url); },
                                [this] { ++ends; }},
                program.path());
            flow->Start();
        }
        ConnectionWindow& Form1() { return flow->Connection(); }
        MainWindow& Form2() { return flow->Main(); }
        QStringList Tables()
        {
            auto* list = Form2().findChild<QListWidget*>("List1");
            QStringList names;
            for (int i = 0; i < list->count(); ++i)
                names << list->item(i)->text();
            return names;
        }
        void Click(QWidget& window, const char* name)
        {
            QTest::mouseClick(window.findChild<QWidget*>(name), Qt::LeftButton);
        }
    };

private slots:
    void init()
    {
        if (test::SqliteDsn().empty() || test::PostgresDsn().empty())
            QFAIL("run under scripts/with-test-datasources.sh");
        test::ResetDataSources();
    }

    void firstStartShowsTheConnectionWindow()
    {
        Fixture f;
        f.Start();
        QVERIFY(f.Form1().isVisible());
        QCOMPARE(f.Form1().DataSourceName(), QString());
        QCOMPARE(f.Form1().windowTitle(), QStringLiteral("Quillbarrow"));
        QVERIFY(!f.flow->MainExists());
        QVERIFY(f.opened.empty());
        QVERIFY(f.dialogs.messages.empty());
    }

    void aSavedSourceThatOpensGoesStraightToTheMainWindow()
    {
        test::Execute(test::SqliteDsn(), R"(CREATE TABLE "Orders"("a" TEXT))");
        Fixture f;
        f.settings.SaveDataSourceName(QString::fromStdString(test::SqliteDsn()));
        f.Start();
        QVERIFY(!f.Form1().isVisible());
        QVERIFY(f.Form2().isVisible());
        QCOMPARE(f.Form2().Loads(), 1);
        QCOMPARE(f.Tables(), QStringList{"Orders"});
        QVERIFY(f.dialogs.messages.empty());
    }

    void theDrawOfSevenOpensTheHomePage_data()
    {
        QTest::addColumn<int>("draw");
        QTest::addColumn<int>("opened");
        QTest::newRow("1") << 1 << 0;
        QTest::newRow("7") << 7 << 1;
        QTest::newRow("100") << 100 << 0;
    }

    void theDrawOfSevenOpensTheHomePage()
    {
        QFETCH(int, draw);
        QFETCH(int, opened);
        Fixture f;
        f.draw = draw;
        f.Start();
        QCOMPARE(int(f.opened.size()), opened);
        if (opened)
            QCOMPARE(f.opened[0], QUrl("https://www.tolvane.example/"));
    }

    void theSystemDrawStaysWithinItsRange()
    {
        const StartUpPlatform system = SystemPlatform();
        for (int i = 0; i < 50; ++i) {
            const int draw = system.draw();
            QVERIFY(draw >= 1 && draw <= 100);
        }
    }

    void nextAndSetupConnectionMoveBetweenTheWindows()
    {
        test::Execute(test::SqliteDsn(), R"(CREATE TABLE "Lite"("a" TEXT))");
        test::Execute(test::PostgresDsn(), R"(CREATE TABLE "Served"("a" TEXT))");
        Fixture f;
        f.Start();

        // An unopenable source: Next > does nothing visible.
        f.Form1().SetDataSourceName("NoSuchDataSource");
        f.Click(f.Form1(), "PushButton3");
        QVERIFY(f.Form1().isVisible());
        QVERIFY(!f.flow->MainExists());

        f.Form1().SetDataSourceName(QString::fromStdString(test::SqliteDsn()));
        f.Click(f.Form1(), "PushButton3");
        QVERIFY(f.Form2().isVisible());
        QVERIFY(!f.Form1().isVisible());
        QCOMPARE(f.Form2().Loads(), 2);
        QCOMPARE(f.Tables(), QStringList{"Lite"});
        QCOMPARE(f.Form2().Files().columnCount(), 1);

        // Change what a load resets and what it keeps.
        f.Form2().Files().Append("/kept.txt");
        f.Form2().findChild<QLineEdit*>("Text3")->setText(";");
        f.Form2().findChild<QLineEdit*>("Text2")->setText("Other");
        QTest::mouseClick(f.Form2().findChild<QRadioButton*>("Option2"), Qt::LeftButton, {}, QPoint(5, 5));

        f.Click(f.Form2(), "PushButton5");
        QVERIFY(f.Form1().isVisible());
        QVERIFY(!f.Form2().isVisible());
        // Where the main window was: the middle of the screen (give or take the frame), not its corner.
        const QPoint middle = QGuiApplication::primaryScreen()->availableGeometry().center();
        QVERIFY((f.Form1().geometry().center() - middle).manhattanLength() <= 8);
        QVERIFY((f.Form2().geometry().center() - middle).manhattanLength() <= 8);
        QCOMPARE(f.Form2().Loads(), 2);

        f.Form1().SetDataSourceName(QString::fromStdString(test::PostgresDsn()));
        f.Click(f.Form1(), "PushButton3");
        QCOMPARE(f.Form2().Loads(), 3);
        QCOMPARE(f.Tables(), QStringList{"Served"});
        QCOMPARE(f.Form2().findChild<QLineEdit*>("Text3")->text(), QStringLiteral(","));
        QCOMPARE(f.Form2().findChild<QLineEdit*>("Text2")->text(), QStringLiteral("NewTable[counter]"));
        QCOMPARE(f.Form2().Files().Paths(), QStringList{"/kept.txt"});
        QVERIFY(f.Form2().findChild<QRadioButton*>("Option2")->isChecked());
        QCOMPARE(f.Form2().CurrentSettings().DataSourceName, test::PostgresDsn());
        QVERIFY(f.dialogs.messages.empty());
    }

    void closingEitherWindowEndsTheProgram()
    {
        Fixture f;
        f.Start();
        f.Form1().close();
        QCOMPARE(f.ends, 1);
        f.Form2().show();
        f.Form2().close();
        QCOMPARE(f.ends, 2);
    }
};

}  // namespace qb

QTEST_MAIN(qb::WindowFlowTest)
#include "WindowFlowTest.moc"
