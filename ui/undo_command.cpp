#include "ui/undo_command.h"

#include <QLabel>
#include <QStringList>
#include <optional>

#include "results/undo.h"
#include "ui/plan_runner.h"
#include "ui/prompter.h"
#include "ui/shown_text.h"

namespace geminor {

void UndoLastOperation(QWidget &window, Prompter &prompter, QLabel &status)
{
    const QString title = QStringLiteral("Undo Last Operation");
    const std::string folder = JournalFolder();
    std::optional<JournalRecord> record;
    RunWithProgress(&window, title, 0, [&](const std::atomic<bool> &, std::atomic<std::size_t> &) {
        const std::vector<JournalRecord> records = ReadJournals(folder);
        if (const JournalRecord *last = JournalToUndo(records))
            record = *last;
    });
    if (!record) {
        prompter.inform(&window, title, QStringLiteral("There is no operation to undo."));
        return;
    }
    const QString what = QStringLiteral("%1 of %2 file(s) on %3")
                             .arg(QString::fromLatin1(ActionWord(record->action)))
                             .arg(record->doneCount())
                             .arg(QString::fromStdString(record->time));
    if (record->action == PlanAction::Delete) {
        prompter.inform(&window, title, QStringLiteral("The last operation, the %1, deleted the files for good: "
                                                       "it cannot be undone.").arg(what));
        return;
    }
    if (!prompter.askYesNo(&window, title, QStringLiteral("Undo the %1?").arg(what)))
        return;
    UndoReport report;
    RunWithProgress(&window, title, 0, [&](const std::atomic<bool> &, std::atomic<std::size_t> &) {
        report = UndoOperation(*record);
        MarkUndone(folder, record->id);
    });
    QStringList problems;
    for (const UndoStep &step : report.steps)
        if (step.outcome != UndoOutcome::Restored)
            problems << ShownText(step.path) + QStringLiteral(": ") + QString::fromStdString(step.reason);
    const QString summary = QStringLiteral("%1 file(s) put back, %2 skipped, %3 failed.")
                                .arg(report.restored)
                                .arg(report.skipped)
                                .arg(report.failed);
    status.setText(summary);
    prompter.inform(&window, title, summary, problems.isEmpty() ? QMessageBox::NoIcon : QMessageBox::Warning,
                    problems.join(QLatin1Char('\n')));
}

}  // namespace geminor
