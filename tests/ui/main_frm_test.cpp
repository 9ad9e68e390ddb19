#include <QAction>
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
#include <QTemporaryDir>
#include <QTest>
#include <QApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

#include "engine/file_identity.h"
#include "ui/result_model.h"

#include "tests/support/window_fixture.h"
#include "tests/support/faulty_file_system.h"
#include "tests/support/temp_tree.h"
#include "tests/support/scripted_prompter.h"
#include "results/marking.h"
#include "ui/file_info_frm.h"
#include "ui/image_list.h"
#include "ui/main_frm.h"

using namespace geminor;
using geminor::test::ScriptedPrompter;

namespace {

/// The real file system, counting the calls the window's thread makes through it.
class WindowThreadCalls final : public FileSystem
{
public:
    int count() const { return m_calls.load(); }
    int openat(int dir, const char *name, int flags, mode_t mode) override
    {
        return seen(), FileSystem::openat(dir, name, flags, mode);
    }
    int fstatat(int dir, const char *name, struct stat *st, int flags) override
    {
        return seen(), FileSystem::fstatat(dir, name, st, flags);
    }
    ssize_t pread(int fd, void *buffer, std::size_t count, off_t offset) override
    {
        return seen(), FileSystem::pread(fd, buffer, count, offset);
    }
    ssize_t write(int fd, const void *buffer, std::size_t count) override
    {
        return seen(), FileSystem::write(fd, buffer, count);
    }
    int renameat2(int from, const char *old, int to, const char *name, unsigned flags) override
    {
        return seen(), FileSystem::renameat2(from, old, to, name, flags);
    }
    int unlinkat(int dir, const char *name, int flags) override
    {
        return seen(), FileSystem::unlinkat(dir, name, flags);
    }

private:
    void seen() { m_calls += std::this_thread::get_id() == m_window; }
    const std::thread::id m_window = std::this_thread::get_id();
    std::atomic<int> m_calls{0};
};

}  // namespace

