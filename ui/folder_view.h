#pragma once

#include <QWidget>
#include <functional>
#include <string>

#include "engine/folder_groups.h"
#include "engine/request.h"
#include "results/folder_rows.h"
#include "ui/file_operation.h"

class QHBoxLayout;
class QLabel;
class QMenu;
class QTableView;

namespace geminor {

class FolderModel;

/// The Folders page beside the file list: the groups of identical folders and the redundant
/// folders a content scan found, the keep rules over the groups, and trash, delete and move of
/// the marked folders through the window's action plan. Redundant folders are shown only.
class FolderView final : public QWidget
{
    Q_OBJECT
public:
    /// `toTrash` says whether removed folders go to the trash.
    FolderView(const CommandContext &context, std::function<bool()> toTrash, QWidget *parent);

    /// A scan's folders; `method` tells whether the scan looked for any.
    void setResult(const FolderResult &result, SearchMethod method);
    /// Nothing scanned yet (a new session, a new scan).
    void clear();
    FolderModel *model() const { return m_model; }
    QTableView *list() const { return m_list; }

    /// Keeps one folder of each group by `criterion` (a pattern rule asks for its pattern).
    void keepOne(KeepRule rule);
    /// Trashes the marked folders, or deletes them when the trash is off, after a question.
    void removeMarked();
    void moveMarked();
    /// Asks the window to show the files of the current row's folder.
    void showFiles();
    /// Brings back the rows of the folders an undo put back.
    void followUndo(const UndoReport &report);

signals:
    /// The file list should show the files in `folder` (ends in '/') and below.
    void filesWanted(const std::string &folder);

private:
    void buildButtons(QHBoxLayout &row);
    void buildList();
    void showNote();
    /// The plan of the marked folders, the folders inside others left out; false when none is marked.
    bool planFor(PlanAction action, const std::string &target, ActionPlan &plan, const QString &title);
    void run(ActionPlan plan);
    void followPlan(const ActionPlan &plan, const PlanReport &report);

    CommandContext m_context;
    std::function<bool()> m_toTrash;
    FolderModel *m_model = nullptr;
    QTableView *m_list = nullptr;
    QLabel *m_note = nullptr;
    QMenu *m_rowMenu = nullptr;
    SearchMethod m_method = SearchMethod::ByteToByte;
    bool m_scanned = false;           // a result was set since the last clear()
    std::vector<FolderRow> m_found;   // the rows as the scan listed them, for an undo
    std::vector<std::string> m_went;  // the folders acted on since, ending in '/'
};

}  // namespace geminor
