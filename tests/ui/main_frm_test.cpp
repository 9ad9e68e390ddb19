#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QPushButton>
#include <QMenu>
#include <QRadioButton>
#include <QApplication>
#include <QTimer>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

#include "engine/file_identity.h"
#include "results/clone_probe.h"
#include "results/marking.h"
#include "results/rename_file.h"
#include "tests/support/qt_tests.h"
#include "tests/support/window_fixture.h"
#include "tests/support/faulty_file_system.h"
#include "tests/support/temp_tree.h"
#include "ui/image_list.h"
#include "ui/main_frm.h"

using namespace geminor;
using geminor::test::Child;

namespace {

/// The real file system, counting the calls the window's thread makes through it.
class WindowThreadCalls final : public FileSystem
{
public:
    int count() const { return m_calls.load(); }
    int openat(int d, const char *n, int f, mode_t m) override { return seen(), Real::openat(d, n, f, m); }
    int fstatat(int d, const char *n, struct stat *st, int f) override
    {
        return seen(), Real::fstatat(d, n, st, f);
    }
    ssize_t pread(int fd, void *b, std::size_t n, off_t o) override
    {
        return seen(), Real::pread(fd, b, n, o);
    }
    ssize_t write(int fd, const void *b, std::size_t n) override { return seen(), Real::write(fd, b, n); }
    int renameat2(int d, const char *n, int to, const char *name, unsigned flags) override
    {
        return seen(), Real::renameat2(d, n, to, name, flags);
    }
    int unlinkat(int d, const char *n, int f) override { return seen(), Real::unlinkat(d, n, f); }

private:
    using Real = FileSystem;
    void seen() { m_calls += std::this_thread::get_id() == m_window; }
    const std::thread::id m_window = std::this_thread::get_id();
    std::atomic<int> m_calls{0};
};

}  // namespace

class MainFrmTest : public test::WindowTest
{
    Q_OBJECT
private slots:
    void init() { QVERIFY(fresh()); }

    void busyLeavesOnlyCancelAndIdleRestoresEverything()
    {
        MainFrm window(prompter, *settings);
        window.show();
        auto button = [&](int i) { return window.findChild<QAction *>(QStringLiteral("Button%1").arg(i)); };
        window.SetBusy(true);
        QVERIFY(button(2)->isEnabled());
        for (const char *name : {"Button1", "Button4", "Button5", "Button6", "Button7", "Button8", "Button10",
                                 "Button11", "Button12", "MScan", "MCancel", "MNewSession", "MClose"})
            QVERIFY2(!Child(window, name)->isEnabled(), name);
        for (const char *name : {"MnuFile", "MAction", "MHelp", "MExport", "SearchList", "cmdAdd",
                                 "cmdRemove", "Option1", "Option4", "chkProtect", "chkIncludeHidden", "RLV"})
            QVERIFY2(!Child<QWidget>(window, name)->isEnabled(), name);
        QVERIFY(window.panel(2)->isHidden() && window.panel(3)->isHidden() && window.panel(4)->isHidden());
        prompter.answers = {false};
        button(2)->trigger();  // the toolbar's Cancel works while the menus are off
        QCOMPARE(prompter.asked,
                 QStringList{QStringLiteral("Cancel Search|Are you sure to cancel searching?")});

        window.SetBusy(false);
        QTest::keyClick(Child<QPushButton>(window, "Command1"), Qt::Key_F6);  // not busy: nothing
        QCOMPARE(prompter.asked.size(), 1);
        QVERIFY(!button(2)->isEnabled() && button(1)->isEnabled() && Child(window, "MScan")->isEnabled());
        QVERIFY(window.panel(2)->isHidden() && window.panel(3)->isHidden());  // no counts before a scan
        QCOMPARE(window.windowTitle(), QStringLiteral("Geminor"));
        Child<QRadioButton>(window, "Option4")->setChecked(true);
        window.setWindowTitle(QStringLiteral("50.0% (1/2)"));
        window.SetBusy(true);
        window.SetBusy(false);
        QVERIFY(window.panel(2)->isHidden());  // zero size has no duplicates to count
        QCOMPARE(window.windowTitle(), QStringLiteral("100% Completed"));
    }

