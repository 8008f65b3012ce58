#include "gui/QtDialogs.h"

#include "files/AddFiles.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace qb;

namespace {

// Acts on the file dialog once the event loop shows it. Each poll schedules
// the next with its own copy of act: a function holding itself would never be freed.
void WhenDialogOpens(std::function<void(QFileDialog*)> act, int delayMs = 0)
{
    QTimer::singleShot(delayMs, [act = std::move(act)] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget()))
            act(dialog);
        else
            WhenDialogOpens(act, 10);
    });
}

class TestableDialogs : public QtDialogs {
public:
    using QtDialogs::ShowFolderBrowser;
    using QtDialogs::ShowOpenFiles;
};

}  // namespace

class FileDialogsTest : public QObject {
    Q_OBJECT

private slots:
    void resultShapeOfPickedFiles()
    {
        QCOMPARE(FileNameResult({}).names, std::string());
        QCOMPARE(FileNameResult({"/data/a.txt"}).names, std::string("/data/a.txt"));
        QCOMPARE(FileNameResult({"/data/a.txt", "/data/b c.csv"}).names, std::string("/data\0a.txt\0b c.csv", 19));
        QCOMPARE(FileNameResult({"/a.txt", "/b"}).names, std::string("/\0a.txt\0b", 9));
        QCOMPARE(FileNameResult({"/w/x/a.txt", "/w/y/b.txt", "/w/x/c"}).names,
                 std::string("/w/x\0a.txt\0/w/y/b.txt\0c", 23));

        const QStringList many{"/data/aaaa", "/data/bbbb", "/data/cccc"};
        QCOMPARE(FileNameResult(many, 20).names.size(), size_t(20));
        const OpenFilesResult tooMany = FileNameResult(many, 19);
        QVERIFY(tooMany.tooMany);
        QVERIFY(tooMany.names.empty());
    }

    void openDialogStartsInTheFolderAndOffersTheFiltersAllMeaningAll()
    {
        QTemporaryDir folder;
        TestableDialogs dialogs;
        QStringList seenFilters;
        QStringList afterAll;
        QString title;
        QString directory;
        WhenDialogOpens([&](QFileDialog* dialog) {
            title = dialog->windowTitle();
            directory = dialog->directory().absolutePath();
            seenFilters = dialog->nameFilters();
            QVERIFY(dialog->fileMode() == QFileDialog::ExistingFiles);
            QCOMPARE(dialog->selectedNameFilter(), QStringLiteral("Text Files (*.txt)"));
            auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
            QVERIFY(types);
            types->setCurrentIndex(2);
            // As the combo box does on a click: the index first, then the text.
            emit types->activated(2);
            emit types->textActivated(types->itemText(2));
            afterAll = dialog->findChild<QFileSystemModel*>()->nameFilters();
            dialog->reject();
        });
        const OpenFilesResult result =
            dialogs.ShowOpenFiles({"Add File(s)", {"Text Files (*.txt)", "CSV Files (*.csv)", "All Files (*.*)"}, {},
                                   folder.path().toStdString()});
        QCOMPARE(title, QStringLiteral("Add File(s)"));
        QCOMPARE(directory, folder.path());
        QCOMPARE(seenFilters, (QStringList{"Text Files (*.txt)", "CSV Files (*.csv)", "All Files (*.*)"}));
        QCOMPARE(afterAll, QStringList{"*"});
        QVERIFY(result.names.empty());
        QVERIFY(!result.tooMany);
    }

    void namesTypedWithTheirOwnFoldersKeepThem()
    {
        QTemporaryDir folder;
        QVERIFY(QDir(folder.path()).mkpath("x") && QDir(folder.path()).mkpath("y"));
        const QStringList typed{folder.filePath("x/a.txt"), folder.filePath("y/b.txt"), folder.filePath("x/c.txt")};
        for (const QString& path : typed) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        TestableDialogs dialogs;
        WhenDialogOpens([&](QFileDialog* dialog) {
            dialog->setDirectory(folder.path());
            dialog->findChild<QLineEdit*>("fileNameEdit")->setText('"' + typed.join("\" \"") + '"');
            QMetaObject::invokeMethod(dialog, "accept");
        });
        const OpenFilesResult result = dialogs.ShowOpenFiles({"Add File(s)", {"All Files (*.*)"}, {}, {}});
        std::vector<std::string> expected;
        for (const QString& path : typed)
            expected.push_back(path.toStdString());
        QCOMPARE(PickedPaths(result.names), expected);
    }

    void folderBrowserPreselectsAndAnswersWithoutTrailingSeparator()
    {
        QTemporaryDir folder;
        QVERIFY(QDir(folder.path()).mkpath("chosen/inner"));
        TestableDialogs dialogs;
        QString directory;
        WhenDialogOpens([&](QFileDialog* dialog) {
            directory = dialog->directory().absolutePath();
            QVERIFY(dialog->testOption(QFileDialog::ShowDirsOnly));
            QMetaObject::invokeMethod(dialog, "accept");
        });
        const std::string chosen =
            dialogs.ShowFolderBrowser({"Please select folder:", folder.filePath("chosen").toStdString()});
        QCOMPARE(directory, folder.path());
        QCOMPARE(QString::fromStdString(chosen), folder.filePath("chosen"));

        WhenDialogOpens([](QFileDialog* dialog) { dialog->reject(); });
        QCOMPARE(dialogs.ShowFolderBrowser({"Please select folder:", ""}), std::string());
    }
};

QTEST_MAIN(FileDialogsTest)
#include "FileDialogsTest.moc"
