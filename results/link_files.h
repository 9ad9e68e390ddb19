#pragma once

#include <optional>
#include <string>
#include <sys/stat.h>

#include "engine/unique_fd.h"
#include "results/action_plan.h"

namespace geminor {

/// The checks of a running plan that replacing a file by a link relies on.
class PlanChecks
{
public:
    /// The marked file open for reading while it is still the file the scan saw; else an empty
    /// descriptor and the report filled.
    virtual UniqueFd openUnchanged(FileReport &report, int folder, const std::string &name, struct stat &st) = 0;
    /// An unmarked member of the file's group that opens as another file with the same bytes,
    /// on `device` when given: its index in the plan.
    virtual std::optional<std::size_t> keptCopy(std::size_t index, int markedFd, std::optional<dev_t> device) = 0;
    /// An unmarked member of the file's group that is this very file (`st`): already linked.
    virtual std::optional<std::size_t> linkedKeptCopy(std::size_t index, const struct stat &st) = 0;
    /// Same length and the same bytes, read side by side.
    virtual bool sameBytes(int a, int b, std::uint64_t size) = 0;

protected:
    ~PlanChecks() = default;
};

/// Replaces the marked file `name` of `folder` (still the file the scan saw) by a link to a kept
/// copy of its group, as the plan's action says. A hard or symbolic link is made under a
/// temporary name beside the file, the file is checked once more (the same file, unchanged,
/// byte-equal to the kept copy), and the two are swapped in one step; the old file is removed
/// only when, swapped aside, it is still unchanged, else the swap is undone. A clone asks the
/// kernel to share the kept copy's blocks, which it does only where the bytes are equal.
FileReport LinkFile(const ActionPlan &plan, PlanChecks &checks, FileReport &report, int folder,
                    const std::string &name);

}  // namespace geminor
