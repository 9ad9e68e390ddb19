#pragma once

#include <array>
#include <vector>

class QAction;
class QMainWindow;
class QMenu;

namespace geminor {

/// The toolbar's buttons by number; each carries "Button" and its number as its object name.
enum ToolbarButton : std::size_t {
    kScanButton = 1,
    kCancelButton = 2,
    kMarkButton = 4,  // after a separator
    kCopyButton,
    kMoveButton,
    kDeleteButton,
    kRenameButton,
    kExportButton = 10,  // after a separator
    kViewerButton,
    kTrashButton,
    kButtonCount
};

/// The main window's menus, menu entries and toolbar buttons, by their names. Each entry also
/// carries its name as its object name, for tests and accessibility tools.
struct MainActions
{
    QMenu *MnuFile = nullptr, *MExport = nullptr, *MAction = nullptr, *MMark = nullptr, *MHelp = nullptr;
    QAction *MScan = nullptr, *MCancel = nullptr, *MNewSession = nullptr, *MLoadSession = nullptr,
            *MSaveSession = nullptr, *MHTML = nullptr, *MCSV = nullptr, *MPicViewer = nullptr,
            *MSendToRecycleBin = nullptr, *MUseCache = nullptr, *MClearCache = nullptr, *MClose = nullptr;
    QAction *MNone = nullptr, *MMarkAll = nullptr, *MMarkingSelected = nullptr, *MMarkAllDuplicates = nullptr;
    QMenu *MKeepOne = nullptr;
    std::vector<QAction *> keepRules;  // each carries its KeepRule as data
    QAction *MMarkInFolder = nullptr, *MUnmarkInFolder = nullptr, *MInvertMarks = nullptr,
            *MMarkByPattern = nullptr;
    QMenu *MView = nullptr;
    std::vector<QAction *> groupOrders;  // each carries its GroupOrder as data; one is checked
    QAction *MFilter = nullptr;
    QAction *MFolders = nullptr;    // checked while the folder list shows instead of the file list
    QAction *MShowFiles = nullptr;  // the file list, filtered to the current folder row's folder
    QAction *MCompare = nullptr;    // two selected pictures side by side in the viewer
    QAction *MLinkHard = nullptr, *MLinkSymbolic = nullptr, *MLinkClone = nullptr, *MUndo = nullptr;
    QAction *MCopyMarkFiles = nullptr, *MMoveSelected = nullptr, *MDelete = nullptr, *MRename = nullptr,
            *MOpenFile = nullptr, *MOpenFolder = nullptr, *MCopyPath = nullptr, *MFileProperties = nullptr;
    QAction *MHelpTopics = nullptr, *MAbout = nullptr;
    // The result list's right-click menu: the row's own commands.
    QMenu *RowMenu = nullptr;
    QAction *MKeepThisOne = nullptr, *MMarkThisFolder = nullptr, *MUnmarkThisFolder = nullptr,
            *MExcludeFolder = nullptr;
    // Keys with no menu entry of their own: F10 opens the menu bar, Ctrl+K the keep rules.
    QAction *MMenuKey = nullptr, *MKeepOneKey = nullptr;
    std::array<QAction *, kButtonCount> buttons{};  // by ToolbarButton; 0, 3 and 9 are none
};

/// The menus and their entries on or off, submenus' entries too; the entries' shortcuts (Del,
/// Ctrl+C...) go with them.
void EnableMenus(const MainActions &actions, bool enabled);

/// Builds the menu bar and the toolbar of `window`; the buttons that stand for a menu entry
/// trigger it.
MainActions BuildMainActions(QMainWindow &window);

}  // namespace geminor
