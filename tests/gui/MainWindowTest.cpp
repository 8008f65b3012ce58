#include "gui/FileListView.h"
#include "gui/PointerRule.h"
#include "gui/SettingsStore.h"
#include "run/ImportSettings.h"
#include "gui/MainWindow.h"
#include "gui/PreviewWindow.h"
#include "gui/ScreenPlace.h"
#include "gui/Twips.h"
#include "support/MainWindowFixture.h"
#include "support/Packed.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "support/WindowTestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <chrono>
#include <fstream>

namespace qb {

class MainWindowTest : public QObject {
    Q_OBJECT

    struct Fixture : test::MainWindowFixture {
        QStringList Tables()
        {
            QStringList names;
            for (int i = 0; i < Find<QListWidget>("List1")->count(); ++i)
                names << Find<QListWidget>("List1")->item(i)->text();
            return names;
        }
        // A file whose name may hold bytes that are not UTF-8, which a QString cannot carry.
        std::string ExactFile(const QString& folder, const std::string& name, const std::string& bytes)
        {
            QDir().mkpath(files.filePath(folder));
            const std::string path = QFile::encodeName(files.filePath(folder)).toStdString() + "/" + name;
            std::ofstream(path, std::ios::binary) << bytes;
            return path;
        }
        void Click(const char* name) { QTest::mouseClick(Find<QPushButton>(name), Qt::LeftButton); }
        // A control's place in the window, whatever holds it.
        QRect Place(const QString& name)
        {
            QWidget* control = Find(qPrintable(name));
            return QRect(control->mapTo(&window, QPoint(0, 0)), control->size());
        }
        std::string LastMessage() const { return dialogs.messages.empty() ? "" : dialogs.messages.back().text; }

        // A header and lines each one value short, every one refused.
        QString ShortLines(const QString& name, int lines)
        {
            QByteArray bytes = "Name,Amount\r\n";
            for (int i = 0; i < lines; ++i)
                bytes += "short" + QByteArray::number(i) + "\r\n";
            return File(name, bytes);
        }
        // A header and rows of equal length, so that bytes go with rows.
        QString Rows(const QString& name, int rows)
        {
            QByteArray bytes = "Name,Amount\r\n";
            for (int i = 0; i < rows; ++i)
                bytes += "row" + QByteArray::number(i).rightJustified(6, '0') + ",1\r\n";
            return File(name, bytes);
        }
        // What the window shows each time progress reaches it during a run.
        struct Shown {
            QString status;
            int bar;
        };
        std::vector<Shown> shown;
        std::function<void()> onShown;
        void WatchProgress()
        {
            auto* bar = Find<QProgressBar>("ProgressImport");
            QObject::connect(&window, &MainWindow::statusChanged, &window, [=, this](const QString& text) {
                if (!window.Importing() || text.isEmpty())
                    return;
                shown.push_back({text, bar->value()});
                if (onShown)
                    onShown();
            });
        }
        // Clicks the summary's link to the log and returns what was opened.
        std::vector<QUrl> opened;
        void ClickStatusLink()
        {
            window.openUrl = [this](const QUrl& url) {
                opened.push_back(url);
                return true;
            };
            auto* status = Find<QLabel>("LabelStatus");
            QTest::mouseClick(status, Qt::LeftButton, {}, QPoint(4, status->fontMetrics().height() / 2));
        }
        long Count(const std::string& table)
        {
            return std::stol(test::Query(dsn, "SELECT COUNT(*) FROM \"" + table + "\"").at(0).at(0).value_or("-1"));
        }
    };

    QTemporaryDir m_temp;

    // The preview's column headings, joined by |.
    static QString Headings(const PreviewWindow& preview)
    {
        QStringList headings;
        for (int c = 0; c < preview.Grid().columnCount(); ++c)
            headings << preview.Grid().horizontalHeaderItem(c)->text();
        return headings.join(QLatin1Char('|'));
    }

    static const QRegularExpression& SummaryLink()
    {
        static const QRegularExpression link(R"(^<a href="log">(\d+ files?, [\d,]+ rows? imported, [\d,]+ lines? rejected, )"
                                             R"(\d+ files? skipped, in \d+\.\d s)</a>)");
        return link;
    }

private slots:
    void init()
    {
        if (!test::FreshDataSources(m_temp))
            QFAIL("run under scripts/with-test-datasources.sh");
    }

    void loadingTwiceKeepsOneColumnAndEachTableOnce()
    {
        test::Execute(test::SqliteDsn(), R"(CREATE TABLE "Customers"("a" TEXT))");
        test::Execute(test::SqliteDsn(), R"(CREATE VIEW "Recent" AS SELECT * FROM "Customers")");
        Fixture f;
        f.window.Form_Load();
        f.window.Form_Load();
        auto* list = f.Find<FileListView>("ListView1");
        QCOMPARE(list->columnCount(), 1);
        QCOMPARE(list->headerItem()->text(0), QStringLiteral("Text Files"));
        QCOMPARE(list->columnWidth(0), 5000 * f.window.logicalDpiX() / 1440);
        QCOMPARE(f.Tables(), QStringList{"Customers"});
        QCOMPARE(f.window.windowTitle(), QStringLiteral("Quillbarrow"));
        QCOMPARE(f.Find<QLineEdit>("Text3")->text(), QStringLiteral(","));
        QCOMPARE(f.Find<QLineEdit>("Text2")->text(), QStringLiteral("NewTable[counter]"));
        QVERIFY(f.dialogs.messages.empty());
    }

    void theTableListRefreshesByButtonAndF5()
    {
        Fixture f;
        f.window.Form_Load();
        f.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        test::Execute(f.dsn, R"(CREATE TABLE "Later"("a" TEXT))");
        QTest::keyClick(&f.window, Qt::Key_F5);
        QCOMPARE(f.Tables(), QStringList{"Later"});
        f.Find<QListWidget>("List1")->setCurrentRow(0);
        test::Execute(f.dsn, R"(CREATE TABLE "Again"("a" TEXT))");
        QTest::mouseClick(f.Find<QRadioButton>("Option2"), Qt::LeftButton, {}, QPoint(5, 5));
        f.Click("PushButtonRefreshTables");
        QStringList tables = f.Tables();
        tables.sort();
        QCOMPARE(tables, (QStringList{"Again", "Later"}));
        QCOMPARE(f.Find<QListWidget>("List1")->currentItem()->text(), QStringLiteral("Later"));
        QVERIFY(f.dialogs.messages.empty());
    }

    void anUnopenableSourceIsReportedAndTheLoadGoesOn()
    {
        Fixture f;
        f.dsn = "NoSuchDataSource";
        f.window.Form_Load();
        QCOMPARE(f.dialogs.messages.size(), size_t(1));
        const MessageBoxRequest& report = f.dialogs.messages[0];
        QCOMPARE(report.title, std::string("Application Error"));
        QCOMPARE(report.icon, BoxIcon::Exclamation);
        QVERIFY(QString::fromStdString(report.text).contains("\r\nin Quillbarrow2021/08/31.Form2.Form_Load at line 114\r\r"));
        QVERIFY(f.Tables().isEmpty());
        QCOMPARE(f.Find<FileListView>("ListView1")->columnCount(), 1);
    }

