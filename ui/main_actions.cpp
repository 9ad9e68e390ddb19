#include "ui/main_actions.h"

#include <QAction>
#include <QActionGroup>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

#include "ui/image_list.h"

namespace geminor {
namespace {

QAction *entry(QMenu *menu, const char *name, const QString &caption, const QKeySequence &shortcut = {})
{
    QAction *action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(shortcut);
    return action;
}

QMenu *menu(QMenuBar *bar, QMenu *parent, const char *name, const QString &caption)
{
    QMenu *made = parent ? parent->addMenu(caption) : bar->addMenu(caption);
    made->setObjectName(QString::fromLatin1(name));
    return made;
}

void buildFileMenu(QMainWindow &window, MainActions &a)
{
    a.MnuFile = menu(window.menuBar(), nullptr, "MnuFile", QStringLiteral("&File"));
    a.MScan = entry(a.MnuFile, "MScan", QStringLiteral("Scan"), Qt::Key_F5);
    a.MCancel = entry(a.MnuFile, "MCancel", QStringLiteral("Cancel"), Qt::Key_F6);
    a.MnuFile->addSeparator();
    a.MNewSession =
        entry(a.MnuFile, "MNewSession", QStringLiteral("New Session"), QKeySequence(Qt::CTRL | Qt::Key_N));
    a.MLoadSession =
        entry(a.MnuFile, "MLoadSession", QStringLiteral("Load Session"), QKeySequence(Qt::CTRL | Qt::Key_L));
    a.MSaveSession =
        entry(a.MnuFile, "MSaveSession", QStringLiteral("Save Session"), QKeySequence(Qt::CTRL | Qt::Key_S));
    a.MnuFile->addSeparator();
    a.MExport = menu(nullptr, a.MnuFile, "MExport", QStringLiteral("&Export"));
    a.MHTML =
        entry(a.MExport, "MHTML", QStringLiteral("Export in &HTML"), QKeySequence(Qt::CTRL | Qt::Key_E));
    a.MCSV = entry(a.MExport, "MCSV", QStringLiteral("Export in &CSV"),
                   QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    a.MnuFile->addSeparator();
    a.MPicViewer = entry(a.MnuFile, "MPicViewer", QStringLiteral("Show Picture Viewer"));
    a.MPicViewer->setCheckable(true);
    a.MSendToRecycleBin = entry(a.MnuFile, "MSendToRecycleBin", QStringLiteral("Send to Trash"));
    a.MSendToRecycleBin->setCheckable(true);
    a.MUseCache = entry(a.MnuFile, "MUseCache", QStringLiteral("Use Checksum Cache"));
    a.MUseCache->setCheckable(true);
    a.MClearCache = entry(a.MnuFile, "MClearCache", QStringLiteral("Clear Checksum Cache"));
    a.MnuFile->addSeparator();
    a.MClose = entry(a.MnuFile, "MClose", QStringLiteral("Close"), QKeySequence(Qt::CTRL | Qt::Key_X));
    a.MClose->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_X), QKeySequence(Qt::CTRL | Qt::Key_Q)});
}

