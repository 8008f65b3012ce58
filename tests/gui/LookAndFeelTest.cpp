#include "gui/LookAndFeel.h"
#include "gui/Dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace qb;

Q_DECLARE_METATYPE(qb::SkinOutcome)

namespace {

const QColor kDesignWhite(Qt::white);
// Far from white and from Qt's own defaults, so a match means we set it.
const QColor kTestFace(0xd4, 0xd0, 0xc8);

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QColor Background(const QWidget* widget)
{
    return widget->palette().color(QPalette::Window);
}

// A window with one control of each kind, all painted white as at design time.
struct SampleWindow {
    QWidget window;
    QGroupBox* frame = new QGroupBox(&window);
    QLabel* label = new QLabel("Data Source Name:", frame);
    QRadioButton* option = new QRadioButton("Option", frame);
    QCheckBox* check = new QCheckBox("Check", &window);
    QLabel* nestedLabel = new QLabel("deep", new QGroupBox(frame));
    QLineEdit* text = new QLineEdit(frame);
    QPushButton* button = new QPushButton("Next >", &window);
    QListWidget* list = new QListWidget(&window);

    SampleWindow()
    {
        for (QWidget* widget : QList<QWidget*>{&window, frame, label, option, check, nestedLabel, text, button, list}) {
            QPalette palette = widget->palette();
            palette.setColor(QPalette::Window, kDesignWhite);
            widget->setPalette(palette);
        }
    }

    QList<QWidget*> FaceKinds() { return {&window, frame, label, option, check, nestedLabel}; }
    QList<QWidget*> OtherKinds() { return {text, button, list}; }
};

}  // namespace

class LookAndFeelTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QPalette palette = QApplication::palette();
        palette.setColor(QPalette::Button, kTestFace);
        QApplication::setPalette(palette);
        QCOMPARE(FaceColour(), kTestFace);
    }

    void shortenedTitle_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("title");
        QTest::newRow("no space stays whole") << "Quillbarrow" << "Quillbarrow";
        QTest::newRow("two words lose the last") << "Quill Barrow" << "Quill";
        QTest::newRow("trailing space") << "Quillbarrow " << "Quillbarrow";
        QTest::newRow("leading space only") << " Quillbarrow" << "";
        QTest::newRow("41 after one cut")
            << QString("%1 %2 tail").arg(QString(20, 'a'), QString(20, 'b')) << QString(20, 'a');
        QTest::newRow("40 after one cut")
            << QString("%1 %2 tail").arg(QString(20, 'a'), QString(19, 'b'))
            << QString("%1 %2").arg(QString(20, 'a'), QString(19, 'b'));
        QTest::newRow("cut again and again")
            << "Tolvane Quillbarrow Delimited Text Importer For Open Database Connectivity"
            << "Tolvane Quillbarrow Delimited Text";
        QTest::newRow("one long word stays") << QString(50, 'q') + " x" << QString(50, 'q');
    }

    void shortenedTitle()
    {
        QFETCH(QString, name);
        QFETCH(QString, title);
        QCOMPARE(ShortenedTitle(name), title);
    }

    void theApplicationTitleIsTheProductName()
    {
        UseApplicationTitle("something else");
        SetApplicationTitle();
        QCOMPARE(ApplicationTitle(), std::string("Quillbarrow"));
    }

    void fileIsPresent_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<bool>("present");
        QTest::newRow("file") << "HAND-M.CUR" << true;
        QTest::newRow("folder") << "x" << true;
        QTest::newRow("missing") << "nothing.cur" << false;
        QTest::newRow("other case") << "hand-m.cur" << false;
        QTest::newRow("under a file") << "HAND-M.CUR/inner" << false;
        QTest::newRow("dangling link") << "dangling" << false;
    }

    void fileIsPresent()
    {
        QFETCH(QString, relative);
        QFETCH(bool, present);
        QTemporaryDir folder;
        QVERIFY(QDir(folder.path()).mkdir("x"));
        WriteFile(folder.filePath("HAND-M.CUR"), "bytes");
        QVERIFY(QFile::link(folder.filePath("gone"), folder.filePath("dangling")));
        QCOMPARE(FileIsPresent(folder.filePath(relative)), present);
    }

    void installedProgramsFindTheirFilesInTheSharedFolder()
    {
        QTemporaryDir prefix;
        QVERIFY(QDir(prefix.path()).mkpath("bin") && QDir(prefix.path()).mkpath("share/quillbarrow"));
        const QString bin = prefix.filePath("bin");
        const QString own = bin + "/HAND-M.CUR";
        QCOMPARE(ProgramFile(bin, "HAND-M.CUR"), own);

        WriteFile(prefix.filePath("share/quillbarrow/HAND-M.CUR"), "shared");
        QCOMPARE(QFileInfo(ProgramFile(bin, "HAND-M.CUR")).canonicalFilePath(),
                 QFileInfo(prefix.filePath("share/quillbarrow/HAND-M.CUR")).canonicalFilePath());

        WriteFile(own, "own");
        QCOMPARE(ProgramFile(bin, "HAND-M.CUR"), own);
    }

    void windowColoursTouchOnlyTheirKinds()
    {
        SampleWindow sample;
        ApplyWindowColours(&sample.window);
        // Only the window fills its background: a child that did would cut the frames it overlaps.
        for (QWidget* widget : sample.FaceKinds()) {
            QCOMPARE(Background(widget), kTestFace);
            QCOMPARE(widget->autoFillBackground(), widget == &sample.window);
        }
        for (QWidget* widget : sample.OtherKinds()) {
            QCOMPARE(Background(widget), kDesignWhite);
            QVERIFY(!widget->autoFillBackground());
        }
    }

    void noSkinFileLeavesTheDesignColours_data()
    {
        QTest::addColumn<bool>("folderInstead");
        QTest::newRow("no file") << false;
        QTest::newRow("a folder of that name") << true;
    }

    void noSkinFileLeavesTheDesignColours()
    {
        QFETCH(bool, folderInstead);
        QTemporaryDir program;
        if (folderInstead)
            QVERIFY(QDir(program.path()).mkpath("x/o.cjs"));
        SampleWindow sample;
        QCOMPARE(ApplySkin(&sample.window, program.path()), SkinOutcome::Absent);
        for (QWidget* widget : sample.FaceKinds())
            QCOMPARE(Background(widget), kDesignWhite);
        QCOMPARE(sample.window.styleSheet(), QString());
    }

    void aSkinFileColoursAndStylesTheWindow()
    {
        QTemporaryDir program;
        QVERIFY(QDir(program.path()).mkdir("x"));
        const QByteArray sheet = "QPushButton { border: 2px solid #336699; }\n";
        WriteFile(program.filePath("x/o.cjs"), sheet);
        SampleWindow sample;
        QCOMPARE(ApplySkin(&sample.window, program.path()), SkinOutcome::Applied);
        QCOMPARE(sample.window.styleSheet(), QString::fromUtf8(sheet));
        for (QWidget* widget : sample.FaceKinds())
            QCOMPARE(Background(widget), kTestFace);
        QCOMPARE(Background(sample.text), kDesignWhite);
    }

    void aBrokenSkinIsHarmless_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qb::SkinOutcome>("outcome");
        QTest::newRow("empty") << QByteArray() << SkinOutcome::Applied;
        QTest::newRow("not a sheet") << QByteArray("\x00\xff{{{;;}} QWidget {", 17) << SkinOutcome::Applied;
        QTest::newRow("too large") << QByteArray((1 << 20) + 1, ' ') << SkinOutcome::Unreadable;
    }

    void aBrokenSkinIsHarmless()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(qb::SkinOutcome, outcome);
        QTemporaryDir program;
        QVERIFY(QDir(program.path()).mkdir("x"));
        WriteFile(program.filePath("x/o.cjs"), bytes);
        SampleWindow sample;
        QCOMPARE(ApplySkin(&sample.window, program.path()), outcome);
        sample.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sample.window));
        // The face colour comes with the file, whatever the file holds.
        QCOMPARE(Background(sample.frame), kTestFace);
    }

    void theShippedPointersLoad_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QPoint>("hotspot");
        QTest::newRow("hand") << "HAND-M.CUR" << QPoint(6, 0);
        QTest::newRow("drag") << "drag.ico" << QPoint(16, 16);
    }

    void theShippedPointersLoad()
    {
        QFETCH(QString, name);
        QFETCH(QPoint, hotspot);
        const std::optional<QCursor> cursor = LoadPointerImage(ProgramFile(ProgramFolder(), name));
        QVERIFY2(cursor, qPrintable(name + " missing beside the test program"));
        QCOMPARE(cursor->shape(), Qt::BitmapCursor);
        QCOMPARE(cursor->pixmap().size(), QSize(32, 32));
        QCOMPARE(cursor->hotSpot(), hotspot);
        // Transparent around the drawing, opaque where it points.
        const QImage image = cursor->pixmap().toImage();
        QCOMPARE(qAlpha(image.pixel(31, 31)), 0);
        QCOMPARE(qAlpha(image.pixel(hotspot)), 255);
    }

    void unusablePointerFilesGiveNoImage_data()
    {
        QTest::addColumn<QByteArray>("bytes");  // null: no file at all
        QTest::newRow("absent") << QByteArray();
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("text") << QByteArray("this is not a cursor");
        QTest::newRow("header only") << QByteArray("\0\0\2\0\1\0", 6);
        QTest::newRow("entry without image")
            << QByteArray("\0\0\2\0\1\0\x20\x20\0\0\6\0\0\0\x28\x10\0\0\x16\0\0\0", 22);
    }

    void unusablePointerFilesGiveNoImage()
    {
        QFETCH(QByteArray, bytes);
        QTemporaryDir folder;
        if (!bytes.isNull())
            WriteFile(folder.filePath("HAND-M.CUR"), bytes);
        QVERIFY(!LoadPointerImage(folder.filePath("HAND-M.CUR")));
        QVERIFY(!LoadPointerImage(folder.path()));
    }

    void aHotspotOutsideTheImageIsClamped()
    {
        QFile shipped(ProgramFile(ProgramFolder(), "HAND-M.CUR"));
        QVERIFY(shipped.open(QIODevice::ReadOnly));
        QByteArray bytes = shipped.readAll();
        bytes[10] = char(200);  // hotspot x
        bytes[12] = char(90);   // hotspot y
        QTemporaryDir folder;
        WriteFile(folder.filePath("far.cur"), bytes);
        const std::optional<QCursor> cursor = LoadPointerImage(folder.filePath("far.cur"));
        QVERIFY(cursor);
        QCOMPARE(cursor->hotSpot(), QPoint(31, 31));
    }
};

QTEST_MAIN(LookAndFeelTest)
#include "LookAndFeelTest.moc"