    void modeSwitchSetsTheEnabledStates()
    {
        Fixture f;
        auto enabled = [&](std::initializer_list<const char*> names) {
            QList<bool> states;
            for (const char* name : names)
                states << f.Find(name)->isEnabled();
            return states;
        };
        const auto createSide = {"Option3", "Option4", "Label5", "Text2"};
        const auto appendSide = {"Frame4", "Check2", "Label2", "List1"};
        QVERIFY(f.Find<QRadioButton>("Option1")->isChecked());
        QVERIFY(f.Find<QRadioButton>("Option3")->isChecked());
        QCOMPARE(enabled(createSide), QList<bool>(4, true));
        QCOMPARE(enabled(appendSide), QList<bool>(4, false));

        f.window.show();
        f.Find<QRadioButton>("Option4")->setChecked(true);
        QTest::mouseClick(f.Find<QRadioButton>("Option2"), Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(enabled(createSide), QList<bool>(4, false));
        QCOMPARE(enabled(appendSide), QList<bool>(4, true));
        QVERIFY(f.Find("Frame3")->isEnabled());

        QTest::mouseClick(f.Find<QRadioButton>("Option1"), Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(enabled(createSide), QList<bool>(4, true));
        QCOMPARE(enabled(appendSide), QList<bool>(4, false));
        QVERIFY(f.Find<QRadioButton>("Option4")->isChecked());
    }

    // Saved, then changed, then loaded: every control the profile covers is as it was saved.
    void aSavedProfileLoadsBackIntoTheControls()
    {
        QTemporaryDir config;
        const QByteArray before = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        test::Execute(test::SqliteDsn(), R"(CREATE TABLE "Sales"("a" TEXT))");
        Fixture f;
        f.window.Form_Load();
        f.Find<QLineEdit>("Text3")->setText(QStringLiteral("\t"));
        f.Find<QLineEdit>("Text2")->setText(QStringLiteral("Daily[counter]"));
        f.Find<QCheckBox>("CheckQuoted")->setChecked(true);
        f.Find<QComboBox>("ComboQuote")->setCurrentText(QStringLiteral("'"));
        f.Find<QComboBox>("ComboEncoding")->setCurrentText(QStringLiteral("Windows-1252"));
        f.Find<QComboBox>("ComboTypes")->setCurrentIndex(1);
        f.Find<QComboBox>("ComboDates")->setCurrentIndex(2);
        f.Find<QComboBox>("ComboIfExists")->setCurrentIndex(2);
        f.Find<QComboBox>("ComboNullMarkers")->setCurrentText(QStringLiteral("NA, -"));
        f.Find<QSpinBox>("SpinSkipLines")->setValue(2);
        f.Find<QCheckBox>("CheckTrim")->setChecked(true);
        f.Find<QRadioButton>("RadioNoHeader")->setChecked(true);
        f.Find<QSpinBox>("SpinJobs")->setValue(3);
        const ImportSettings saved = f.window.CurrentSettings();
        f.dialogs.typed = {"daily", "daily"};
        f.Click("PushButtonSaveProfile");
        f.Find<QLineEdit>("Text3")->setText(QStringLiteral("|"));
        f.Find<QCheckBox>("CheckQuoted")->setChecked(false);
        f.Find<QComboBox>("ComboTypes")->setCurrentIndex(0);
        f.Find<QComboBox>("ComboNullMarkers")->setCurrentText(QString());
        f.Find<QCheckBox>("CheckTrim")->setChecked(false);
        f.Find<QRadioButton>("Option4")->setChecked(true);
        f.Find<QCheckBox>("CheckDecimalComma")->setChecked(true);
        f.Find<QSpinBox>("SpinJobs")->setValue(0);
        f.Click("PushButtonLoadProfile");
        QVERIFY(f.dialogs.messages.empty());
        const ImportSettings loaded = f.window.CurrentSettings();
        QCOMPARE(loaded.Separator, saved.Separator);
        QCOMPARE(loaded.TableNamePattern, saved.TableNamePattern);
        QCOMPARE(loaded.Quote, '\'');
        QVERIFY(loaded.Quoted);
        QCOMPARE(loaded.Encoding, saved.Encoding);
        QVERIFY(loaded.GuessTypes);
        QCOMPARE(loaded.DateFormat, saved.DateFormat);
        QCOMPARE(loaded.IfTableExists, IfExists::Replace);
        QCOMPARE(loaded.NullMarkers, (std::vector<std::string>{"NA", "-"}));
        QCOMPARE(loaded.SkipLines, 2L);
        QVERIFY(loaded.Trim && !loaded.DecimalComma && loaded.NoHeader);
        QCOMPARE(loaded.Jobs, 3);

        // Appending to a listed table; what the window has no control for is named, not lost silently.
        QTest::mouseClick(f.Find<QRadioButton>("Option2"), Qt::LeftButton, {}, QPoint(5, 5));
        f.Find<QListWidget>("List1")->setCurrentRow(0);
        f.Find<QCheckBox>("Check2")->setChecked(true);
        f.Find<QComboBox>("ComboOnDuplicate")->setCurrentIndex(2);
        f.Find<QSpinBox>("SpinJobs")->setValue(0);
        f.dialogs.typed = {"append", "append"};
        f.Click("PushButtonSaveProfile");
        QFile file(config.filePath("quillbarrow/profiles/append.conf"));
        // As the command line writes it.
        QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll().contains("\njobs = auto\n"));
        file.close();
        QVERIFY(file.open(QIODevice::Append));
        file.write("rejects = /tmp/r.txt\n");
        file.close();
        QTest::mouseClick(f.Find<QRadioButton>("Option1"), Qt::LeftButton, {}, QPoint(5, 5));
        f.Find<QCheckBox>("Check2")->setChecked(false);
        f.Find<QSpinBox>("SpinJobs")->setValue(5);
        f.Click("PushButtonLoadProfile");
        const ImportSettings appending = f.window.CurrentSettings();
        QCOMPARE(appending.Mode, ImportMode::AppendToExistingTable);
        QCOMPARE(appending.TargetTable, std::optional<std::string>("Sales"));
        QVERIFY(appending.IgnoreFirstLine);
        QCOMPARE(appending.OnDuplicateKey, OnDuplicate::Update);
        QCOMPARE(appending.Jobs, 0);
        const QString status = f.Find<QLabel>("LabelStatus")->text();
        QVERIFY2(status.contains(QStringLiteral("left alone: rejects.")), qPrintable(status));
        qputenv("XDG_CONFIG_HOME", before);
    }

    void helpShowsTheSample()
    {
        Fixture f;
        f.Click("PushButton6");
        const std::string original =
            "Text files should look like this:\r\n\r\nName,State\r\nPeter,NH\r\nJane,MA\r\n\r\n"
            "Also, if appending, make sure the number of columns in the text file match the "
            "number of columns in the table.\r\n\r\nWhen appending, number of columns and data "
            "types (number, decimal, text, etc.) must be identical.";
        QCOMPARE(f.LastMessage().substr(0, original.size()), original);
        QVERIFY(f.LastMessage().find("\r\n\r\nFields may be in double quotes") == original.size());
        QCOMPARE(f.dialogs.messages[0].icon, BoxIcon::None);
    }

    void separatorMenuSetsGuessesAndMarksATabOrASpace()
    {
        Fixture f;
        f.window.Form_Load();
        f.window.show();
        auto* box = f.Find<QLineEdit>("Text3");
        auto* button = f.Find<QToolButton>("ToolSeparators");
        auto* mark = f.Find<QLabel>("LabelSeparatorMark");
        // By keyboard only: Space opens the menu, Down walks to the entry, Return picks it.
        const auto choose = [&](const QString& caption) {
            QTimer::singleShot(0, &f.window, [&] {
                auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                QVERIFY(menu && menu == button->menu());
                for (int i = 0; i < 8 && (!menu->activeAction() || menu->activeAction()->text() != caption); ++i)
                    QTest::keyClick(menu, Qt::Key_Down);
                QTest::keyClick(menu, Qt::Key_Return);
            });
            button->setFocus();
            QTest::keyClick(button, Qt::Key_Space);
            QTRY_VERIFY(!QApplication::activePopupWidget());
        };
        QVERIFY(!mark->isVisible());
        choose(QStringLiteral("Tab"));
        QCOMPARE(box->text(), QStringLiteral("\t"));
        QVERIFY(mark->isVisible());
        QCOMPARE(mark->text(), QStringLiteral("\u21E5 tab"));
        choose(QStringLiteral("Space"));
        QCOMPARE(box->text(), QStringLiteral(" "));
        QVERIFY(mark->isVisible());
        QCOMPARE(mark->text(), QStringLiteral("\u2423 space"));
        QVERIFY(mark->sizeHint().width() <= mark->width());
        QVERIFY(f.Find("Frame1")->contentsRect().contains(mark->geometry()));

        choose(QStringLiteral("Guess from the selected file"));
        QCOMPARE(f.LastMessage().substr(0, 15), std::string("No files added:"));
        f.window.Files().Append(f.File("dump.txt", "id|name\n1|Ann Lee\n2|Bo\n"));
        f.window.Files().Append(
            f.File("prices.csv", "Artikel;Preis\r\n\"Schrauben, verzinkt\";1,5\r\nMuttern;0,75\r\n"));
        const QString names = f.File("names.txt", "email\nann@example.com\n");
        f.window.Files().Append(names);
        auto* list = f.Find<FileListView>("ListView1");
        list->setCurrentItem(list->topLevelItem(1));
        choose(QStringLiteral("Guess from the selected file"));
        QCOMPARE(box->text(), QStringLiteral(";"));
        QVERIFY(!mark->isVisible());
        list->clearSelection();
        choose(QStringLiteral("Guess from the selected file"));  // none selected: the first
        QCOMPARE(box->text(), QStringLiteral("|"));
        list->setCurrentItem(list->topLevelItem(2));
        choose(QStringLiteral("Guess from the selected file"));
        QVERIFY(QString::fromStdString(f.LastMessage()).startsWith(QStringLiteral("No separator fits ") + names));
        QFile::remove(names);
        choose(QStringLiteral("Guess from the selected file"));
        QVERIFY(QString::fromStdString(f.LastMessage()).startsWith(QStringLiteral("Could not guess the separator:")));
        QCOMPARE(box->text(), QStringLiteral("|"));
    }

    void previewFollowsTheChoicesAndCheckTellsWithoutWriting()
    {
        Fixture f;
        f.window.Form_Load();
        auto* preview = f.ShowPreview("q.csv", "a;b,c\r\n\"x;y\",z\r\n1;2,3\r\n");
        QVERIFY(preview && preview->isVisible());
        const auto shape = [&] {
            return Headings(*preview) + QStringLiteral(" / %1 rows").arg(preview->Grid().rowCount());
        };
        QCOMPARE(shape(), QStringLiteral("ab|c / 2 rows"));
        f.Find<QLineEdit>("Text3")->setText(QStringLiteral(";"));
        QTRY_COMPARE_WITH_TIMEOUT(shape(), QStringLiteral("a|bc / 2 rows"), 1000);
        QCOMPARE(preview->Grid().item(0, 0)->text(), QStringLiteral("\"x"));
        f.Find<QCheckBox>("CheckQuoted")->setChecked(true);
        // Text after the closing quote is kept, up to the next separator.
        QTRY_COMPARE_WITH_TIMEOUT(preview->Grid().item(0, 0)->text(), QStringLiteral("x;y,z"), 1000);
        // Guessed types show under the names: with ";" between fields, "2,3" has a decimal comma.
        f.Find<QComboBox>("ComboTypes")->setCurrentText(QStringLiteral("Guess from the data"));
        QTRY_COMPARE_WITH_TIMEOUT(shape(), QStringLiteral("a\nINTEGER|bc\nREAL / 2 rows"), 1000);

        f.Click("PushButtonCheck");
        QTRY_VERIFY(!f.window.Checking());
        auto* found = f.window.findChild<QTableWidget*>("CheckGrid");
        QVERIFY(found && found->isVisible() && found->rowCount() == 1);
        QCOMPARE(found->item(0, 2)->text(), QStringLiteral("1 value, the table has 2 columns"));
        QVERIFY(found->item(0, 0)->toolTip().endsWith(QStringLiteral("would be created (a INTEGER, bc REAL)")));
        QCOMPARE(f.Tables(), QStringList());  // nothing was written
    }

    void previewEditsTheNewTablesColumns()
    {
        Fixture f;
        f.window.Form_Load();
        auto* preview = f.ShowPreview("e.csv", "id,Name,secret\r\n7,Ann,x\r\n");
        QVERIFY(preview);
        // The edits hold for every file whose first line gives the same names, and the preview says so.
        f.window.Files().Append(f.File("same.csv", "id,Name,secret\r\n8,Bo,y\r\n"));
        f.window.Files().Append(f.File("other.csv", "id,Name\r\n9,Cy\r\n"));
        f.dialogs.typed = {std::string("Who")};
        preview->RenameColumn(1);
        QCOMPARE(f.dialogs.inputs.at(0).proposed, std::string("Name"));
        QCOMPARE(preview->findChild<QLabel*>("PreviewScope")->text(),
                 QStringLiteral("These edits apply to 2 files with the same columns."));
        // Only what was changed is kept: the other columns follow the file when the run comes.
        QVERIFY(f.window.CurrentSettings().ColumnPlansByNames ==
                (std::map<std::vector<std::string>, ColumnPlan>{{{"id", "Name", "secret"}, {{{"Name", {.name = "Who"}}}}}}));
        preview->EditColumn(0, {.type = "INTEGER", .key = true});
        preview->EditColumn(2, {.leftOut = true});
        QCOMPARE(Headings(*preview), QStringLiteral("id\nINTEGER\n(key)|Who\nTEXT|secret\nTEXT\n(left out)"));

        // The import makes exactly what the preview shows, for each file of those names and no other.
        f.Click("PushButton1");
        QCOMPARE(f.LastMessage(), std::string("Done."));
        QCOMPARE(test::Query(f.dsn, R"(SELECT "id" + 1, "Who" FROM "NewTable1")"),
                 (std::vector<TextRow>{{std::string("8"), std::string("Ann")}}));
        QCOMPARE(test::Query(f.dsn, "SELECT COUNT(*) FROM pragma_table_info('NewTable1')").at(0).at(0),
                 std::optional<std::string>("2"));
        QCOMPARE(test::Query(f.dsn, "SELECT \"name\" FROM pragma_table_info('NewTable2') WHERE \"pk\" > 0"),
                 (std::vector<TextRow>{{std::string("id")}}));
        QCOMPARE(test::Query(f.dsn, R"(SELECT "id", "Who" FROM "NewTable2")"),
                 (std::vector<TextRow>{{std::string("8"), std::string("Bo")}}));
        QCOMPARE(test::Query(f.dsn, R"(SELECT "id", "Name" FROM "NewTable3")"),
                 (std::vector<TextRow>{{std::string("9"), std::string("Cy")}}));
    }

    // Matching by name needs the header's names: the box is on only with "Ignore first line", and the
    // settings go by name only then.
    void matchingByNameGoesWithTheHeader()
    {
        Fixture f;
        auto* byName = f.Find<QCheckBox>("CheckByName");
        byName->setChecked(true);
        QVERIFY(!byName->isEnabled());
        QTest::mouseClick(f.Find<QRadioButton>("Option2"), Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(!byName->isEnabled());
        QCOMPARE(f.window.CurrentSettings().Matching, ColumnMatching::Automatic);
        f.Find<QCheckBox>("Check2")->setChecked(true);
        QVERIFY(byName->isEnabled());
        QCOMPARE(f.window.CurrentSettings().Matching, ColumnMatching::ByName);
        f.Find<QCheckBox>("Check2")->setChecked(false);
        QVERIFY(!byName->isEnabled());
        QCOMPARE(f.window.CurrentSettings().Matching, ColumnMatching::Automatic);
    }

    // Appending, the preview heads each file column with the table column it goes to; choosing another
    // makes the file go by name, the run with it.
    void previewMapsAnAppendedFilesColumns()
    {
        test::Execute(test::SqliteDsn(), R"(CREATE TABLE "sales"("day" TEXT, "item" TEXT, "qty" TEXT))");
        Fixture f;
        f.window.Form_Load();
        QTest::mouseClick(f.Find<QRadioButton>("Option2"), Qt::LeftButton, {}, QPoint(5, 5));
        f.Find<QListWidget>("List1")->setCurrentRow(0);
        f.Find<QCheckBox>("Check2")->setChecked(true);
        auto* preview = f.ShowPreview("s.csv", "when,what,qty\r\nwidget,d1,5\r\n");
        QVERIFY(preview);
        // Names the table lacks: by position, as the run would go.
        QCOMPARE(Headings(*preview), QStringLiteral("when\n\u2192 day|what\n\u2192 item|qty\n\u2192 qty"));
        preview->EditColumn(0, {.name = "item"});
        preview->EditColumn(1, {.name = "day"});
        QCOMPARE(Headings(*preview), QStringLiteral("when\n\u2192 item|what\n\u2192 day|qty\n\u2192 qty"));
        f.Click("PushButton1");
        QCOMPARE(f.LastMessage(), std::string("Done."));
        QCOMPARE(test::Query(f.dsn, R"(SELECT "day", "item", "qty" FROM "sales")"),
                 (std::vector<TextRow>{{std::string("d1"), std::string("widget"), std::string("5")}}));
    }

    void readingOptionsAreRemembered()
    {
        auto f = std::make_unique<Fixture>();
        auto* quoted = f->Find<QCheckBox>("CheckQuoted");
        auto* encoding = f->Find<QComboBox>("ComboEncoding");
        QCOMPARE(quoted->text(), QStringLiteral("Fields may be in double quotes"));
        QCOMPARE(f->Find<QLabel>("LabelEncoding")->text(), QStringLiteral("Encoding:"));
        QCOMPARE(encoding->count(), 6);
        // Each file as what it is, unless the person chooses otherwise.
        QCOMPARE(encoding->currentText(), QStringLiteral("Auto"));
        QCOMPARE(f->window.CurrentSettings().Encoding, std::string(kAutoEncoding));

        quoted->setChecked(true);
        encoding->setCurrentText(QStringLiteral("ISO-8859-1"));
        const ImportSettings settings = f->window.CurrentSettings();
        QVERIFY(settings.Quoted);
        QCOMPARE(settings.Encoding, std::string("ISO-8859-1"));
        // A new window over the same settings shows the same choices.
        MainWindow again(f->settings, f->dialogs, [] { return std::string(); });
        QVERIFY(again.findChild<QCheckBox*>("CheckQuoted")->isChecked());
        QCOMPARE(again.findChild<QComboBox*>("ComboEncoding")->currentText(), QStringLiteral("ISO-8859-1"));
        // Any name the converter knows is typed in, offered as it is typed, and remembered as typed.
        const QAbstractItemModel* offered = encoding->completer()->model();
        QCOMPARE(offered->match(offered->index(0, 0), Qt::DisplayRole, QStringLiteral("WINDOWS-1250")).size(), 1);
        encoding->setCurrentText(QStringLiteral("cp1250"));
        QCOMPARE(f->window.CurrentSettings().Encoding, std::string("cp1250"));
        QCOMPARE(encoding->count(), 6);
        MainWindow typed(f->settings, f->dialogs, [] { return std::string(); });
        QCOMPARE(typed.findChild<QComboBox*>("ComboEncoding")->currentText(), QStringLiteral("cp1250"));

        // What new tables are made of: create mode only, remembered.
        auto* types = f->Find<QComboBox>("ComboTypes");
        auto* letters = f->Find<QCheckBox>("CheckKeepLetters");
        QCOMPARE(letters->text(), QStringLiteral("Keep letters of every alphabet in column names"));
        QCOMPARE(types->currentText(), QStringLiteral("All text"));
        types->setCurrentText(QStringLiteral("Guess from the data"));
        letters->setChecked(true);
        QVERIFY(f->window.CurrentSettings().GuessTypes && f->window.CurrentSettings().KeepLetters);
        auto* dates = f->Find<QComboBox>("ComboDates");
        QCOMPARE(f->Find<QLabel>("LabelDates")->text(), QStringLiteral("Dates:"));
        QCOMPARE(dates->currentText(), QStringLiteral("Guess"));
        QVERIFY(!f->window.CurrentSettings().DateFormat);
        // Each form offered is one the command line knows.
        for (int i = 1; i < dates->count(); ++i)
            QVERIFY2(ParseDateFormat(dates->itemText(i).toStdString()), qPrintable(dates->itemText(i)));
        dates->setCurrentText(QStringLiteral("DD.MM.YYYY"));
        QCOMPARE(f->window.CurrentSettings().DateFormat, ParseDateFormat("DD.MM.YYYY"));
        // Remembering what was imported: for either mode.
        auto* resume = f->Find<QCheckBox>("CheckResume");
        QCOMPARE(resume->text(), QStringLiteral("Remember what was imported and go on from there"));
        QVERIFY(!resume->isChecked() && !f->window.CurrentSettings().Resume);
        resume->setChecked(true);
        f->Find<QRadioButton>("Option2")->setChecked(true);
        QVERIFY(!types->isEnabled() && !letters->isEnabled() && !dates->isEnabled() && resume->isEnabled());
        QVERIFY(f->window.CurrentSettings().Resume);
        // Files at once: as serves the database best unless a number is chosen.
        auto* jobs = f->Find<QSpinBox>("SpinJobs");
        QCOMPARE(f->Find<QLabel>("LabelJobs")->text(), QStringLiteral("Parallel files:"));
        QVERIFY(jobs->text() == QStringLiteral("auto") && f->window.CurrentSettings().Jobs == 0);
        QVERIFY(jobs->isEnabled() && jobs->maximum() == 16);
        jobs->setValue(4);
        QCOMPARE(f->window.CurrentSettings().Jobs, 4);
        MainWindow third(f->settings, f->dialogs, [] { return std::string(); });
        QCOMPARE(third.findChild<QComboBox*>("ComboTypes")->currentText(), QStringLiteral("Guess from the data"));
        QVERIFY(third.findChild<QCheckBox*>("CheckKeepLetters")->isChecked());
        QCOMPARE(third.findChild<QComboBox*>("ComboDates")->currentText(), QStringLiteral("DD.MM.YYYY"));
        QVERIFY(third.findChild<QCheckBox*>("CheckResume")->isChecked());
        QCOMPARE(third.CurrentSettings().Jobs, 4);

        // An existing table's fate when creating, and emptying one when appending: each for its mode, remembered.
        auto* ifExists = f->Find<QComboBox>("ComboIfExists");
        auto* emptyFirst = f->Find<QCheckBox>("CheckEmptyFirst");
        QCOMPARE(f->Find<QLabel>("LabelIfExists")->text(), QStringLiteral("If the table exists:"));
        QCOMPARE(emptyFirst->text(), QStringLiteral("Empty the table first"));
        QVERIFY(emptyFirst->isEnabled() && !ifExists->isEnabled());
        emptyFirst->setChecked(true);
        f->Find<QRadioButton>("Option1")->setChecked(true);
        QVERIFY(!emptyFirst->isEnabled() && ifExists->isEnabled());
        QCOMPARE(ifExists->currentText(), QStringLiteral("Stop"));
        ifExists->setCurrentText(QStringLiteral("Replace it"));
        QVERIFY(f->window.CurrentSettings().IfTableExists == IfExists::Replace && f->window.CurrentSettings().Replace);
        MainWindow fourth(f->settings, f->dialogs, [] { return std::string(); });
        QCOMPARE(fourth.findChild<QComboBox*>("ComboIfExists")->currentText(), QStringLiteral("Replace it"));
        QVERIFY(fourth.findChild<QCheckBox*>("CheckEmptyFirst")->isChecked());
    }

    // What an appended line does whose key the table holds: appending only, read into the settings, remembered.
    void duplicateKeyChoiceIsRemembered()
    {
        auto f = std::make_unique<Fixture>();
        auto* choice = f->Find<QComboBox>("ComboOnDuplicate");
        QCOMPARE(f->Find<QLabel>("LabelOnDuplicate")->text(), QStringLiteral("On a duplicate key:"));
        QCOMPARE(choice->currentText(), QStringLiteral("Refuse the line"));
        QVERIFY(f->window.CurrentSettings().OnDuplicateKey == OnDuplicate::Error);
        QVERIFY(!choice->isEnabled());
        f->Find<QRadioButton>("Option2")->setChecked(true);
        QVERIFY(choice->isEnabled());
        choice->setCurrentText(QStringLiteral("Keep the row there"));
        QVERIFY(f->window.CurrentSettings().OnDuplicateKey == OnDuplicate::Skip);
        choice->setCurrentText(QStringLiteral("Update the row"));
        QVERIFY(f->window.CurrentSettings().OnDuplicateKey == OnDuplicate::Update);
        MainWindow again(f->settings, f->dialogs, [] { return std::string(); });
        QCOMPARE(again.findChild<QComboBox*>("ComboOnDuplicate")->currentText(), QStringLiteral("Update the row"));
        QVERIFY(again.CurrentSettings().OnDuplicateKey == OnDuplicate::Update);
    }

    void valueOptionsReachTheSettingsAndAreRemembered()
    {
        Fixture f;
        auto* markers = f.Find<QComboBox>("ComboNullMarkers");
        auto* trim = f.Find<QCheckBox>("CheckTrim");
        auto* comma = f.Find<QCheckBox>("CheckDecimalComma");
        QCOMPARE(f.Find<QLabel>("LabelNullMarkers")->text(), QStringLiteral("Treat as empty:"));
        QCOMPARE(trim->text(), QStringLiteral("Trim spaces around values"));
        const ImportSettings before = f.window.CurrentSettings();
        QVERIFY(before.NullMarkers.empty() && !before.Trim && !before.DecimalComma);
        markers->setCurrentText(QStringLiteral(" NA ,, \\N"));
        trim->setChecked(true);
        comma->setChecked(true);
        const ImportSettings settings = f.window.CurrentSettings();
        QCOMPARE(settings.NullMarkers, (std::vector<std::string>{"NA", "\\N"}));
        QVERIFY(settings.Trim && settings.DecimalComma);
        MainWindow again(f.settings, f.dialogs, [] { return std::string(); });
        QCOMPARE(again.CurrentSettings().NullMarkers, settings.NullMarkers);
        QVERIFY(again.CurrentSettings().Trim && again.CurrentSettings().DecimalComma);
    }

    // A file without a header, lines before it and another quote: chosen, previewed as the run reads, remembered.
    void headerSkippedLinesAndQuoteReachTheSettingsAndAreRemembered()
    {
        auto f = std::make_unique<Fixture>();
        f->window.Form_Load();
        auto* noHeader = f->Find<QRadioButton>("RadioNoHeader");
        auto* skip = f->Find<QSpinBox>("SpinSkipLines");
        auto* quote = f->Find<QComboBox>("ComboQuote");
        QCOMPARE(noHeader->text(), QStringLiteral("No header line: name columns Column1, Column2, \u2026"));
        QCOMPARE(f->Find<QLabel>("LabelSkipLines")->text() + QStringLiteral(" N") + skip->suffix(),
                 QStringLiteral("Skip first N lines"));
        QVERIFY(!noHeader->isChecked() && skip->value() == 0 && quote->currentText() == QStringLiteral("\""));
        noHeader->setChecked(true);
        QVERIFY(!f->Find<QRadioButton>("Option3")->isChecked() && !f->Find<QRadioButton>("Option4")->isChecked());
        skip->setValue(2);
        quote->setCurrentText(QStringLiteral("'"));
        f->Find<QCheckBox>("CheckQuoted")->setChecked(true);
        const ImportSettings settings = f->window.CurrentSettings();
        QVERIFY(settings.NoHeader && settings.ColumnNames == ColumnNameSource::FromFirstLine);
        QCOMPARE(settings.SkipLines, 2L);
        QCOMPARE(settings.Quote, '\'');

        auto* preview = f->ShowPreview("t.csv", "Title\r\n\r\n'x,y',z\r\n1,2\r\n");
        QTRY_COMPARE_WITH_TIMEOUT(Headings(*preview), QStringLiteral("Column1|Column2"), 1000);
        QCOMPARE(preview->Grid().rowCount(), 2);
        QCOMPARE(preview->Grid().item(0, 0)->text(), QStringLiteral("x,y"));

        MainWindow again(f->settings, f->dialogs, [] { return std::string(); });
        QVERIFY(again.findChild<QRadioButton*>("RadioNoHeader")->isChecked());
        QVERIFY(!again.findChild<QRadioButton*>("Option3")->isChecked());
        QCOMPARE(again.findChild<QSpinBox*>("SpinSkipLines")->value(), 2);
        QCOMPARE(again.CurrentSettings().Quote, '\'');
    }

    void hoverLeavesTheBusyPointerAlone()
    {
        Fixture f;
        f.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        auto moveTo = [&](const char* name) {
            QWidget* widget = f.Find(name);
            QTest::mouseMove(&f.window, widget->mapTo(&f.window, widget->rect().center()));
        };
        moveTo("PushButton1");
        QCOMPARE(f.window.Pointer().Pointer(), PointerStyle::Custom);
        moveTo("Label1");
        QCOMPARE(f.window.Pointer().Pointer(), PointerStyle::Default);
        moveTo("PushButton4");
        moveTo("Option2");  // no rule of its own
        QCOMPARE(f.window.Pointer().Pointer(), PointerStyle::Custom);

        f.window.Pointer().SetPointer(PointerStyle::Busy);
        for (const char* name : {"PushButton1", "PushButton5", "Frame2", "List1", "Text3", "Label1"}) {
            moveTo(name);
            QCOMPARE(f.window.Pointer().Pointer(), PointerStyle::Busy);
        }
        f.Find<FileListView>("ListView1")->DragStep(QPoint(3, 3));
        QCOMPARE(f.window.Pointer().Pointer(), PointerStyle::Busy);
    }

    void removalIsRefusedWhileBusy()
    {
        Fixture f;
        auto* list = f.Find<FileListView>("ListView1");
        list->Append("/a.txt");
        list->setCurrentItem(list->topLevelItem(0));
        f.window.Pointer().SetPointer(PointerStyle::Busy);
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(list->topLevelItemCount(), 1);
        f.window.Pointer().SetPointer(PointerStyle::Default);
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(list->topLevelItemCount(), 0);
    }

    void importsFromTheWindow()
    {
        Fixture f;
        f.window.Form_Load();
        auto* list = f.Find<FileListView>("ListView1");
        // The first file comes from a folder walk and its name is not UTF-8.
        const std::string people = f.ExactFile("walked", "caf\xE9.csv", "Name,State\r\nPeter,NH\r\nJane,MA\r\n");
        f.dialogs.typed = {std::string("csv")};
        f.dialogs.folders = {QFile::encodeName(f.files.filePath("walked")).toStdString()};
        f.Click("PushButton4");
        const QString more = f.File("more.csv", "Name,State\r\nAnn,VT\r\n");
        list->Append(more);
        QCOMPARE(f.window.CurrentSettings().Files, (std::vector<std::string>{people, more.toStdString()}));
        QCOMPARE(list->Paths().first(), QFile::decodeName(QByteArray::fromStdString(people)));
        std::vector<PointerStyle> whileBoxOpen;
        bool stopWhileBoxOpen = true;
        f.dialogs.whileOpen = [&] {
            whileBoxOpen.push_back(f.window.Pointer().Pointer());
            stopWhileBoxOpen = f.Find<QPushButton>("PushButtonStop")->isEnabled();
        };
        f.Click("PushButton1");

        QCOMPARE(f.LastMessage(), std::string("Done."));
        QCOMPARE(f.dialogs.messages.size(), size_t(1));
        QCOMPARE(f.Tables(), (QStringList{"NewTable2", "NewTable1"}));
        QCOMPARE(test::Query(f.dsn, R"(SELECT "Name" FROM "NewTable1" ORDER BY 1)"),
                 (std::vector<TextRow>{{std::string("Jane")}, {std::string("Peter")}}));
        QCOMPARE(f.window.Pointer().Pointer(), PointerStyle::Default);
        QCOMPARE(whileBoxOpen, std::vector<PointerStyle>{PointerStyle::Default});
        QVERIFY(!stopWhileBoxOpen);  // nothing left to stop once the final box is up

        // Append to a table picked from the list, skipping the header.
        QTest::mouseClick(f.Find<QRadioButton>("Option2"), Qt::LeftButton, {}, QPoint(5, 5));
        f.Find<QListWidget>("List1")->setCurrentRow(1);
        f.Find<QCheckBox>("Check2")->setChecked(true);
        const ImportSettings settings = f.window.CurrentSettings();
        QCOMPARE(settings.TargetTable, std::optional<std::string>("NewTable1"));
        QVERIFY(settings.IgnoreFirstLine);
        f.Click("PushButton1");
        QCOMPARE(test::Query(f.dsn, R"(SELECT COUNT(*) FROM "NewTable1")"), (std::vector<TextRow>{{std::string("5")}}));
        QCOMPARE(f.LastMessage(), std::string("Done."));
    }

    void addTextFilesTakesTheDialogsResult()
    {
        Fixture f;
        f.dialogs.picked = {{"/data/one.txt", false, {}},
                            {std::string("/data\0a.csv\0b.txt", 17), false, {}},
                            {std::string("/\0r.txt", 7), false, {}},
                            {{}, true, {}},
                            {}};
        for (int i = 0; i < 5; ++i)
            f.Click("PushButton3");
        QCOMPARE(f.window.Files().Paths(), (QStringList{"/data/one.txt", "/data/a.csv", "/data/b.txt", "/r.txt"}));
        QCOMPARE(f.dialogs.messages.size(), size_t(1));
        QCOMPARE(f.LastMessage(), std::string("You've selected too many files to add.\r\rPlease try adding via the "
                                              "\"Add All\" button."));
        const OpenFilesRequest& request = f.dialogs.openRequests.at(0);
        QCOMPARE(request.title, std::string("Add File(s) - Hold Ctrl to select multiple files"));
        QCOMPARE(request.filters, (std::vector<std::string>{"Text Files (*.txt)", "CSV Files (*.csv)", "All Files (*.*)"}));
        QCOMPARE(request.active, std::string());
        QCOMPARE(request.folder, std::string());
        QCOMPARE(f.dialogs.openRequests.at(1).folder, std::string("/data/"));  // where the last files came from

        // A file already listed is not added again, and the status line says so.
        f.dialogs.picked = {{std::string("/data\0one.txt\0d.csv\0b.txt", 25), false, {}}};
        f.Click("PushButton3");
        QCOMPARE(f.window.Files().Paths().mid(4), QStringList{"/data/d.csv"});
        QCOMPARE(f.Find<QLabel>("LabelStatus")->text(), QStringLiteral("2 files were already in the list."));
        f.dialogs.picked = {{"/data/e.csv", false, {}}};
        f.Click("PushButton3");
        QCOMPARE(f.Find<QLabel>("LabelStatus")->text(), QString());

        // An archive adds each of its files.
        const QString zip = f.File("in.zip", QByteArray::fromStdString(test::Pack(
                                                 {{"a.csv", "x\r\n"}, {"b.csv", "y\r\n"}}, ARCHIVE_FORMAT_ZIP)));
        f.dialogs.picked = {{zip.toStdString(), false, {}}};
        f.Click("PushButton3");
        QCOMPARE(f.window.Files().Paths().mid(6), (QStringList{zip + "!/a.csv", zip + "!/b.csv"}));

        // The file type last used is in force next time, in the next window too; the list stays.
        f.dialogs.picked = {{"/data/c.csv", false, "CSV Files (*.csv)"}};
        f.Click("PushButton3");
        MainWindow again(f.settings, f.dialogs, [] { return std::string(); });
        again.PushButton3_Click();
        QCOMPARE(f.dialogs.openRequests.back().active, std::string("CSV Files (*.csv)"));
        QCOMPARE(f.dialogs.openRequests.back().filters, f.dialogs.openRequests.front().filters);
    }

    void addAllRemembersTheExtensionAndFolder()
    {
        Fixture f;
        f.File("tree/a.csv", "x");
        f.File("tree/b.txt", "x");
        f.File("tree/sub/c.CSV", "x");
        const std::string tree = f.files.filePath("tree").toStdString();

        // Cancelled prompt: nothing stored, no browser.
        f.dialogs.typed = {std::nullopt};
        f.Click("PushButton4");
        QCOMPARE(f.settings.Extension(), QStringLiteral("txt"));
        QVERIFY(f.dialogs.folderRequests.empty());

        // Cancelled browser: the extension is kept, the folder is not.
        f.dialogs.typed = {std::string("csv")};
        f.Click("PushButton4");
        QCOMPARE(f.settings.Extension(), QStringLiteral("csv"));
        QCOMPARE(f.settings.LastFolder(), QString());
        QCOMPARE(f.dialogs.folderRequests.size(), size_t(1));
        QCOMPARE(f.dialogs.folderRequests[0].prompt, std::string("Please select folder:"));

        std::vector<PointerStyle> whileBrowsing;
        f.dialogs.typed = {std::nullopt};
        f.dialogs.typed.clear();  // accept what is proposed
        f.dialogs.folders = {tree};
        f.Click("PushButton4");
        QCOMPARE(f.dialogs.inputs.back().proposed, std::string("csv"));
        QCOMPARE(f.dialogs.inputs.back().prompt,
                 std::string("Enter file extension to load:\r\r(* for all files, txt for all txt files, doc for all "
                             "doc files, etc.)"));
        QCOMPARE(f.settings.LastFolder(), QString::fromStdString(tree));
        QCOMPARE(f.window.Files().Paths(),
                 (QStringList{QString::fromStdString(tree + "/a.csv"), QString::fromStdString(tree + "/sub/c.CSV")}));
        QCOMPARE(f.window.Pointer().Pointer(), PointerStyle::Default);

        f.dialogs.folders = {};
        f.Click("PushButton4");
        QCOMPARE(f.dialogs.folderRequests.back().start, tree);
    }

    void dropsAddFilesAndFoldersInDropOrder()
    {
        Fixture f;
        f.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        const QString loose = f.File("~loose.bin", "x");
        f.File("folder/a.txt", "x");
        f.File("folder/deep/b.doc", "x");
        auto* list = f.Find<FileListView>("ListView1");

        QMimeData text;
        text.setText("not files");
        QDragEnterEvent refused(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, {});
        QCoreApplication::sendEvent(list->viewport(), &refused);
        QVERIFY(!refused.isAccepted());

        const std::string odd = f.ExactFile("dropped", "odd\xFF.txt", "x");

        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(loose), QUrl::fromLocalFile(f.files.filePath("folder")),
                       QUrl("https://example.com/x.csv"), QUrl::fromLocalFile(loose),
                       QUrl::fromEncoded("file://" + QByteArray::fromStdString(odd).toPercentEncoding("/"))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &files, Qt::LeftButton, {});
        QCoreApplication::sendEvent(list->viewport(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &files, Qt::LeftButton, {});
        QCoreApplication::sendEvent(list->viewport(), &drop);
        QCOMPARE(list->Paths(), (QStringList{loose, f.files.filePath("folder/a.txt"),
                                             f.files.filePath("folder/deep/b.doc"),
                                             QFile::decodeName(QByteArray::fromStdString(odd))}));
        QCOMPARE(list->ExactPaths().back(), odd);
        QCOMPARE(f.Find<QLabel>("LabelStatus")->text(), QStringLiteral("1 file was already in the list."));
    }

    void modeButtonsFormOneGroup_data()
    {
        QTest::addColumn<QString>("clicks");  // mode buttons clicked in turn, "4" first picks Option4
        for (const char* clicks : {"1", "2", "11", "12", "21", "22", "121", "212", "211", "122", "4212", "4121"})
            QTest::newRow(clicks) << QString::fromLatin1(clicks);
    }

    void modeButtonsFormOneGroup()
    {
        QFETCH(QString, clicks);
        Fixture f;
        f.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        const char* createOption = "Option3";
        for (const QChar click : clicks) {
            const QByteArray name = "Option" + QByteArray(1, click.toLatin1());
            QTest::mouseClick(f.Find<QRadioButton>(name), Qt::LeftButton, {}, QPoint(5, 5));
            if (click == '4') {
                createOption = "Option4";
                continue;
            }
            const bool create = click == '1';
            QCOMPARE(f.Find<QRadioButton>("Option1")->isChecked(), create);
            QCOMPARE(f.Find<QRadioButton>("Option2")->isChecked(), !create);
            QVERIFY(f.Find<QRadioButton>(createOption)->isChecked());
            QCOMPARE(f.Find<QRadioButton>("Option3")->isChecked() + f.Find<QRadioButton>("Option4")->isChecked(), 1);
            QCOMPARE(f.Find("Check2")->isEnabled(), !create);
            QCOMPARE(f.Find("List1")->isEnabled(), !create);
            QCOMPARE(f.Find("Text2")->isEnabled(), create);
            QCOMPARE(f.window.CurrentSettings().Mode,
                     create ? ImportMode::CreateNewTable : ImportMode::AppendToExistingTable);
        }
    }

    void statusLineFollowsTheRunThenSummarises()
    {
        Fixture f;
        f.window.Form_Load();
        f.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        auto* status = f.Find<QLabel>("LabelStatus");
        auto* stop = f.Find<QPushButton>("PushButtonStop");
        QCOMPARE(stop->text(), QStringLiteral("Stop"));
        QVERIFY(!stop->isEnabled());
        QVERIFY(status->geometry().top() > f.Find("ComboEncoding")->geometry().bottom());
        QCOMPARE(stop->geometry().top(), status->geometry().top());
        QVERIFY(f.Find("ProgressImport")->geometry().bottom() < f.window.height());

        // The file reached, then five batches (a first one, then bulk ones), 40 ms apart: shown at 0 and
        // 120 ms only.
        const long first = static_cast<long>(ImportSettings().BatchRows);
        const long batch = static_cast<long>(ImportSettings().BulkRows);
        const long rows = first + 4 * batch, third = first + 2 * batch;
        const QLocale english(QLocale::English);
        f.window.Files().Append(f.Rows("big.csv", rows));
        int ticks = 0;
        f.window.progressClock = [&] { return std::chrono::steady_clock::time_point(std::chrono::milliseconds(40 * ticks++)); };
        std::vector<bool> stopEnabled;
        f.onShown = [&] { stopEnabled.push_back(stop->isEnabled()); };
        f.WatchProgress();
        f.Click("PushButton1");

        QCOMPARE(f.LastMessage(), std::string("Done."));
        QCOMPARE(ticks, 6);
        // Then the summary over a full bar, before the final box.
        QCOMPARE(f.shown.size(), size_t(3));
        QVERIFY(SummaryLink().match(f.shown[2].status).hasMatch());
        QCOMPARE(f.shown[2].bar, f.Find<QProgressBar>("ProgressImport")->maximum());
        QCOMPARE(f.shown[0].status, QStringLiteral("File 1 of 1: big.csv, 0 rows"));
        QCOMPARE(f.shown[0].bar, 0);
        QVERIFY2(f.shown[1].status.startsWith("File 1 of 1: big.csv, " + english.toString(qlonglong(third)) + " rows, "),
                 qPrintable(f.shown[1].status));
        QVERIFY(qAbs(f.shown[1].bar - 1000 * third / rows) <= 10);
        // Stop goes with the run's end, before the summary and its final box.
        QCOMPARE(stopEnabled, (std::vector<bool>{true, true, false}));
        QVERIFY(!stop->isEnabled());
        QCOMPARE(f.Find<QProgressBar>("ProgressImport")->value(), f.Find<QProgressBar>("ProgressImport")->maximum());
        const QRegularExpressionMatch summary = SummaryLink().match(status->text());
        QVERIFY2(summary.hasMatch(), qPrintable(status->text()));
        QVERIFY(summary.captured(1).startsWith("1 file, " + english.toString(qlonglong(rows)) +
                                               " rows imported, 0 lines rejected, 0 files skipped, in "));
        QCOMPARE(status->text(), summary.captured(0));

        f.ClickStatusLink();
        QCOMPARE(f.opened.size(), size_t(1));
        const QString log = f.opened[0].toLocalFile();
        QCOMPARE(QFileInfo(log).absolutePath(), qEnvironmentVariable("XDG_STATE_HOME") + "/quillbarrow");
        QVERIFY(test::ReadAll(log.toStdString()).find("Rows sent: " + std::to_string(rows)) != std::string::npos);
        // Gone, as old logs go: said so rather than handed to the viewer.
        QVERIFY(QFile::remove(log));
        f.ClickStatusLink();
        QCOMPARE(f.opened.size(), size_t(1));
        QCOMPARE(f.LastMessage(), "Could not open the log " + log.toStdString() + ".");
    }

    // "Show Log" on the final box opens the run's log, the one the summary links to; without a log it is not offered.
    void showLogOnTheFinalBoxOpensTheLog()
    {
        Fixture f;
        f.window.Form_Load();
        f.window.Files().Append(f.Rows("small.csv", 2));
        f.window.openUrl = [&](const QUrl& url) {
            f.opened.push_back(url);
            return true;
        };
        f.dialogs.answers = {BoxAnswer::ShowLog};
        f.Click("PushButton1");
        QCOMPARE(f.LastMessage(), std::string("Done."));
        QVERIFY(f.dialogs.messages.back().offerLog);
        QCOMPARE(f.opened.size(), size_t(1));
        QVERIFY(test::ReadAll(f.opened[0].toLocalFile().toStdString()).find("Rows sent: 2") != std::string::npos);
        QCOMPARE(f.Find<QLabel>("LabelStatus")->toolTip(), f.opened[0].toLocalFile());

        const QByteArray state = qgetenv("XDG_STATE_HOME");
        qputenv("XDG_STATE_HOME", "/dev/null/state");
        f.Find<QLineEdit>("Text2")->setText(QStringLiteral("Unlogged[counter]"));
        f.dialogs.answers = {BoxAnswer::ShowLog};
        f.Click("PushButton1");
        qputenv("XDG_STATE_HOME", state);
        QCOMPARE(f.LastMessage(), std::string("Done."));
        QVERIFY(!f.dialogs.messages.back().offerLog);
        QCOMPARE(f.opened.size(), size_t(1));
    }

    // The final box keeps its word and says beneath it what the run did, whatever kind of run it was.
    void theFinalBoxSaysWhatTheRunDid_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("beneath");
        QTest::newRow("stored and refused") << "refused" << "2 rows stored, 1 line refused.";
        QTest::newRow("already imported") << "again" << "0 rows stored, 0 lines refused.\r\n1 file already imported before, left alone.";
        // The stop comes at the first batch's report: the rows after that batch are stored by the second run.
        QTest::newRow("continued") << "continued" << "500 rows stored, 0 lines refused.\r\n1 file continued after the last line an earlier run stored.";
        QTest::newRow("guessed encoding") << "latin1" << "1 row stored, 0 lines refused.\r\n%1: read as ";
    }

    void theFinalBoxSaysWhatTheRunDid()
    {
        QFETCH(QString, kind);
        QFETCH(QString, beneath);
        Fixture f;
        f.window.Form_Load();
        QString path;
        if (kind == "refused") {
            path = f.File("people.csv", "Name,Amount\r\na,1\r\nshort\r\nb,2\r\n");
        } else if (kind == "latin1") {
            path = f.File("latin1.csv", "Name,Town\r\nJos\xe9,Montr\xe9\x61l\r\n");
        } else {
            // Remembered: a second run knows the file, or goes on after the lines a stopped one stored.
            f.Find<QCheckBox>("CheckResume")->setChecked(true);
            QByteArray rows = "Name,Amount\r\na,1\r\nshort\r\n";
            for (int i = 0; i < 1499; ++i)
                rows += "r" + QByteArray::number(i) + ",2\r\n";
            QCOMPARE(ImportSettings().BatchRows, std::size_t(1000));
            path = f.File("people.csv", rows);
            f.window.Files().Append(path);
            if (kind == "continued")
                f.dialogs.stopImport = {true};
            f.Click("PushButton1");
        }
        if (f.window.Files().topLevelItemCount() == 0)
            f.window.Files().Append(path);
        f.Click("PushButton1");
        QCOMPARE(f.LastMessage(), std::string("Done."));
        const QString said = QString::fromStdString(f.dialogs.messages.back().beneath);
        QVERIFY2(said.startsWith(QString(beneath).replace("%1", path)), qPrintable(said));
    }

    void aLogThatCannotBeKeptIsSaidUnderTheSummary()
    {
        const QByteArray state = qgetenv("XDG_STATE_HOME");
        qputenv("XDG_STATE_HOME", "/dev/null/state");
        Fixture f;
        f.window.Form_Load();
        f.window.Files().Append(f.Rows("small.csv", 2));
        f.Click("PushButton1");
        qputenv("XDG_STATE_HOME", state);
        QCOMPARE(f.LastMessage(), std::string("Done."));
        QCOMPARE(f.Find<QLabel>("LabelStatus")->text().section("<br>", 1),
                 QStringLiteral("Cannot make the log folder /dev/null/state/quillbarrow: Not a directory"));
        QVERIFY(!f.Find<QLabel>("LabelStatus")->text().contains("<a"));
        QCOMPARE(f.Count("NewTable1"), 2L);
    }

    void stopEndsTheRunMidFile_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("Stop button") << 0;
        QTest::newRow("Escape key") << 1;
        QTest::newRow("closing the window") << 2;
    }

