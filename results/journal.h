#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/error.h"
#include "engine/file_identity.h"
#include "engine/unique_fd.h"
#include "results/plan.h"

namespace geminor {

/// The folder of the journals: $XDG_DATA_HOME/Geminor/journal (~/.local/share/Geminor/journal).
std::string JournalFolder();

/// The journal of one operation: an append-only file of JSON lines. What a file is and where
/// it stands is written (and flushed to the disk) before it is acted on; what became of it is
/// written after. A crash between the two leaves a step that undo checks against the disk.
class Journal
{
public:
    /// Starts the journal of an operation in `folder`; JournalUnwritable (with the errno and the
    /// folder) when it cannot be written.
    static Result<Journal> Start(const std::string &folder, PlanAction action);

    const std::string &id() const { return m_id; }
    /// Before acting on plan file `index`, on the disk before anything changes: what the file
    /// is (its own mode, owner and times from `st`, when given), the name it will have while set
    /// aside and the trash it is headed for, so that undo finds it after a crash at any step.
    Status intent(std::size_t index, const PlanFile &file, const struct stat *st = nullptr,
                  const std::string &aside = {}, const std::string &trash = {},
                  const std::string &trashTop = {}, const std::string &moveTo = {});
    /// After acting: the outcome, and where the file went (or the kept copy it now links to);
    /// on the disk before the next file is touched.
    Status done(const FileReport &report);
    /// Says the operation ran to its end, on the disk.
    Status finish();

private:
    Journal(std::string id, UniqueFd fd) : m_id(std::move(id)), m_fd(std::move(fd)) {}
    Status append(const std::string &line, bool sync);

    std::string m_id;
    UniqueFd m_fd;
};

/// One file of a journal, as undo sees it.
struct JournalStep
{
    std::string path;  // where the file was before the operation
    FileIdentity was;
    std::string aside;            // its name in its folder while set aside; "" when never
    std::string trash, trashTop;  // the trash it was headed for, and that trash's top folder
    std::string moveTo;           // the folder a move was taking it to
    bool folder = false;          // a whole folder: its size and times follow its entries
    bool hasOwn = false;          // its own mode, owner and access time were recorded
    mode_t mode = 0;
    uid_t uid = 0;
    gid_t gid = 0;
    std::int64_t accessedNs = 0;
    bool hasOutcome = false;  // false: the operation stopped while acting on it
    FileOutcome outcome = FileOutcome::Failed;
    std::string target;        // where it went; the kept copy for links
    FileIdentity targetState;  // what stood at the target right after
};

/// A journal read back.
struct JournalRecord
{
    std::string id, time;
    PlanAction action = PlanAction::Trash;
    bool undone = false;
    bool finished = false;  // ran to its end; else it was interrupted (or still runs: see `pid`)
    long pid = 0;           // the process that wrote it
    std::vector<JournalStep> steps;

    /// The files the operation acted on.
    std::size_t doneCount() const
    {
        std::size_t done = 0;
        for (const JournalStep &step : steps)
            done += step.hasOutcome && step.outcome == FileOutcome::Done;
        return done;
    }
};

/// The listing of `folder`; none when it cannot be opened.
UniqueDir ListFolder(const std::string &folder);

/// Every journal of `folder`, oldest first; unreadable lines are passed over.
std::vector<JournalRecord> ReadJournals(const std::string &folder);

/// Whether undo can put anything back: not after a permanent delete, nor after clones (each
/// file kept its own inode and bytes), nor when nothing was done.
bool CanBeUndone(const JournalRecord &record);

/// The journals of `folder` whose operation stopped part-way (the process is gone) and that
/// were not undone: what the next start offers to roll back.
std::vector<JournalRecord> InterruptedJournals(const std::string &folder);

/// Marks the journal `id` of `folder` as undone.
bool MarkUndone(const std::string &folder, const std::string &id);

/// The action's word in a journal ("trash", "hard-link"...) and back.
const char *ActionWord(PlanAction action);
std::optional<PlanAction> ActionFromWord(const std::string &word);

}  // namespace geminor
