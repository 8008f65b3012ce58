#include "gui/MainWindow.h"
#include "gui/FileListView.h"
#include "gui/PreviewWindow.h"
#include "gui/SettingsStore.h"
#include "support/MainWindowFixture.h"
#include "support/ScriptedDialogs.h"
#include "support/WindowTestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fstream>

namespace qb {

// The preview as the main window drives it, against a real SQLite data source.
class PreviewWindowTest : public QObject {
    Q_OBJECT

    struct Fixture : test::MainWindowFixture {
        // Shows the preview of a file holding bytes.
        PreviewWindow& Preview(const std::string& bytes)
        {
            const std::string path = QFile::encodeName(files.filePath("f.csv")).toStdString();
            std::ofstream(path, std::ios::binary) << bytes;
            window.Files().Append(QFile::decodeName(QByteArray::fromStdString(path)));
            QTest::mouseClick(window.findChild<QPushButton*>("PushButtonPreview"), Qt::LeftButton);
            return *window.findChild<PreviewWindow*>("PreviewWindow");
        }
    };

    static QString Message(const PreviewWindow& preview)
    {
        const auto* label = preview.findChild<QLabel*>("PreviewMessage");
        return label->isVisibleTo(&preview) ? label->text() : QString();
    }

    static QString Headings(const PreviewWindow& preview)
    {
        QStringList headings;
        for (int c = 0; c < preview.Grid().columnCount(); ++c)
            headings << preview.Grid().horizontalHeaderItem(c)->text();
        return headings.join(QLatin1Char('|'));
    }

private slots:
    void init()
    {
        if (test::SqliteDsn().empty())
            QFAIL("run under scripts/with-test-datasources.sh");
        test::ResetDataSources();
    }

    void saysAboveTheGridWhatIsWrong_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("rows");
        QTest::newRow("clean") << QByteArray("n\r\n1\r\n") << "As is" << QString() << 1;
        QTest::newRow("empty") << QByteArray() << "As is" << "The file is empty." << 0;
        QTest::newRow("utf8 read as Windows-1252")
            << QByteArray("n\r\ncaf\xC3\xA9\r\n") << "Windows-1252"
            << "This file reads as UTF-8, but Windows-1252 is chosen: letters beyond ASCII will be stored wrongly."
            << 1;
    }