    void stopEndsTheRunMidFile()
    {
        QFETCH(int, how);
        Fixture f;
        f.window.Form_Load();
        f.window.show();
        f.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        const long first = static_cast<long>(ImportSettings().BatchRows);
        const long batch = static_cast<long>(ImportSettings().BulkRows);
        f.window.Files().Append(f.Rows("big.csv", 20 * batch));
        f.window.Files().Append(f.Rows("never.csv", 10));
        // One file at a time: the stop leaves the next file unreached.
        f.Find<QSpinBox>("SpinJobs")->setValue(1);
        int ticks = 0;  // every status shown
        f.window.progressClock = [&] { return std::chrono::steady_clock::time_point(std::chrono::seconds(ticks++)); };
        f.WatchProgress();
        bool closed = false;
        f.window.onClose = [&] { closed = true; };
        const char* const locked[] = {"PushButton1", "PushButton3", "PushButton4", "PushButton5",
                                      "PushButtonCheck", "Option1", "Option2", "Text2",
                                      "Text3", "CheckQuoted", "LabelEncoding", "ComboEncoding",
                                      "CheckResume", "LabelJobs", "SpinJobs", "ComboDates"};
        f.onShown = [&] {
            if (f.shown.size() != 2)  // the first rows stored
                return;
            // Nothing that changes what the run reads or where it writes is in reach; nor is removing an entry.
            for (const char* name : locked)
                QVERIFY2(!f.Find(name)->isEnabled(), name);
            f.window.Files().setCurrentItem(f.window.Files().topLevelItem(1));
            f.window.Files().RemoveSelected();
            QCOMPARE(f.window.Files().topLevelItemCount(), 2);
            // Pressed once the run lets the window's events through, as a person would.
            QTimer::singleShot(0, &f.window, [&] {
                if (how == 1)
                    QTest::keyClick(&f.window, Qt::Key_Escape);
                else if (how == 0)
                    f.Click("PushButtonStop");
                else
                    f.window.close();
            });
        };
        f.dialogs.answers = {BoxAnswer::Yes};
        f.Click("PushButton1");

        // Files never reached are told apart from those done.
        const std::string counts = "1 of 2 files reached: 0 done, 0 skipped, 1 stopped midway; 1 not reached";
        for (const char* name : {"PushButton1", "PushButton5", "Option1", "Text3", "CheckResume"})
            QVERIFY2(f.Find(name)->isEnabled(), name);
        if (how == 2) {
            // Asked once; then no box stands in the way of quitting, and the window goes.
            QCOMPARE(f.LastMessage(), std::string("Stop the import and quit?"));
            QCOMPARE(f.dialogs.messages.front().buttons, BoxButtons::YesNo);
            QTRY_VERIFY(closed);
            return;
        }
        QCOMPARE(f.LastMessage(), "Import stopped.\r\n\r\n" + counts + ".");
        QCOMPARE(f.dialogs.messages.size(), size_t(1));
        // Whole batches stay; what was gathered after the last one is not sent.
        const long stored = f.Count("NewTable1");
        QVERIFY2(stored >= first && stored < 20 * batch && (stored - first) % batch == 0,
                 qPrintable(QString::number(stored)));
        QVERIFY(!f.Tables().contains("NewTable2"));
        QVERIFY(f.Find<QLabel>("LabelStatus")->text().startsWith(
            QStringLiteral("<a href=\"log\">Import stopped. %1; %2 rows imported, 0 lines rejected, in ")
                .arg(QString::fromStdString(counts), QLocale(QLocale::English).toString(qlonglong(stored)))));
        QVERIFY(f.Find<QProgressBar>("ProgressImport")->value() < f.Find<QProgressBar>("ProgressImport")->maximum());
        QVERIFY(!f.Find("PushButtonStop")->isEnabled());
        // Nothing is left asking the next run to stop: the table made stays listed, the next one fills.
        f.Click("PushButton1");
        QCOMPARE(f.LastMessage(), std::string("Table(s) already exist."));
        QCOMPARE(f.Count("NewTable2"), 10L);
    }

