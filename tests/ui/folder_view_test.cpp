#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <filesystem>
#include <sys/stat.h>

#include "results/folder_rows.h"
#include "tests/support/qt_tests.h"
#include "tests/support/temp_tree.h"
#include "tests/support/window_fixture.h"
#include "ui/folder_model.h"
#include "ui/folder_view.h"
#include "ui/main_frm.h"

using namespace geminor;
using geminor::test::Child;

namespace {

/// A folder of the tree as a scan would sum it up.
FolderSummary summary(const test::TempTree &tree, const std::string &relative, std::int16_t location = 0,
                      bool reference = false)
{
    struct stat st = {};
    ::lstat(tree.path(relative).c_str(), &st);
    return {tree.path(relative) + '/', IdentityOf(st), 2, 10, 1'700'000'000'000'000'000, location, reference};
}

int rowOf(const FolderModel &model, const std::string &folder)
{
    for (std::size_t i = 0; i < model.rows().size(); ++i)
        if (model.rows()[i].folder.path == folder && !model.rows()[i].redundant())
            return static_cast<int>(i);
    return -1;
}

std::vector<bool> marks(const FolderModel &model)
{
    std::vector<bool> marked;
    for (const FolderRow &row : model.rows())
        marked.push_back(row.marked);
    return marked;
}

}  // namespace

/// The Folders page: what a content scan found of whole folders, its marks and what they lead to.
class FolderViewTest : public test::WindowTest
{
    Q_OBJECT
private slots:
    void init() { QVERIFY(fresh()); }

    void groupsThenRedundantFoldersAndTheKeepRules()
    {
        test::TempTree tree;
        for (const char *folder : {"ref/a", "x/a", "y/a", "p/b", "long/path/b", "r"})
            tree.mkdir(folder);
        FolderResult found;
        found.groups = {{{summary(tree, "x/a", 0), summary(tree, "ref/a", 1, true), summary(tree, "y/a", 2)}},
                        {{summary(tree, "long/path/b", 0), summary(tree, "p/b", 1)}}};
        found.redundant = {{summary(tree, "r"), 2, {{tree.path("x/"), 2}, {tree.path("p/"), 1}}}};
        MainFrm window(prompter, *settings);
        FolderView &view = *window.folders();
        FolderModel &model = *view.model();
        view.setResult(found, SearchMethod::ByteToByte);

        QCOMPARE(model.rowCount(), 6);
        QCOMPARE(model.index(0, FolderModel::Name).data().toString(), QStringLiteral("a"));
        QCOMPARE(model.index(0, FolderModel::Path).data().toString(),
                 QString::fromStdString(tree.path("x/")));
        // Groups set apart in bands; the redundant folder on its own, shown but never checkable.
        auto band = [&](int row) {
            return model.index(row, FolderModel::Size).data(Qt::BackgroundRole).isValid();
        };
        QCOMPARE((std::vector<bool>{band(0), band(1), band(2), band(3), band(4), band(5)}),
                 (std::vector<bool>{false, false, false, true, true, false}));
        QVERIFY(!(model.flags(model.index(5, FolderModel::Name)) & Qt::ItemIsUserCheckable));
        QVERIFY(!model.setData(model.index(5, FolderModel::Name), Qt::Checked, Qt::CheckStateRole));
        QVERIFY(model.index(5, FolderModel::Name)
                    .data(Qt::ToolTipRole)
                    .toString()
                    .contains(QString::fromStdString(tree.path("p/")) + QStringLiteral(" (1 file(s))")));
        QCOMPARE(model.index(5, FolderModel::Copies).data().toString(), QStringLiteral("2 outside"));

        // A reference folder is kept and every other member of its group marked; else one stays.
        view.keepOne(KeepRule::FirstLocation);
        QCOMPARE(marks(model), (std::vector<bool>{true, false, true, false, true, false}));
        view.keepOne(KeepRule::ShortestPath);
        QCOMPARE(marks(model), (std::vector<bool>{true, false, true, true, false, false}));
        prompter.texts = {QStringLiteral("*/long/*")};
        view.keepOne(KeepRule::Path);
        QCOMPARE(marks(model), (std::vector<bool>{true, false, true, false, true, false}));
        QVERIFY(!model.setData(model.index(1, FolderModel::Name), Qt::Checked, Qt::CheckStateRole));

        // The plan takes whole folders, the group members only, marked as the rows are.
        const std::vector<PlanFile> files = FolderRowPlanFiles(model.rows());
        QCOMPARE(files.size(), std::size_t{5});
        QCOMPARE(files[0].path, tree.path("x/a"));
        QVERIFY(files[0].folder && files[0].marked && files[0].seen == found.groups[0].members[0].seen);
        QVERIFY(!files[1].marked && files[4].marked && files[4].group == 2);

        auto *note = Child<QLabel>(*window.folders(), "FolderNote");
        view.setResult({}, SearchMethod::SameName);
        QVERIFY(note->text().contains(QStringLiteral("content methods only")));
        view.setResult({}, SearchMethod::Crc32);
        QCOMPARE(note->text(), QStringLiteral("No duplicate folders were found."));
    }