    void saysAboveTheGridWhatIsWrong()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, encoding);
        QFETCH(QString, message);
        QFETCH(int, rows);
        Fixture f;
        f.window.findChild<QComboBox*>("ComboEncoding")->setCurrentText(encoding);
        PreviewWindow& preview = f.Preview(bytes.toStdString());
        QCOMPARE(Message(preview), message);
        QCOMPARE(preview.Grid().rowCount(), rows);
        if (!message.isEmpty()) {
            preview.show();
            QVERIFY(preview.findChild<QLabel*>("PreviewMessage")->geometry().bottom() < preview.Grid().geometry().top());
        }
    }

    void marksLinesThatCannotBeDecoded()
    {
        Fixture f;
        f.window.findChild<QComboBox*>("ComboEncoding")->setCurrentText(QStringLiteral("UTF-8"));
        PreviewWindow& preview = f.Preview("n\r\nok\r\nbad \xE9\r\n");
        QCOMPARE(preview.Grid().rowCount(), 2);
        QCOMPARE(preview.Grid().verticalHeaderItem(0)->text(), QStringLiteral("1"));
        QTableWidgetItem* mark = preview.Grid().verticalHeaderItem(1);
        QVERIFY(mark->text().startsWith(QChar(0xFFFD)));
        QCOMPARE(mark->toolTip(), QStringLiteral("This line holds bytes that are not valid UTF-8."));
    }

    void appendHeadsTheGridWithTheTablesColumns()
    {
        test::Execute(test::SqliteDsn(), R"(CREATE TABLE "Target"("id" INTEGER, "full name" TEXT))");
        Fixture f;
        f.window.Form_Load();
        f.window.findChild<QRadioButton*>("Option2")->setChecked(true);
        f.window.findChild<QListWidget*>("List1")->setCurrentRow(0);
        PreviewWindow& preview = f.Preview("1,Ann\r\n2,Bo,extra\r\n");
        QCOMPARE(Headings(preview), QStringLiteral("id|full name|Column 3"));
        QCOMPARE(preview.Grid().verticalHeaderItem(1)->text(), QStringLiteral("! 2"));
        QCOMPARE(Message(preview), QString());

        // Unreachable, the database's names give way to numbers, and the preview says why.
        f.dsn = "NoSuchDataSource";
        f.window.findChild<QRadioButton*>("Option1")->setChecked(true);
        f.window.findChild<QRadioButton*>("Option2")->setChecked(true);
        QTRY_COMPARE_WITH_TIMEOUT(Headings(preview), QStringLiteral("Column 1|Column 2|Column 3"), 2000);
        QVERIFY2(Message(preview).startsWith("The columns of Target cannot be read from the database"),
                 qPrintable(Message(preview)));
    }

    // The heading cannot take the focus: the grid's keys reach what a double or right click does,
    // and a hint under the grid says so.
    void headingsAreEditedFromTheKeyboard()
    {
        Fixture f;
        f.window.Form_Load();
        PreviewWindow& preview = f.Preview("id,Name\r\n1,Ann\r\n");
        preview.show();
        const auto* hint = preview.findChild<QLabel*>("PreviewHint");
        QVERIFY(hint->isVisible() && hint->geometry().top() > preview.Grid().geometry().bottom());
        QVERIFY(hint->text().contains("Double-click a heading") && hint->text().contains("right-click it"));
        preview.Grid().setCurrentCell(0, 1);
        f.dialogs.typed = {std::string("Who")};
        QTest::keyClick(&preview.Grid(), Qt::Key_F2);
        QCOMPARE(Headings(preview), QStringLiteral("id\nTEXT|Who\nTEXT"));

        QStringList offered;
        QTimer poll;
        connect(&poll, &QTimer::timeout, &poll, [&] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                for (const QAction* action : menu->actions())
                    offered << action->text();
                menu->close();
            }
        });
        poll.start(10);
        QTest::keyClick(&preview.Grid(), Qt::Key_Menu);
        QCOMPARE(offered.join(QLatin1Char('|')), QStringLiteral("Rename...|Type|Key|Leave Out"));
    }

    // Dates not in ISO form show their form beside the guessed type, and follow the form chosen under "Dates:".
    void datesShowTheirForm()
    {
        Fixture f;
        f.window.Form_Load();
        f.window.findChild<QComboBox*>("ComboTypes")->setCurrentText(QStringLiteral("Guess from the data"));
        PreviewWindow& preview = f.Preview("born,Name\r\n13.02.2024,Ann\r\n");
        QCOMPARE(Headings(preview), QStringLiteral("born\nTEXT (DD.MM.YYYY)|Name\nTEXT"));
        f.window.findChild<QComboBox*>("ComboDates")->setCurrentText(QStringLiteral("MM/DD/YYYY"));
        QTRY_COMPARE(Headings(preview), QStringLiteral("born\nTEXT|Name\nTEXT"));
    }

    // "Reset columns" undoes every edit; a column left out is greyed; a long type name is not cut.
    void resetUndoesEveryEdit()
    {
        Fixture f;
        f.window.Form_Load();
        PreviewWindow& preview = f.Preview("id,Name,secret\r\n1,Ann,x\r\n");
        preview.show();
        auto* reset = preview.findChild<QPushButton*>("PreviewReset");
        QVERIFY(reset->isVisible() && !reset->isEnabled());
        preview.EditColumn(0, {.type = "TIMESTAMP WITH TIME ZONE"});
        preview.EditColumn(2, {.leftOut = true});
        QCOMPARE(preview.Grid().item(0, 2)->foreground().color(), QColor(Qt::gray));
        QCOMPARE(preview.Grid().horizontalHeaderItem(2)->foreground().color(), QColor(Qt::gray));
        QCOMPARE(preview.Grid().item(0, 1)->foreground().style(), Qt::NoBrush);
        const QHeaderView* header = preview.Grid().horizontalHeader();
        for (int c = 0; c < preview.Grid().columnCount(); ++c)
            QVERIFY2(header->sectionSize(c) >= header->sectionSizeHint(c), qPrintable(QString::number(c)));

        QVERIFY(reset->isEnabled());
        QTest::mouseClick(reset, Qt::LeftButton);
        QCOMPARE(Headings(preview), QStringLiteral("id|Name|secret"));
        QVERIFY(!reset->isEnabled());
        QVERIFY(f.window.CurrentSettings().ColumnPlansByNames.empty());
    }
};

}  // namespace qb

QTEST_MAIN(qb::PreviewWindowTest)
#include "PreviewWindowTest.moc"