    // "Stop Import" on a report ends the run there; the final box stands over the run's end, not its last
    // progress.
    void stopImportOnAReportEndsTheRun()
    {
        Fixture f;
        f.window.Form_Load();
        f.window.Files().Append(f.ShortLines("bad.csv", 100));
        f.window.Files().Append(f.File("more.csv", "Name,Amount\r\nx,1\r\n"));
        // One file at a time: the stop leaves the next file unreached.
        f.Find<QSpinBox>("SpinJobs")->setValue(1);
        f.dialogs.stopImport = {true};
        QString statusUnderBox;
        f.dialogs.whileOpen = [&] { statusUnderBox = f.Find<QLabel>("LabelStatus")->text(); };
        f.Click("PushButton1");
        QCOMPARE(f.dialogs.reports.size(), size_t(1));
        QVERIFY(f.dialogs.reports.front().offerStop);
        QCOMPARE(f.LastMessage().substr(0, 15), std::string("Import stopped."));
        QVERIFY2(statusUnderBox.contains(QStringLiteral("Import stopped. 1 of 2 files reached")), qPrintable(statusUnderBox));

        f.dialogs.whileOpen = [&] {
            statusUnderBox = f.Find<QLabel>("LabelStatus")->text();
            QCOMPARE(f.Find<QProgressBar>("ProgressImport")->value(), f.Find<QProgressBar>("ProgressImport")->maximum());
        };
        f.window.Files().clear();
        f.window.Files().Append(f.File("fine.csv", "Name,Amount\r\nx,1\r\n"));
        f.Find<QLineEdit>("Text2")->setText(QStringLiteral("Fine[counter]"));
        f.Click("PushButton1");
        QCOMPARE(f.LastMessage(), std::string("Done."));
        QVERIFY2(statusUnderBox.contains(QStringLiteral("1 file, 1 row imported")), qPrintable(statusUnderBox));
    }

