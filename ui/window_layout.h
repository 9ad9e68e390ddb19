#pragma once

class QMainWindow;
class QTableView;

namespace geminor {

class SettingsStore;

/// The window's size and place, its splitter and the list's column widths, as the user left
/// them at the last close.
void RestoreWindowLayout(QMainWindow &window, QTableView &list, const SettingsStore &settings);
void SaveWindowLayout(const QMainWindow &window, const QTableView &list, SettingsStore &settings);

}  // namespace geminor
