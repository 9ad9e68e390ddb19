#include "ui/undo_command.h"

#include <QLabel>
#include <QStringList>
#include <optional>

#include "results/rows_follow.h"
#include "results/undo.h"
#include "results/undo_offer.h"
#include "ui/file_commands.h"
#include "ui/plan_runner.h"
#include "ui/prompter.h"
#include "ui/result_model.h"
#include "ui/shown_text.h"

namespace geminor {
namespace {

void undo(QWidget &window, Prompter &prompter, QLabel &status, const QString &title,
          const JournalRecord &record, ResultModel *model);

/// "trash of 3 file(s), today 17:22"
QString operationText(const JournalRecord &record, std::size_t files)
{
    return QStringLiteral("%1 of %2 file(s), %3")
        .arg(QString::fromLatin1(ActionWord(record.action)))
        .arg(files)
        .arg(QString::fromStdString(WhenText(record.time)));
}

}  // namespace

void UndoLastOperation(QWidget &window, Prompter &prompter, QLabel &status, ResultModel *model)
{
    const QString title = QStringLiteral("Undo Last Operation");
    const std::string folder = JournalFolder();
    std::optional<JournalRecord> record;
    QStringList passed;  // newer operations of which nothing can be put back
    const QString failed =
        RunWithProgress(&window, title, 0, [&](const std::atomic<bool> &, std::atomic<std::size_t> &) {
            const std::vector<JournalRecord> records = ReadJournals(folder);
            std::vector<const JournalRecord *> over;
            if (const JournalRecord *last = OperationToUndo(records, over))
                record = *last;
            for (const JournalRecord *r : over)
                passed << QStringLiteral("The %1 cannot be undone.").arg(operationText(*r, r->doneCount()));
        });
    if (!failed.isEmpty())
        return prompter.inform(&window, title, failed, QMessageBox::Warning);
    if (!record) {
        passed << QStringLiteral("There is no operation to undo.");
        prompter.inform(&window, title, passed.join(QLatin1Char('\n')));
        return;
    }
    // Nothing is remembered of a No: the next undo reads the journals again and asks again.
    passed << QStringLiteral("Undo the %1?").arg(operationText(*record, record->doneCount()));
    if (!prompter.askYesNo(&window, title, passed.join(QLatin1Char('\n'))))
        return;
    undo(window, prompter, status, title, *record, model);
}

void OfferInterruptedUndo(QWidget &window, Prompter &prompter, QLabel &status)
{
    const std::vector<JournalRecord> interrupted = InterruptedJournals(JournalFolder());
    const QString title = QStringLiteral("Undo Last Operation");
    for (const JournalRecord &record : interrupted)
        if (prompter.askYesNo(&window, title,
                              QStringLiteral("The %1 stopped part-way. Put back what it did?")
                                  .arg(operationText(record, record.steps.size()))))
            undo(window, prompter, status, title, record, nullptr);
}

namespace {

void undo(QWidget &window, Prompter &prompter, QLabel &status, const QString &title,
          const JournalRecord &record, ResultModel *model)
{
    UndoReport report;
    std::vector<ResultRow> rows;
    std::vector<GoneRow> gone;
    const QString failed =
        RunWithProgress(&window, title, 0, [&](const std::atomic<bool> &, std::atomic<std::size_t> &) {
            report = UndoOperation(record);
            if (report.restored > 0 || report.steps.empty())  // else it stays to be tried again
                MarkUndone(JournalFolder(), record.id);
            if (model && report.restored > 0) {
                rows = model->rows();
                gone = model->goneRows();
                FollowUndo(rows, gone, record.action, report, IdentityNow);
            }
        });
    if (!failed.isEmpty())
        return prompter.inform(&window, title, failed, QMessageBox::Warning);
    if (model && report.restored > 0) {
        model->goneRows() = std::move(gone);
        model->replaceRows(std::move(rows));
    }
    QStringList problems;
    for (const UndoStep &step : report.steps)
        if (step.outcome != UndoOutcome::Restored)
            problems << ShownText(step.path) + QStringLiteral(": ") + QString::fromStdString(step.reason);
    QString summary = QStringLiteral("%1 file(s) put back.").arg(report.restored);
    if (!problems.isEmpty())
        summary += QStringLiteral(" %1 skipped, %2 failed.").arg(report.skipped).arg(report.failed);
    status.setText(summary);
    if (!problems.isEmpty())
        prompter.inform(&window, title, summary, QMessageBox::Warning, problems.join(QLatin1Char('\n')));
}

}  // namespace
}  // namespace geminor