    void showTheFilesThenTrashAMarkedFolderThroughThePlan()
    {
        test::TempTree tree;
        tree.writeEach({"a/x.txt", "b/x.txt"}, "x");
        tree.writeEach({"a/sub/y.txt", "b/sub/y.txt"}, "yy");
        tree.writeEach({"c/z.txt", "c/w.txt"}, "zzz");  // copies in no folder of a group
        MainFrm window(prompter, *settings);
        QVERIFY(test::ScannedFolder(window, tree.root()));
        QCOMPARE(window.results()->rowCount(), 6);
        FolderModel &model = *window.folders()->model();
        auto *tabs = Child<QTabWidget>(window, "ResultTabs");
        Child(window, "MFolders")->trigger();
        QCOMPARE(tabs->currentIndex(), 1);
        QTableView &list = *window.folders()->list();
        list.setCurrentIndex(list.model()->index(rowOf(model, tree.path("b/")), 0));
        Child(window, "MShowFiles")->trigger();
        QCOMPARE(tabs->currentIndex(), 0);
        QVERIFY(!Child(window, "MFolders")->isChecked());
        QCOMPARE(window.results()->rowCount(), 4);  // x.txt and sub/y.txt, with their copies in a/
        QCOMPARE(test::ViewRowOf(*window.results(), tree.path("c/z.txt")), -1);
        QVERIFY(rowOf(model, tree.path("a/")) >= 0);
        window.folders()->keepOne(KeepRule::ShortestPath);  // a tie: the first listed stays
        QVERIFY(model.rows()[static_cast<std::size_t>(rowOf(model, tree.path("b/")))].marked);

        prompter.answers = {true};
        Child<QPushButton>(*window.folders(), "FolderRemove")->click();
        QVERIFY(test::Settled(window));
        QCOMPARE(prompter.asked.last(),
                 QStringLiteral("Confirm|Move 1 marked folder(s) and everything in them to the trash?"));
        QVERIFY2(prompter.informed.isEmpty(), qPrintable(prompter.informed.join(QLatin1Char('\n'))));
        QCOMPARE(window.panel(1)->text(), QStringLiteral("1 folder(s) moved to the Trash (3 Bytes)."));
        QVERIFY(!std::filesystem::exists(tree.path("b")));
        QVERIFY(std::filesystem::exists(tree.path("a/sub/y.txt")));
        // The group left with one folder leaves, and so do the files that went.
        QCOMPARE(rowOf(model, tree.path("a/")), -1);
        QCOMPARE(window.results()->rowCount(), 0);

        // Undo puts the folder back, and its files return to the file list.
        prompter.answers = {true};
        QVERIFY(test::Ran(window, "MUndo"));
        QVERIFY(std::filesystem::exists(tree.path("b/sub/y.txt")));
        QCOMPARE(window.results()->rowCount(), 4);
        QVERIFY(rowOf(model, tree.path("b/")) >= 0 && rowOf(model, tree.path("a/")) >= 0);
    }
};

GEMINOR_QT_TEST(FolderViewTest)
#include "folder_view_test.moc"
