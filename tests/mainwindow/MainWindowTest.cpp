#include "filelist/FileListView.h"
#include "frame/PointerRule.h"
#include "frame/SettingsStore.h"
#include "import/ImportSettings.h"
#include "mainwindow/MainWindow.h"
#include "support/ScriptedDialogs.h"
#include "support/WindowTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <fstream>

namespace qb {

class MainWindowTest : public QObject {
    Q_OBJECT

    struct Fixture {
        QTemporaryDir config;
        QTemporaryDir files;
        SettingsStore settings{config.path()};
        test::ScriptedDialogs dialogs;
        std::string dsn = test::SqliteDsn();
        MainWindow window{settings, dialogs, [this] { return dsn; }};

        template <typename T = QWidget>
        T* Find(const char* name)
        {
            return window.findChild<T*>(name);
        }
        QStringList Tables()
        {
            QStringList names;
            for (int i = 0; i < Find<QListWidget>("List1")->count(); ++i)
                names << Find<QListWidget>("List1")->item(i)->text();
            return names;
        }
        QString File(const QString& name, const QByteArray& bytes)
        {
            const QString path = files.filePath(name);
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile file(path);
            file.open(QIODevice::WriteOnly);
            file.write(bytes);
            return path;
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
        std::string LastMessage() const { return dialogs.messages.empty() ? "" : dialogs.messages.back().text; }
    };

    QTemporaryDir m_temp;

private slots:
    void init()
    {
        if (test::SqliteDsn().empty())
            QFAIL("run under scripts/with-test-datasources.sh");
        test::ResetDataSources();
        // A working copy of its own: another run on the machine may hold the shared one.
        qputenv("TEMP", m_temp.path().toLocal8Bit());
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

    void readingOptionsSitBelowAndAreRemembered()
    {
        auto f = std::make_unique<Fixture>();
        auto* quoted = f->Find<QCheckBox>("CheckQuoted");
        auto* encoding = f->Find<QComboBox>("ComboEncoding");
        QCOMPARE(quoted->text(), QStringLiteral("Fields may be in double quotes"));
        QCOMPARE(f->Find<QLabel>("LabelEncoding")->text(), QStringLiteral("Encoding:"));
        QCOMPARE(encoding->count(), 5);
        const int originalBottom = f->Find("PushButton5")->geometry().bottom();
        QVERIFY(quoted->geometry().top() > originalBottom && encoding->geometry().top() > originalBottom);
        QVERIFY(encoding->geometry().bottom() < f->window.height());
        QCOMPARE(f->window.CurrentSettings().Encoding, std::string());

        quoted->setChecked(true);
        encoding->setCurrentText(QStringLiteral("ISO-8859-1"));
        const ImportSettings settings = f->window.CurrentSettings();
        QVERIFY(settings.Quoted);
        QCOMPARE(settings.Encoding, std::string("ISO-8859-1"));
        // A new window over the same settings shows the same choices.
        MainWindow again(f->settings, f->dialogs, [] { return std::string(); });
        QVERIFY(again.findChild<QCheckBox*>("CheckQuoted")->isChecked());
        QCOMPARE(again.findChild<QComboBox*>("ComboEncoding")->currentText(), QStringLiteral("ISO-8859-1"));
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
        f.dialogs.whileOpen = [&] { whileBoxOpen.push_back(f.window.Pointer().Pointer()); };
        f.Click("PushButton1");

        QCOMPARE(f.LastMessage(), std::string("Done."));
        QCOMPARE(f.dialogs.messages.size(), size_t(1));
        QCOMPARE(f.Tables(), (QStringList{"NewTable2", "NewTable1"}));
        QCOMPARE(test::Query(f.dsn, R"(SELECT "Name" FROM "NewTable1" ORDER BY 1)"),
                 (std::vector<TextRow>{{std::string("Jane")}, {std::string("Peter")}}));
        QCOMPARE(f.window.Pointer().Pointer(), PointerStyle::Default);
        QCOMPARE(whileBoxOpen, std::vector<PointerStyle>{PointerStyle::Default});

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
        f.dialogs.picked = {{"/data/one.txt", false},
                            {std::string("/data\0a.csv\0b.txt", 17), false},
                            {std::string("/\0r.txt", 7), false},
                            {{}, true},
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
                                             f.files.filePath("folder/deep/b.doc"), loose,
                                             QFile::decodeName(QByteArray::fromStdString(odd))}));
        QCOMPARE(list->ExactPaths().back(), odd);
    }
};

}  // namespace qb

QTEST_MAIN(qb::MainWindowTest)
#include "MainWindowTest.moc"
