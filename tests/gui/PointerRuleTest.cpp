#include "gui/PointerRule.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace qb;

Q_DECLARE_METATYPE(qb::PointerStyle)

namespace {

// Laid out like the connection window: buttons show the hand, the window,
// Text1 and Frame1 the default, Label1 has no rule.
struct ConnectionLikeWindow {
    QWidget window;
    QGroupBox* frame = new QGroupBox(&window);
    QLabel* label = new QLabel("Data Source Name:", frame);
    QLineEdit* text = new QLineEdit(frame);
    QPushButton* test = new QPushButton("Test Connection", frame);
    QPushButton* next = new QPushButton("Next >", &window);
    QListWidget* list = new QListWidget(&window);
    PointerRule* rule = new PointerRule(&window);

    ConnectionLikeWindow()
    {
        window.setObjectName("Form1");
        frame->setObjectName("Frame1");
        label->setObjectName("Label1");
        text->setObjectName("Text1");
        test->setObjectName("PushButton7");
        next->setObjectName("PushButton3");
        list->setObjectName("List1");
        window.resize(540, 200);
        frame->setGeometry(8, 8, 520, 100);
        label->setGeometry(16, 24, 110, 20);
        text->setGeometry(136, 20, 360, 24);
        test->setGeometry(16, 56, 240, 28);
        next->setGeometry(8, 112, 260, 28);
        list->setGeometry(280, 112, 248, 80);
        rule->ShowsHandOver(test);
        rule->ShowsHandOver(next);
        for (QWidget* widget : QList<QWidget*>{&window, text, frame, list})
            rule->ShowsDefaultOver(widget);
    }

    // Where the pointer rests over the named part, in window coordinates.
    QPoint Spot(const QString& name) const
    {
        if (name == "background")
            return {400, 180};
        if (name == "Frame1")
            return frame->geometry().topLeft() + QPoint(400, 80);
        auto* widget = window.findChild<QWidget*>(name);
        Q_ASSERT(widget);
        return widget->mapTo(&window, widget->rect().center());
    }

    void MoveTo(const QString& name) { QTest::mouseMove(&window, Spot(name)); }
};

// What the hover rule's pointers look like once the hand is loaded.
Qt::CursorShape Looks(PointerStyle style)
{
    switch (style) {
    case PointerStyle::Custom:
        return Qt::BitmapCursor;
    case PointerStyle::Busy:
        return Qt::WaitCursor;
    default:
        return Qt::ArrowCursor;
    }
}

}  // namespace

class PointerRuleTest : public QObject {
    Q_OBJECT

private slots:
    void pointerValuesSetTheWindowsCursor_data()
    {
        QTest::addColumn<qb::PointerStyle>("style");
        QTest::addColumn<int>("shape");
        QTest::newRow("default") << PointerStyle::Default << int(Qt::ArrowCursor);
        QTest::newRow("arrow") << PointerStyle::Arrow << int(Qt::ArrowCursor);
        QTest::newRow("busy") << PointerStyle::Busy << int(Qt::WaitCursor);
        QTest::newRow("custom") << PointerStyle::Custom << int(Qt::BitmapCursor);
    }

    void pointerValuesSetTheWindowsCursor()
    {
        QFETCH(qb::PointerStyle, style);
        QFETCH(int, shape);
        QWidget window;
        PointerRule rule(&window);
        QVERIFY(rule.LoadHandPointer());
        rule.SetPointer(PointerStyle::Busy);
        rule.SetPointer(style);
        QCOMPARE(rule.Pointer(), style);
        QCOMPARE(int(window.cursor().shape()), shape);
    }

    void withoutTheHandFileTheCustomPointerIsTheArrow_data()
    {
        QTest::addColumn<QByteArray>("bytes");  // null: no file at all
        QTest::newRow("absent") << QByteArray();
        QTest::newRow("broken") << QByteArray("not a cursor");
    }

    void withoutTheHandFileTheCustomPointerIsTheArrow()
    {
        QFETCH(QByteArray, bytes);
        QTemporaryDir program;
        if (!bytes.isNull()) {
            QFile file(program.filePath("HAND-M.CUR"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        }
        QWidget window;
        PointerRule rule(&window);
        QVERIFY(!rule.LoadHandPointer(program.path()));
        QVERIFY(!rule.HasCustomImage());
        rule.SetPointer(PointerStyle::Custom);
        QCOMPARE(rule.Pointer(), PointerStyle::Custom);
        QCOMPARE(window.cursor().shape(), Qt::ArrowCursor);
    }

    void aLateImageShowsAtOnce()
    {
        QWidget window;
        PointerRule rule(&window);
        rule.SetPointer(PointerStyle::Custom);
        QVERIFY(rule.LoadHandPointer());
        QCOMPARE(window.cursor().shape(), Qt::BitmapCursor);
        QCOMPARE(window.cursor().hotSpot(), QPoint(6, 0));
    }

    void hoverRule_data()
    {
        QTest::addColumn<qb::PointerStyle>("before");
        QTest::addColumn<QString>("over");
        QTest::addColumn<qb::PointerStyle>("after");
        const auto D = PointerStyle::Default;
        const auto C = PointerStyle::Custom;
        const auto B = PointerStyle::Busy;
        QTest::newRow("button in frame") << D << "PushButton7" << C;
        QTest::newRow("button on window") << D << "PushButton3" << C;
        QTest::newRow("background") << C << "background" << D;
        QTest::newRow("text box") << C << "Text1" << D;
        QTest::newRow("frame") << C << "Frame1" << D;
        QTest::newRow("list") << C << "List1" << D;
        QTest::newRow("label keeps hand") << C << "Label1" << C;
        QTest::newRow("label keeps default") << D << "Label1" << D;
        QTest::newRow("busy over button") << B << "PushButton7" << B;
        QTest::newRow("busy over background") << B << "background" << B;
        QTest::newRow("busy over text box") << B << "Text1" << B;
    }

    void hoverRule()
    {
        QFETCH(qb::PointerStyle, before);
        QFETCH(QString, over);
        QFETCH(qb::PointerStyle, after);
        ConnectionLikeWindow sample;
        QVERIFY(sample.rule->LoadHandPointer());
        sample.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sample.window));
        sample.rule->SetPointer(before);
        sample.MoveTo(over);
        QCOMPARE(sample.rule->Pointer(), after);
        QCOMPARE(sample.window.cursor().shape(), Looks(after));
    }

    void aDeletedControlIsForgotten()
    {
        ConnectionLikeWindow sample;
        sample.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sample.window));
        const QPoint spot = sample.Spot("PushButton3");
        delete sample.next;
        sample.rule->SetPointer(PointerStyle::Custom);
        QTest::mouseMove(&sample.window, spot);
        QCOMPARE(sample.rule->Pointer(), PointerStyle::Default);
    }
};

QTEST_MAIN(PointerRuleTest)
#include "PointerRuleTest.moc"
