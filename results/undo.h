#pragma once

#include <string>
#include <vector>

#include "engine/error.h"
#include "results/journal.h"

namespace geminor {

enum class UndoOutcome { Restored, Skipped, Failed };

/// What undo did with one file of a journal.
struct UndoStep
{
    std::string path;
    UndoOutcome outcome = UndoOutcome::Restored;
    Error error;  // why it was skipped or failed
};

struct UndoReport
{
    std::vector<UndoStep> steps;  // the files the operation had acted on (or may have)
    std::size_t restored = 0, skipped = 0, failed = 0;
    bool undoable = true;  // false for a permanent delete
};

/// Puts back what the operation of `record` did, file by file, as far as the disk still allows:
/// trashed files come out of the trash (their trash info goes), moved files go back, copies are
/// removed, links become independent copies of the kept file's bytes again. A file that changed
/// since, or whose name is now taken, or that was purged from the trash, is skipped and never
/// overwritten.
UndoReport UndoOperation(const JournalRecord &record);

/// The newest journal not undone yet that can be undone (or the one named `id`). The newer ones
/// passed over because nothing of them can be put back (a permanent delete, clones, nothing
/// done) are added to `passed`, newest first.
const JournalRecord *JournalToUndo(const std::vector<JournalRecord> &records, const std::string &id = {},
                                   std::vector<const JournalRecord *> *passed = nullptr);

}  // namespace geminor