    // A stopped run that remembered nothing offers to run again: its tables made again, or remembering.
    void aStoppedRunOffersToRunAgain_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("replacing its tables") << int(BoxAnswer::RunReplacing);
        QTest::newRow("remembering") << int(BoxAnswer::RunRemembering);
    }

    void aStoppedRunOffersToRunAgain()
    {
        QFETCH(int, answer);
        Fixture f;
        f.window.Form_Load();
        f.window.Files().Append(f.File("part.csv", "Name,Amount\r\na,1\r\nb,2\r\nshort\r\nc,3\r\n"));
        f.window.Files().Append(f.File("more.csv", "Name,Amount\r\nx,1\r\n"));
        // One file at a time: the stop leaves the next file unreached.
        f.Find<QSpinBox>("SpinJobs")->setValue(1);
        f.dialogs.stopImport = {true};
        f.dialogs.answers = {BoxAnswer(answer)};
        f.Click("PushButton1");
        const auto stopped = std::find_if(f.dialogs.messages.begin(), f.dialogs.messages.end(),
                                          [](const MessageBoxRequest& box) { return box.text.starts_with("Import stopped."); });
        QVERIFY(stopped != f.dialogs.messages.end());
        QVERIFY(stopped->offerReplacing && stopped->offerRemembering);
        QCOMPARE(f.Count("NewTable2"), 1L);
        if (BoxAnswer(answer) == BoxAnswer::RunReplacing) {
            // Made again from its first line: every row, the table listed once.
            QCOMPARE(f.LastMessage(), std::string("Done."));
            QCOMPARE(f.Count("NewTable1"), 3L);
            QCOMPARE(f.Tables().count(QStringLiteral("NewTable1")), 1);
            return;
        }
        // Ticked for this run and the next; the table the stopped run made is left as it is.
        QVERIFY(f.Find<QCheckBox>("CheckResume")->isChecked());
        QCOMPARE(f.LastMessage(), std::string("Table(s) already exist."));
    }

