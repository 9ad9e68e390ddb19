#pragma once

#include <QSettings>
#include <QSignalSpy>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <string>

namespace geminor::test {

/// Points every XDG folder at `home` and forgets stored settings, so a window under test
/// never reads or writes the user's own configuration, trash or journals.
inline bool UseTemporaryHome(const QTemporaryDir &home, bool clearSettings = true)
{
    if (!home.isValid())
        return false;
    const QString root = home.path();
    qputenv("XDG_CONFIG_HOME", root.toUtf8());
    qputenv("XDG_DATA_HOME", (root + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_CACHE_HOME", (root + QStringLiteral("/cache")).toUtf8());
    qputenv("XDG_STATE_HOME", (root + QStringLiteral("/state")).toUtf8());
    if (clearSettings)
        QSettings(QStringLiteral("Geminor"), QStringLiteral("Geminor")).clear();
    return true;
}

/// Starts a scan and waits until the window shows its result.
template <typename Window> bool Scanned(Window &window)
{
    QSignalSpy done(&window, &Window::scanFinished);
    window.ScanCommand();
    return done.wait(60000);
}

/// Waits until the file work a command of `window` started has ended (it runs in jobs off the
/// window's thread, and their questions and reports come after them).
template <typename Window> bool Settled(Window &window)
{
    return QTest::qWaitFor([&] { return !window.jobs()->busy(); }, 60000);
}

/// 100 folders of 40 identical files: a scan long enough to be interrupted.
inline void FillSlowTree(const QString &root)
{
    for (int d = 0; d < 100; ++d) {
        const std::string folder = root.toStdString() + "/d" + std::to_string(d);
        std::filesystem::create_directories(folder);
        for (int f = 0; f < 40; ++f)
            std::ofstream(folder + "/f" + std::to_string(f)) << "identical";
    }
}

}  // namespace geminor::test
