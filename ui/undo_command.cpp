#include "ui/undo_command.h"

#include <QLabel>
#include <QStringList>
#include <memory>
#include <optional>

#include "results/journal.h"
#include "results/rows_follow.h"
#include "results/undo.h"
#include "results/undo_offer.h"
#include "ui/file_commands.h"
#include "ui/file_operation.h"
#include "ui/job_runner.h"
#include "ui/prompter.h"
#include "ui/result_model.h"
#include "ui/shown_text.h"
#include "texts/plan_texts.h"

namespace geminor {
namespace {

const QString kTitle = QStringLiteral("Undo Last Operation");

/// "trash of 3 file(s), today 17:22"
QString operationText(const JournalRecord &record, std::size_t files)
{
    return QStringLiteral("%1 of %2 file(s), %3")
        .arg(QString::fromLatin1(ActionWord(record.action)))
        .arg(files)
        .arg(QString::fromStdString(WhenText(record.time)));
}

void showReport(const CommandContext &context, const UndoReport &report)
{
    QStringList problems;
    for (const UndoStep &step : report.steps)
        if (step.outcome != UndoOutcome::Restored)
            problems << ShownText(step.path) + QStringLiteral(": ") +
                            QString::fromStdString(UndoReasonText(step.error));
    QString summary = QStringLiteral("%1 file(s) put back.").arg(report.restored);
    if (!problems.isEmpty())
        summary += QStringLiteral(" %1 skipped, %2 failed.").arg(report.skipped).arg(report.failed);
    context.status.setText(summary);
    if (!problems.isEmpty())
        context.prompter.inform(&context.window, kTitle, summary, QMessageBox::Warning,
                                problems.join(QLatin1Char('\n')));
}

/// Puts back what `record`'s operation did; with `follow`, the rows follow. Then `then`.
void undo(const CommandContext &context, const JournalRecord &record, bool follow, std::function<void()> then)
{
    auto report = std::make_shared<UndoReport>();
    Job job;
    job.title = kTitle;
    job.work = [report, record](JobProgress &) {
        *report = UndoOperation(record);
        if (report->restored > 0 || report->steps.empty())  // else it stays to be tried again
            MarkUndone(JournalFolder(), record.id);
    };
    job.then = [context, report, follow, action = record.action, then = std::move(then)] {
        auto done = [context, report, then] {
            showReport(context, *report);
            then();
        };
        if (context.undone && report->restored > 0)
            context.undone(*report);
        if (!follow || report->restored == 0)
            return done();
        FollowRows(
            context, kTitle,
            [report, action](RowsAndGone &rows) {
                FollowUndo(rows.rows, rows.gone, action, *report, IdentityNow);
            },
            done);
    };
    context.jobs.start(std::move(job));
}

/// Offers the interrupted operations from `next` on, one after the other.
void offerFrom(const CommandContext &context, std::shared_ptr<std::vector<JournalRecord>> records,
               std::size_t next, std::function<void()> then)
{
    if (next >= records->size())
        return then();
    const JournalRecord &record = (*records)[next];
    auto rest = [context, records, next, then] { offerFrom(context, records, next + 1, then); };
    if (context.prompter.askYesNo(&context.window, kTitle,
                                  QStringLiteral("The %1 stopped part-way. Put back what it did?")
                                      .arg(operationText(record, record.steps.size()))))
        return undo(context, record, false, rest);
    rest();
}

}  // namespace

void UndoLastOperation(const CommandContext &context)
{
    struct Found
    {
        std::optional<JournalRecord> record;
        QStringList passed;  // newer operations of which nothing can be put back
    };
    auto found = std::make_shared<Found>();
    Job job;
    job.title = kTitle;
    job.work = [found](JobProgress &) {
        const std::vector<JournalRecord> records = ReadJournals(JournalFolder());
        std::vector<const JournalRecord *> over;
        if (const JournalRecord *last = OperationToUndo(records, over))
            found->record = *last;
        for (const JournalRecord *r : over)
            found->passed
                << QStringLiteral("The %1 cannot be undone.").arg(operationText(*r, r->doneCount()));
    };
    job.then = [context, found] {
        if (!found->record) {
            found->passed << QStringLiteral("There is no operation to undo.");
            return context.prompter.inform(&context.window, kTitle, found->passed.join(QLatin1Char('\n')));
        }
        // Nothing is remembered of a No: the next undo reads the journals again and asks again.
        found->passed
            << QStringLiteral("Undo the %1?").arg(operationText(*found->record, found->record->doneCount()));
        if (context.prompter.askYesNo(&context.window, kTitle, found->passed.join(QLatin1Char('\n'))))
            undo(context, *found->record, true, [] {});
    };
    context.jobs.start(std::move(job));
}

void OfferInterruptedUndo(const CommandContext &context, std::function<void()> then)
{
    auto records = std::make_shared<std::vector<JournalRecord>>();
    Job job;
    job.title = kTitle;
    job.dialog = false;  // at start, before anything else
    job.modal = false;   // it only reads: the window is usable at once
    job.work = [records](JobProgress &) { *records = InterruptedJournals(JournalFolder()); };
    job.then = [context, records, then = std::move(then)] { offerFrom(context, records, 0, then); };
    context.jobs.start(std::move(job));
}

}  // namespace geminor
