#pragma once

#include <cstdint>
#include <map>
#include <string>

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
/// Moves the file into the target folder on its own file system, under a free name.
FileReport MoveMarked(PlanChecks &checks, const PlanTarget &target, FileReport &report, int folder,
                      const std::string &name);
/// Moves the file to another file system: copied first, removed only when all checks hold.
FileReport MoveMarkedAcross(PlanChecks &checks, const PlanTarget &target, FileReport &report, int folder,
                            const std::string &name);
/// Copies the file into the target folder under a free name; the file stays.
FileReport CopyMarked(PlanChecks &checks, const PlanTarget &target, FileReport &report, int folder,
                      const std::string &name);

}  // namespace geminor
