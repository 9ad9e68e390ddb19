#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>
#include <optional>

#include "tests/support/window_fixture.h"
#include "tests/support/scripted_prompter.h"
#include "tests/support/temp_tree.h"
#include "ui/image_list.h"
#include "ui/main_frm.h"
#include "ui/result_model.h"

using namespace geminor;
using geminor::test::ScriptedPrompter;
using geminor::test::TempTree;

namespace {

template <typename T> T *child(const QObject &window, const char *name)
{
    T *found = window.findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qWarning("no %s", name);
    return found;
}

/// The view row showing `path`, or -1.
int viewRowOf(const ResultModel &model, const std::string &path)
{
    for (int i = 0; i < model.rowCount(); ++i)
        if (model.rows()[model.rowOf(i)].path() == path)
            return i;
    return -1;
}

bool marked(const ResultModel &model, const std::string &path)
{
    return model.rows()[model.rowOf(viewRowOf(model, path))].marked;
}

}  // namespace

class WindowKeysTest : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QVERIFY(test::UseTemporaryHome(m_home));
        prompter = {};
        settings.emplace();
    }

    void ctrlZInTheFilterBoxUndoesWhileTextKeysEditTheText()
    {
        TempTree tree;
        tree.write("photos/a.jpg", "same picture");
        tree.write("backup/a.jpg", "same picture");
        MainFrm window(prompter, *settings);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        window.setRequest({{{tree.root(), "Yes", "*.*", false}}});
        QVERIFY(test::Scanned(window));
        auto *list = child<QTableView>(window, "RLV");
        QVERIFY(list->hasFocus());  // after a scan the keys go to the result
        child<QAction>(window, "MMarkAllDuplicates")->trigger();
        const std::string trashed = window.results()->rows()[1].path();
        prompter.answers = {true};
        QTest::keyClick(list, Qt::Key_Delete);
        QVERIFY(test::Settled(window));
        QVERIFY(!std::filesystem::exists(trashed));
        // Ctrl+Z in the location list is the window's: the user is asked, and says No.
        auto *locations = child<QTreeWidget>(window, "SearchList");
        locations->setFocus();
        prompter.answers = {false};
        QTest::keyClick(locations, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(test::Settled(window));
        QVERIFY2(prompter.asked.last().startsWith(QStringLiteral("Undo Last Operation|")),
                 qPrintable(prompter.asked.last()));
        QVERIFY(!std::filesystem::exists(trashed));

        // The user filters, then presses Ctrl+Z in the filter box: the trash is undone.
        auto *filter = child<QLineEdit>(window, "GroupFilter");
        filter->setFocus();
        QTest::keyClicks(filter, QStringLiteral("photos"));
        QTest::keyClick(filter, Qt::Key_Return);
        prompter.answers = {true};
        const qsizetype asked = prompter.asked.size();
        QTest::keyClick(filter, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(test::Settled(window));
        QCOMPARE(prompter.asked.size(), asked + 1);
        QVERIFY2(prompter.asked.last().startsWith(QStringLiteral("Undo Last Operation|")),
                 qPrintable(prompter.asked.last()));
        QVERIFY(std::filesystem::exists(trashed));
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
        QCOMPARE(prompter.asked.size(), asked + 1);
        QVERIFY(std::filesystem::exists(trashed));

        // Outside a text field the window has the keys: Ctrl+C copies files, Ctrl+Z undoes.
        list->setFocus();
        QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
        QVERIFY(prompter.asked.last() == QStringLiteral("Copy selected files to") ||
                prompter.informed.last().startsWith(QStringLiteral("Copying...|")));
    }

    void f6CancelsARunningScanWhateverHadTheFocus()
    {
        QTemporaryDir tree;
        test::FillSlowTree(tree.path());
        MainFrm window(prompter, *settings);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        window.setRequest({{{tree.path().toStdString(), "Yes", "*.*", false}}});
        auto *filter = child<QLineEdit>(window, "GroupFilter");
        for (QWidget *focus : {static_cast<QWidget *>(filter),
                               static_cast<QWidget *>(child<QTreeWidget>(window, "SearchList")),
                               static_cast<QWidget *>(child<QTableView>(window, "RLV"))}) {
            focus->setFocus();
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
            QVERIFY(child<QTableView>(window, "RLV")->hasFocus());
        }
    }

    void neighbouringGroupsDifferInLookAfterSortAndFilter()
    {
        TempTree tree;
        // By space: A, B, C, D. The filter shows A and C, which stood two groups apart.
        for (const auto &[paths, content] :
             {std::pair{"keep/a other/a", "AAAAAAAA"}, std::pair{"o1/b o2/b", "BBBBBB"},
              std::pair{"keep/c other/c", "CCCC"}, std::pair{"o1/d o2/d", "DD"}}) {
            const std::string both = paths;
            const std::size_t space = both.find(' ');
            tree.write(both.substr(0, space), content);
            tree.write(both.substr(space + 1), content);
        }
        MainFrm window(prompter, *settings);
        window.show();
        window.setRequest({{{tree.root(), "Yes", "*.*", false}}});
        QVERIFY(test::Scanned(window));
        ResultModel &model = *window.results();
        child<QAction>(window, "MOrderSpace")->trigger();
        auto *filter = child<QLineEdit>(window, "GroupFilter");
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
        auto picture = [&](int row) {
            return model.index(row, ResultModel::FileName)
                .data(Qt::DecorationRole)
                .value<QIcon>()
                .pixmap(16, 16)
                .toImage();
        };
        QVERIFY(model.setData(model.index(1, ResultModel::FileName), Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(picture(1), ImageListIcon(kPictureMarkedRow).pixmap(16, 16).toImage());
        QCOMPARE(picture(0), ImageListIcon(kPictureUnmarkedRow).pixmap(16, 16).toImage());
        QVERIFY(model.index(0, 0).data(Qt::FontRole).value<QFont>().bold());
        QVERIFY(!model.index(2, 0).data(Qt::FontRole).value<QFont>().bold());  // nothing marked in its group
    }

    void rowMenuAndKeysActOnTheRowsChosen()
    {
        TempTree tree;
        for (const char *name : {"a/song.mp3", "b/song.mp3", "c/song.mp3"})
            tree.write(name, "same tune");
        for (const char *name : {"a/note.txt", "d/note.txt"})
            tree.write(name, "same note");
        MainFrm window(prompter, *settings);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        window.setRequest({{{tree.root(), "Yes", "*.*", false}}});
        QVERIFY(test::Scanned(window));
        ResultModel &model = *window.results();
        auto *list = child<QTableView>(window, "RLV");
        auto *rowMenu = child<QMenu>(window, "RowMenu");

        // A right click on a row, or the menu key, opens the row's menu, not the whole Action menu.
        const QRect second = list->visualRect(model.index(viewRowOf(model, tree.path("b/song.mp3")), 1));
        QTest::mouseClick(list->viewport(), Qt::RightButton, {}, second.center());
        QTRY_VERIFY(rowMenu->isVisible());
        rowMenu->hide();
        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(0, 0));  // the menu key
        QApplication::sendEvent(list, &menuKey);
        QTRY_VERIFY(rowMenu->isVisible());
        rowMenu->hide();
        QCOMPARE(list->currentIndex().row(), viewRowOf(model, tree.path("b/song.mp3")));
        child<QAction>(window, "MKeepThisOne")->trigger();
        QVERIFY(!marked(model, tree.path("b/song.mp3")));
        QVERIFY(marked(model, tree.path("a/song.mp3")) && marked(model, tree.path("c/song.mp3")));
        QVERIFY(!marked(model, tree.path("a/note.txt")) && !marked(model, tree.path("d/note.txt")));
        QCOMPARE(window.panel(1)->text(), QStringLiteral("Total Files Marked 2 Size 18 Bytes"));

        // Unmark All in This Folder, then Exclude This Folder (once, however often it is asked).
        list->setCurrentIndex(model.index(viewRowOf(model, tree.path("a/song.mp3")), 0));
        child<QAction>(window, "MUnmarkThisFolder")->trigger();
        QVERIFY(!marked(model, tree.path("a/song.mp3")) && marked(model, tree.path("c/song.mp3")));
        child<QAction>(window, "MExcludeFolder")->trigger();
        child<QAction>(window, "MExcludeFolder")->trigger();
        const auto locations = window.request().Locations;
        QCOMPARE(locations.size(), std::size_t{2});
        QVERIFY(locations[1].Exclude && locations[1].Folder == tree.path("a/"));

        // Space ticks every selected row, then unticks them.
        list->setFocus();
        list->clearSelection();
        list->setCurrentIndex(model.index(viewRowOf(model, tree.path("a/note.txt")), 0));
        list->selectionModel()->select(model.index(viewRowOf(model, tree.path("d/note.txt")), 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QTest::keyClick(list, Qt::Key_Space);
        QVERIFY(marked(model, tree.path("a/note.txt")) && marked(model, tree.path("d/note.txt")));
        QTest::keyClick(list, Qt::Key_Space);
        QVERIFY(!marked(model, tree.path("a/note.txt")) && !marked(model, tree.path("d/note.txt")));

        // Ctrl+D marks the duplicates; Alt+F and F10 open File, Ctrl+K the keep rules; Ctrl+Q closes too.
        QTest::keyClick(list, Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(model.totals().count, 3);
        QTest::keyClick(list, Qt::Key_F, Qt::AltModifier);
        QTRY_COMPARE(QApplication::activePopupWidget(), child<QMenu>(window, "MnuFile"));
        QApplication::activePopupWidget()->close();
        for (const auto &[key, menu] : {std::pair{QKeyCombination(Qt::Key_F10), "MnuFile"},
                                        std::pair{QKeyCombination(Qt::CTRL | Qt::Key_K), "MKeepOne"}}) {
            list->setFocus();
            QTest::keyClick(list, key.key(), key.keyboardModifiers());
            QTRY_COMPARE(QApplication::activePopupWidget(), child<QMenu>(window, menu));
            QApplication::activePopupWidget()->close();
        }
        QVERIFY(child<QAction>(window, "MClose")->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_Q)));
    }

private:
    QTemporaryDir m_home;
    ScriptedPrompter prompter;
    std::optional<SettingsStore> settings;
};

QTEST_MAIN(WindowKeysTest)
#include "window_keys_test.moc"
