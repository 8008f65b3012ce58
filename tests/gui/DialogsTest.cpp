#include "gui/QtDialogs.h"
#include "support/ScriptedDialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace qb;

Q_DECLARE_METATYPE(qb::BoxButtons)
Q_DECLARE_METATYPE(qb::BoxIcon)
Q_DECLARE_METATYPE(qb::BoxAnswer)

namespace {

// Acts on the next modal box once the event loop shows it. Each poll schedules
// the next with its own copy of act: a function holding itself would never be freed.
void WhenBoxOpens(std::function<void(QWidget*)> act, int delayMs = 0)
{
    QTimer::singleShot(delayMs, [act = std::move(act)] {
        if (QWidget* box = QApplication::activeModalWidget())
            act(box);
        else
            WhenBoxOpens(act, 10);
    });
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { UseApplicationTitle("Quillbarrow"); }

    void untitledBoxesCarryTheApplicationTitle()
    {
        UseApplicationTitle("Tolvane Tools");
        test::ScriptedDialogs dialogs;
        dialogs.Message("Done.");
        dialogs.Message("Oops", BoxButtons::Ok, BoxIcon::Exclamation, "Application Error");
        dialogs.Input("Enter file extension to load:", "txt");
        dialogs.Input("Column 1", {}, "Own title");

        QCOMPARE(dialogs.messages.size(), size_t(2));
        QCOMPARE(dialogs.messages[0].title, std::string("Tolvane Tools"));
        QCOMPARE(dialogs.messages[0].buttons, BoxButtons::Ok);
        QCOMPARE(dialogs.messages[0].icon, BoxIcon::None);
        QCOMPARE(dialogs.messages[1].title, std::string("Application Error"));
        QCOMPARE(dialogs.inputs[0].title, std::string("Tolvane Tools"));
        QCOMPARE(dialogs.inputs[1].title, std::string("Own title"));
    }

    void displayText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("CR LF") << "a\r\nb" << "a\nb";
        QTest::newRow("lone CRs") << "line\r\rnext\r\r" << "line\n\nnext\n\n";
        QTest::newRow("CR then CR LF") << "a\r\r\nb" << "a\n\nb";
        QTest::newRow("markup stays text") << "<b>x</b>" << "<b>x</b>";
    }