    void sessionsAndTheDefaultSessionGiveBackTheRequestByteForByte()
    {
        SearchRequest request;
        request.Method = SearchMethod::SameName;
        request.ProtectWindowsFolders = false;
        request.IncludeHidden = true;
        request.Locations = {{"/a,b", "Yes", ".mp3", false},
                             {std::string("/a,b/bad\xff"), "No", "*.*", true}};
        const std::string defaults = (m_home.path() + QStringLiteral("/Default.gmr")).toStdString();
        const std::string saved = (m_home.path() + QStringLiteral("/s.gmr")).toStdString();
        {
            MainFrm window(prompter, *settings, defaults);
            window.setRequest(request);
            QVERIFY(prompter.asked.isEmpty());  // no protect warning for a state read from a file
            QVERIFY(Child<QRadioButton>(window, "Option3")->font().bold());
            QVERIFY(!Child<QRadioButton>(window, "Option1")->font().bold());
            prompter.fileAnswer = saved;
            Child(window, "MSaveSession")->trigger();
            QCOMPARE(prompter.asked.last(), QStringLiteral("Search Session|Geminor|*.gmr"));
            window.show();
            window.close();  // writes the default session
        }
        MainFrm again(prompter, *settings, defaults);
        QVERIFY(again.request() == request);
        Child(again, "MNewSession")->trigger();
        QVERIFY(again.request() == SearchRequest{});
        QCOMPARE(again.panel(1)->text(),
                 QStringLiteral("Add search path and click on the scan button to start search."));
        prompter.fileAnswer = saved;
        Child(again, "MLoadSession")->trigger();
        QVERIFY(again.request() == request);

        MainFrm readOnly(prompter, *settings, "/nonexistent-folder/Default.gmr");
        readOnly.show();
        QVERIFY(readOnly.close());  // closes silently
        QVERIFY(prompter.informed.isEmpty());
    }

    void aSessionThatCannotBeReadIsReported()
    {
        test::TempTree tree;
        for (const char *name : {"a.txt", "b.txt", "c.txt"})
            tree.write(name, name[0] == 'c' ? "other" : "same!");
        // Written on Linux, a double quote in its name, damaged after its row: the message, and a
        // scan of the row read before the bad line.
        const std::string damaged =
            tree.write("say \"hi\".gmr", "Option2\n0\n1\n" + tree.root() + ",Yes,.txt,15\n\xff\x01garbage\n");
        MainFrm window(prompter, *settings);
        window.setCommandLine(QString::fromStdString(damaged));  // quotes are part of the name
        window.show();
        QTRY_COMPARE(prompter.informed.size(), 1);
        QTRY_COMPARE(window.panel(1)->text(), QStringLiteral("Search Completed."));
        QCOMPARE(window.results()->rowCount(), 2);
        QCOMPARE(window.request().Method, SearchMethod::Crc32);
        QVERIFY(window.request().IncludeHidden && window.request().Locations.size() == 1);

        // From the menu, a session that cannot be read resets the window all the same.
        prompter.fileAnswer = tree.path("gone/s.gmr");
        Child(window, "MLoadSession")->trigger();
        QCOMPARE(window.results()->rowCount(), 0);
        QVERIFY(window.request().Locations.empty() && window.request().Method == SearchMethod::ByteToByte);
        QCOMPARE(prompter.informed.last(),
                 QString::fromStdString("76|Path not found: " + tree.path("gone/")));
        QCOMPARE(window.panel(1)->text(),
                 QStringLiteral("Add search path and click on the scan button to start search."));
        prompter.informed.clear();

        MainFrm missing(prompter, *settings);
        missing.addLocation({"/kept/as/it/was", "Yes", "*.*", false});
        missing.setCommandLine(QStringLiteral("/no/such/folder/such.gmr"));
        missing.show();
        QTRY_COMPARE(prompter.informed.size(), 2);  // the reading's failure first: no such folder
        QCOMPARE(prompter.informed.first(), QStringLiteral("76|Path not found: /no/such/folder/"));
        QCOMPARE(prompter.informed.last(), QStringLiteral("File Not Found|\"/no/such/folder/such.gmr\""));
        QCOMPARE(missing.request().Locations.size(), std::size_t{1});  // not emptied by a mistyped name

        missing.NewSession();
        // With no location, the add dialog comes up after the message; the test closes it.
        QTimer::singleShot(200, [] {
            if (QWidget *dialog = QApplication::activeModalWidget())
                dialog->close();
        });
        missing.ScanCommand();
        QCOMPARE(prompter.informed.last(), QStringLiteral("Error|Please add search path first."));
        QCOMPARE(prompter.asked.last(), QStringLiteral("Choose Folder to Search"));
        QVERIFY(missing.request().Locations.empty());
    }

