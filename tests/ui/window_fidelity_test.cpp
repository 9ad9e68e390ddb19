#include <QCheckBox>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>

#include "tests/support/qt_tests.h"
#include "tests/support/window_fixture.h"
#include "ui/export_commands.h"
#include "ui/job_runner.h"
#include "ui/main_frm.h"
#include "ui/status_panels.h"

using namespace geminor;
using geminor::test::Child;

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

}  // namespace

class WindowFidelityTest : public test::WindowTest
{
    Q_OBJECT
private slots:
    void init()
    {
        QFile::remove(configFile());
        QFile::remove(layoutFile());
        QVERIFY(fresh(false));
    }

    void togglesAskWhereTheyMustAndOnlyAChangeIsWritten()
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
            MainFrm window(prompter, *settings);
            QCOMPARE(window.size(), QSize(720, 530));
            prompter.answers = {false};
            window.toggleRecycle();  // No: stays on
            QCOMPARE(window.recycleState(), SettingsStore::kRecycleOn);
            QVERIFY(prompter.asked.value(0).startsWith(
                QStringLiteral("Confirm|This will delete the files permanently i.e., they are not sent to "
                               "the Trash.\r\n")));
            prompter.answers = {true};
            Child(window, "MSendToRecycleBin")->trigger();
            QCOMPARE(window.recycleState(), SettingsStore::kRecycleOff);
            QVERIFY(!Child(window, "MSendToRecycleBin")->isChecked());
            Child(window, "Button11")->trigger();
            QCOMPARE(window.viewerState(), SettingsStore::kViewerOff);
            QVERIFY(Child(window, "MUseCache")->isChecked());  // on unless switched off
            Child(window, "MUseCache")->trigger();
            QCOMPARE(prompter.asked.size(), 2);  // switching off the viewer or the cache asks nothing

            // Unticking Protect System Folders warns, and Yes keeps protecting; ticking asks nothing.
            window.show();
            auto *protect = Child<QCheckBox>(window, "chkProtect");
            QVERIFY(protect->isChecked());
            prompter.answers = {true, false};
            QTest::mouseClick(protect, Qt::LeftButton);
            QVERIFY(protect->isChecked());
            QTest::mouseClick(protect, Qt::LeftButton);
            QVERIFY(!protect->isChecked());
            QTest::mouseClick(protect, Qt::LeftButton);
            QCOMPARE(prompter.asked.size(), 4);
            QVERIFY(prompter.asked[2].startsWith(QStringLiteral(
                "Confirm|It is highly recommended to leave this option checked to prevent loss of data.")));
            window.close();
        }
        QSettings written(configFile(), QSettings::IniFormat);
        QCOMPARE(written.value(QStringLiteral("Options/Display")).toString(), QStringLiteral("9"));
        QCOMPARE(written.childGroups(), QStringList{QStringLiteral("Options")});
        SettingsStore again;
        MainFrm restarted(prompter, again);
        QCOMPARE(restarted.viewerState(), SettingsStore::kViewerOff);
        QCOMPARE(restarted.recycleState(), SettingsStore::kRecycleOff);
        QVERIFY(!Child(restarted, "MPicViewer")->isChecked() && !Child(restarted, "MUseCache")->isChecked());
        restarted.toggleRecycle();  // switching on asks nothing
        QCOMPARE(restarted.recycleState(), SettingsStore::kRecycleOn);
        QCOMPARE(prompter.asked.size(), 4);
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
};

GEMINOR_QT_TEST(WindowFidelityTest)
#include "window_fidelity_test.moc"
