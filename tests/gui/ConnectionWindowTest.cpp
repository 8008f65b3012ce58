#include "gui/ConnectionWindow.h"
#include "gui/LookAndFeel.h"
#include "gui/PointerRule.h"
#include "gui/SettingsStore.h"
#include "support/ScriptedDialogs.h"

#include <QAbstractItemView>
#include <QFile>
#include <QCompleter>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <fstream>

namespace qb {

class ConnectionWindowTest : public QObject {
    Q_OBJECT

    struct Fixture {
        QTemporaryDir config;
        SettingsStore settings{config.path()};
        test::ScriptedDialogs dialogs;
        ConnectionWindow window{settings, dialogs};

        QLineEdit* Text1() { return window.findChild<QLineEdit*>("Text1"); }
        QPushButton* Button(const char* name) { return window.findChild<QPushButton*>(name); }
        void MoveTo(const char* name)
        {
            auto* widget = window.findChild<QWidget*>(name);
            QTest::mouseMove(&window, widget->mapTo(&window, widget->rect().center()));
        }
    };

    static QString WorkingDsn() { return QString::fromLocal8Bit(std::getenv("QB_TEST_SQLITE_DSN")); }

private slots:
    void initTestCase()
    {
        if (WorkingDsn().isEmpty())
            QFAIL("run under scripts/with-test-datasources.sh: no SQLite data source");
    }

    void typingSavesEveryIntermediateValue()
    {
        Fixture f;
        f.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        QString typed;
        for (const QChar c : QStringLiteral("Demo 1")) {
            QTest::keyClick(f.Text1(), c.toLatin1());
            typed += c;
            QCOMPARE(SettingsStore(f.config.path()).DataSourceName(), typed);
        }
        QTest::keyClick(f.Text1(), Qt::Key_Backspace);
        QCOMPARE(SettingsStore(f.config.path()).DataSourceName(), QStringLiteral("Demo "));
        f.window.SetDataSourceName("Assigned");
        QCOMPARE(SettingsStore(f.config.path()).DataSourceName(), QStringLiteral("Assigned"));
    }

    void focusSelectsAllOfTheName()
    {
        Fixture f;
        f.window.SetDataSourceName("QuillbarrowDemo");
        f.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        f.window.activateWindow();
        QTRY_COMPARE(f.Text1()->selectedText(), QStringLiteral("QuillbarrowDemo"));

        f.Button("PushButton7")->setFocus();
        f.Text1()->deselect();
        QTest::mouseClick(f.Text1(), Qt::LeftButton, {}, QPoint(4, 4));
        QTRY_COMPARE(f.Text1()->selectedText(), QStringLiteral("QuillbarrowDemo"));
        QCOMPARE(f.window.focusWidget(), f.Text1());
    }

    void controlsCarryTheirNamesAndTexts()
    {
        Fixture f;
        QCOMPARE(f.window.findChild<QGroupBox*>("Frame1")->title(), QStringLiteral("Sybase iAnywhere Database"));
        QCOMPARE(f.window.findChild<QLabel*>("Label1")->text(), QStringLiteral("Data Source Name:"));
        QCOMPARE(f.Button("PushButton7")->text(), QStringLiteral("Test Connection"));
        QCOMPARE(f.Button("PushButton6")->text(), QStringLiteral("Help"));
        QCOMPARE(f.Button("PushButton3")->text(), QStringLiteral("Next >"));
        QVERIFY(f.Button("PushButton3")->font().bold());
    }

    void testConnectionHoldsTheBusyPointerWhileItTells_data()
    {
        QTest::addColumn<QString>("dsn");
        QTest::addColumn<QString>("message");
        QTest::newRow("working") << WorkingDsn() << "Connection successful.";
        QTest::newRow("missing") << "NoSuchDataSource" << "Could not connect.";
        QTest::newRow("empty") << "" << "Could not connect.";
    }