    void displayText()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(DisplayText(text.toStdString()), shown);
    }

    void messageBoxShowsTheRequest()
    {
        QtDialogs dialogs;
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        Qt::TextFormat format = Qt::AutoText;
        QList<QMessageBox::StandardButton> buttons;
        WhenBoxOpens([&](QWidget* widget) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            QVERIFY(box);
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            format = box->textFormat();
            for (QAbstractButton* button : box->buttons())
                buttons << box->standardButton(button);
            box->button(QMessageBox::Ok)->click();
        });
        const BoxAnswer answer = dialogs.Message("Could not <b>connect</b>.\r\rAgain", BoxButtons::Ok,
                                                 BoxIcon::Exclamation, "Application Error");
        QCOMPARE(answer, BoxAnswer::Ok);
        QCOMPARE(title, QString("Application Error"));
        QCOMPARE(text, QString("Could not <b>connect</b>.\n\nAgain"));
        QCOMPARE(format, Qt::PlainText);
        QCOMPARE(icon, QMessageBox::Warning);
        QCOMPARE(buttons, QList<QMessageBox::StandardButton>{QMessageBox::Ok});
    }

    void messageBoxAnswers_data()
    {
        QTest::addColumn<qb::BoxButtons>("buttons");
        QTest::addColumn<int>("click");  // a QMessageBox::StandardButton, or 0 for Escape
        QTest::addColumn<qb::BoxAnswer>("answer");
        QTest::newRow("Ok closed") << BoxButtons::Ok << 0 << BoxAnswer::Ok;
        QTest::newRow("OkCancel cancel") << BoxButtons::OkCancel << int(QMessageBox::Cancel) << BoxAnswer::Cancel;
        QTest::newRow("OkCancel closed") << BoxButtons::OkCancel << 0 << BoxAnswer::Cancel;
        QTest::newRow("YesNo no") << BoxButtons::YesNo << int(QMessageBox::No) << BoxAnswer::No;
        QTest::newRow("YesNoCancel cancel") << BoxButtons::YesNoCancel << int(QMessageBox::Cancel)
                                            << BoxAnswer::Cancel;
        QTest::newRow("RetryCancel retry") << BoxButtons::RetryCancel << int(QMessageBox::Retry)
                                           << BoxAnswer::Retry;
    }

    void messageBoxAnswers()
    {
        QFETCH(qb::BoxButtons, buttons);
        QFETCH(int, click);
        QFETCH(qb::BoxAnswer, answer);
        QtDialogs dialogs;
        WhenBoxOpens([click](QWidget* widget) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            QVERIFY(box);
            if (click == 0) {
                QTest::keyClick(box, Qt::Key_Escape);
                if (box->isVisible())  // no escape button: close it as the title bar would
                    box->close();
            } else {
                QAbstractButton* button = box->button(QMessageBox::StandardButton(click));
                QVERIFY2(button, "the box lacks the button");
                button->click();
            }
        });
        QCOMPARE(dialogs.Message("?", buttons), answer);
    }

    // The run's final box: "Show Log" beside OK when the run kept a log, and it answers as pressed.
    void finalBoxOffersTheLog()
    {
        QtDialogs dialogs;
        for (const bool press : {true, false}) {
            QStringList captions;
            WhenBoxOpens([&](QWidget* widget) {
                auto* box = qobject_cast<QMessageBox*>(widget);
                QVERIFY(box);
                QAbstractButton* log = nullptr;
                for (QAbstractButton* button : box->buttons()) {
                    captions << button->text();
                    log = button->text() == QStringLiteral("Show Log") ? button : log;
                }
                QVERIFY(log);
                (press ? log : box->button(QMessageBox::Ok))->click();
            });
            QCOMPARE(dialogs.Outcome("Done.", "1 row stored.", true), press ? BoxAnswer::ShowLog : BoxAnswer::Ok);
            QCOMPARE(captions.size(), 2);
        }
        // Wide enough for a title longer than its text.
        UseApplicationTitle("Quillbarrow - sales, stock and the orders of the last three years");
        int width = 0;
        int titleWidth = 0;
        WhenBoxOpens([&](QWidget* widget) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            QCOMPARE(box->buttons().size(), 1);
            width = box->width();
            titleWidth = box->fontMetrics().horizontalAdvance(box->windowTitle());
            box->button(QMessageBox::Ok)->click();
        });
        QCOMPARE(dialogs.Outcome("Done.", "1 row stored."), BoxAnswer::Ok);
        QVERIFY2(width > titleWidth + 100, qPrintable(QStringLiteral("%1 %2").arg(width).arg(titleWidth)));
    }

    void importErrorReportBox_data()
    {
        QTest::addColumn<QString>("details");
        QTest::addColumn<bool>("tick");
        QTest::addColumn<bool>("stop");
        QTest::newRow("details, ticked") << "File: /d/a.csv\nLine: 3\nThe line:\nbad" << true << false;
        QTest::newRow("no details, not ticked, stopped") << QString() << false << true;
    }

    void importErrorReportBox()
    {
        QFETCH(QString, details);
        QFETCH(bool, tick);
        QFETCH(bool, stop);
        QtDialogs dialogs;
        QString text;
        QString title;
        QString shownDetails;
        QString caption;
        bool detailsButton = false;
        WhenBoxOpens([&](QWidget* widget) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            QVERIFY(box && box->checkBox());
            text = box->text();
            title = box->windowTitle();
            shownDetails = box->detailedText();
            caption = box->checkBox()->text();
            for (QAbstractButton* button : box->buttons())
                detailsButton = detailsButton || button->text() == QStringLiteral("Show Details...");
            box->checkBox()->setChecked(tick);
            QAbstractButton* stopButton = nullptr;
            for (QAbstractButton* button : box->buttons())
                stopButton = button->text() == QStringLiteral("Stop Import") ? button : stopButton;
            QVERIFY(stopButton);
            (stop ? stopButton : box->button(QMessageBox::Ok))->click();
        });
        const ErrorReportAnswer answer =
            dialogs.ImportErrorReport("Refused\r\nin X at line 232\r\rPlease", details.toStdString());
        QCOMPARE(answer.quiet, tick);
        QCOMPARE(answer.stop, stop);
        QCOMPARE(text, QStringLiteral("Refused\nin X at line 232\n\nPlease"));
        QCOMPARE(title, QStringLiteral("Application Error"));
        QCOMPARE(caption, QStringLiteral("Don't show more error reports during this import"));
        QCOMPARE(shownDetails, details);
        QCOMPARE(detailsButton, !details.isEmpty());
    }

    void inputBox_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accept");
        QTest::addColumn<QString>("answer");
        QTest::newRow("proposal accepted") << QString() << true << "txt";
        QTest::newRow("typed") << "csv" << true << "csv";
        QTest::newRow("cancelled") << "csv" << false << "";
    }

    void inputBox()
    {
        QFETCH(QString, typed);
        QFETCH(bool, accept);
        QFETCH(QString, answer);
        UseApplicationTitle("Quillbarrow");
        QtDialogs dialogs;
        QString title;
        QString label;
        QString proposed;
        WhenBoxOpens([&](QWidget* widget) {
            auto* box = qobject_cast<QInputDialog*>(widget);
            QVERIFY(box);
            title = box->windowTitle();
            label = box->labelText();
            proposed = box->textValue();
            if (!typed.isNull())
                box->setTextValue(typed);
            accept ? box->accept() : box->reject();
        });
        const std::string result =
            dialogs.Input("Enter file extension to load:\r\r(* for all files)", "txt");
        QCOMPARE(QString::fromStdString(result), answer);
        QCOMPARE(title, QString("Quillbarrow"));
        QCOMPARE(label, QString("Enter file extension to load:\n\n(* for all files)"));
        QCOMPARE(proposed, QString("txt"));
    }
};

QTEST_MAIN(DialogsTest)
#include "DialogsTest.moc"
