#pragma once

#include <optional>
#include <string>
#include <vector>
#include <sys/stat.h>

#include "engine/unique_fd.h"
#include "results/plan.h"

namespace geminor {

/// A marked file renamed aside in its own folder, so that every other path to it (a link to its
/// folder, a mirror) stops reaching it while the kept copy is checked. `asideName` may be chosen
/// (and journaled) before; else setting aside picks one.
struct Aside
{
    int folder = -1;
    std::string name;       // its name in the result
    std::string asideName;  // its name while set aside
};

/// The checks of a running plan that replacing a file by a link relies on.
class PlanChecks
{
public:
    /// The marked file open for reading while it is still the file the scan saw; else an empty
    /// descriptor and the report filled.
    virtual UniqueFd openUnchanged(FileReport &report, int folder, const std::string &name,
                                   struct stat &st) = 0;
    /// An unmarked member of the file's group that opens as another file with the same bytes,
    /// on `device` when given, and agreeing with `owner` on owner, group and permissions when
    /// given: its index in the plan, and its state as compared in `state`.
    virtual std::optional<std::size_t> keptCopy(std::size_t index, int markedFd, std::optional<dev_t> device,
                                                FileIdentity *state = nullptr,
                                                const struct stat *owner = nullptr) = 0;
    /// An unmarked member of the file's group that is this very file (`st`): already linked.
    virtual std::optional<std::size_t> linkedKeptCopy(std::size_t index, const struct stat &st) = 0;
    /// Same length and the same bytes, read side by side.
    virtual bool sameBytes(int a, int b, std::uint64_t size) = 0;
    /// Renames the marked file aside, then checks that it is still the file the scan saw and
    /// that the kept copy `kept` (in the state it was compared in) still opens under its path as
    /// another file: the aside file open, or an empty descriptor with the report filled and the
    /// file back under its name.
    virtual UniqueFd setAsideChecked(FileReport &report, Aside &aside, std::size_t kept,
                                     const FileIdentity &keptState) = 0;
    /// Puts an aside file back under its name and reports `problem`; when even that fails, the
    /// report says where the file was left.
    virtual FileReport putBack(FileReport &report, const Aside &aside, FileOutcome outcome,
                               FileProblem problem, int error = 0) = 0;

protected:
    ~PlanChecks() = default;
};

/// Replaces the marked file `name` of `folder` (still the file the scan saw) by a link to a kept
/// copy of its group, as the plan's action says, through the same steps as a delete: the file
/// is set aside, the kept copy is checked to stand apart from it with the same bytes, the link
/// is put in the file's place without replacing anything, and the file is removed only when
/// the name then reaches the kept copy unchanged and the file was not written to meanwhile;
/// else the file comes back. A hard link joins only files that agree on owner, group and
/// permissions. A clone asks the kernel to share the kept copy's blocks, which it does only
/// where the bytes are equal; the file keeps its inode, owner and mode.
FileReport LinkFile(const ActionPlan &plan, PlanChecks &checks, FileReport &report, int folder,
                    const std::string &name, const std::string &asideName = {});

/// The name a link is made under beside the file set aside as `asideName`, before it takes the
/// file's place.
inline std::string LinkTemporaryName(const std::string &asideName)
{
    return asideName + "-link";
}

/// The name a move to another file system copies the file under in the target folder.
inline std::string MoveTemporaryName(const std::string &asideName)
{
    return asideName + "-copy";
}

/// How many marked files no unmarked member of their group on their file system agrees with
/// on owner, group and permissions: the files a hard link would leave. Looks at the files
/// (lstat), never reads them.
std::size_t OwnerOrModeMismatches(const std::vector<PlanFile> &files);

}  // namespace geminor
