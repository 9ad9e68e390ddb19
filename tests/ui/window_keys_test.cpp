#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTableView>
#include <QTreeWidget>
#include <tuple>

#include "tests/support/qt_tests.h"
#include "tests/support/window_fixture.h"
#include "tests/support/temp_tree.h"
#include "ui/file_info_frm.h"
#include "ui/image_list.h"
#include "ui/main_frm.h"

using namespace geminor;
using geminor::test::Child;
using geminor::test::TempTree;

class WindowKeysTest : public test::WindowTest
{
    Q_OBJECT
private slots:
    void init() { QVERIFY(fresh()); }

    void ctrlZInTheFilterBoxUndoesWhileTextKeysEditTheText()
    {
        MainFrm window(prompter, *settings);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        const QString nothingToUndo = QStringLiteral("Undo Last Operation|There is no operation to undo.");
        // Ctrl+Z in the location list and in the filter box is the window's undo, not the text's.
        auto *filter = Child<QLineEdit>(window, "GroupFilter");
        QTest::keyClicks(filter, QStringLiteral("photos"));
        for (QWidget *focus : {Child<QWidget>(window, "SearchList"), Child<QWidget>(window, "GroupFilter")}) {
            focus->setFocus();
            prompter.informed.clear();
            QTest::keyClick(focus, Qt::Key_Z, Qt::ControlModifier);
            QVERIFY(test::Settled(window));
            QCOMPARE(prompter.informed, QStringList{nothingToUndo});
        }
        QCOMPARE(filter->text(), QStringLiteral("photos"));

        // Copy, Cut and Del act on the filter's text, never on the files or the window.
        filter->selectAll();
        QTest::keyClick(filter, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("photos"));
        filter->setSelection(0, 5);
        QTest::keyClick(filter, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("photo"));
        QVERIFY(window.isVisible());
        QTest::keyClick(filter, Qt::Key_Home);
        QTest::keyClick(filter, Qt::Key_Delete);
        QCOMPARE(filter->text(), QString());
        QVERIFY(prompter.asked.isEmpty());
        QCOMPARE(prompter.informed, QStringList{nothingToUndo});

        // Outside a text field the window has the keys: Ctrl+C copies files.
        auto *list = Child<QTableView>(window, "RLV");
        list->setFocus();
        QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(prompter.informed.last(), QStringLiteral("Copying...|Please mark files before copying!"));
    }

    void f6CancelsARunningScanWhateverHadTheFocus()
    {
        QTemporaryDir tree;
        test::FillSlowTree(tree.path());
        MainFrm window(prompter, *settings);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        window.setRequest({{{tree.path().toStdString(), "Yes", "*.*", false}}});
        auto *filter = Child<QLineEdit>(window, "GroupFilter");
        for (const char *name : {"GroupFilter", "SearchList", "RLV"}) {
            Child<QWidget>(window, name)->setFocus();
            prompter = {};
            prompter.answers = {true};
            QSignalSpy done(&window, &MainFrm::scanFinished);
            window.ScanCommand();
            QVERIFY(!filter->isEnabled());  // nothing to type into during a scan
            QWidget *now = QApplication::focusWidget();
            QTest::keyClick(now ? now : &window, Qt::Key_F6);
            QVERIFY(done.wait(60000));
            QCOMPARE(prompter.asked.value(0),
                     QStringLiteral("Cancel Search|Are you sure to cancel searching?"));
            QVERIFY(window.problems()->text().contains(QStringLiteral("cancelled")));
            QVERIFY(filter->isEnabled());
            QVERIFY(Child<QTableView>(window, "RLV")->hasFocus());
        }
    }

