#include "ui/window_layout.h"

#include <QHeaderView>
#include <QMainWindow>
#include <QSplitter>
#include <QTableView>

#include "persist/settings_store.h"

namespace geminor {

void RestoreWindowLayout(QMainWindow &window, QTableView &list, const SettingsStore &settings)
{
    window.restoreGeometry(settings.WindowLayout(QStringLiteral("Geometry")));
    if (auto *splitter = window.findChild<QSplitter *>(QStringLiteral("Splitter")))
        splitter->restoreState(settings.WindowLayout(QStringLiteral("Splitter")));
    list.horizontalHeader()->restoreState(settings.WindowLayout(QStringLiteral("Columns")));
}

void SaveWindowLayout(const QMainWindow &window, const QTableView &list, SettingsStore &settings)
{
    settings.SetWindowLayout(QStringLiteral("Geometry"), window.saveGeometry());
    if (const auto *splitter = window.findChild<const QSplitter *>(QStringLiteral("Splitter")))
        settings.SetWindowLayout(QStringLiteral("Splitter"), splitter->saveState());
    settings.SetWindowLayout(QStringLiteral("Columns"), list.horizontalHeader()->saveState());
}

}  // namespace geminor