    // The list tells how many files it holds; several entries go at once, or all of them.
    void theListCountsAndClears()
    {
        Fixture f;
        QVERIFY(!(f.window.windowFlags() & Qt::WindowMaximizeButtonHint));
        auto* count = f.Find<QLabel>("LabelFileCount");
        auto* clear = f.Find<QPushButton>("PushButtonClearList");
        QCOMPARE(clear->text(), QStringLiteral("Clear List"));
        // Clear of the options and the buttons beside them.
        for (const char* other : {"ComboTypes", "CheckKeepLetters", "CheckResume", "PushButtonCheck"})
            QVERIFY2(!f.Place("PushButtonClearList").intersects(f.Place(other)) &&
                         !f.Place("LabelFileCount").intersects(f.Place(other)),
                     other);
        QCOMPARE(count->text(), QStringLiteral("0 files"));
        QVERIFY(f.Find("CheckKeepLetters")->sizeHint().width() <= f.Find("CheckKeepLetters")->width());
        QVERIFY(!clear->isEnabled());
        FileListView& list = f.window.Files();
        for (const char* name : {"a", "b", "c", "d"})
            list.Append(QString::fromLatin1(name));
        QCOMPARE(count->text(), QStringLiteral("4 files"));
        f.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        const auto click = [&](int row, Qt::KeyboardModifiers modifiers) {
            // How many rows the list shows depends on the font.
            list.scrollToItem(list.topLevelItem(row));
            QTest::mouseClick(list.viewport(), Qt::LeftButton, modifiers, list.visualItemRect(list.topLevelItem(row)).center());
        };
        click(0, {});
        click(2, Qt::ControlModifier);
        click(3, Qt::ControlModifier);
        QTest::keyClick(&list, Qt::Key_Delete);
        QCOMPARE(list.Paths(), QStringList{QStringLiteral("b")});
        QCOMPARE(count->text(), QStringLiteral("1 file"));
        f.Click("PushButtonClearList");
        QCOMPARE(list.topLevelItemCount(), 0);
    }