/// The keep rules and the other ways of marking many files at once.
void buildKeepEntries(MainActions &a)
{
    a.MMark->addSeparator();
    a.MKeepOne = menu(nullptr, a.MMark, "MKeepOne", QStringLiteral("&Keep One in Each Group"));
    const std::pair<const char *, const char *> kRules[] = {
        {"MKeepFirst", "Keep &First Listed"},
        {"MKeepNewest", "Keep &Newest"},
        {"MKeepOldest", "Keep &Oldest"},
        {"MKeepShortestPath", "Keep &Shortest Path"},
        {"MKeepLongestPath", "Keep &Longest Path"},
        {"MKeepShortestName", "Keep Shortest Na&me"},
        {"MKeepFirstLocation", "Keep in First Search Lo&cation"},
        {"MKeepMatching", "Keep Path &Matching..."},
        {"MKeepNotMatching", "Keep Path No&t Matching..."},
        {"MKeepLargestResolution", "Keep the Largest &Resolution"}};
    for (const auto &[name, caption] : kRules) {
        a.keepRules.push_back(entry(a.MKeepOne, name, QString::fromLatin1(caption)));
        a.keepRules.back()->setData(static_cast<int>(a.keepRules.size() - 1));  // KeepRule in declared order
    }
    a.MMarkInFolder = entry(a.MMark, "MMarkInFolder", QStringLiteral("Mark All in &Folder..."));
    a.MUnmarkInFolder = entry(a.MMark, "MUnmarkInFolder", QStringLiteral("&Unmark All in Folder..."));
    a.MMarkByPattern = entry(a.MMark, "MMarkByPattern", QStringLiteral("Mark by &Pattern..."));
    a.MInvertMarks =
        entry(a.MMark, "MInvertMarks", QStringLiteral("&Invert Marks"), QKeySequence(Qt::CTRL | Qt::Key_I));
}

/// Orders of the groups and the filter box.
void buildViewMenu(QMainWindow &window, MainActions &a)
{
    a.MView = menu(window.menuBar(), nullptr, "MView", QStringLiteral("&View"));
    auto *orders = new QActionGroup(a.MView);
    const std::pair<const char *, const char *> kOrders[] = {
        {"MOrderFound", "Groups as Found"}, {"MOrderSpace", "Groups by Space to Reclaim"},
        {"MOrderSize", "Groups by Size"},   {"MOrderCopies", "Groups by Number of Copies"},
        {"MOrderName", "Groups by Name"},   {"MOrderFolder", "Groups by Folder"}};
    for (const auto &[name, caption] : kOrders) {
        QAction *order = entry(a.MView, name, QString::fromLatin1(caption));
        order->setCheckable(true);
        order->setData(static_cast<int>(a.groupOrders.size()));  // GroupOrder in declared order
        orders->addAction(order);
        a.groupOrders.push_back(order);
    }
    a.groupOrders.front()->setChecked(true);
    a.MView->addSeparator();
    a.MFilter = entry(a.MView, "MFilter", QStringLiteral("Filter Groups"),
                      QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    a.MView->addSeparator();
    a.MFolders = entry(a.MView, "MFolders", QStringLiteral("F&olders"), QKeySequence(Qt::CTRL | Qt::Key_G));
    a.MFolders->setCheckable(true);
    a.MShowFiles = entry(a.MView, "MShowFiles", QStringLiteral("Show the Files of the Folder"),
                         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_G));
    a.MView->addSeparator();
    a.MCompare = entry(a.MView, "MCompare", QStringLiteral("&Compare Side by Side"));
}

