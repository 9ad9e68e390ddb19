// The main window's time to rows: seconds from F5 until the result list holds the rows and has
// painted them once, byte to byte over TREE with sub-folders and hidden files, protection off
// (as `geminor-cli -H --no-protect`).
//   QT_QPA_PLATFORM=offscreen window_rows TREE [--cache-dir DIR | --no-cache]
// Settings, trash and journals live in a temporary home. With --cache-dir the window keeps its
// checksum cache in DIR/geminor (it takes $XDG_CACHE_HOME/geminor): compare with
// `geminor-cli --cache-dir DIR/geminor`. Without either option the cache is off.
#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/resource.h>

#include "tests/support/scripted_prompter.h"
#include "tests/support/window_fixture.h"
#include "ui/main_frm.h"

namespace {

using Clock = std::chrono::steady_clock;

/// Processor seconds so far, user and system, of all the process's threads or of this one.
double CpuSeconds(int who = RUSAGE_SELF)
{
    rusage usage = {};
    ::getrusage(who, &usage);
    auto seconds = [](const timeval &t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

/// Ends the event loop once the list has painted after the scan ended.
class FirstPaint final : public QObject
{
public:
    bool scanned = false;
    Clock::time_point shown;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (scanned && event->type() == QEvent::Paint && shown == Clock::time_point{}) {
            // Stopped after this paint: the timer fires once the event has been handled.
            QTimer::singleShot(0, this, [this] {
                shown = Clock::now();
                QApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }
};

int usage()
{
    std::fprintf(stderr, "usage: window_rows TREE [--cache-dir DIR | --no-cache]\n");
    return 2;
}

}  // namespace

int main(int argc, char *argv[])
{
    if (argc < 2 || argc > 4)
        return usage();
    std::string cacheHome;
    if (argc == 4 && std::strcmp(argv[2], "--cache-dir") == 0)
        cacheHome = argv[3];
    else if (argc != 2 && !(argc == 3 && std::strcmp(argv[2], "--no-cache") == 0))
        return usage();
    QApplication app(argc, argv);
    QTemporaryDir home;
    if (!geminor::test::UseTemporaryHome(home))
        return 1;
    if (!cacheHome.empty())
        qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(cacheHome));
    geminor::test::ScriptedPrompter prompter;
    geminor::SettingsStore settings;
    settings.SetUseChecksumCache(!cacheHome.empty());
    geminor::MainFrm window(prompter, settings);
    window.resize(1000, 700);
    window.show();
    window.activateWindow();
    geminor::SearchRequest request;
    request.Method = geminor::SearchMethod::ByteToByte;
    request.ProtectWindowsFolders = false;
    request.IncludeHidden = true;
    request.Locations = {{argv[1], "Yes", "*.*", false}};
    window.setRequest(request);
    auto *list = window.findChild<QTableView *>(QStringLiteral("RLV"));
    FirstPaint paint;
    list->viewport()->installEventFilter(&paint);
    QObject::connect(&window, &geminor::MainFrm::scanFinished, [&] { paint.scanned = true; });
    QApplication::processEvents();
    Clock::time_point start;
    double cpuStart = 0, ownStart = 0;
    QTimer::singleShot(0, [&] {
        start = Clock::now();
        cpuStart = CpuSeconds();
        ownStart = CpuSeconds(RUSAGE_THREAD);
        QTest::keyClick(&window, Qt::Key_F5);
    });
    app.exec();
    const double cpu = CpuSeconds() - cpuStart, own = CpuSeconds(RUSAGE_THREAD) - ownStart;
    std::printf("%.3f\n", std::chrono::duration<double>(paint.shown - start).count());
    std::fprintf(stderr, "%d rows; processor time %.3f s, of it the window's thread %.3f s\n",
                 list->model()->rowCount(), cpu, own);
    return prompter.informed.isEmpty() && list->model()->rowCount() > 0 ? 0 : 1;
}