    void addedControlsFitTheirTextWhateverTheFont()
    {
        Fixture f;
        f.window.Files().Append(QStringLiteral("a"));
        // Those that show one line of text, then the others placed among them.
        const QStringList texts{"CheckQuoted", "LabelEncoding", "ComboEncoding", "PushButtonStop",
                                "PushButtonPreview", "PushButtonCheck", "LabelTypes", "ComboTypes",
                                "CheckKeepLetters", "CheckByName", "CheckResume", "PushButtonClearList", "LabelFileCount",
                                "LabelSeparatorMark", "LabelOnDuplicate", "ComboOnDuplicate", "LabelDates",
                                "ComboDates", "LabelNullMarkers", "ComboNullMarkers", "CheckTrim", "CheckDecimalComma",
                                "LabelJobs", "SpinJobs"};
        const QStringList added = texts + QStringList{"LabelStatus", "ProgressImport"};
        const auto place = [&](const QString& name) { return f.Place(name); };
        for (const QString& name : added) {
            QVERIFY2(f.window.rect().contains(place(name)), qPrintable(name));
            QWidget* control = f.Find(qPrintable(name));
            QVERIFY2(!texts.contains(name) || control->sizeHint().width() <= control->width(), qPrintable(name));
            for (const QString& other : added)
                QVERIFY2(other == name || !place(name).intersects(place(other)), qPrintable(name + " " + other));
        }
    }

    // The original controls where they were designed, in twips of their container, with their captions and
    // their tab order; the window no taller than the original.
    void originalControlsKeepTheirPlaces()
    {
        struct Designed {
            const char* name;
            const char* container;
            const char* caption;
            int left, top, width, height;
        };
        const Designed designed[] = {
            {"Frame1", "Form2", "", 120, 0, 6120, 2480},
            {"ListView1", "Frame1", "", 240, 240, 5655, 1215},
            {"PushButton3", "Frame1", "Add Text File(s)", 240, 1545, 2775, 405},
            {"PushButton4", "Frame1", "Add All File(s) In Folder", 3120, 1545, 2775, 405},
            {"PushButton6", "Frame1", "?", 4080, 2033, 735, 345},
            {"Label1", "Frame1", "Fields Separated By:", 240, 2090, 2055, 255},
            {"Text3", "Frame1", "", 2280, 2050, 1695, 330},
            {"Frame2", "Form2", "Table Options", 120, 2520, 6120, 5055},
            {"Option1", "Frame2", "Create New Table From Text File", 180, 360, 3495, 255},
            {"Frame3", "Frame2", "Create New Table Options", 180, 720, 5775, 1455},
            {"Option3", "Frame3", "First line in file will be used to create table columns", 120, 300, 4695, 255},
            {"Option4", "Frame3", "Ignore first line, user-specified columns names", 120, 600, 4455, 255},
            {"Label5", "Frame3", "Table Name:", 240, 960, 1215, 255},
            {"Text2", "Frame3", "", 1680, 960, 3735, 330},
            {"Option2", "Frame2", "Append to Existing Table From Text File", 180, 2280, 4095, 255},
            {"Frame4", "Frame2", "Append to Existing Table Options", 180, 2640, 5775, 2175},
            {"Check2", "Frame4", "Ignore first line in file because it is a header row with no data", 120, 360, 5535, 255},
            {"Label2", "Frame4", "Table Name:", 240, 720, 1215, 255},
            {"List1", "Frame4", "", 1680, 720, 3735, 1185},
            {"PushButton1", "Form2", "Start Importing", 120, 7680, 6120, 405},
            {"PushButton5", "Form2", "Setup Connection", 120, 8190, 6120, 405},
        };
        Fixture f;
        f.window.Form_Load();
        f.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        for (const Designed& d : designed) {
            QWidget* control = f.Find(d.name);
            QVERIFY2(control && control->parentWidget()->objectName() == QLatin1String(d.container), d.name);
            QCOMPARE(control->geometry(), TwipsRect(d.left, d.top, d.width, d.height, &f.window));
            QString caption;
            if (auto* button = qobject_cast<QAbstractButton*>(control))
                caption = button->text();
            else if (auto* label = qobject_cast<QLabel*>(control))
                caption = label->text();
            else if (auto* frame = qobject_cast<QGroupBox*>(control))
                caption = frame->title();
            QCOMPARE(caption, QString::fromUtf8(d.caption));
        }
        QCOMPARE(f.window.height(), TwipsToPixels(8685, &f.window));

        const QStringList tabOrder{"ListView1", "Text3",  "Option1",     "Option3",     "Text2",
                                   "Check2",    "List1",  "Option4",     "Option2",     "PushButton3",
                                   "PushButton4", "PushButton6", "PushButton1", "PushButton5"};
        QStringList walked;
        QWidget* at = f.Find("ListView1");
        do {
            if (tabOrder.contains(at->objectName()) && !walked.contains(at->objectName()))
                walked << at->objectName();
            at = at->nextInFocusChain();
        } while (at != f.Find("ListView1"));
        QCOMPARE(walked, tabOrder);
    }

