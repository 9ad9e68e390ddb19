#pragma once

class QMainWindow;
class QTableView;

namespace geminor {

class SettingsStore;

/// The window's size and place, its splitter and the list's column widths, as the user left
/// them at the last close, kept in a file of their own (SettingsStore::WindowLayoutFile), never
/// in the settings.
void RestoreWindowLayout(QMainWindow &window, QTableView &list, const SettingsStore &settings);
void SaveWindowLayout(const QMainWindow &window, const QTableView &list, const SettingsStore &settings);

}  // namespace geminor