void buildActionMenu(QMainWindow &window, MainActions &a)
{
    a.MAction = menu(window.menuBar(), nullptr, "MAction", QStringLiteral("&Action"));
    a.MMark = menu(nullptr, a.MAction, "MMark", QStringLiteral("&Mark"));
    a.MNone = entry(a.MMark, "MNone", QStringLiteral("&None"));
    a.MMarkAll = entry(a.MMark, "MMarkAll", QStringLiteral("Mark &All"));
    a.MMarkingSelected = entry(a.MMark, "MMarkingSelected", QStringLiteral("Mark &Selected"));
    a.MMarkAllDuplicates = entry(a.MMark, "MMarkAllDuplicates", QStringLiteral("Mark All &Duplicates"),
                                 QKeySequence(Qt::CTRL | Qt::Key_D));
    buildKeepEntries(a);
    a.MAction->addSeparator();
    a.MCopyMarkFiles =
        entry(a.MAction, "MCopyMarkFiles", QStringLiteral("Copy"), QKeySequence(Qt::CTRL | Qt::Key_C));
    a.MMoveSelected =
        entry(a.MAction, "MMoveSelected", QStringLiteral("Move "), QKeySequence(Qt::CTRL | Qt::Key_M));
    a.MDelete = entry(a.MAction, "MDelete", QStringLiteral("Delete"), Qt::Key_Delete);
    // Del deletes marked files only from the result list; in the location list it removes the row.
    a.MDelete->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    a.MRename = entry(a.MAction, "MRename", QStringLiteral("Rename"), QKeySequence(Qt::CTRL | Qt::Key_R));
    a.MAction->addSeparator();
    a.MLinkHard = entry(a.MAction, "MLinkHard", QStringLiteral("Replace by Hard Links..."),
                        QKeySequence(Qt::CTRL | Qt::Key_H));
    a.MLinkSymbolic = entry(a.MAction, "MLinkSymbolic", QStringLiteral("Replace by Symbolic Links..."),
                            QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_H));
    a.MLinkClone = entry(a.MAction, "MLinkClone", QStringLiteral("Replace by Clones..."),
                         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_K));
    a.MUndo =
        entry(a.MAction, "MUndo", QStringLiteral("Undo Last Operation"), QKeySequence(Qt::CTRL | Qt::Key_Z));
    a.MAction->addSeparator();
    a.MOpenFile =
        entry(a.MAction, "MOpenFile", QStringLiteral("Open File"), QKeySequence(Qt::CTRL | Qt::Key_O));
    a.MOpenFolder =
        entry(a.MAction, "MOpenFolder", QStringLiteral("Open Folder"), QKeySequence(Qt::CTRL | Qt::Key_F));
    a.MAction->addSeparator();
    a.MCopyPath = entry(a.MAction, "MCopyPath", QStringLiteral("Copy Path to Clipboard"),
                        QKeySequence(Qt::CTRL | Qt::Key_W));
    a.MAction->addSeparator();
    a.MFileProperties = entry(a.MAction, "MFileProperties", QStringLiteral("File Properties"),
                              QKeySequence(Qt::CTRL | Qt::Key_P));
}

void buildToolbar(QMainWindow &window, MainActions &a)
{
    QToolBar *toolbar = window.addToolBar(QStringLiteral("Toolbar"));
    toolbar->setObjectName(QStringLiteral("Toolbar1"));
    toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolbar->setMovable(false);
    struct Button
    {
        ToolbarButton index;
        const char *caption;
        Picture picture;  // the toggles' pictures are set by their own state
        QAction *sameAs;  // the menu entry it runs
    };
    const Button kButtons[] = {{kScanButton, "Scan", kPictureScan, a.MScan},
                               {kCancelButton, "Cancel", kPictureCancel, nullptr},
                               {kMarkButton, "Mark", kPictureMark, nullptr},
                               {kCopyButton, "Copy", kPictureCopy, a.MCopyMarkFiles},
                               {kMoveButton, "Move", kPictureMove, a.MMoveSelected},
                               {kDeleteButton, "Delete", kPictureDelete, a.MDelete},
                               {kRenameButton, "Rename", kPictureRename, a.MRename},
                               {kExportButton, "Export", kPictureExport, nullptr},
                               {kViewerButton, "Viewer", kPictureViewerOn, nullptr},
                               {kTrashButton, "Trash", kPictureRecycleOn, nullptr}};
    for (const Button &b : kButtons) {
        if (b.index == kMarkButton || b.index == kExportButton)
            toolbar->addSeparator();
        QAction *button = toolbar->addAction(ImageListIcon(b.picture), QString::fromLatin1(b.caption));
        button->setObjectName(QStringLiteral("Button%1").arg(b.index));
        a.buttons[b.index] = button;
        if (b.sameAs)
            QObject::connect(button, &QAction::triggered, b.sameAs, &QAction::trigger);
    }
    // The menus are off during a scan: the Cancel button, on only then, carries the cancel key.
    a.buttons[kCancelButton]->setShortcut(Qt::Key_F6);
    a.buttons[kMarkButton]->setMenu(a.MMark);
    a.buttons[kExportButton]->setMenu(a.MExport);
    for (ToolbarButton index : {kMarkButton, kExportButton})
        if (auto *tool = qobject_cast<QToolButton *>(toolbar->widgetForAction(a.buttons[index])))
            tool->setPopupMode(QToolButton::InstantPopup);
}