    void neighbouringGroupsDifferInLookAfterSortAndFilter()
    {
        TempTree tree;
        // By space: A, B, C, D. The filter shows A and C, which stood two groups apart.
        for (const auto &[first, second, content] :
             {std::tuple{"keep/a", "other/a", "AAAAAAAA"}, std::tuple{"o1/b", "o2/b", "BBBBBB"},
              std::tuple{"keep/c", "other/c", "CCCC"}, std::tuple{"o1/d", "o2/d", "DD"}})
            tree.writeEach({first, second}, content);
        MainFrm window(prompter, *settings);
        window.show();
        QVERIFY(test::ScannedFolder(window, tree.root()));
        ResultModel &model = *window.results();
        Child(window, "MOrderSpace")->trigger();
        auto *filter = Child<QLineEdit>(window, "GroupFilter");
        auto lookOf = [&](int row) {
            const QModelIndex at = model.index(row, ResultModel::FileName);
            return std::pair{at.data(Qt::ForegroundRole).value<QBrush>().color(),
                             at.data(Qt::BackgroundRole).value<QBrush>().color()};
        };
        for (const QString &shown : {QString(), QStringLiteral("keep/"), QStringLiteral("o2/")}) {
            filter->setText(shown);
            QTest::keyClick(filter, Qt::Key_Return);
            QCOMPARE(model.rowCount(), shown.isEmpty() ? 8 : 4);
            for (int row = 1; row < model.rowCount(); ++row) {
                const bool sameGroup =
                    model.rows()[model.rowOf(row)].group == model.rows()[model.rowOf(row - 1)].group;
                QVERIFY2(sameGroup == (lookOf(row).first == lookOf(row - 1).first), qPrintable(shown));
                QVERIFY2(sameGroup == (lookOf(row).second == lookOf(row - 1).second), qPrintable(shown));
            }
        }
        QCOMPARE(model.rows()[model.rowOf(0)].name, std::string("b"));  // filtered and still by space

        // A row ticked by hand shows the marked picture; the file left in its group stands out.
        auto image = [](const QIcon &icon) { return icon.pixmap(16, 16).toImage(); };
        auto picture = [&](int row) {
            return image(model.index(row, ResultModel::FileName).data(Qt::DecorationRole).value<QIcon>());
        };
        QVERIFY(model.setData(model.index(1, ResultModel::FileName), Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(picture(1), image(ImageListIcon(kPictureMarkedRow)));
        QCOMPARE(picture(0), image(ImageListIcon(kPictureUnmarkedRow)));
        QVERIFY(model.index(0, 0).data(Qt::FontRole).value<QFont>().bold());
        QVERIFY(!model.index(2, 0).data(Qt::FontRole).value<QFont>().bold());  // nothing marked in its group
    }

    void rowMenuAndKeysActOnTheRowsChosen()
    {
        TempTree tree;
        tree.writeEach({"a/song.mp3", "b/song.mp3", "c/song.mp3"}, "same tune");
        tree.writeEach({"a/note.txt", "d/note.txt"}, "same note");
        tree.writeEach({"e/p.jpg", "f/p.jpg"}, "picture?");
        MainFrm window(prompter, *settings);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QVERIFY(test::ScannedFolder(window, tree.root()));
        ResultModel &model = *window.results();
        auto marked = [&](const char *path) { return test::Marked(model, tree.path(path)); };
        auto rowOf = [&](const char *path) { return test::ViewRowOf(model, tree.path(path)); };
        auto *list = Child<QTableView>(window, "RLV");
        auto *rowMenu = Child<QMenu>(window, "RowMenu");

        // A right click on a row, or the menu key, opens the row's menu, not the whole Action menu.
        const QRect second = list->visualRect(model.index(rowOf("b/song.mp3"), 1));
        QTest::mouseClick(list->viewport(), Qt::RightButton, {}, second.center());
        QTRY_VERIFY(rowMenu->isVisible());
        rowMenu->hide();
        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(0, 0), QPoint(0, 0));  // the menu key
        QApplication::sendEvent(list, &menuKey);
        QTRY_VERIFY(rowMenu->isVisible());
        rowMenu->hide();
        QCOMPARE(list->currentIndex().row(), rowOf("b/song.mp3"));
        Child(window, "MKeepThisOne")->trigger();
        QVERIFY(!marked("b/song.mp3") && marked("a/song.mp3") && marked("c/song.mp3"));
        QVERIFY(!marked("a/note.txt") && !marked("d/note.txt"));
        QCOMPARE(window.panel(1)->text(), QStringLiteral("Total Files Marked 2 Size 18 Bytes"));

        // Unmark All in This Folder, then Exclude This Folder (once, however often it is asked), and
        // Del in the location list takes it out again without a question.
        list->setCurrentIndex(model.index(rowOf("a/song.mp3"), 0));
        Child(window, "MUnmarkThisFolder")->trigger();
        QVERIFY(!marked("a/song.mp3") && marked("c/song.mp3"));
        Child(window, "MExcludeFolder")->trigger();
        Child(window, "MExcludeFolder")->trigger();
        const auto locations = window.request().Locations;
        QCOMPARE(locations.size(), std::size_t{2});
        QVERIFY(locations[1].Exclude && locations[1].Folder == tree.path("a/"));
        auto *locationList = Child<QTreeWidget>(window, "SearchList");
        locationList->setFocus();
        locationList->setCurrentItem(locationList->topLevelItem(1));
        QTest::keyClick(locationList, Qt::Key_Delete);
        QCOMPARE(window.request().Locations.size(), std::size_t{1});
        QVERIFY(prompter.asked.isEmpty());

        // Tab leaves the result list, and opens no viewer on the picture it leaves.
        list->setFocus();
        list->setCurrentIndex(model.index(rowOf("e/p.jpg"), 0));
        QTest::keyClick(list, Qt::Key_Tab);
        QVERIFY(!list->hasFocus());
        QVERIFY(!window.viewer() || !window.viewer()->isVisible());
        // Ten digits fit in the size column.
        QVERIFY(list->columnWidth(ResultModel::Size) >=
                list->fontMetrics().horizontalAdvance(QStringLiteral("21474836480")));

        // Space ticks every selected row, then unticks them.
        list->setFocus();
        list->clearSelection();
        list->setCurrentIndex(model.index(rowOf("a/note.txt"), 0));
        list->selectionModel()->select(model.index(rowOf("d/note.txt"), 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QTest::keyClick(list, Qt::Key_Space);
        QVERIFY(marked("a/note.txt") && marked("d/note.txt"));
        QTest::keyClick(list, Qt::Key_Space);
        QVERIFY(!marked("a/note.txt") && !marked("d/note.txt"));

        // Ctrl+D marks the duplicates; Alt+F and F10 open File, Ctrl+K the keep rules; Ctrl+Q closes too.
        QTest::keyClick(list, Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(model.totals().count, 4);
        QTest::keyClick(list, Qt::Key_F, Qt::AltModifier);
        QTRY_COMPARE(QApplication::activePopupWidget(), Child<QMenu>(window, "MnuFile"));
        QApplication::activePopupWidget()->close();
        for (const auto &[key, menu] : {std::pair{QKeyCombination(Qt::Key_F10), "MnuFile"},
                                        std::pair{QKeyCombination(Qt::CTRL | Qt::Key_K), "MKeepOne"}}) {
            list->setFocus();
            QTest::keyClick(list, key.key(), key.keyboardModifiers());
            QTRY_COMPARE(QApplication::activePopupWidget(), Child<QMenu>(window, menu));
            QApplication::activePopupWidget()->close();
        }
        QVERIFY(Child(window, "MClose")->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_Q)));
    }
};

GEMINOR_QT_TEST(WindowKeysTest)
#include "window_keys_test.moc"
