#include <QLabel>
#include <filesystem>

#include "tests/support/qt_tests.h"
#include "tests/support/window_fixture.h"
#include "tests/support/temp_tree.h"
#include "ui/main_frm.h"

using namespace geminor;

/// The result list after the window's own commands: what was done shows at once, without a rescan.
class RowsFollowTest : public test::WindowTest
{
    Q_OBJECT
private slots:
    void init() { QVERIFY(fresh()); }

    void trashUndoAndTrashAgainWithoutARescan()
    {
        test::TempTree tree;
        tree.writeEach({"a/three.txt", "b/three.txt", "c/three.txt"}, "three copies");
        tree.writeEach({"a/two.txt", "b/two.txt"}, "two");
        MainFrm window(prompter, *settings);
        QVERIFY(test::ScannedFolder(window, tree.root()));
        ResultModel &model = *window.results();
        QCOMPARE(model.rowCount(), 5);
        const std::uint64_t reclaimable = model.reclaimable();
        QCOMPARE(reclaimable, std::uint64_t{2 * 12 + 3});
        auto act = [&](const char *name) { QVERIFY(test::Ran(window, name)); };
        auto rowOf = [&](const char *path) { return test::ViewRowOf(model, tree.path(path)); };

        // Trash: the trashed files leave, and two.txt's group with them; no box for a clean run.
        act("MMarkAllDuplicates");
        QVERIFY(model.setData(model.index(rowOf("c/three.txt"), ResultModel::FileName), Qt::Unchecked,
                              Qt::CheckStateRole));
        prompter.answers = {true};
        act("MDelete");
        QVERIFY(prompter.informed.isEmpty());
        QCOMPARE(window.panel(1)->text(), QStringLiteral("2 file(s) moved to the Trash (15 Bytes)."));
        QCOMPARE(model.rowCount(), 2);
        QVERIFY(rowOf("a/three.txt") >= 0 && rowOf("c/three.txt") >= 0);
        QCOMPARE(model.totals().count, 0);
        QCOMPARE(model.reclaimable(), std::uint64_t{12});
        QCOMPARE(window.panel(2)->text(), QStringLiteral("Duplicates : 1"));

        // Undo: the rows come back as they were listed, and acting on them works again.
        prompter.answers = {false};
        act("MUndo");
        QVERIFY(prompter.asked.last().startsWith(
            QStringLiteral("Undo Last Operation|Undo the trash of 2 file(s), today ")));
        prompter.answers = {true};
        act("MUndo");  // a No is not remembered: the same question again
        QCOMPARE(prompter.asked.at(prompter.asked.size() - 2), prompter.asked.last());
        QCOMPARE(model.rowCount(), 5);
        QCOMPARE(model.reclaimable(), reclaimable);
        QCOMPARE(window.panel(1)->text(), QStringLiteral("2 file(s) put back."));
        QCOMPARE(window.panel(2)->text(), QStringLiteral("Duplicates : 3"));
        act("MMarkAllDuplicates");
        QCOMPARE(model.totals().count, 3);
        prompter.answers = {true};
        act("MDelete");
        QVERIFY2(prompter.informed.isEmpty(), qPrintable(prompter.informed.join(QLatin1Char('\n'))));
        QCOMPARE(window.panel(1)->text(), QStringLiteral("3 file(s) moved to the Trash (27 Bytes)."));
        QVERIFY(!std::filesystem::exists(tree.path("b/three.txt")));
    }
};

GEMINOR_QT_TEST(RowsFollowTest)
#include "rows_follow_test.moc"
