#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <sys/stat.h>

#include "engine/file_compare.h"
#include "engine/unique_fd.h"
#include "results/folder_compare.h"
#include "results/plan_checks.h"
#include "results/trash.h"

namespace geminor {

/// The trash of each mount a plan meets, found once (each time on a mount that cannot be told).
class TrashFolders
{
public:
    TrashFolder &of(int folder);

private:
    std::map<std::uint64_t, TrashFolder> m_byMount;
};

// Each action on the marked file `name` of `folder`, found a moment ago to be the file the scan
// saw; each fills `report` and returns it. Every one that takes the file away sets it aside and
// checks its kept copy (`PlanChecks`) before it commits.

/// Removes the file for good.
FileReport DeleteMarked(PlanChecks &checks, FileReport &report, int folder, const std::string &name);
/// Moves the file to the trash of its mount, with its trash info written first.
FileReport TrashMarked(PlanChecks &checks, TrashFolders &trashes, FileReport &report, int folder,
                       const std::string &name);
/// Writes the trash info of the file set aside as `aside`, then renames it into `trash`'s files/;
/// on any failure the info goes and the file comes back.
FileReport IntoTrash(PlanChecks &checks, const TrashFolder &trash, FileReport &report, const Aside &aside);
/// Moves the file into the target folder on its own file system, under a free name.
FileReport MoveMarked(PlanChecks &checks, const PlanTarget &target, FileReport &report, int folder,
                      const std::string &name);
/// Moves the file to another file system: copied first, removed only when all checks hold.
FileReport MoveMarkedAcross(PlanChecks &checks, const PlanTarget &target, FileReport &report, int folder,
                            const std::string &name);
/// Copies the file into the target folder under a free name; the file stays.
FileReport CopyMarked(PlanChecks &checks, const PlanTarget &target, FileReport &report, int folder,
                      const std::string &name);

/// One marked folder of a running plan, acted on as a whole: trashed, deleted or moved on its
/// own mount, only while a kept folder of its group holds all it holds.
class FolderAction
{
public:
    FolderAction(PlanChecks &checks, const PlanTarget &target, TrashFolders &trashes)
        : m_checks(checks), m_target(target), m_trashes(trashes)
    {
    }

    /// What is checked before anything changes: the action takes folders, the folder is still
    /// the one the scan saw, and a kept folder of its group opens apart from it. False with the
    /// report filled.
    bool ready(FileReport &report);
    int parent() const { return m_parent.get(); }
    const struct stat &state() const { return m_state; }
    const std::string &realFolder() const { return m_realFolder; }
    /// After `ready` (and the journal): sets the folder aside, checks it and its kept folder
    /// again, compares them all the way down and commits; a dry run compares in place.
    FileReport act(FileReport &report);

private:
    std::optional<std::size_t> keptFolder(std::size_t index) const;
    bool compared(FileReport &report, int folder);
    FileReport commit(FileReport &report, const Aside &aside);

    PlanChecks &m_checks;
    const PlanTarget &m_target;
    TrashFolders &m_trashes;
    UniqueFd m_parent;
    struct stat m_state = {};
    std::string m_name, m_realFolder;
    std::size_t m_kept = 0;
    ByteComparer m_compare{1 << 18};
    FolderComparison m_compared;  // the folder as it was compared: what a delete may remove
};

}  // namespace geminor
