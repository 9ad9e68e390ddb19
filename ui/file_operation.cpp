#include "ui/file_operation.h"

#include <QLabel>
#include <algorithm>
#include <cstring>

#include "results/journal.h"
#include "ui/file_commands.h"
#include "ui/job_runner.h"
#include "ui/operation_texts.h"
#include "ui/plan_runner.h"
#include "ui/prompter.h"
#include "ui/result_model.h"
#include "ui/shown_text.h"
#include "texts/plan_texts.h"

namespace geminor {

void FollowRows(const CommandContext &context, const QString &title,
                std::function<void(RowsAndGone &)> follow, std::function<void()> then)
{
    struct Followed
    {
        RowsAndGone rows;
        QString failure;
    };
    auto followed =
        std::make_shared<Followed>(Followed{{context.model.rows(), context.model.goneRows()}, {}});
    Job job;
    job.title = title;
    job.work = [followed, follow = std::move(follow)](JobProgress &) {
        try {  // caught here, so that the report after it is still shown
            follow(followed->rows);
        } catch (const std::exception &e) {
            followed->failure = QString::fromLocal8Bit(e.what());
        }
    };
    job.then = [context, title, followed, then = std::move(then)] {
        if (followed->failure.isEmpty()) {
            context.model.goneRows() = std::move(followed->rows.gone);
            context.model.replaceRows(std::move(followed->rows.rows));
        } else {
            context.prompter.inform(&context.window, title, followed->failure, QMessageBox::Warning);
        }
        then();
    };
    context.jobs.start(std::move(job));
}

void FileOperation::Start(const CommandContext &context, PlanAction action, SearchMethod method,
                          const std::string &folder)
{
    ActionPlan plan{action, method, folder, PlanFilesOf(context.model.rows()), true, false, JournalFolder()};
    std::shared_ptr<FileOperation> operation(new FileOperation(context, std::move(plan)));
    context.jobs.start(PlanJob(operation->m_title, operation->m_plan, [operation](const PlanReport &report) {
        operation->m_report = report;
        operation->askWithoutJournal();
    }));
}

void FileOperation::StartFolders(const CommandContext &context, ActionPlan plan, PlanSizes sizes,
                                 Follow follow)
{
    std::shared_ptr<FileOperation> operation(new FileOperation(context, std::move(plan)));
    operation->m_sizes = std::move(sizes);
    operation->m_follow = std::move(follow);
    context.jobs.start(PlanJob(
        operation->m_title, operation->m_plan,
        [operation](const PlanReport &report) {
            operation->m_report = report;
            operation->askWithoutJournal();
        },
        operation->m_sizes));
}

DoneTotals FileOperation::doneOf(const ActionPlan &plan, const PlanReport &report) const
{
    DoneTotals done = DoneOf(plan, report);
    if (!m_sizes.empty()) {
        done.bytes = 0;
        for (const FileReport &file : report.files)
            if (file.outcome == FileOutcome::Done && file.file < m_sizes.size())
                done.bytes += m_sizes[file.file];
    }
    return done;
}

FileOperation::FileOperation(const CommandContext &context, ActionPlan plan)
    : m_context(context), m_plan(std::move(plan)), m_title(OperationTitle(m_plan.action))
{
}

void FileOperation::runAgain(ActionPlan plan, Step next)
{
    m_context.jobs.start(PlanJob(
        m_title, std::move(plan),
        [self = shared_from_this(), next](const PlanReport &again) {
            MergeReports(self->m_report, again);
            ((*self).*next)();
        },
        m_sizes));
}

ActionPlan FileOperation::planFor(FileProblem problem, QStringList &names) const
{
    ActionPlan again = m_plan;
    for (PlanFile &file : again.files)
        file.marked = false;
    for (const FileReport &file : m_report.files)
        if (file.problem == problem) {
            again.files[file.file].marked = true;
            names << ShownText(m_plan.files[file.file].path);
        }
    return again;
}

void FileOperation::askWithoutJournal()
{
    QStringList unjournaled;
    ActionPlan withoutJournal = planFor(FileProblem::NoJournal, unjournaled);
    if (unjournaled.isEmpty() || m_report.cancelled ||
        !m_context.prompter.askYesNo(
            &m_context.window, QStringLiteral("Confirm"),
            QStringLiteral("Undo will not be possible for this operation (%1). Go on?")
                .arg(QString::fromLocal8Bit(std::strerror(m_report.journalError))),
            QMessageBox::Warning, unjournaled.join(QLatin1Char('\n'))))
        return askLastCopies();
    withoutJournal.journalFolder.clear();
    runAgain(std::move(withoutJournal), &FileOperation::askLastCopies);
}

void FileOperation::askLastCopies()
{
    QStringList lonely;
    ActionPlan anyway = planFor(FileProblem::NoKeptCopy, lonely);
    if (lonely.isEmpty() || m_report.cancelled || IsLinkAction(m_plan.action) ||
        !m_context.prompter.askYesNo(
            &m_context.window, QStringLiteral("Confirm"),
            QStringLiteral("No unmarked identical copy is left of %1 file(s).\n%2 them anyway?")
                .arg(lonely.size())
                .arg(m_plan.action == PlanAction::Move ? QStringLiteral("Move") : QStringLiteral("Remove")),
            QMessageBox::Warning, lonely.join(QLatin1Char('\n'))))
        return askDeleteForGood();
    anyway.keepLastCopies = false;
    runAgain(std::move(anyway), &FileOperation::askDeleteForGood);
}

void FileOperation::askDeleteForGood()
{
    QStringList untrashed;
    ActionPlan remove = planFor(FileProblem::NoTrash, untrashed);
    if (untrashed.isEmpty() || m_report.cancelled)
        return followRows();
    const auto first = std::find_if(m_report.files.begin(), m_report.files.end(),
                                    [](const FileReport &f) { return f.problem == FileProblem::NoTrash; });
    const QString why = QString::fromStdString(TrashRefusalText(first->trash, first->error, first->target));
    if (!m_context.prompter.askYesNo(&m_context.window, QStringLiteral("Confirm"),
                                     QStringLiteral("%1 file(s) cannot be moved to the trash: %2.\n"
                                                    "Delete them for good? They cannot be restored.")
                                         .arg(untrashed.size())
                                         .arg(why),
                                     QMessageBox::Warning, untrashed.join(QLatin1Char('\n'))))
        return followRows();
    remove.action = PlanAction::Delete;
    m_context.jobs.start(PlanJob(
        m_title, remove,
        [self = shared_from_this(), remove](const PlanReport &again) {
            self->m_forGood = self->doneOf(remove, again);
            MergeReports(self->m_report, again);
            self->followRows();
        },
        m_sizes));
}

void FileOperation::followRows()
{
    if (m_follow) {
        m_follow(m_plan, m_report);
        return showReport();
    }
    FollowRows(
        m_context, m_title,
        [plan = m_plan, report = m_report](RowsAndGone &rows) {
            FollowPlan(rows.rows, rows.gone, plan, report, IdentityNow, ProblemText);
        },
        [self = shared_from_this()] { self->showReport(); });
}

void FileOperation::showReport()
{
    const DoneTotals done = doneOf(m_plan, m_report);
    const bool folders = !m_sizes.empty();
    const std::size_t files = done.files - m_forGood.files;
    const PlanAction action = m_plan.action;
    QString summary = DoneText(
        action, files, IsLinkAction(action) ? m_report.bytesFreed : done.bytes - m_forGood.bytes, folders);
    if (m_forGood.files > 0)
        summary = (files > 0 ? summary + QLatin1Char(' ') : QString()) +
                  DoneText(PlanAction::Delete, m_forGood.files, m_forGood.bytes, folders);
    const bool clean = m_report.skipped == 0 && m_report.failed == 0;
    if (!clean)
        summary += QStringLiteral(" %1 skipped, %2 failed.").arg(m_report.skipped).arg(m_report.failed);
    if (m_report.cancelled)
        summary += QStringLiteral(" Cancelled: the other marked files were left as they were.");
    m_context.status.setText(summary);
    if (clean)
        return;
    QStringList lines;  // "path: reason" for every file that was not done
    for (const FileReport &file : m_report.files)
        if (file.outcome != FileOutcome::Done)
            lines << ShownText(m_plan.files[file.file].path) + QStringLiteral(": ") +
                         QString::fromStdString(ProblemText(file));
    m_context.prompter.inform(&m_context.window, m_title, summary, QMessageBox::Warning,
                              lines.join(QLatin1Char('\n')));
}

}  // namespace geminor