/// The right-click menu of a result row, and the keys that open menus.
void buildRowMenu(QMainWindow &window, MainActions &a)
{
    a.RowMenu = new QMenu(&window);
    a.RowMenu->setObjectName(QStringLiteral("RowMenu"));
    a.MKeepThisOne = entry(a.RowMenu, "MKeepThisOne", QStringLiteral("&Keep This One"));
    a.MMarkThisFolder = entry(a.RowMenu, "MMarkThisFolder", QStringLiteral("&Mark All in This Folder"));
    a.MUnmarkThisFolder = entry(a.RowMenu, "MUnmarkThisFolder", QStringLiteral("&Unmark All in This Folder"));
    a.MExcludeFolder = entry(a.RowMenu, "MExcludeFolder", QStringLiteral("E&xclude This Folder"));
    a.RowMenu->addSeparator();
    a.RowMenu->addAction(a.MCompare);
    // The same commands as the Action menu's, their keys shown beside them.
    const std::pair<QAction *, const char *> kSame[] = {{a.MOpenFile, "&Open"},
                                                        {a.MOpenFolder, "&Show in Folder"},
                                                        {a.MCopyPath, "&Copy Path"},
                                                        {a.MFileProperties, "&Properties"}};
    for (const auto &[same, caption] : kSame) {
        QAction *row = a.RowMenu->addAction(QString::fromLatin1(caption) + u'\t' +
                                            same->shortcut().toString(QKeySequence::NativeText));
        row->setObjectName(QStringLiteral("Row") + same->objectName());
        QObject::connect(row, &QAction::triggered, same, &QAction::trigger);
    }
    a.MMenuKey = new QAction(&window);
    a.MMenuKey->setObjectName(QStringLiteral("MMenuKey"));
    a.MMenuKey->setShortcut(Qt::Key_F10);
    a.MKeepOneKey = new QAction(&window);
    a.MKeepOneKey->setObjectName(QStringLiteral("MKeepOneKey"));
    a.MKeepOneKey->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    window.addActions({a.MMenuKey, a.MKeepOneKey});
    QObject::connect(a.MMenuKey, &QAction::triggered, &window,
                     [&window, file = a.MnuFile] { window.menuBar()->setActiveAction(file->menuAction()); });
}

}  // namespace

void EnableMenus(const MainActions &a, bool enabled)
{
    for (QAction *entry : {a.MScan, a.MNewSession, a.MSaveSession, a.MLoadSession, a.MClose, a.MCancel})
        entry->setEnabled(enabled);
    for (QMenu *menu : {a.MExport, a.MAction, a.MHelp, a.MnuFile, a.MView})
        menu->setEnabled(enabled);
    // Entry by entry, submenus too, so that no key of theirs works during a scan.
    for (QMenu *menu : {a.MAction, a.MMark, a.MKeepOne, a.MExport, a.MView, a.RowMenu})
        for (QAction *entry : menu->actions())
            entry->setEnabled(enabled);
    for (QAction *key : {a.MMenuKey, a.MKeepOneKey})
        key->setEnabled(enabled);
}

MainActions BuildMainActions(QMainWindow &window)
{
    MainActions a;
    buildFileMenu(window, a);
    buildActionMenu(window, a);
    buildViewMenu(window, a);
    a.MHelp = menu(window.menuBar(), nullptr, "MHelp", QStringLiteral("Help"));
    a.MHelpTopics = entry(a.MHelp, "MHelpTopics", QStringLiteral("Help Topics"), Qt::Key_F1);
    a.MHelp->addSeparator();
    a.MAbout = entry(a.MHelp, "MAbout", QStringLiteral("About Geminor"));
    buildToolbar(window, a);
    buildRowMenu(window, a);
    return a;
}

}  // namespace geminor
