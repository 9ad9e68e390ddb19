#include "ui/undo_command.h"

#include <QLabel>
#include <QStringList>
#include <optional>

#include "results/undo.h"
#include "ui/plan_runner.h"
#include "ui/prompter.h"
#include "ui/shown_text.h"

namespace geminor {
namespace {
void undo(QWidget &window, Prompter &prompter, QLabel &status, const QString &title, const JournalRecord &record);
}  // namespace

void UndoLastOperation(QWidget &window, Prompter &prompter, QLabel &status)
{
    const QString title = QStringLiteral("Undo Last Operation");
    const std::string folder = JournalFolder();
    std::optional<JournalRecord> record;
    QStringList passed;  // newer operations of which nothing can be put back
    RunWithProgress(&window, title, 0, [&](const std::atomic<bool> &, std::atomic<std::size_t> &) {
        const std::vector<JournalRecord> records = ReadJournals(folder);
        std::vector<const JournalRecord *> over;
        if (const JournalRecord *last = JournalToUndo(records, {}, &over))
            record = *last;
        for (const JournalRecord *r : over)
            passed << QStringLiteral("The %1 on %2 cannot be undone.")
                          .arg(QString::fromLatin1(ActionWord(r->action)), QString::fromStdString(r->time));
    });
    if (!record) {
        passed << QStringLiteral("There is no operation to undo.");
        prompter.inform(&window, title, passed.join(QLatin1Char('\n')));
        return;
    }
    const QString what = QStringLiteral("%1 of %2 file(s) on %3")
                             .arg(QString::fromLatin1(ActionWord(record->action)))
                             .arg(record->doneCount())
                             .arg(QString::fromStdString(record->time));
    passed << QStringLiteral("Undo the %1?").arg(what);
    if (!prompter.askYesNo(&window, title, passed.join(QLatin1Char('\n'))))
        return;
    undo(window, prompter, status, title, *record);
}

void OfferInterruptedUndo(QWidget &window, Prompter &prompter, QLabel &status)
{
    const std::vector<JournalRecord> interrupted = InterruptedJournals(JournalFolder());
    const QString title = QStringLiteral("Undo Last Operation");
    for (const JournalRecord &record : interrupted) {
        const QString what = QStringLiteral("%1 of %2 file(s) on %3")
                                 .arg(QString::fromLatin1(ActionWord(record.action)))
                                 .arg(record.steps.size())
                                 .arg(QString::fromStdString(record.time));
        if (prompter.askYesNo(&window, title,
                              QStringLiteral("The %1 stopped part-way. Put back what it did?").arg(what)))
            undo(window, prompter, status, title, record);
    }
}

namespace {

void undo(QWidget &window, Prompter &prompter, QLabel &status, const QString &title, const JournalRecord &record)
{
    UndoReport report;
    RunWithProgress(&window, title, 0, [&](const std::atomic<bool> &, std::atomic<std::size_t> &) {
        report = UndoOperation(record);
        if (report.restored > 0 || report.steps.empty())  // else it stays to be tried again
            MarkUndone(JournalFolder(), record.id);
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

}  // namespace
}  // namespace geminor
