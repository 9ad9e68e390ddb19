#include "results/undo_offer.h"

namespace geminor {

std::string WhenText(const std::string &stamp, const QDateTime &now, const QLocale &locale)
{
    const QDateTime utc = QDateTime::fromString(QString::fromStdString(stamp), Qt::ISODate);
    if (!utc.isValid())
        return stamp;
    const QDateTime local = utc.toLocalTime();
    const QString time = locale.toString(local.time(), QStringLiteral("HH:mm"));
    const QDate today = now.toLocalTime().date();
    if (local.date() == today)
        return QStringLiteral("today %1").arg(time).toStdString();
    if (local.date() == today.addDays(-1))
        return QStringLiteral("yesterday %1").arg(time).toStdString();
    return QStringLiteral("%1 %2")
        .arg(locale.toString(local.date(), QLocale::ShortFormat), time)
        .toStdString();
}

bool ChangedNothing(const JournalRecord &record)
{
    if (!record.finished)
        return false;  // stopped part-way: a file may stand aside
    for (const JournalStep &step : record.steps)
        if (!step.hasOutcome || step.outcome == FileOutcome::Done ||
            (step.outcome == FileOutcome::Failed && !step.target.empty()))  // left aside
            return false;
    return true;
}

const JournalRecord *OperationToUndo(const std::vector<JournalRecord> &records,
                                     std::vector<const JournalRecord *> &passed)
{
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
        if (it->undone || ChangedNothing(*it))
            continue;
        if (CanBeUndone(*it))
            return &*it;
        passed.push_back(&*it);
    }
    return nullptr;
}

}  // namespace geminor
