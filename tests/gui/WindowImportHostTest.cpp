#include "gui/PointerRule.h"
#include "gui/WindowImportHost.h"
#include "support/ScriptedDialogs.h"

#include <QTest>
#include <QTimer>

namespace qb {

class WindowImportHostTest : public QObject {
    Q_OBJECT

private slots:
    void yieldLetsEventsThroughOnlyEveryInterval()
    {
        QWidget window;
        PointerRule pointer(&window);
        test::ScriptedDialogs dialogs;
        int ran = 0;
        auto post = [&] { QTimer::singleShot(0, &window, [&] { ++ran; }); };

        WindowImportHost eager(dialogs, pointer, {}, std::chrono::milliseconds(0));
        post();
        eager.Yield();
        QCOMPARE(ran, 1);

        WindowImportHost sparing(dialogs, pointer, {}, std::chrono::hours(1));
        post();
        for (int i = 0; i < 100000; ++i)
            sparing.Yield();
        QCOMPARE(ran, 1);
        QCoreApplication::processEvents();
        QCOMPARE(ran, 2);
    }

    void reportsAfterDontShowMoreAreOnlyCounted()
    {
        QWidget window;
        PointerRule pointer(&window);
        test::ScriptedDialogs dialogs;
        dialogs.quiet = {false, true};
        WindowImportHost host(dialogs, pointer, {});
        host.ShowErrorReport("P", 1, "shown");
        host.ShowLineReport("P", 2, "shown, then ticked", {"/a.csv", 3, "x", true});
        host.ShowErrorReport("P", 4, "counted");
        host.ShowLineReport("P", 5, "counted", {"/a.csv", 6, "y", true});
        QCOMPARE(dialogs.reports.size(), size_t(2));
        QCOMPARE(host.UnshownReports(), 2);
    }

    void progressAtMostEveryIntervalAndFilesFromTheList()
    {
        QWidget window;
        PointerRule pointer(&window);
        test::ScriptedDialogs dialogs;
        WindowImportHost host(dialogs, pointer, {});
        std::chrono::milliseconds now{0};
        host.clock = [&] { return std::chrono::steady_clock::time_point(now); };
        std::vector<long> shown;
        host.onProgress = [&](const ImportProgress& progress) { shown.push_back(progress.rows); };
        for (const auto& [at, rows] : {std::pair{0, 1L}, {99, 2L}, {100, 3L}, {150, 4L}, {260, 5L}}) {
            now = std::chrono::milliseconds(at);
            host.ReportProgress({1, 1, "/a.csv", rows, rows, 0, 0, 0});
        }
        QCOMPARE(shown, (std::vector<long>{1, 3, 5}));
        QCOMPARE(host.LastProgress()->rows, 5L);

        QVERIFY(!host.StopRequested());
        host.RequestStop();
        QVERIFY(host.StopRequested());
    }

    void tablesMadeComeInBunchesAndBeforeAnyBox()
    {
        QWidget window;
        PointerRule pointer(&window);
        test::ScriptedDialogs dialogs;
        std::vector<std::pair<std::vector<std::string>, std::size_t>> told;  // names, boxes shown by then
        WindowImportHost host(dialogs, pointer, [&](const std::vector<std::string>& names) {
            told.emplace_back(names, dialogs.messages.size());
        });
        for (const char* name : {"T1", "T2", "T3"})
            host.TableCreated(name);
        host.ShowMessage("Done.");
        host.FlushTables();
        using Told = std::vector<std::pair<std::vector<std::string>, std::size_t>>;
        QCOMPARE(told, (Told{{{"T1"}, 0}, {{"T2", "T3"}, 0}}));
    }

    void aColumnNamePromptProposesItsAnswer()
    {
        QWidget window;
        PointerRule pointer(&window);
        test::ScriptedDialogs dialogs;
        WindowImportHost host(dialogs, pointer, {});
        QCOMPARE(host.AskText("people.csv: Enter name for column #1:", "order_date"), std::string("order_date"));
        QCOMPARE(dialogs.inputs.at(0).proposed, std::string("order_date"));
    }
};

}  // namespace qb

QTEST_MAIN(qb::WindowImportHostTest)
#include "WindowImportHostTest.moc"
