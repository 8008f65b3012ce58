#include "gui/FileListView.h"

#include <QFile>
#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

namespace qb {

class FileListViewTest : public QObject {
    Q_OBJECT

private:
    static QPoint At(const FileListView& list, int index)
    {
        return list.visualItemRect(list.topLevelItem(index)).center();
    }
    static bool Visible(const FileListView& list, int index)
    {
        return list.viewport()->rect().contains(list.visualItemRect(list.topLevelItem(index)));
    }
    static void Fill(FileListView& list, int count)
    {
        for (int i = 0; i < count; ++i)
            list.Append(QStringLiteral("/data/f%1.txt").arg(i));
    }

private slots:
    void appendsKeepsDuplicatesAndRemovesTheSelectedOne()
    {
        FileListView list;
        list.Append("/a.txt");
        list.Append("/b.txt");
        list.Append("/a.txt");
        QCOMPARE(list.Paths(), (QStringList{"/a.txt", "/b.txt", "/a.txt"}));
        QCOMPARE(list.headerItem()->text(0), QStringLiteral("Text Files"));
        QCOMPARE(list.objectName(), QStringLiteral("ListView1"));

        list.setCurrentItem(list.topLevelItem(2));
        QTest::keyClick(&list, Qt::Key_A);
        QTest::keyClick(&list, Qt::Key_Backspace);
        QCOMPARE(list.topLevelItemCount(), 3);
        list.setCurrentItem(list.topLevelItem(2));
        QTest::keyClick(&list, Qt::Key_Delete);
        QCOMPARE(list.Paths(), (QStringList{"/a.txt", "/b.txt"}));
    }

    void removalIsRefusedWhileBusyOrEmpty()
    {
        FileListView list;
        bool busy = true;
        list.SetWindowPointer([&] { return busy; }, [] {});
        QTest::keyClick(&list, Qt::Key_Delete);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(list.topLevelItemCount(), 0);

        list.Append("/a.txt");
        list.Append("/b.txt");
        list.setCurrentItem(list.topLevelItem(1));
        QTest::keyClick(&list, Qt::Key_Delete);
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, At(list, 0));
        QCOMPARE(list.topLevelItemCount(), 2);