    void testConnectionHoldsTheBusyPointerWhileItTells()
    {
        QFETCH(QString, dsn);
        QFETCH(QString, message);
        Fixture f;
        f.window.SetDataSourceName(dsn);
        std::vector<PointerStyle> whileOpen;
        f.dialogs.whileOpen = [&] { whileOpen.push_back(f.window.Pointer().Pointer()); };
        QTest::mouseClick(f.Button("PushButton7"), Qt::LeftButton);

        QCOMPARE(f.dialogs.messages.size(), size_t(1));
        QCOMPARE(QString::fromStdString(f.dialogs.messages[0].text), message);
        QCOMPARE(f.dialogs.messages[0].icon, BoxIcon::None);
        QCOMPARE(f.dialogs.messages[0].buttons, BoxButtons::Ok);
        QCOMPARE(f.dialogs.messages[0].title, ApplicationTitle());
        // A failure keeps the driver's own words behind "Show Details...".
        QCOMPARE(f.dialogs.reports.size(), size_t(dsn == WorkingDsn() ? 0 : 1));
        if (!f.dialogs.reports.empty())
            QVERIFY(!f.dialogs.reports[0].details.empty() && !f.dialogs.reports[0].offerQuiet);
        QCOMPARE(whileOpen, std::vector<PointerStyle>{PointerStyle::Busy});
        QCOMPARE(f.window.Pointer().Pointer(), PointerStyle::Default);
    }

    void helpShowsTenLinesEachWithTwoReturns()
    {
        Fixture f;
        QTest::mouseClick(f.Button("PushButton6"), Qt::LeftButton);
        QCOMPARE(f.dialogs.messages.size(), size_t(1));
        const QString text = QString::fromStdString(f.dialogs.messages[0].text);
        QVERIFY(text.endsWith("\r\r"));
        const QStringList lines = text.chopped(2).split("\r\r");
        // The ten lines, then where Linux keeps data sources, and an entry for each database.
        QCOMPARE(lines.size(), 15);
        for (const char* driver : {"Driver = SQLite3", "Driver = PostgreSQL Unicode", "Driver = MariaDB Unicode"})
            QVERIFY2(lines.filter(QString::fromLatin1(driver)).size() == 1, driver);
        QVERIFY(lines[10].startsWith("On Linux, "));
        for (const char* said : {"~/.odbc.ini", "/etc/odbc.ini", "odbcinst -q -s"})
            QVERIFY(lines[10].contains(said));
        QCOMPARE(lines[0], QStringLiteral("Here is how I connected to my Sybase database."));
        QCOMPARE(lines[1], QStringLiteral("1. Downloaded and installed drivers: SQL Anywhere 10 for Windows "
                                          "(SQLAnywhere_1000_Windows.exe)"));
        QVERIFY(lines[2].startsWith("2. "));
        QVERIFY(!lines[2].contains('@') && !lines[2].contains("www"));
        QCOMPARE(lines[4], QStringLiteral("4. Clicked 'Add...' "));
        QCOMPARE(lines[9], QStringLiteral("9. Clicked 'Test Connection' in my program."));
        QVERIFY(!text.contains('\n'));
    }

