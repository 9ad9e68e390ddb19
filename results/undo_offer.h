#pragma once

#include <QDateTime>
#include <QLocale>
#include <string>
#include <vector>

#include "results/journal.h"

namespace geminor {

/// When an operation ran, as its question shows it: "today 17:22", "yesterday 09:05", else the
/// locale's short date and time, all in local time. `stamp` is the journal's UTC time
/// ("2026-12-06T17:22:26Z"); a stamp that cannot be read is shown as it is.
std::string WhenText(const std::string &stamp, const QDateTime &now = QDateTime::currentDateTime(),
                     const QLocale &locale = QLocale());

/// Whether an operation ran to its end and changed nothing: no file done and none left aside.
bool ChangedNothing(const JournalRecord &record);

/// The newest operation not undone that undo can act on, passing over those that changed
/// nothing; the newer ones of which nothing can be put back go to `passed`, newest first.
const JournalRecord *OperationToUndo(const std::vector<JournalRecord> &records,
                                     std::vector<const JournalRecord *> &passed);

}  // namespace geminor
