#include "gui/CheckWindow.h"
#include "gui/FileListView.h"
#include "gui/MainWindow.h"
#include "gui/SettingsStore.h"
#include "check/DryRun.h"
#include "support/MainWindowFixture.h"
#include "support/ScriptedDialogs.h"
#include "support/WindowTestSupport.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace qb {

// Check from the main window: the dry run off the window's thread, then what it found.
class CheckWindowTest : public QObject {
    Q_OBJECT

    struct Fixture : test::MainWindowFixture {
        // Clicks Check and waits for its end.
        bool Check()
        {
            QTest::mouseClick(Find<QPushButton>("PushButtonCheck"), Qt::LeftButton);
            return QTest::qWaitFor([this] { return !window.Checking(); }, 20000);
        }
        std::vector<QStringList> Rows()
        {
            const QTableWidget& grid = Find<CheckWindow>("CheckWindow")->Grid();
            std::vector<QStringList> rows;
            for (int r = 0; r < grid.rowCount(); ++r) {
                QStringList row;
                // The reason's full text, as the dry run words it.
                for (int c = 0; c < grid.columnCount(); ++c)
                    row << (c == CheckWindow::ReasonColumn ? grid.item(r, c)->toolTip() : grid.item(r, c)->text());
                rows.push_back(row);
            }
            return rows;
        }
        QString Label(const char* name) { return Find<CheckWindow>("CheckWindow")->findChild<QLabel*>(name)->text(); }
        // The cell scrolled into sight first, as a person would.
        static QPoint Spot(QTableWidget& grid, int row, int column)
        {
            grid.scrollToItem(grid.item(row, column));
            return grid.visualItemRect(grid.item(row, column)).center();
        }
    };

    QTemporaryDir m_temp;

private slots:
    void init()
    {
        if (!test::FreshDataSources(m_temp))
            QFAIL("run under scripts/with-test-datasources.sh");
    }

    void listsEachProblemAsTheDryRunFindsIt()
    {
        test::Execute(test::SqliteDsn(), R"(CREATE TABLE "Taken"("a" TEXT, "b" TEXT))");
        Fixture f;
        f.window.Form_Load();
        // Nothing to check says so in a box, as the import would.
        QVERIFY(f.Check());
        QCOMPARE(f.dialogs.messages.back().text, std::string("No files added."));
        QVERIFY(!f.Find<CheckWindow>("CheckWindow"));

        f.Find<QLineEdit>("Text2")->setText(QStringLiteral("[file]"));
        f.Find<QComboBox>("ComboEncoding")->setCurrentText(QStringLiteral("As is"));
        f.window.Files().Append(f.File("clean1.csv", "a,b\r\n1,2\r\n"));
        f.window.Files().Append(f.File("bad.csv", "a,b\r\n1,2\r\n1,2,3\r\ncaf\xE9\tx\r\n"));
        f.window.Files().Append(f.File("Taken.csv", "a,b\r\n1,2\r\n"));
        f.window.Files().Append(f.files.filePath("gone.csv"));
        f.window.Files().Append(f.File("clean2.csv", "x\r\n1\r\n"));
        QVERIFY(f.Check());
        QVERIFY(f.Find<CheckWindow>("CheckWindow")->isVisible());
        QVERIFY(f.Find<QPushButton>("PushButtonCheck")->isEnabled());

        // The same rows as the dry run's own result on the same settings.
        const DryRunResult result = DryRun(f.window.CurrentSettings());
        std::vector<QStringList> expected;
        for (const DryRunFile& file : result.files) {
            const QString path = QString::fromStdString(file.path);
            if (file.skipped)
                expected.push_back({path, QString(), QString::fromStdString(file.outcome)});
            for (const DryRunProblem& problem : file.problems)
                expected.push_back({path, QString::number(problem.line), QString::fromStdString(problem.reason)});
        }
        std::vector<QStringList> rows = f.Rows();
        QStringList firstBytes;
        for (QStringList& row : rows)
            firstBytes << row.takeLast();
        QCOMPARE(rows, expected);
        QCOMPARE(rows.size(), size_t(4));
        QCOMPARE(rows[2][2], QStringLiteral("skipped: the table Taken exists already"));
        QVERIFY(rows[3][2].startsWith(QStringLiteral("skipped: cannot be read")));
        QCOMPARE(firstBytes, QStringList({QStringLiteral("1,2,3"), QStringLiteral("caf\\xE9\u2409x"), {}, {}}));
        QCOMPARE(f.Label("CheckSummary"), QStringLiteral("5 files: 3 would be created, 2 skipped; 6 records, 2 mismatched"));
        QCOMPARE(f.Label("CheckClean"), QStringLiteral("2 files are clean."));
        QVERIFY(!f.Find<QLabel>("CheckCancelled")->isVisible());
        QCOMPARE(f.Find<QListWidget>("List1")->count(), 1);  // nothing was made

        // Appending a file of the wrong width: one row for the file, not one per line. Past the first
        // problems of a file the rest are counted.
        f.window.Files().clear();
        f.window.Files().Append(f.File("three.csv", "1,2,3\r\n4,5,6\r\n"));
        f.window.Files().Append(f.files.filePath("clean1.csv"));
        f.window.Files().Append(f.File("many.csv", "1,2\r\n" + QByteArray("x\r\n").repeated(101)));
        f.Find<QRadioButton>("Option2")->setChecked(true);
        f.Find<QListWidget>("List1")->setCurrentRow(0);
        QVERIFY(f.Check());
        rows = f.Rows();
        QCOMPARE(rows.size(), size_t(102));
        QCOMPARE(rows.front(), QStringList({f.files.filePath("three.csv"), QString(),
                                            QStringLiteral("skipped: the file has 3 columns, the table Taken has 2"),
                                            QString()}));
        QCOMPARE(rows[100], QStringList({f.files.filePath("many.csv"), QStringLiteral("101"),
                                         QStringLiteral("1 value, the table has 2 columns"), QStringLiteral("x")}));
        QCOMPARE(rows.back(), QStringList({f.files.filePath("many.csv"), QString(),
                                           QStringLiteral("1 more mismatched record"), QString()}));
        QCOMPARE(f.Label("CheckClean"), QStringLiteral("1 file is clean."));
    }

