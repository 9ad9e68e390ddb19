#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <optional>

#include "results/rename_file.h"
#include "tests/support/window_fixture.h"
#include "tests/support/scripted_prompter.h"
#include "ui/export_commands.h"
#include "ui/file_operation.h"
#include "ui/job_runner.h"
#include "ui/main_frm.h"
#include "ui/result_model.h"
#include "ui/status_panels.h"

using namespace geminor;
using geminor::test::ScriptedPrompter;

namespace {

/// Remembers each text panel 1 was painted with, and whether it was painted narrower than it.
class PaintWatch final : public QObject
{
public:
    QStringList painted;
    int cut = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            auto *label = static_cast<QLabel *>(watched);
            painted << label->text();
            if (label->width() < label->fontMetrics().horizontalAdvance(label->text()))
                ++cut;
        }
        return false;
    }
};

void write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

}  // namespace

class WindowFidelityTest : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QVERIFY(test::UseTemporaryHome(m_home, false));
        QFile::remove(configFile());
        QFile::remove(layoutFile());
        prompter = {};
        settings.emplace();
    }

    void layoutIsKeptApartAndSettingsAreWrittenOnlyOnAChange()
    {
        {
            MainFrm window(prompter, *settings);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            window.resize(720, 530);
            window.close();
        }
        QVERIFY(QFile::exists(layoutFile()));
        QVERIFY(!QFile::exists(configFile()));  // no toggle, no type list: the settings untouched
        {
            MainFrm again(prompter, *settings);
            QCOMPARE(again.size(), QSize(720, 530));
            again.toggleViewer();
            again.close();
        }
        QSettings written(configFile(), QSettings::IniFormat);
        QCOMPARE(written.value(QStringLiteral("Options/Display")).toString(), QStringLiteral("9"));
        QCOMPARE(written.childGroups(), QStringList{QStringLiteral("Options")});
    }

    void sessionsLoadAsTheirPartSays()
    {
        QTemporaryDir tree;
        for (const char *name : {"/a.txt", "/b.txt"})
            write(tree.path() + QLatin1String(name), "same!");
        // Written on Linux, no final line end, and a name with a double quote in it.
        const QString lf = tree.path() + QStringLiteral("/say \"hi\".gmr");
        write(lf, "Option2\n0\n1\n" + QFile::encodeName(tree.path()) + ",Yes,.txt,15");

        MainFrm window(prompter, *settings);
        window.setCommandLine(lf);  // as the system hands it over: quotes are part of the name
        QSignalSpy done(&window, &MainFrm::scanFinished);
        window.show();
        QVERIFY(done.wait(60000));
        QCOMPARE(window.results()->rowCount(), 2);
        QCOMPARE(window.request().Method, SearchMethod::Crc32);
        QVERIFY(window.request().IncludeHidden);
        QVERIFY(prompter.informed.isEmpty());

        // From the menu, a session that cannot be read resets the window all the same.
        prompter.fileAnswer = (tree.path() + QStringLiteral("/gone/s.gmr")).toStdString();
        window.findChild<QAction *>(QStringLiteral("MLoadSession"))->trigger();
        QCOMPARE(window.results()->rowCount(), 0);
        QVERIFY(window.request().Locations.empty());
        QCOMPARE(window.request().Method, SearchMethod::ByteToByte);
        QCOMPARE(prompter.informed,
                 QStringList{QStringLiteral("76|Path not found: %1/gone/").arg(tree.path())});
        QCOMPARE(window.panel(1)->text(),
                 QStringLiteral("Add search path and click on the scan button to start search."));
        prompter.fileAnswer = lf.toStdString();
        window.findChild<QAction *>(QStringLiteral("MLoadSession"))->trigger();
        QCOMPARE(window.request().Locations.size(), std::size_t{1});
    }

    void renameTakesAnyNameLinuxAllows()
    {
        QTemporaryDir tree;
        for (const char *name : {"/a.txt", "/b.txt"})
            write(tree.path() + QLatin1String(name), "same!");
        MainFrm window(prompter, *settings);
        SearchRequest request;
        request.Locations = {{tree.path().toStdString(), "Yes", "*.*", false}};
        window.setRequest(request);
        QVERIFY(test::Scanned(window));
        auto *list = window.findChild<QTableView *>(QStringLiteral("RLV"));
        list->setCurrentIndex(window.results()->index(0, 0));
        const QString meeting = QStringLiteral("Meeting 10:30 \\*?\"<>|.txt");
        prompter.texts = {QStringLiteral(".."), meeting};
        window.RenameSelected();
        QVERIFY(test::Settled(window));
        QCOMPARE(prompter.informed, QStringList{QStringLiteral("Error|\"..\" cannot be a file name.")});
        QVERIFY(QFile::exists(tree.path() + QLatin1Char('/') + meeting));
        QCOMPARE(window.results()->rows()[0].name, meeting.toStdString());

        for (const std::string &name : std::initializer_list<std::string>{
                 "", ".", "..", "a/b", std::string("a\0b", 3), std::string(256, 'x')})
            QVERIFY(!CheckFileName(name));
        for (const std::string &name :
             std::initializer_list<std::string>{"a:b", "\\?*\"<>|", "...", std::string(255, 'x'), "\xff\xfe"})
            QVERIFY(CheckFileName(name));
    }

    void exportStatusIsNeverPaintedCut()
    {
        QMainWindow window;
        StatusPanels panels(*window.statusBar());
        panels.panel(1)->setText(QStringLiteral("Ready"));
        window.resize(900, 300);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        PaintWatch watch;
        panels.panel(1)->installEventFilter(&watch);

        QTemporaryDir folder;
        prompter.fileAnswer = (folder.path() + QStringLiteral("/r.htm")).toStdString();
        ResultRow row;
        row.name = "x";
        row.folder = "/d/";
        ResultModel model;
        model.setRows(std::vector<ResultRow>(2500, row));
        JobRunner jobs(window, prompter);
        ExportHtml({window, prompter, model, *panels.panel(1), jobs}, 63000, 57000);
        QTRY_VERIFY(watch.painted.contains(QStringLiteral("List Exported Successful")));
        QCOMPARE(watch.cut, 0);
        QVERIFY(QFile::exists(folder.path() + QStringLiteral("/r 3.htm")));
    }

private:
    QString configFile() const { return m_home.path() + QStringLiteral("/Geminor/Geminor.conf"); }
    QString layoutFile() const { return m_home.path() + QStringLiteral("/state/Geminor/window-layout.conf"); }

    QTemporaryDir m_home;
    ScriptedPrompter prompter;
    std::optional<SettingsStore> settings;
};

QTEST_MAIN(WindowFidelityTest)
#include "window_fidelity_test.moc"