class MainFrmTest : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QVERIFY(test::UseTemporaryHome(m_home));
        prompter = {};
        settings.emplace();  // reads the settings of the temporary home
    }

    void busyLeavesOnlyCancelAndIdleRestoresEverything()
    {
        MainFrm window(prompter, *settings);
        window.show();
        auto button = [&](int i) { return window.findChild<QAction *>(QStringLiteral("Button%1").arg(i)); };
        window.SetBusy(true);
        QVERIFY(button(2)->isEnabled());
        for (int i : {1, 4, 5, 6, 7, 8, 10, 11, 12})
            QVERIFY2(!button(i)->isEnabled(), qPrintable(QString::number(i)));
        for (const char *name : {"MScan", "MCancel", "MNewSession", "MClose"})
            QVERIFY(!window.findChild<QAction *>(QString::fromLatin1(name))->isEnabled());
        for (const char *name : {"MnuFile", "MAction", "MHelp", "MExport"})
            QVERIFY(!window.findChild<QMenu *>(QString::fromLatin1(name))->isEnabled());
        for (const char *name : {"SearchList", "cmdAdd", "cmdRemove", "Option1", "Option4", "chkProtect",
                                 "chkIncludeHidden", "RLV"})
            QVERIFY(!window.findChild<QWidget *>(QString::fromLatin1(name))->isEnabled());
        QVERIFY(window.panel(2)->isHidden() && window.panel(3)->isHidden() && window.panel(4)->isHidden());

        prompter.answers = {false};
        button(2)->trigger();  // the toolbar's Cancel works while the menus are off
        QCOMPARE(prompter.asked.size(), 1);
        prompter.asked.clear();
        prompter.answers = {false};
        auto *command1 = window.findChild<QPushButton *>(QStringLiteral("Command1"));
        QTest::keyClick(command1, Qt::Key_F6);  // the cancel question, answered No
        QCOMPARE(prompter.asked.value(0), QStringLiteral("Cancel Search|Are you sure to cancel searching?"));

        window.SetBusy(false);
        QTest::keyClick(command1, Qt::Key_F6);  // not busy: nothing
        QCOMPARE(prompter.asked.size(), 1);
        QVERIFY(!button(2)->isEnabled());
        QVERIFY(button(1)->isEnabled());
        QVERIFY(window.findChild<QAction *>(QStringLiteral("MScan"))->isEnabled());
        QVERIFY(window.panel(2)->isHidden() && window.panel(3)->isHidden());  // no counts before a scan
        QCOMPARE(window.windowTitle(), QStringLiteral("Geminor"));

        window.findChild<QRadioButton *>(QStringLiteral("Option4"))->setChecked(true);
        window.setWindowTitle(QStringLiteral("50.0% (1/2)"));
        window.SetBusy(true);
        window.SetBusy(false);
        QVERIFY(window.panel(2)->isHidden());  // zero size has no duplicates to count
        QCOMPARE(window.windowTitle(), QStringLiteral("100% Completed"));
    }

    void togglesAskWhereTheyMustAndAreStored()
    {
        {
            MainFrm window(prompter, *settings);
            QCOMPARE(window.viewerState(), SettingsStore::kViewerOn);
            QCOMPARE(window.recycleState(), SettingsStore::kRecycleOn);
            QVERIFY(window.findChild<QAction *>(QStringLiteral("MPicViewer"))->isChecked());

            prompter.answers = {false};
            window.toggleRecycle();  // No: stays on
            QCOMPARE(window.recycleState(), SettingsStore::kRecycleOn);
            QCOMPARE(prompter.asked.size(), 1);
            QVERIFY(prompter.asked[0].startsWith(
                QStringLiteral("Confirm|This will delete the files permanently i.e., they are not sent to "
                               "the Trash.\r\n")));
            prompter.answers = {true};
            window.findChild<QAction *>(QStringLiteral("MSendToRecycleBin"))->trigger();
            QCOMPARE(window.recycleState(), SettingsStore::kRecycleOff);
            QVERIFY(!window.findChild<QAction *>(QStringLiteral("MSendToRecycleBin"))->isChecked());
            window.findChild<QAction *>(QStringLiteral("Button11"))->trigger();
            QCOMPARE(window.viewerState(), SettingsStore::kViewerOff);
            auto *cache = window.findChild<QAction *>(QStringLiteral("MUseCache"));
            QVERIFY(cache->isChecked());  // on unless switched off
            cache->trigger();
            QCOMPARE(prompter.asked.size(), 2);  // switching off the viewer asks nothing
        }
        SettingsStore again;
        MainFrm restarted(prompter, again);
        QCOMPARE(restarted.viewerState(), SettingsStore::kViewerOff);
        QCOMPARE(restarted.recycleState(), SettingsStore::kRecycleOff);
        QVERIFY(!restarted.findChild<QAction *>(QStringLiteral("MPicViewer"))->isChecked());
        QVERIFY(!restarted.findChild<QAction *>(QStringLiteral("MUseCache"))->isChecked());
        restarted.toggleRecycle();  // switching on asks nothing
        QCOMPARE(restarted.recycleState(), SettingsStore::kRecycleOn);
        QCOMPARE(prompter.asked.size(), 2);
    }

    void protectWarningButNotForStatesFromAFile()
    {
        MainFrm window(prompter, *settings);
        window.show();
        auto *protect = window.findChild<QCheckBox *>(QStringLiteral("chkProtect"));
        QVERIFY(protect->isChecked());
        prompter.answers = {true};
        QTest::mouseClick(protect, Qt::LeftButton);
        QVERIFY(protect->isChecked());  // Yes: keep protecting
        prompter.answers = {false};
        QTest::mouseClick(protect, Qt::LeftButton);
        QVERIFY(!protect->isChecked());
        QCOMPARE(prompter.asked.size(), 2);
        QVERIFY(prompter.asked[0].startsWith(QStringLiteral(
            "Confirm|It is highly recommended to leave this option checked to prevent loss of data.")));
        QTest::mouseClick(protect, Qt::LeftButton);  // checking asks nothing
        QCOMPARE(prompter.asked.size(), 2);

        SearchRequest request;
        request.Method = SearchMethod::SameName;
        request.ProtectWindowsFolders = false;
        request.IncludeHidden = true;
        request.Locations = {{"/music", "Yes", ".mp3", false}, {std::string("/bad\xff"), "No", "*.*", true}};
        window.setRequest(request);
        QCOMPARE(prompter.asked.size(), 2);
        QVERIFY(window.request() == request);
        QVERIFY(window.findChild<QRadioButton *>(QStringLiteral("Option3"))->font().bold());
        QVERIFY(!window.findChild<QRadioButton *>(QStringLiteral("Option1"))->font().bold());
    }

    void sessionsRoundTripThroughTheWindow()
    {
        MainFrm window(prompter, *settings);
        SearchRequest request;
        request.Method = SearchMethod::Crc32;
        request.Locations = {{"/a,b", "Yes", ".jpg", false}, {"/a,b/old", "Yes", "*.*", true}};
        window.setRequest(request);
        const std::string path = (m_home.path() + QStringLiteral("/s.gmr")).toStdString();
        prompter.fileAnswer = path;
        window.findChild<QAction *>(QStringLiteral("MSaveSession"))->trigger();
        QCOMPARE(prompter.asked.last(), QStringLiteral("Search Session|Geminor|*.gmr"));
        window.findChild<QAction *>(QStringLiteral("MNewSession"))->trigger();
        QVERIFY(window.request() == SearchRequest{});
        QCOMPARE(window.panel(1)->text(),
                 QStringLiteral("Add search path and click on the scan button to start search."));
        prompter.fileAnswer = path;
        window.findChild<QAction *>(QStringLiteral("MLoadSession"))->trigger();
        QVERIFY(window.request() == request);
    }

    void defaultSessionIsWrittenOnCloseAndReadAtStart()
    {
        const std::string path = (m_home.path() + QStringLiteral("/Default.gmr")).toStdString();
        QFile::remove(QString::fromStdString(path));
        SearchRequest request;
        request.IncludeHidden = true;
        request.Locations = {{"/home/me", "No", "*.*", false}};
        {
            MainFrm window(prompter, *settings, path);
            window.setRequest(request);
            window.show();
            window.close();
        }
        MainFrm again(prompter, *settings, path);
        QVERIFY(again.request() == request);
        MainFrm readOnly(prompter, *settings, "/nonexistent-folder/Default.gmr");
        readOnly.show();
        QVERIFY(readOnly.close());  // closes silently
        QVERIFY(prompter.informed.isEmpty());
    }

    void aDamagedOrMissingCommandLineSessionIsReported()
    {
        test::TempTree tree;
        for (const char *name : {"a.txt", "b.txt", "c.txt"})
            tree.write(name, name[0] == 'c' ? "other" : "same!");
        // A damaged session: its message, and a scan of the rows read before the bad line.
        tree.write("damaged.gmr",
                   "Option1\r\n0\r\n0\r\n" + tree.root() + ",Yes,.txt,15\r\n\xff\x01garbage\r\n");
        MainFrm broken(prompter, *settings);
        broken.setCommandLine(QString::fromStdString(tree.path("damaged.gmr")));
        broken.show();
        QVERIFY(QTest::qWaitForWindowActive(&broken));
        QTRY_COMPARE(prompter.informed.size(), 1);
        QTRY_COMPARE(broken.panel(1)->text(), QStringLiteral("Search Completed."));
        QCOMPARE(broken.results()->rowCount(), 2);
        QCOMPARE(broken.request().Locations.size(), std::size_t{1});
        prompter.informed.clear();

        MainFrm missing(prompter, *settings);
        missing.addLocation({"/kept/as/it/was", "Yes", "*.*", false});
        missing.setCommandLine(QStringLiteral("/no/such/folder/such.gmr"));
        missing.show();
        QVERIFY(QTest::qWaitForWindowActive(&missing));
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
            int rows;
            const char *duplicates, *files;
            bool duplicatesShown;
        };
        for (const Case &c : {Case{SearchMethod::ByteToByte, 2, "Duplicates : 1", "Files : 3", true},
                              Case{SearchMethod::Crc32, 2, "Duplicates : 1", "Files : 3", true},
                              Case{SearchMethod::SameName, 2, "Duplicates : 1", "Files : 3", true},
                              Case{SearchMethod::ZeroSize, 1, "Duplicates : 0", "Files : 1", false}}) {
            SearchRequest request;
            request.Method = c.method;
            request.Locations = {{tree.root(), "Yes", "*.*", false}};
            window.setRequest(request);
            QVERIFY(test::Scanned(window));
            QCOMPARE(window.results()->rowCount(), c.rows);
            QCOMPARE(window.panel(1)->text(), QStringLiteral("Search Completed."));
            QCOMPARE(window.panel(2)->text(), QLatin1String(c.duplicates));
            QCOMPARE(window.panel(3)->text(), QLatin1String(c.files));
            QCOMPARE(window.panel(4)->text(), QStringLiteral("Folders : 2"));
            QCOMPARE(window.panel(2)->isVisible(), c.duplicatesShown);
            QCOMPARE(window.findChild<QAction *>(QStringLiteral("MMarkAll"))->isVisible(),
                     c.method == SearchMethod::ZeroSize);
        }
        QVERIFY(window.results()->rows()[0].colour == RowColour::Default);  // zero size: no group colour

        // Only exclusions, and a cancel answered Yes while no scan runs: the next scan starts
        // afresh and ends with zero counts.
        window.setRequest({{{tree.root(), "Yes", "*.*", true}}});
        prompter.answers = {true};
        window.CancelCommand();
        window.findChild<QRadioButton *>(QStringLiteral("Option1"))->setChecked(true);
        QVERIFY(test::Scanned(window));
        QCOMPARE(window.panel(2)->text(), QStringLiteral("Duplicates : 0"));
        QCOMPARE(window.panel(3)->text(), QStringLiteral("Files : 0"));
        QCOMPARE(window.panel(4)->text(), QStringLiteral("Folders : 0"));
        QVERIFY(window.findChild<QAction *>(QStringLiteral("MMarkAll"))
                    ->isVisible());  // no search ran: as it was
        window.setRequest({{{tree.root(), "Yes", "*.*", false}}});
        QVERIFY(test::Scanned(window));
        QCOMPARE(window.results()->rowCount(), 2);  // the flag left by the cancel was cleared
        QCOMPARE(window.findChild<QAction *>(QStringLiteral("MSendToRecycleBin"))->text(),
                 QStringLiteral("Send to Trash"));
        QCOMPARE(window.findChild<QCheckBox *>(QStringLiteral("chkProtect"))->text(),
                 QStringLiteral("Protect System Folders"));
    }

    void unreadableFilesAndAScanOutOfMemoryAreReported()
    {
        test::TempTree tree;
        for (const char *name : {"a", "b", "bad1", "bad2"})
            tree.write(name, "same");
        MainFrm window(prompter, *settings);
        window.show();
        SearchRequest request;
        request.Locations = {{tree.root(), "Yes", "*.*", false}};
        window.setRequest(request);
        {
            test::FaultyFileSystem faulty;
            faulty.failReadsOf("bad", EIO);
            ScopedFileSystem use(faulty);
            QVERIFY(test::Scanned(window));
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
        QCOMPARE(prompter.informed.size(), qsizetype{1});
        QVERIFY(prompter.informed[0].contains(QStringLiteral("out of memory")));
        QVERIFY(window.findChild<QAction *>(QStringLiteral("MScan"))->isEnabled());  // usable again
    }

    void fileCommandsRunOffTheWindowThread()
    {
        test::TempTree tree;
        for (const char *name : {"a.txt", "b\xff.txt"})  // byte names: Qt could not make the second
            tree.write(name, "twin");
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(tree.path("data")));  // a journal of its own
        WindowThreadCalls calls;
        ScopedFileSystem use(calls);
        MainFrm window(prompter, *settings);
        window.setRequest({{{tree.root(), "Yes", "*.*", false}}});
        QVERIFY(test::Scanned(window));  // with the checksum cache, which is on unless switched off
        ResultModel &model = *window.results();
        auto run = [&](const char *entry) {
            window.findChild<QAction *>(QString::fromLatin1(entry))->trigger();
            QVERIFY(test::Settled(window));
        };
        for (const char *entry : {"MCopyMarkFiles", "MMoveSelected", "MDelete"})
            run(entry);
        QCOMPARE(prompter.informed, QStringList({"Copying...|Please mark files before copying!",
                                                 "Moving...|Please mark files before moving!",
                                                 "Deleting...|Please mark files before deleting!"}));

        // Hard links and their undo; then nothing is left to undo.
        run("MMarkAllDuplicates");
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

        // Rename: a slash is refused and asked again; a name taken is never overwritten.
        auto *list = window.findChild<QTableView *>(QStringLiteral("RLV"));
        auto renamed = [&](int row, QStringList answers) {
            list->setCurrentIndex(model.index(row, 0));
            prompter.texts = std::move(answers);
            window.RenameSelected();
            return test::Settled(window) ? model.rows()[static_cast<std::size_t>(row)].name : std::string();
        };
        QCOMPARE(renamed(0, {QStringLiteral("bad/name"), QStringLiteral("A.txt")}), std::string("A.txt"));
        QCOMPARE(prompter.informed.last(),
                 QStringLiteral("Error|A file name cannot contain '/' or a NUL character."));
        QCOMPARE(prompter.asked.last(), QStringLiteral("Rename|Please type new name for\r\na.txt|a.txt"));
        QVERIFY(QFile::exists(QString::fromStdString(tree.path("A.txt"))) &&
                !QFile::exists(QString::fromStdString(tree.path("a.txt"))));
        QCOMPARE(renamed(1, {QStringLiteral("A.txt")}), std::string("b\xff.txt"));
        QVERIFY(prompter.informed.last().startsWith(QStringLiteral("Error|")));
        QCOMPARE(renamed(1, {QStringLiteral("c.txt")}), std::string("c.txt"));
        QCOMPARE(renamed(1, {QStringLiteral("  ")}), std::string("c.txt"));  // empty: nothing happens
        window.CopySelectedPath();
        QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromStdString(tree.path("c.txt")));
        window.ShowFileProperties();
        QVERIFY(test::Settled(window));
        QCOMPARE(window.findChild<QDialog *>(QStringLiteral("PropertiesDlg"))->windowTitle(),
                 QStringLiteral("c.txt Properties"));

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
        QVERIFY(test::readFile(tree.path("list.htm")).find("A.txt") != std::string::npos);
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
        QCOMPARE(::stat(tree.path("A.txt").c_str(), &a) + ::stat(tree.path("c.txt").c_str(), &c), 0);
        QCOMPARE(a.st_ino, c.st_ino);
    }

    void copyMoveAndDeleteMarkedFilesSafely()
    {
        QTemporaryDir tree;
        const std::string root = tree.path().toStdString();
        for (const char *name : {"/one/a.txt", "/two/a.txt", "/one/b.dat", "/two/b.dat"}) {
            std::filesystem::create_directories(std::filesystem::path(root + name).parent_path());
            std::ofstream(root + name) << (name[5] == 'a' ? "alpha" : "bravo");
        }
        qputenv("XDG_DATA_HOME", (tree.path() + QStringLiteral("/data")).toUtf8());
        WindowThreadCalls calls;  // none may come from the window's thread
        ScopedFileSystem use(calls);
        MainFrm window(prompter, *settings);
        window.setRequest({{{root, "Yes", "*.*", false}}});
        QVERIFY(test::Scanned(window));
        QCOMPARE(window.results()->rowCount(), 4);  // a.txt twice, b.dat twice

        // Copy everything into one folder: the second a.txt gets a new name.
        window.findChild<QAction *>(QStringLiteral("MMarkAll"))->setVisible(true);
        window.results()->applyRule(MarkAll);
        std::filesystem::create_directories(root + "/into");
        prompter.fileAnswer = root + "/into";
        window.CopyMarked();
        QVERIFY(test::Settled(window));
        QVERIFY(std::filesystem::exists(root + "/into/a.txt"));
        QVERIFY(std::filesystem::exists(root + "/into/a (2).txt"));
        QCOMPARE(window.panel(1)->text(), QStringLiteral("4 file(s) copied (20 Bytes)."));

        // Every copy of a group marked: asked again; No keeps them all.
        prompter.answers = {true, false};  // Yes to the trash, No to removing last copies
        window.DeleteMarked();
        QVERIFY(test::Settled(window));
        QVERIFY(prompter.asked.contains(QStringLiteral("Confirm|Move 4 marked file(s) to the trash?")));
        QVERIFY(prompter.informed.last().startsWith(
            QStringLiteral("Send to Trash|0 file(s) moved to the Trash (0 Bytes). 4 skipped, 0 failed.")));
        QVERIFY(std::filesystem::exists(root + "/one/a.txt") && std::filesystem::exists(root + "/two/a.txt"));

        // Mark All Duplicates keeps one of each: the others go to the trash; a changed file is skipped.
        window.results()->applyRule(MarkAllDuplicates);
        std::ofstream(root + "/two/b.dat") << "bravo!";  // changed since the scan
        prompter.answers = {true};
        window.DeleteMarked();
        QVERIFY(test::Settled(window));
        QVERIFY(prompter.informed.last().startsWith(
            QStringLiteral("Send to Trash|1 file(s) moved to the Trash (5 Bytes). 1 skipped, 0 failed.")));
        QVERIFY(prompter.informed.last().contains(QStringLiteral("changed since the scan")));
        QVERIFY(std::filesystem::exists(root + "/one/a.txt"));
        QVERIFY(!std::filesystem::exists(root + "/two/a.txt"));
        QVERIFY(std::filesystem::exists(root + "/data/Trash/files/a.txt"));
        QVERIFY(std::filesystem::exists(root + "/data/Trash/info/a.txt.trashinfo"));
        QCOMPARE(window.results()->rowCount(), 2);  // a.txt left, and its group with it

        // A trash that cannot be used is never success: the question names the reason before
        // anything is deleted for good.
        window.results()->applyRule(MarkNone);
        window.results()->applyRule(MarkAllDuplicates);
        std::ofstream(root + "/two/b.dat") << "bravo";  // as it was at the scan
        std::filesystem::remove_all(root + "/into");
        std::filesystem::remove_all(root + "/data/Trash");
        std::ofstream(root + "/data/Trash") << "not a folder";
        QVERIFY(test::Scanned(window));
        window.results()->applyRule(MarkAllDuplicates);
        prompter.answers = {true, false};  // Yes to the trash, No to deleting for good
        window.DeleteMarked();
        QVERIFY(test::Settled(window));
        QVERIFY(prompter.asked.last().startsWith(
            QStringLiteral(
                "Confirm|1 file(s) cannot be moved to the trash: %1/data/Trash/ is not a folder.\n")
                .arg(tree.path())));
        QVERIFY(prompter.informed.last().startsWith(
            QStringLiteral("Send to Trash|0 file(s) moved to the Trash (0 Bytes). 0 skipped, 1 failed.")));
        QVERIFY(std::filesystem::exists(root + "/two/b.dat"));
        prompter.answers = {true, true};  // and Yes: gone for good
        window.DeleteMarked();
        QVERIFY(test::Settled(window));
        QCOMPARE(window.panel(1)->text(), QStringLiteral("1 file(s) deleted for good (5 Bytes)."));
        QVERIFY(!std::filesystem::exists(root + "/two/b.dat"));
        QVERIFY(std::filesystem::exists(root + "/one/b.dat"));
        QCOMPARE(calls.count(), 0);  // scans, copies and trashes all ran off the window's thread
    }

    void keysGoWhereANewUserExpects()
    {
        test::TempTree tree;
        for (const char *name : {"a/p.jpg", "b/p.jpg"})
            tree.write(name, "picture?");
        MainFrm window(prompter, *settings);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        window.setRequest(
            {{{tree.root(), "Yes", "*.*", false}, {tree.path("elsewhere"), "Yes", "*.*", true}}});
        QVERIFY(test::Scanned(window));

        // Del in the location list removes the current location, and asks nothing.
        auto *locations = window.findChild<QTreeWidget *>(QStringLiteral("SearchList"));
        locations->setFocus();
        locations->setCurrentItem(locations->topLevelItem(1));
        QTest::keyClick(locations, Qt::Key_Delete);
        QCOMPARE(window.request().Locations.size(), std::size_t{1});
        QVERIFY(prompter.asked.isEmpty());
        // Tab leaves the result list and opens no viewer.
        auto *list = window.findChild<QTableView *>(QStringLiteral("RLV"));
        list->setFocus();
        list->setCurrentIndex(window.results()->index(0, 0));
        QTest::keyClick(list, Qt::Key_Tab);
        QVERIFY(!list->hasFocus());
        QVERIFY(!window.viewer() || !window.viewer()->isVisible());
        // Ten digits fit in the size column.
        QVERIFY(list->columnWidth(ResultModel::Size) >=
                list->fontMetrics().horizontalAdvance(QStringLiteral("21474836480")));
    }

    void keepRulesReferencesAndTheViewActOnTheGroupsShown()
    {
        test::TempTree tree;
        for (const char *name : {"ref/a", "lib/a", "lib/sub/a", "lib/b", "lib/c/b", "lib/d/b", "lib/e/b"})
            tree.write(name, name[std::string_view(name).size() - 1] == 'a' ? "alpha" : "bravo!");
        MainFrm window(prompter, *settings);
        SearchRequest request;
        request.Locations = {{tree.root() + "lib", "Yes", "*.*", false},
                             {tree.root() + "ref", "Yes", "*.*", false, true}};
        window.setRequest(request);
        window.show();
        QVERIFY(test::Scanned(window));
        ResultModel &model = *window.results();
        QCOMPARE(model.rowCount(), 7);
        auto rowOf = [&](const char *path) {
            for (int i = 0; i < model.rowCount(); ++i)
                if (model.rows()[model.rowOf(i)].path() == tree.path(path))
                    return i;
            return -1;
        };
        QVERIFY(
            !model.setData(model.index(rowOf("ref/a"), 0), Qt::Checked, Qt::CheckStateRole));  // never ticked
        QVERIFY(!(model.flags(model.index(rowOf("ref/a"), 0)) & Qt::ItemIsUserCheckable));

        // Only the groups shown: filtered to the b files, Keep Shortest Path leaves the a files as they were.
        auto *filter = window.findChild<QLineEdit *>(QStringLiteral("GroupFilter"));
        filter->setText(QStringLiteral("/C/B"));  // any case
        QTest::keyClick(filter, Qt::Key_Return);
        QCOMPARE(model.rowCount(), 4);
        window.findChild<QAction *>(QStringLiteral("MKeepShortestPath"))->trigger();
        QCOMPARE(window.panel(1)->text(), QStringLiteral("Total Files Marked 3 Size 18 Bytes"));
        filter->clear();
        QTest::keyClick(filter, Qt::Key_Return);
        QCOMPARE(model.rowCount(), 7);
        QVERIFY(!model.rows()[static_cast<std::size_t>(rowOf("lib/a"))].marked);
        QVERIFY(model.setData(model.index(rowOf("lib/a"), 0), Qt::Checked, Qt::CheckStateRole));  // by hand
        QCOMPARE(window.panel(1)->text(), QStringLiteral("Total Files Marked 4 Size 23 Bytes"));
        window.findChild<QAction *>(QStringLiteral("MMarkAllDuplicates"))->trigger();  // a reference is kept
        QVERIFY(model.rows()[static_cast<std::size_t>(rowOf("lib/a"))].marked);
        QVERIFY(model.rows()[static_cast<std::size_t>(rowOf("lib/sub/a"))].marked);
        QVERIFY(!model.rows()[static_cast<std::size_t>(rowOf("ref/a"))].marked);

        // Invert marks the a files but the reference, and would mark the b group whole: spared.
        window.findChild<QAction *>(QStringLiteral("MNone"))->trigger();
        window.findChild<QAction *>(QStringLiteral("MInvertMarks"))->trigger();
        QCOMPARE(prompter.informed.last(),
                 QStringLiteral("Mark|1 group(s) would have had every file marked: the "
                                "first file of each stays unmarked."));
        window.findChild<QAction *>(QStringLiteral("MOrderCopies"))->trigger();
        QCOMPARE(model.rows().front().name, std::string("b"));  // four b files: first
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("PanelSpace"))->text(),
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
        tree.write("data/Geminor/journal/20260101-000000-000000-1.jsonl",
                   "{\"geminor_journal\":1,\"id\":\"20260101-000000-000000-1\",\"action\":\"trash\",\"time\":"
                   "\"2026-01-01T00:00:00Z\",\"pid\":\"" +
                       std::to_string(gone) +
                       "\",\"undoable\":true}\n"
                       "{\"intent\":0,\"path\":\"" +
                       tree.path("c/x") + "\",\"device\":" + std::to_string(st.st_dev) +
                       ",\"inode\":" + std::to_string(st.st_ino) +
                       ",\"size\":6,\"mtime_ns\":" + std::to_string(Nanoseconds(st.st_mtim)) +
                       ",\"ctime_ns\":0,\"aside\":\".geminor-abcdefghijkl\"}\n");
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

private:
    QTemporaryDir m_home;
    // Every test starts with a fresh prompter and settings of its own home.
    ScriptedPrompter prompter;
    std::optional<SettingsStore> settings;
};

QTEST_MAIN(MainFrmTest)
#include "main_frm_test.moc"