    void scansEachMethodAndEndsWithItsCounts()
    {
        test::TempTree tree;
        for (const auto &[name, content] :
             {std::pair{"a/x.txt", "same"}, {"b/x.txt", "same"}, {"b/y.txt", "diff"}, {"b/empty", ""}})
            tree.write(name, content);
        MainFrm window(prompter, *settings);
        window.show();
        struct Case
        {
            SearchMethod method;
            bool exclude;
            int rows;
            const char *duplicates, *files, *folders;
        };
        for (const Case &c :
             {Case{SearchMethod::ByteToByte, false, 2, "Duplicates : 1", "Files : 3", "Folders : 2"},
              Case{SearchMethod::Crc32, false, 2, "Duplicates : 1", "Files : 3", "Folders : 2"},
              Case{SearchMethod::SameName, false, 2, "Duplicates : 1", "Files : 3", "Folders : 2"},
              Case{SearchMethod::ZeroSize, false, 1, "Duplicates : 0", "Files : 1", "Folders : 2"},
              // Only exclusions: nothing is searched, and the counts say so.
              Case{SearchMethod::ByteToByte, true, 0, "Duplicates : 0", "Files : 0", "Folders : 0"}}) {
            SearchRequest request;
            request.Method = c.method;
            request.Locations = {{tree.root(), "Yes", "*.*", c.exclude}};
            window.setRequest(request);
            QVERIFY(test::Scanned(window));
            QCOMPARE(window.results()->rowCount(), c.rows);
            QCOMPARE(window.panel(1)->text(), QStringLiteral("Search Completed."));
            QCOMPARE(window.panel(2)->text(), QLatin1String(c.duplicates));
            QCOMPARE(window.panel(3)->text(), QLatin1String(c.files));
            QCOMPARE(window.panel(4)->text(), QLatin1String(c.folders));
            QCOMPARE(window.panel(2)->isVisible(), c.method != SearchMethod::ZeroSize);
            if (c.rows)
                QCOMPARE(Child(window, "MMarkAll")->isVisible(), c.method == SearchMethod::ZeroSize);
            if (c.method == SearchMethod::ZeroSize)
                QVERIFY(window.results()->rows()[0].colour == RowColour::Default);  // no group colour
        }

        // A cancel answered Yes while no scan runs leaves nothing behind: the next scan runs whole.
        prompter.answers = {true};
        window.CancelCommand();
        QVERIFY(test::ScannedFolder(window, tree.root()));
        QCOMPARE(window.results()->rowCount(), 2);
        QCOMPARE(Child(window, "MSendToRecycleBin")->text(), QStringLiteral("Send to Trash"));
        QCOMPARE(Child<QCheckBox>(window, "chkProtect")->text(), QStringLiteral("Protect System Folders"));
    }

    void unreadableFilesAndAScanOutOfMemoryAreReported()
    {
        test::TempTree tree;
        tree.writeEach({"a", "b", "bad1", "bad2"}, "same");
        MainFrm window(prompter, *settings);
        window.show();
        {
            test::FaultyFileSystem faulty;
            faulty.failReadsOf("bad", EIO);
            ScopedFileSystem use(faulty);
            QVERIFY(test::ScannedFolder(window, tree.root()));
        }
        QCOMPARE(window.results()->rowCount(), 2);
        QCOMPARE(window.panel(1)->text(), QStringLiteral("Search Completed."));
        QCOMPARE(window.problems()->text(), QStringLiteral("2 files could not be read"));

        struct Exhausted : test::FaultyFileSystem
        {
            ssize_t pread(int, void *, std::size_t, off_t) override { throw std::bad_alloc(); }
        } exhausted;
        {
            ScopedFileSystem use(exhausted);
            QVERIFY(test::Scanned(window));
        }
        QCOMPARE(window.results()->rowCount(), 0);  // nothing half-done is shown
        QVERIFY(window.panel(1)->text().startsWith(QStringLiteral("Search stopped: ")));
        QVERIFY(prompter.informed.size() == 1 &&
                prompter.informed[0].contains(QStringLiteral("out of memory")));
        QVERIFY(Child(window, "MScan")->isEnabled());  // usable again
    }

