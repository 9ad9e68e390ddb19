#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "results/action_plan.h"
#include "results/result_row.h"
#include "results/rows_follow.h"
#include "ui/plan_runner.h"

class QLabel;
class QWidget;

namespace geminor {

class JobRunner;
class Prompter;
class ResultModel;

/// What a file command acts through: the window's parts it asks in, shows in and runs jobs on.
struct CommandContext
{
    QWidget &window;
    Prompter &prompter;
    ResultModel &model;
    QLabel &status;
    JobRunner &jobs;
    /// Told what an undo put back, for what lists more than the model's rows (whole folders).
    std::function<void(const UndoReport &report)> undone = {};
};

/// The model's rows and the rows taken out, copied to follow what was done to their files.
struct RowsAndGone
{
    std::vector<ResultRow> rows;
    std::vector<GoneRow> gone;
};

/// Runs `follow` over a copy of the model's rows as a job (it looks at files), puts the rows
/// back into the model, then runs `then`, which it also runs after a failure it reported.
void FollowRows(const CommandContext &context, const QString &title,
                std::function<void(RowsAndGone &rows)> follow, std::function<void()> then);

/// One copy, move, delete or link of the marked rows, from the plan to the report. The plan runs
/// as a job; the questions its report raises (no journal, last copies, no trash) are asked
/// between jobs, each Yes running the plan again for those files; then the rows follow what
/// became of their files and the status bar says it.
class FileOperation : public std::enable_shared_from_this<FileOperation>
{
public:
    static void Start(const CommandContext &context, PlanAction action, SearchMethod method,
                      const std::string &folder);
    /// What the window makes of a folder plan's report, on its thread.
    using Follow = std::function<void(const ActionPlan &plan, const PlanReport &report)>;
    /// The same steps for a plan of whole folders, each holding `sizes` bytes (by plan index);
    /// `follow` brings the rows in line with what was done.
    static void StartFolders(const CommandContext &context, ActionPlan plan, PlanSizes sizes, Follow follow);

private:
    FileOperation(const CommandContext &context, ActionPlan plan);
    using Step = void (FileOperation::*)();
    /// Runs `plan` for the files it marks, merges its report into the operation's, then `next`.
    void runAgain(ActionPlan plan, Step next);
    /// Without its journal nothing was touched: going on means no undo, which the user decides.
    void askWithoutJournal();
    /// Marked files that are the last of their content go only when the user says so.
    void askLastCopies();
    /// A trash that cannot be used is never passed over in silence: the question names the reason.
    void askDeleteForGood();
    void followRows();
    /// What `plan` did by its `report`, in files (or folders) and their bytes.
    DoneTotals doneOf(const ActionPlan &plan, const PlanReport &report) const;
    void showReport();
    /// The plan again, for only the files of the report that failed with `problem`.
    ActionPlan planFor(FileProblem problem, QStringList &names) const;

    CommandContext m_context;
    ActionPlan m_plan;
    QString m_title;
    PlanReport m_report;
    DoneTotals m_forGood;  // deleted for good where the trash could not be used
    PlanSizes m_sizes;     // a folder plan's; none for the file rows
    Follow m_follow;
};

}  // namespace geminor
