#pragma once

#include <QAction>
#include <QSettings>
#include <QSignalSpy>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "persist/settings_store.h"
#include "tests/support/scripted_prompter.h"
#include "ui/result_model.h"

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

/// A window test's temporary home, its scripted answers and the settings of that home; the
/// test class's init() calls fresh() so each test starts from nothing.
class WindowTest : public QObject
{
protected:
    bool fresh(bool clearSettings = true)
    {
        prompter = {};
        settings.reset();
        if (!UseTemporaryHome(m_home, clearSettings))
            return false;
        settings.emplace();
        return true;
    }
    QTemporaryDir m_home;
    ScriptedPrompter prompter;
    std::optional<SettingsStore> settings;
};

template <typename T = QAction> T *Child(const QObject &parent, const char *name)
{
    return parent.findChild<T *>(QString::fromLatin1(name));
}

/// Starts a scan and waits until the window shows its result.
template <typename Window> bool Scanned(Window &window)
{
    QSignalSpy done(&window, &Window::scanFinished);
    window.ScanCommand();
    return done.wait(60000);
}

/// Scans `root` with its subfolders, every file type.
template <typename Window> bool ScannedFolder(Window &window, const std::string &root)
{
    window.setRequest({{{root, "Yes", "*.*", false}}});
    return Scanned(window);
}

/// Waits until the file work a command of `window` started has ended (it runs in jobs off the
/// window's thread, and their questions and reports come after them).
template <typename Window> bool Settled(Window &window)
{
    return QTest::qWaitFor([&] { return !window.jobs()->busy(); }, 60000);
}

/// Triggers the window's action `name` and waits for the file work it started.
template <typename Window> bool Ran(Window &window, const char *name)
{
    Child(window, name)->trigger();
    return Settled(window);
}

/// The view row showing `path`, or -1.
inline int ViewRowOf(const ResultModel &model, const std::string &path)
{
    for (int i = 0; i < model.rowCount(); ++i)
        if (model.rows()[model.rowOf(i)].path() == path)
            return i;
    return -1;
}

inline bool Marked(const ResultModel &model, const std::string &path)
{
    return model.rows()[model.rowOf(ViewRowOf(model, path))].marked;
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