    void fileCommandsRunOffTheWindowThread()
    {
        test::TempTree tree;
        tree.writeEach({"a.txt", "b\xff.txt"}, "twin");  // byte names: Qt could not make the second
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(tree.path("data")));  // a journal of its own
        WindowThreadCalls calls;
        ScopedFileSystem use(calls);
        MainFrm window(prompter, *settings);
        QVERIFY(test::ScannedFolder(window, tree.root()));  // with the checksum cache, on unless switched off
        ResultModel &model = *window.results();
        auto run = [&](const char *entry) { QVERIFY(test::Ran(window, entry)); };
        for (const char *entry : {"MCopyMarkFiles", "MMoveSelected", "MDelete"})
            run(entry);
        QCOMPARE(prompter.informed, QStringList({"Copying...|Please mark files before copying!",
                                                 "Moving...|Please mark files before moving!",
                                                 "Deleting...|Please mark files before deleting!"}));

        // Clones where the file system cannot share blocks: said before anything is asked or done.
        run("MMarkAllDuplicates");
        if (!CanClone(tree.root())) {
            const qsizetype asked = prompter.asked.size();
            run("MLinkClone");
            QCOMPARE(prompter.asked.size(), asked);
            QVERIFY(prompter.informed.last().startsWith(
                QStringLiteral("Linking...|None of the 1 marked file(s) can be replaced by clones: its file "
                               "system cannot")));
        }
        // Hard links and their undo; then nothing is left to undo.
        prompter.answers = {true};
        run("MLinkHard");
        QVERIFY(prompter.asked.last().startsWith(QStringLiteral(
            "Confirm|Replace 1 marked file(s) by hard links to the copies kept? This frees up to 4 Bytes.")));
        QCOMPARE(window.panel(1)->text(), QStringLiteral("1 file(s) replaced by hard links, 4 Bytes freed."));
        struct stat a = {}, b = {};
        QCOMPARE(::stat(tree.path("a.txt").c_str(), &a) + ::stat(tree.path("b\xff.txt").c_str(), &b), 0);
        QCOMPARE(a.st_ino, b.st_ino);
        prompter.answers = {true};
        run("MUndo");
        QVERIFY(prompter.asked.last().startsWith(
            QStringLiteral("Undo Last Operation|Undo the hard-link of 1 file(s), today ")));
        QCOMPARE(window.panel(1)->text(), QStringLiteral("1 file(s) put back."));
        QCOMPARE(::stat(tree.path("b\xff.txt").c_str(), &b), 0);
        QVERIFY(a.st_ino != b.st_ino && b.st_nlink == 1);
        run("MUndo");  // nothing left to undo
        QCOMPARE(prompter.informed.last(),
                 QStringLiteral("Undo Last Operation|There is no operation to undo."));

