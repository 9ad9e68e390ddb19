#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "engine/request.h"
#include "results/action_plan.h"
#include "ui/file_operation.h"
#include "ui/prompter.h"

class QTableView;

namespace geminor {

struct ResultRow;

/// What stands at `path` now as the plans re-check it, when it is a regular file.
std::optional<FileIdentity> IdentityNow(const std::string &path);

/// The commands of the Action menu: copy, move and delete the marked files (through the action
/// plan), and rename, open, show the folder of, copy the path of and show the properties of the
/// current row's file. What reads or changes a file runs as a job of the window's runner.
class FileCommands
{
public:
    /// `toTrash` says whether deleted files go to the trash, `method` which search made the rows.
    FileCommands(const CommandContext &context, QTableView &list, std::function<bool()> toTrash,
                 std::function<SearchMethod()> method);

    void CopyMarked();
    void MoveMarked();
    void DeleteMarked();
    /// Replaces the marked files by links (or clones) of the copies kept, after a question that
    /// names the count and the space it frees.
    void LinkMarked(PlanAction action);
    void RenameSelected();
    void OpenSelectedFile();
    void OpenSelectedFolder();
    void CopySelectedPath();
    void ShowFileProperties();

private:
    bool haveMarks(const QString &title, const QString &message);
    const ResultRow *currentRow() const;
    /// Runs the plan for the marked rows and reports what became of them.
    void runFileOperation(PlanAction action, const std::string &folder);
    /// Asks whether to replace the marked files by links, after `refused` of them turned out
    /// unable to be cloned, then runs the plan.
    void confirmLinks(PlanAction action, const std::vector<std::string> &refused);
    /// Renames the file of the row shown at `viewRow` to `newName` (typed as `answer`).
    void rename(int viewRow, const std::string &newName, const QString &answer);

    CommandContext m_context;
    QWidget &m_window;
    Prompter &m_prompter;
    ResultModel &m_model;
    QTableView &m_list;
    std::function<bool()> m_toTrash;
    std::function<SearchMethod()> m_method;
};

}  // namespace geminor