    void theProgressBarHasNoGapAboveItWhenIdle()
    {
        Fixture f;
        f.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        const QRect bar = f.Place("ProgressImport");
        QVERIFY(bar.top() - f.Place("PushButtonCheck").bottom() < bar.height());
    }

    // Walking the window with Tab, each control it stops at looks otherwise while it has the focus.
    void everyTabStopShowsFocus()
    {
        Fixture f;
        f.window.Form_Load();
        f.window.Files().Append(QStringLiteral("a.csv"));
        f.window.show();
        f.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        QWidget* first = f.Find("ListView1");
        first->setFocus();
        QStringList unseen;
        QStringList walked;
        for (int stop = 0; stop < 60; ++stop) {
            QWidget* at = QApplication::focusWidget();
            QVERIFY(at);
            const QImage focused = at->grab().toImage();
            QTest::keyClick(at, Qt::Key_Tab);
            walked << at->objectName();
            // The first stop took the focus without Tab: it is looked at when Tab comes back to it.
            if (stop > 0 && at->grab().toImage() == focused)
                unseen << at->objectName() + QLatin1Char('/') + at->metaObject()->className();
            if (stop > 0 && at == first)
                break;
        }
        QVERIFY2(walked.size() > 10, qPrintable(walked.join(QLatin1Char(' '))));
        QVERIFY2(unseen.isEmpty(), qPrintable(unseen.join(QLatin1Char(' '))));
    }

    // Everything added sits beside the original controls, the options in groups titled by what they decide,
    // each with a tooltip; and the whole window, title bar included, lies on the screen it opens on.
    void theWindowFitsTheScreen_data()
    {
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QRect>("available");  // the screen less its panels
        QTest::newRow("1366x768, panel at the top") << QRect(0, 0, 1366, 768) << QRect(0, 32, 1366, 736);
        QTest::newRow("1366x768, taskbar at the bottom") << QRect(0, 0, 1366, 768) << QRect(0, 0, 1366, 720);
        QTest::newRow("1920x1080 right of another") << QRect(1366, 0, 1920, 1080) << QRect(1366, 0, 1920, 1040);
    }

    void theWindowFitsTheScreen()
    {
        QFETCH(QRect, screen);
        QFETCH(QRect, available);
        Fixture f;
        f.window.Form_Load();
        f.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        const QMargins titleBar(2, 38, 2, 2);
        const QPoint frame = FrameOnScreen(available, f.window.size(), titleBar);
        const QRect window(frame + QPoint(titleBar.left(), titleBar.top()), f.window.size());
        QVERIFY(available.contains(window.marginsAdded(titleBar)));

        const QRect original(QPoint(0, 0), TwipsRect(0, 0, 6345, 8685, &f.window).size());
        auto* options = f.Find("Options");
        auto* scroll = f.Find<QScrollArea>("ScrollOptions");
        QVERIFY(options->width() <= scroll->viewport()->width());
        for (QWidget* control : f.window.findChildren<QWidget*>()) {
            if (!control->isVisibleTo(&f.window) || control->objectName().isEmpty())
                continue;
            // What the options panel holds is reached by scrolling it.
            const bool scrolled = options->isAncestorOf(control);
            const QRect place = f.Place(scrolled ? scroll->objectName() : control->objectName());
            QVERIFY2(screen.contains(place.translated(window.topLeft())), qPrintable(control->objectName()));
            QVERIFY2(f.window.rect().contains(place), qPrintable(control->objectName()));
            const bool designed = QRegularExpression("^(Frame|ListView|PushButton\\d|Label\\d|Text|Option|Check2|List1)")
                                      .match(control->objectName())
                                      .hasMatch();
            if (!designed && control->parentWidget() == &f.window)
                QVERIFY2(place.left() >= original.right(), qPrintable(control->objectName()));
        }

        const std::pair<const char*, QStringList> groups[] = {
            {"Reading the file",
             {"CheckQuoted", "ComboQuote", "ComboEncoding", "SpinSkipLines", "ComboNullMarkers", "CheckTrim",
              "CheckDecimalComma"}},
            {"New table", {"ComboTypes", "ComboDates", "CheckKeepLetters", "RadioNoHeader", "ComboIfExists"}},
            {"Appending", {"CheckEmptyFirst", "CheckByName", "ComboOnDuplicate"}},
            {"The run", {"CheckResume", "SpinJobs"}},
        };
        for (const auto& [title, members] : groups) {
            for (const QString& name : members) {
                QWidget* option = f.Find(qPrintable(name));
                auto* group = qobject_cast<QGroupBox*>(option->parentWidget());
                QVERIFY2(group && group->title() == QLatin1String(title), qPrintable(name));
                // One sentence.
                QVERIFY2(option->toolTip().endsWith('.') && option->toolTip().count('.') == 1, qPrintable(name));
            }
        }
    }

    void dontShowMoreCountsTheRestOfTheRun_data()
    {
        QTest::addColumn<int>("tickedAt");  // the box where the user ticks it
        QTest::newRow("first box") << 1;
        QTest::newRow("third box") << 3;
    }

    void dontShowMoreCountsTheRestOfTheRun()
    {
        QFETCH(int, tickedAt);
        Fixture f;
        f.window.Form_Load();
        f.window.Files().Append(f.ShortLines("bad.csv", 1000));
        f.window.Files().Append(f.File("more.csv", "Name,Amount\r\nalone\r\n"));
        f.dialogs.quiet = std::deque<bool>(size_t(tickedAt - 1), false);
        f.dialogs.quiet.push_back(true);
        f.Click("PushButton1");

        QCOMPARE(f.dialogs.reports.size(), size_t(tickedAt));
        QCOMPARE(f.dialogs.messages.size(), size_t(tickedAt + 1));
        QCOMPARE(f.LastMessage(), std::string("Done."));
        // The word, and under it what the run did.
        QCOMPARE(f.dialogs.messages.back().beneath, std::string("0 rows stored, 1,001 lines refused."));
        const QString status = f.Find<QLabel>("LabelStatus")->text();
        QVERIFY2(SummaryLink().match(status).captured(1).startsWith(
                     "2 files, 0 rows imported, 1,001 lines rejected, 0 files skipped"),
                 qPrintable(status));
        QCOMPARE(status.section("<br>", 1),
                 QLocale(QLocale::English).toString(1001 - tickedAt) + QStringLiteral(" more error reports not shown"));
        f.ClickStatusLink();
        const std::string log = test::ReadAll(f.opened.at(0).toLocalFile().toStdString());
        std::size_t rejected = 0;
        for (std::size_t at = log.find("Rejected line "); at != std::string::npos; at = log.find("Rejected line ", at + 1))
            ++rejected;
        QCOMPARE(rejected, size_t(1001));
        // The next run asks again.
        f.dialogs.quiet = {true};
        f.Find<QLineEdit>("Text2")->setText("Again[counter]");
        f.Click("PushButton1");
        QCOMPARE(f.dialogs.reports.size(), size_t(tickedAt + 1));
    }

    void reportBoxesCarryTheLinesDetails()
    {
        Fixture f;
        f.window.Form_Load();
        const std::string longLine(1500, 'y');
        const QString path = f.File("details.csv", QByteArray("Name,Amount\r\nok,1\r\nbad\r\n\xFF\x01x\r\n") +
                                                       QByteArray::fromStdString(longLine) + "\r\n\"open,2\r\n");
        f.window.Files().Append(path);
        f.Find<QCheckBox>("CheckQuoted")->setChecked(true);
        f.Find<QComboBox>("ComboEncoding")->setCurrentText(QStringLiteral("As is"));  // the bytes themselves
        f.Click("PushButton1");

        const std::string file = "File: " + path.toStdString();
        const std::vector<std::string> details = {
            file + "\nLine: 3\nThe line:\nbad",
            file + "\nLine: 4\nThe line:\n\xEF\xBF\xBD\xE2\x90\x81x",
            file + "\nLine: 5\nThe line's first 1,000 bytes:\n" + longLine.substr(0, 1000),
            file + "\nLine: 6\nThe line:\n\"open,2",
        };
        QCOMPARE(f.dialogs.reports.size(), details.size());
        for (std::size_t i = 0; i < details.size(); ++i) {
            const ErrorReportRequest& report = f.dialogs.reports[i];
            QCOMPARE(QString::fromStdString(report.details), QString::fromStdString(details[i]));
            QVERIFY(report.offerQuiet);
            QCOMPARE(report.box.title, std::string("Application Error"));
            QCOMPARE(report.box.icon, BoxIcon::Exclamation);
            QVERIFY(report.box.text.ends_with("\r\rPlease email screenshot of this message to support@tolvane.example"));
        }
        QVERIFY(f.dialogs.reports[0].box.text.starts_with(
            "The line has 1 values, but the table NewTable1 has 2 columns. It was not sent.\r\n"
            "in Quillbarrow2021/08/31.Form2.PushButton1_Click at line "));
    }

    void theListStaysAsItWasForTheRun()
    {
        Fixture f;
        f.window.Form_Load();
        f.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        auto* list = f.Find<FileListView>("ListView1");
        for (const char* name : {"first", "second", "third"})
            list->Append(f.File(QStringLiteral("%1.csv").arg(name), QByteArray("Name\r\n") + name + "\r\n"));
        const QStringList listed = list->Paths();
        f.WatchProgress();
        f.onShown = [&] {
            if (f.shown.size() > 1)
                return;
            // While the first file is imported: the second dragged onto the first, the third deleted.
            list->BeginDrag(list->visualItemRect(list->topLevelItem(1)).center());
            list->DragStep(list->visualItemRect(list->topLevelItem(0)).center());
            list->EndDrag();
            list->setCurrentItem(list->topLevelItem(2));
            QTest::keyClick(list, Qt::Key_Delete);
        };
        f.Click("PushButton1");

        QCOMPARE(f.LastMessage(), std::string("Done."));
        QCOMPARE(list->Paths(), listed);
        for (const auto& [table, name] : {std::pair{"NewTable1", "first"}, {"NewTable2", "second"}, {"NewTable3", "third"}})
            QCOMPARE(test::Query(f.dsn, std::string("SELECT \"Name\" FROM \"") + table + "\""),
                     (std::vector<TextRow>{{std::string(name)}}));
    }
};

}  // namespace qb

QTEST_MAIN(qb::MainWindowTest)
#include "MainWindowTest.moc"