    void pointerRuleOverButtonsBackgroundAndLabel()
    {
        Fixture f;
        QTemporaryDir program;
        QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + "/HAND-M.CUR", program.filePath("HAND-M.CUR")));
        QVERIFY(f.window.Pointer().LoadHandPointer(program.path()));
        f.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));

        f.MoveTo("PushButton3");
        QCOMPARE(f.window.Pointer().Pointer(), PointerStyle::Custom);
        f.MoveTo("Label1");
        QCOMPARE(f.window.Pointer().Pointer(), PointerStyle::Custom);
        f.MoveTo("Text1");
        QCOMPARE(f.window.Pointer().Pointer(), PointerStyle::Default);
        f.MoveTo("PushButton6");
        QCOMPARE(f.window.Pointer().Pointer(), PointerStyle::Custom);
        QTest::mouseMove(&f.window, QPoint(2, f.window.height() - 2));
        QCOMPARE(f.window.Pointer().Pointer(), PointerStyle::Default);

        f.window.Pointer().SetPointer(PointerStyle::Busy);
        f.MoveTo("PushButton7");
        QCOMPARE(f.window.Pointer().Pointer(), PointerStyle::Busy);
    }

    void skinPresentAndAbsent()
    {
        QTemporaryDir program;
        Fixture plain;
        QCOMPARE(ApplySkin(&plain.window, program.path()), SkinOutcome::Absent);
        QCOMPARE(plain.window.palette().color(QPalette::Window), QColor(Qt::white));
        QVERIFY(plain.window.styleSheet().isEmpty());

        QVERIFY(QDir(program.path()).mkpath("x"));
        QFile skin(program.filePath("x/o.cjs"));
        QVERIFY(skin.open(QIODevice::WriteOnly));
        skin.write("QPushButton { color: rgb(1, 2, 3); }");
        skin.close();
        Fixture skinned;
        QCOMPARE(ApplySkin(&skinned.window, program.path()), SkinOutcome::Applied);
        QCOMPARE(skinned.window.palette().color(QPalette::Window), FaceColour());
        QVERIFY(skinned.window.styleSheet().contains("rgb(1, 2, 3)"));
        skinned.window.ensurePolished();
        skinned.Button("PushButton3")->ensurePolished();
        QCOMPARE(skinned.Button("PushButton3")->palette().color(QPalette::ButtonText), QColor(1, 2, 3));
    }

    void enterInTheNameBoxDoesWhatNextDoes_data()
    {
        QTest::addColumn<QString>("dsn");
        QTest::addColumn<int>("nexts");
        QTest::newRow("working") << WorkingDsn() << 1;
        QTest::newRow("missing") << "NoSuchDataSource" << 0;
    }

    void enterInTheNameBoxDoesWhatNextDoes()
    {
        QFETCH(QString, dsn);
        QFETCH(int, nexts);
        Fixture f;
        int called = 0;
        f.window.onNext = [&] { ++called; };
        f.window.SetDataSourceName(dsn);
        f.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        QTest::keyClick(f.Text1(), Qt::Key_Return);
        QCOMPARE(called, nexts);
        QTest::keyClick(f.Text1(), Qt::Key_Enter);
        QCOMPARE(called, 2 * nexts);
        QVERIFY(f.dialogs.messages.empty());
    }

    void nameBoxCompletesTheDefinedDataSources()
    {
        // An odbc.ini of its own, for this test only; the shared one comes back after it.
        QTemporaryDir odbc;
        std::ofstream(odbc.filePath("odbc.ini").toStdString())
            << "[Sales]\nDriver=SQLite3\nDatabase=/nowhere/sales.sqlite\n\n[SalesArchive]\nDriver=SQLite3\n\n"
               "[Stock]\nDriver=PostgreSQL Unicode\n";
        struct Environment {
            QByteArray ini = qgetenv("ODBCINI");
            ~Environment() { qputenv("ODBCINI", ini); }
        } restore;
        qputenv("ODBCINI", QFile::encodeName(odbc.filePath("odbc.ini")));

        Fixture f;
        f.window.show();
        f.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        QCompleter& completer = f.window.Completer();
        QCOMPARE(completer.model()->rowCount(), 3);
        f.Text1()->clear();
        QTest::keyClicks(f.Text1(), "sa");
        QCOMPARE(completer.completionCount(), 2);
        QStringList offered;
        for (int row = 0; row < completer.completionModel()->rowCount(); ++row)
            offered << completer.completionModel()->index(row, 0).data().toString();
        QCOMPARE(offered, (QStringList{"Sales", "SalesArchive"}));
        QTRY_VERIFY(completer.popup()->isVisible());
        QTest::keyClicks(f.Text1(), "lesa");
        QCOMPARE(completer.currentCompletion(), QStringLiteral("SalesArchive"));
    }

    void oneClickOnNextGoesOnWhileSuggestionsShow()
    {
        Fixture f;
        int nexts = 0;
        f.window.onNext = [&] { ++nexts; };
        f.window.show();
        f.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        f.Text1()->clear();
        QTest::keyClicks(f.Text1(), WorkingDsn());
        QWidget* popup = f.window.Completer().popup();
        QTRY_VERIFY(popup->isVisible());
        // The suggestions take the click, as they do every click while they show.
        QPushButton* next = f.Button("PushButton3");
        QTest::mouseClick(popup, Qt::LeftButton, {}, popup->mapFromGlobal(next->mapToGlobal(next->rect().center())));
        QTRY_COMPARE(nexts, 1);
        QVERIFY(!popup->isVisible());
    }

    void nextGoesOnOnlyWithAWorkingDataSource()
    {
        Fixture f;
        int nexts = 0;
        f.window.onNext = [&] { ++nexts; };
        f.window.SetDataSourceName("NoSuchDataSource");
        QTest::mouseClick(f.Button("PushButton3"), Qt::LeftButton);
        QCOMPARE(nexts, 0);
        f.window.SetDataSourceName(WorkingDsn());
        QVERIFY(f.window.CheckConnection());
        QTest::mouseClick(f.Button("PushButton3"), Qt::LeftButton);
        QCOMPARE(nexts, 1);
        QVERIFY(f.dialogs.messages.empty());
    }
};

}  // namespace qb

QTEST_MAIN(qb::ConnectionWindowTest)
#include "ConnectionWindowTest.moc"