        // Rename takes any name Linux allows; "..", a slash and a name taken are refused, never overwritten.
        auto *list = Child<QTableView>(window, "RLV");
        auto renamed = [&](int row, QStringList answers) {
            list->setCurrentIndex(model.index(row, 0));
            prompter.texts = std::move(answers);
            window.RenameSelected();
            return test::Settled(window) ? model.rows()[static_cast<std::size_t>(row)].name : std::string();
        };
        const QString meeting = QStringLiteral("Meeting 10:30 \\*?\"<>|.txt");
        const std::string renamedA = tree.path(meeting.toStdString());
        QCOMPARE(renamed(0, {QStringLiteral(".."), QStringLiteral("bad/name"), meeting}),
                 meeting.toStdString());
        QCOMPARE(prompter.informed.mid(prompter.informed.size() - 2),
                 QStringList({QStringLiteral("Error|\"..\" cannot be a file name."),
                              QStringLiteral("Error|A file name cannot contain '/' or a NUL character.")}));
        QCOMPARE(prompter.asked.last(), QStringLiteral("Rename|Please type new name for\r\na.txt|a.txt"));
        QVERIFY(std::filesystem::exists(renamedA) && !std::filesystem::exists(tree.path("a.txt")));
        QCOMPARE(renamed(1, {meeting}), std::string("b\xff.txt"));
        QVERIFY(prompter.informed.last().startsWith(QStringLiteral("Error|")));
        QCOMPARE(renamed(1, {QStringLiteral("c.txt")}), std::string("c.txt"));
        QCOMPARE(renamed(1, {QStringLiteral("  ")}), std::string("c.txt"));  // empty: nothing happens
        for (const std::string &name : std::initializer_list<std::string>{
                 "", ".", "..", "a/b", std::string("a\0b", 3), std::string(256, 'x')})
            QVERIFY(!CheckFileName(name));
        for (const std::string &name :
             std::initializer_list<std::string>{"a:b", "\\?*\"<>|", "...", std::string(255, 'x'), "\xff\xfe"})
            QVERIFY(CheckFileName(name));
        window.CopySelectedPath();
        QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromStdString(tree.path("c.txt")));
        window.ShowFileProperties();
        QVERIFY(test::Settled(window));
        QCOMPARE(Child<QDialog>(window, "PropertiesDlg")->windowTitle(), QStringLiteral("c.txt Properties"));

        // The exports write what the window lists; a file that cannot be written is named.
        prompter.fileAnswer = tree.path("list.csv");
        run("MCSV");
        QCOMPARE(prompter.informed.last(), QStringLiteral("Export Result|Successfully Completed!"));
        const std::string csv = test::readFile(tree.path("list.csv"));
        QVERIFY(csv.find(tree.root()) != std::string::npos && csv.find("c.txt") != std::string::npos);
        prompter.fileAnswer = tree.path("list.htm");
        run("MHTML");
        QCOMPARE(prompter.informed.last(), QStringLiteral("Success|List Exported Successful"));
        QCOMPARE(window.panel(1)->text(), QStringLiteral("List Exported Successful"));
        QVERIFY(test::readFile(tree.path("list.htm")).find("Meeting 10:30") != std::string::npos);
        prompter.fileAnswer = tree.path("none/list.csv");
        run("MCSV");
        QVERIFY(prompter.informed.last().startsWith(
            QStringLiteral("Export Result|%1: ").arg(QString::fromStdString(tree.path("none/list.csv")))));

        prompter.answers = {true};
        run("MClearCache");  // the checksums of the scan go
        QVERIFY(
            prompter.asked.last().startsWith(QStringLiteral("Clear Checksum Cache|Remove the checksums")));
        QCOMPARE(calls.count(), 0);

        // Where no journal can be written, the user decides whether to go on without undo.
        tree.write("blocker", "");
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(tree.path("blocker/data")));
        QVERIFY(test::Scanned(window));
        run("MMarkAllDuplicates");
        prompter.answers = {true, true};
        run("MLinkHard");
        QVERIFY(prompter.asked.last().startsWith(QStringLiteral(
            "Confirm|Undo will not be possible for this operation (Not a directory). Go on?")));
        struct stat c = {};
        QCOMPARE(::stat(renamedA.c_str(), &a) + ::stat(tree.path("c.txt").c_str(), &c), 0);
        QCOMPARE(a.st_ino, c.st_ino);
    }

    void copyMoveAndDeleteMarkedFilesSafely()
    {
        test::TempTree tree;
        const std::string root = tree.root();
        for (const char *name : {"one/a.txt", "two/a.txt", "one/b.dat", "two/b.dat"})
            tree.write(name, name[4] == 'a' ? "alpha" : "bravo");
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(root + "data"));
        WindowThreadCalls calls;  // none may come from the window's thread
        ScopedFileSystem use(calls);
        MainFrm window(prompter, *settings);
        QVERIFY(test::ScannedFolder(window, root));
        ResultModel &model = *window.results();
        QCOMPARE(model.rowCount(), 4);  // a.txt twice, b.dat twice
        auto deleteMarked = [&] { return window.DeleteMarked(), test::Settled(window); };

        // Copy everything into one folder: the second a.txt gets a new name.
        model.applyRule(MarkAll);
        tree.mkdir("into");
        prompter.fileAnswer = root + "into";
        window.CopyMarked();
        QVERIFY(test::Settled(window));
        QVERIFY(std::filesystem::exists(root + "into/a.txt") &&
                std::filesystem::exists(root + "into/a (2).txt"));
        QCOMPARE(window.panel(1)->text(), QStringLiteral("4 file(s) copied (20 Bytes)."));

        // Every copy of a group marked: asked again; No keeps them all.
        prompter.answers = {true, false};  // Yes to the trash, No to removing last copies
        QVERIFY(deleteMarked());
        QVERIFY(prompter.asked.contains(QStringLiteral("Confirm|Move 4 marked file(s) to the trash?")));
        QVERIFY(prompter.informed.last().startsWith(
            QStringLiteral("Send to Trash|0 file(s) moved to the Trash (0 Bytes). 4 skipped, 0 failed.")));
        QVERIFY(std::filesystem::exists(root + "one/a.txt") && std::filesystem::exists(root + "two/a.txt"));

        // Mark All Duplicates keeps one of each: the others go to the trash; a changed file is
        // skipped, and stays listed and ticked with its reason.
        model.applyRule(MarkAllDuplicates);
        tree.write("two/b.dat", "bravo!");
        prompter.answers = {true};
        QVERIFY(deleteMarked());
        QVERIFY(prompter.informed.last().startsWith(
            QStringLiteral("Send to Trash|1 file(s) moved to the Trash (5 Bytes). 1 skipped, 0 failed.")));
        QVERIFY(prompter.informed.last().contains(QStringLiteral("changed since the scan")));
        QVERIFY(std::filesystem::exists(root + "one/a.txt") && !std::filesystem::exists(root + "two/a.txt"));
        QVERIFY(std::filesystem::exists(root + "data/Trash/files/a.txt") &&
                std::filesystem::exists(root + "data/Trash/info/a.txt.trashinfo"));
        QCOMPARE(model.rowCount(), 2);  // a.txt left, and its group with it
        const QModelIndex changed =
            model.index(test::ViewRowOf(model, root + "two/b.dat"), ResultModel::FileName);
        QCOMPARE(changed.data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);
        QCOMPARE(changed.data(Qt::ToolTipRole).toString(), QStringLiteral("changed since the scan"));
        QCOMPARE(model.totals().count, 1);

        // A trash that cannot be used is never success: the question names the reason before
        // anything is deleted for good.
        tree.write("two/b.dat", "bravo");  // as it was at the scan
        std::filesystem::remove_all(root + "into");
        std::filesystem::remove_all(root + "data/Trash");
        tree.write("data/Trash", "not a folder");
        QVERIFY(test::Scanned(window));
        model.applyRule(MarkAllDuplicates);
        prompter.answers = {true, false};  // Yes to the trash, No to deleting for good
        QVERIFY(deleteMarked());
        QVERIFY(prompter.asked.last().startsWith(QString::fromStdString(
            "Confirm|1 file(s) cannot be moved to the trash: " + root + "data/Trash/ is not a folder.\n")));
        QVERIFY(prompter.informed.last().startsWith(
            QStringLiteral("Send to Trash|0 file(s) moved to the Trash (0 Bytes). 0 skipped, 1 failed.")));
        QVERIFY(std::filesystem::exists(root + "two/b.dat"));
        prompter.answers = {true, true};  // and Yes: gone for good
        QVERIFY(deleteMarked());
        QCOMPARE(window.panel(1)->text(), QStringLiteral("1 file(s) deleted for good (5 Bytes)."));
        QVERIFY(!std::filesystem::exists(root + "two/b.dat") && std::filesystem::exists(root + "one/b.dat"));
        QCOMPARE(calls.count(), 0);  // scans, copies and trashes all ran off the window's thread
    }

    void keepRulesReferencesAndTheViewActOnTheGroupsShown()
    {
        test::TempTree tree;
        for (const char *name : {"ref/a", "lib/a", "lib/sub/a", "lib/b", "lib/c/b", "lib/d/b", "lib/e/b"})
            tree.write(name, name[std::string_view(name).size() - 1] == 'a' ? "alpha" : "bravo!");
        MainFrm window(prompter, *settings);
        window.setRequest(
            {{{tree.path("lib"), "Yes", "*.*", false}, {tree.path("ref"), "Yes", "*.*", false, true}}});
        QVERIFY(test::Scanned(window));
        ResultModel &model = *window.results();
        QCOMPARE(model.rowCount(), 7);
        auto rowOf = [&](const char *path) { return test::ViewRowOf(model, tree.path(path)); };
        auto marked = [&](const char *path) { return test::Marked(model, tree.path(path)); };
        QVERIFY(
            !model.setData(model.index(rowOf("ref/a"), 0), Qt::Checked, Qt::CheckStateRole));  // never ticked
        QVERIFY(!(model.flags(model.index(rowOf("ref/a"), 0)) & Qt::ItemIsUserCheckable));

        // Only the groups shown: filtered to the b files, Keep Shortest Path leaves the a files as they were.
        auto *filter = Child<QLineEdit>(window, "GroupFilter");
        filter->setText(QStringLiteral("/C/B"));  // any case
        QTest::keyClick(filter, Qt::Key_Return);
        QCOMPARE(model.rowCount(), 4);
        Child(window, "MKeepShortestPath")->trigger();
        QCOMPARE(window.panel(1)->text(), QStringLiteral("Total Files Marked 3 Size 18 Bytes"));
        filter->clear();
        QTest::keyClick(filter, Qt::Key_Return);
        QCOMPARE(model.rowCount(), 7);
        QVERIFY(!marked("lib/a"));
        QVERIFY(model.setData(model.index(rowOf("lib/a"), 0), Qt::Checked, Qt::CheckStateRole));  // by hand
        QCOMPARE(window.panel(1)->text(), QStringLiteral("Total Files Marked 4 Size 23 Bytes"));
        Child(window, "MMarkAllDuplicates")->trigger();  // a reference is kept
        QVERIFY(marked("lib/a") && marked("lib/sub/a") && !marked("ref/a"));

        // Invert marks the a files but the reference, and would mark the b group whole: spared.
        Child(window, "MNone")->trigger();
        Child(window, "MInvertMarks")->trigger();
        QCOMPARE(prompter.informed.last(),
                 QStringLiteral("Mark|1 group(s) would have had every file marked: the "
                                "first file of each stays unmarked."));
        Child(window, "MOrderCopies")->trigger();
        QCOMPARE(model.rows().front().name, std::string("b"));  // four b files: first
        QCOMPARE(Child<QLabel>(window, "PanelSpace")->text(),
                 QStringLiteral("Marked 28 Bytes of 28 Bytes to reclaim"));
    }

    void anOperationKilledPartWayIsOfferedBackAtStart()
    {
        test::TempTree tree;
        tree.write("c/x", "lonely");
        const std::string aside = tree.path("c/.geminor-abcdefghijkl");
        std::filesystem::rename(tree.path("c/x"), aside);
        struct stat st = {};
        QCOMPARE(::stat(aside.c_str(), &st), 0);
        const pid_t gone = ::fork();
        if (gone == 0)
            ::_exit(0);
        ::waitpid(gone, nullptr, 0);
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(tree.path("data")));
        const auto text = [](auto number) { return std::to_string(number); };
        const std::string head =
            "{\"geminor_journal\":1,\"id\":\"20260101-000000-000000-1\",\"action\":\"trash\","
            "\"time\":\"2026-01-01T00:00:00Z\",\"pid\":\"" +
            text(gone) + "\",\"undoable\":true}";
        const std::string step = "{\"intent\":0,\"path\":\"" + tree.path("c/x") +
                                 "\",\"device\":" + text(st.st_dev) + ",\"inode\":" + text(st.st_ino) +
                                 ",\"size\":6,\"mtime_ns\":" + text(Nanoseconds(st.st_mtim)) +
                                 ",\"ctime_ns\":0,\"aside\":\".geminor-abcdefghijkl\"}";
        tree.write("data/Geminor/journal/20260101-000000-000000-1.jsonl", head + "\n" + step + "\n");
        prompter.answers = {true};
        MainFrm window(prompter, *settings);
        window.show();
        QTRY_VERIFY(!prompter.asked.isEmpty());
        QVERIFY(test::Settled(window));
        QVERIFY(prompter.asked.last().endsWith(QStringLiteral("stopped part-way. Put back what it did?")));
        QCOMPARE(test::readFile(tree.path("c/x")), std::string("lonely"));
        QCOMPARE(window.panel(1)->text(), QStringLiteral("1 file(s) put back."));
    }

    void everyPictureNumberHasAPicture()
    {
        for (int number : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 15, 16, 17, 18, 19})
            QVERIFY2(!ImageListIcon(number).pixmap(16, 16).isNull(), qPrintable(QString::number(number)));
    }
};

GEMINOR_QT_TEST(MainFrmTest)
#include "main_frm_test.moc"
