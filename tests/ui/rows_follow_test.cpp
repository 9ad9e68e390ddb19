#include <QAction>
#include <QLabel>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "persist/settings_store.h"
#include "results/clone_probe.h"
#include "tests/support/window_fixture.h"
#include "tests/support/scripted_prompter.h"
#include "tests/support/temp_tree.h"
#include "ui/main_frm.h"
#include "ui/result_model.h"

using namespace geminor;
using geminor::test::ScriptedPrompter;

namespace {

/// The view row of `path`, or -1.
int rowOf(const ResultModel &model, const std::string &path)
{
    for (int i = 0; i < model.rowCount(); ++i)
        if (model.rows()[model.rowOf(i)].path() == path)
            return i;
    return -1;
}

}  // namespace

/// The result list after the window's own commands: what was done shows at once, without a rescan.
class RowsFollowTest : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QVERIFY(test::UseTemporaryHome(m_home));
        prompter = {};
        settings.emplace();
    }

    void trashUndoAndTrashAgainWithoutARescan()
    {
        test::TempTree tree;
        for (const char *name : {"a/three.txt", "b/three.txt", "c/three.txt"})
            tree.write(name, "three copies");
        for (const char *name : {"a/two.txt", "b/two.txt"})
            tree.write(name, "two");
        MainFrm window(prompter, *settings);
        window.setRequest({{{tree.root(), "Yes", "*.*", false}}});
        QVERIFY(test::Scanned(window));
        ResultModel &model = *window.results();
        QCOMPARE(model.rowCount(), 5);
        const std::uint64_t reclaimable = model.reclaimable();
        QCOMPARE(reclaimable, std::uint64_t{2 * 12 + 3});
        auto act = [&](const char *name) {
            window.findChild<QAction *>(QString::fromLatin1(name))->trigger();
            QVERIFY(test::Settled(window));
        };

        // Trash: the trashed files leave, and two.txt's group with them; no box for a clean run.
        act("MMarkAllDuplicates");
        QVERIFY(model.setData(model.index(rowOf(model, tree.path("c/three.txt")), ResultModel::FileName),
                              Qt::Unchecked, Qt::CheckStateRole));
        prompter.answers = {true};
        act("MDelete");
        QVERIFY(prompter.informed.isEmpty());
        QCOMPARE(window.panel(1)->text(), QStringLiteral("2 file(s) moved to the Trash (15 Bytes)."));
        QCOMPARE(model.rowCount(), 2);
        QVERIFY(rowOf(model, tree.path("a/three.txt")) >= 0 && rowOf(model, tree.path("c/three.txt")) >= 0);
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

    void aFileNotActedOnStaysTickedWithItsReason()
    {
        test::TempTree tree;
        for (const char *name : {"a/three.txt", "b/three.txt", "c/three.txt"})
            tree.write(name, "three copies");
        MainFrm window(prompter, *settings);
        window.setRequest({{{tree.root(), "Yes", "*.*", false}}});
        QVERIFY(test::Scanned(window));
        ResultModel &model = *window.results();
        window.findChild<QAction *>(QStringLiteral("MMarkAllDuplicates"))->trigger();
        tree.write("c/three.txt", "changed copy");  // same length, another content and time
        prompter.answers = {true};
        window.findChild<QAction *>(QStringLiteral("MDelete"))->trigger();
        QVERIFY(test::Settled(window));
        QVERIFY(prompter.informed.last().startsWith(
            QStringLiteral("Send to Trash|1 file(s) moved to the Trash (12 Bytes). 1 skipped, 0 failed.")));
        QCOMPARE(model.rowCount(), 2);
        const int changed = rowOf(model, tree.path("c/three.txt"));
        QVERIFY(changed >= 0);
        const QModelIndex cell = model.index(changed, ResultModel::FileName);
        QCOMPARE(cell.data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);
        QCOMPARE(cell.data(Qt::ToolTipRole).toString(), QStringLiteral("changed since the scan"));
        QCOMPARE(model.totals().count, 1);

        // Clones where the file system cannot share blocks: said before anything is asked or done.
        if (CanClone(tree.root()))
            QSKIP("the temporary folder's file system can make clones");
        const qsizetype asked = prompter.asked.size();
        window.findChild<QAction *>(QStringLiteral("MLinkClone"))->trigger();
        QVERIFY(test::Settled(window));
        QCOMPARE(prompter.asked.size(), asked);
        QVERIFY(prompter.informed.last().startsWith(QStringLiteral(
            "Linking...|None of the 1 marked file(s) can be replaced by clones: its file system cannot")));
    }

private:
    QTemporaryDir m_home;
    ScriptedPrompter prompter;
    std::optional<SettingsStore> settings;
};

QTEST_MAIN(RowsFollowTest)
#include "rows_follow_test.moc"