    void rowsAreCopiedSavedAndOpenedAtTheirLine()
    {
        Fixture f;
        f.window.Form_Load();
        const QString deep = f.File("deep.csv", "a,b\r\n" + QByteArray("1,2\r\n").repeated(60) + "1,\"2\",3\r\n" +
                                                   QByteArray("1,2\r\n").repeated(20));
        const QString other = f.File("other.csv", "a,b\r\n=1+2\r\n");
        f.window.Files().Append(deep);
        f.window.Files().Append(other);
        QVERIFY(f.Check());
        auto* window = f.Find<CheckWindow>("CheckWindow");
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTableWidget& grid = window->Grid();
        QCOMPARE(grid.rowCount(), 2);

        // Whole rows, with the file and the line; a field holding a quote is quoted.
        grid.selectRow(1);
        QTest::keyClick(&grid, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), other + "\t2\t1 value, the table has 2 columns\t=1+2\n");
        grid.clearSelection();
        grid.selectRow(0);
        QTest::mouseClick(window->findChild<QPushButton*>("CheckCopy"), Qt::LeftButton);
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 deep + "\t62\t3 values, the table has 2 columns\t\"1,\"\"2\"\",3\"\n");

        const QString csv = f.files.filePath("found.csv");
        f.dialogs.savedAs = {csv.toStdString()};
        QTest::mouseClick(window->findChild<QPushButton*>("CheckSaveCsv"), Qt::LeftButton);
        QCOMPARE(f.dialogs.saveRequests.size(), size_t(1));
        QFile saved(csv);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QByteArray bytes = saved.readAll();
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));  // spreadsheets take it for UTF-8
        QCOMPARE(QString::fromUtf8(bytes.mid(3)),
                 QStringLiteral("File,Line,Reason,First bytes\r\n") + deep +
                     ",62,\"3 values, the table has 2 columns\",\"1,\"\"2\"\",3\"\r\n" + other +
                     ",2,\"1 value, the table has 2 columns\",'=1+2\r\n");  // saved, a formula stays text

        // A double-click opens the file's preview at the record, scrolled into sight; Enter does too.
        // The view's double-click wants the press it follows, which mouseDClick leaves out.
        const QPoint spot = Fixture::Spot(grid, 0, CheckWindow::LineColumn);
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, spot);
        QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, spot);
        auto* preview = f.Find<PreviewWindow>("PreviewWindow");
        QVERIFY(preview && preview->isVisible());
        QCOMPARE(preview->findChild<QLabel*>("PreviewFile")->text(), deep);
        QTableWidget& records = preview->Grid();
        QCOMPARE(records.currentRow(), 60);
        QVERIFY(records.viewport()->rect().intersects(records.visualRect(records.model()->index(60, 0))));
        grid.setCurrentCell(1, 0);
        QTest::keyClick(&grid, Qt::Key_Return);
        QCOMPARE(preview->findChild<QLabel*>("PreviewFile")->text(), other);
        QCOMPARE(records.currentRow(), 0);
        QVERIFY(f.dialogs.messages.empty());
    }

    void theReasonLeavesThePathToItsFile()
    {
        Fixture f;
        f.window.Form_Load();
        f.Find<QCheckBox>("CheckQuoted")->setChecked(true);
        const QString path = f.File("open.csv", "a,b\r\n1,\"2\r\n");
        f.window.Files().Append(path);
        QVERIFY(f.Check());
        const QTableWidgetItem* reason = f.Find<CheckWindow>("CheckWindow")->Grid().item(0, CheckWindow::ReasonColumn);
        QCOMPARE(reason->text(),
                 QStringLiteral("The record that begins on line 2 has a double quote that is never closed. It was not sent."));
        QCOMPARE(reason->toolTip(), "The record that begins on line 2 of " + path +
                                        " has a double quote that is never closed. It was not sent.");
    }

    void aCleanCheckSaysSoInABox()
    {
        Fixture f;
        f.window.Form_Load();
        const QString path = f.File("a.csv", "a,b\r\n1\r\n");
        f.window.Files().Append(path);
        QVERIFY(f.Check());
        QVERIFY(f.Find<CheckWindow>("CheckWindow")->isVisible());
        // Mended: the earlier problems go with their window.
        f.File("a.csv", "a,b\r\n1,2\r\n");
        QVERIFY(f.Check());
        QVERIFY(!f.Find<CheckWindow>("CheckWindow")->isVisible());
        QCOMPARE(f.dialogs.reports.size(), size_t(1));
        QCOMPARE(f.dialogs.reports[0].box.text,
                 std::string("No problems found.\r\n\r\n1 file: 1 would be created; 1 record, 0 mismatched"));
        QCOMPARE(QString::fromStdString(f.dialogs.reports[0].details),
                 path + ": NewTable1, 1 record, 0 mismatched: would be created");
    }

    void cancelStopsALongCheckPromptly()
    {
        Fixture f;
        f.window.Form_Load();
        const QString big = f.File("big.csv", "Name,Amount\r\nno amount\r\n" + QByteArray("row,1\r\n").repeated(2000000));
        constexpr int kEntries = 200;
        for (int i = 0; i < kEntries; ++i)
            f.window.Files().Append(big);
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(5);

        auto* check = f.Find<QPushButton>("PushButtonCheck");
        QTest::mouseClick(check, Qt::LeftButton);
        QVERIFY(f.window.Checking() && !check->isEnabled());
        f.window.Check_Click();  // a second one does not start
        QCOMPARE(f.window.findChildren<QProgressDialog*>().size(), qsizetype(1));
        auto* progress = f.Find<QProgressDialog>("CheckProgress");
        QVERIFY(progress->isVisible());
        // Past the first file, which is read whole.
        const QRegularExpression shown(QStringLiteral(R"(^Checking file ([2-9]|\d\d+) of 200: big\.csv$)"));
        QTRY_VERIFY_WITH_TIMEOUT(shown.match(progress->labelText()).hasMatch(), 20000);
        // The window went on handling its events meanwhile.
        QVERIFY(ticks > 0 && f.window.Checking());

        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!f.window.Checking(), 5000);
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(f.Find<CheckWindow>("CheckWindow")->isVisible());
        QCOMPARE(f.Label("CheckCancelled"), QStringLiteral("Check cancelled."));
        QVERIFY(f.Find<QLabel>("CheckCancelled")->isVisible());
        QVERIFY(check->isEnabled());
        // What was found so far: the bad line of each file read, the last perhaps in part.
        const auto rows = f.Rows();
        QVERIFY(rows.size() >= 2 && rows.size() < size_t(kEntries));
        for (const QStringList& row : rows)
            QCOMPARE(row, QStringList({big, QStringLiteral("2"), QStringLiteral("1 value, the table has 2 columns"),
                                       QStringLiteral("no amount")}));
    }
};

}  // namespace qb

QTEST_MAIN(qb::CheckWindowTest)
#include "CheckWindowTest.moc"