        busy = false;
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, At(list, 0));
        QCOMPARE(list.Paths(), QStringList{"/b.txt"});
    }

    void draggingExchangesTextsStepByStep()
    {
        FileListView list;
        list.resize(400, 300);
        list.SetScreenY([] { return 330; });
        list.Append("/a.txt");
        list.Append("/b.txt");
        list.Append("/a.txt");
        list.Append("/c.txt");
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));

        QTest::mousePress(list.viewport(), Qt::LeftButton, {}, At(list, 0));
        QTest::mouseMove(list.viewport(), At(list, 1));
        QCOMPARE(list.Paths(), (QStringList{"/b.txt", "/a.txt", "/a.txt", "/c.txt"}));
        QCOMPARE(list.currentItem(), list.topLevelItem(1));
        // Same text: nothing moves.
        QTest::mouseMove(list.viewport(), At(list, 2));
        QCOMPARE(list.Paths(), (QStringList{"/b.txt", "/a.txt", "/a.txt", "/c.txt"}));
        // A jump exchanges directly with the entry landed on.
        list.DragStep(At(list, 3));
        QCOMPARE(list.Paths(), (QStringList{"/b.txt", "/c.txt", "/a.txt", "/a.txt"}));
        QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, At(list, 3));
        QVERIFY(!list.MouseDown());

        // After the release, moving exchanges nothing until the next press.
        list.DragStep(At(list, 0));
        QCOMPARE(list.Paths(), (QStringList{"/b.txt", "/c.txt", "/a.txt", "/a.txt"}));
        // A press on empty space goes on with the entry last dragged.
        list.BeginDrag(QPoint(5, list.viewport()->height() - 2));
        list.DragStep(At(list, 0));
        QCOMPARE(list.Paths(), (QStringList{"/a.txt", "/c.txt", "/a.txt", "/b.txt"}));

        // The exact bytes move with the text; both of these show as "/d\uFFFD.txt",
        // yet are different files, so they are exchanged too.
        list.AppendExact("/d\xE9.txt");
        list.AppendExact("/d\xE8.txt");
        list.BeginDrag(At(list, 3));
        list.DragStep(At(list, 4));
        list.DragStep(At(list, 5));
        list.BeginDrag(At(list, 3));
        list.DragStep(At(list, 4));
        QCOMPARE(list.ExactPaths(),
                 (std::vector<std::string>{"/a.txt", "/c.txt", "/a.txt", "/d\xE8.txt", "/d\xE9.txt", "/b.txt"}));
        const QString shown = QFile::decodeName("/d\xE9.txt");
        QCOMPARE(list.Paths().mid(3), (QStringList{shown, shown, "/b.txt"}));
    }

    void draggingScrollsOnlyOutsideTheMiddleBand()
    {
        FileListView list;
        Fill(list, 30);
        list.resize(300, list.visualItemRect(list.topLevelItem(0)).height() * 4 + list.header()->height() + 6);
        int screenY = 0;
        list.SetScreenY([&] { return screenY; });
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));

        // Up: with entry 10 at the top, dragging entry 11 onto it brings entry 9 into view.
        list.scrollToItem(list.topLevelItem(10), QAbstractItemView::PositionAtTop);
        QVERIFY(!Visible(list, 9));
        screenY = 304;
        list.BeginDrag(At(list, 11));
        list.DragStep(At(list, 10));
        QVERIFY(Visible(list, 9));

        // The middle band scrolls nothing.
        list.scrollToItem(list.topLevelItem(10), QAbstractItemView::PositionAtTop);
        const int before = list.verticalScrollBar()->value();
        screenY = 305;
        list.DragStep(At(list, 11));
        screenY = 364;
        list.DragStep(At(list, 10));
        QCOMPARE(list.verticalScrollBar()->value(), before);

        // Down: the entry after the hovered one comes into view; at the last entry nothing scrolls.
        list.scrollToItem(list.topLevelItem(10), QAbstractItemView::PositionAtTop);
        int bottom = 10;
        while (Visible(list, bottom + 1))
            ++bottom;
        screenY = 365;
        list.BeginDrag(At(list, bottom - 1));
        list.DragStep(At(list, bottom));
        QVERIFY(Visible(list, bottom + 1));

        list.scrollToBottom();
        const int atEnd = list.verticalScrollBar()->value();
        list.BeginDrag(At(list, 28));
        list.DragStep(At(list, 29));
        QCOMPARE(list.verticalScrollBar()->value(), atEnd);

        // At the first entry, scrolling up has nowhere to go.
        list.scrollToTop();
        screenY = 10;
        list.BeginDrag(At(list, 1));
        list.DragStep(At(list, 0));
        QCOMPARE(list.verticalScrollBar()->value(), 0);
    }

    void movesResetTheWindowPointerUnlessBusy()
    {
        FileListView list;
        bool busy = false;
        int resets = 0;
        list.SetWindowPointer([&] { return busy; }, [&] { ++resets; });
        list.DragStep(QPoint(1, 1));
        busy = true;
        list.DragStep(QPoint(1, 1));
        QCOMPARE(resets, 1);
    }

    void aRemovedDraggedEntryEndsTheDrag()
    {
        FileListView list;
        list.resize(400, 300);
        list.Append("/a.txt");
        list.Append("/b.txt");
        list.Append("/c.txt");
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        list.BeginDrag(At(list, 0));
        list.RemoveSelected();
        list.DragStep(At(list, 1));
        QCOMPARE(list.Paths(), (QStringList{"/b.txt", "/c.txt"}));
    }
};

}  // namespace qb

QTEST_MAIN(qb::FileListViewTest)
#include "FileListViewTest.moc"
