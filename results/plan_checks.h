#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <sys/stat.h>

#include "engine/file_identity.h"
#include "engine/unique_fd.h"
#include "results/kept_copies.h"
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

/// The folder a copy or move goes to, open, with what it is and where the kernel knows it.
struct PlanTarget
{
    UniqueFd fd;
    FileIdentity folder;
    std::string real;  // its absolute path, ending in '/'
    std::uint64_t mount = 0;
};

/// Marks the file skipped for `problem`, or failed with the errno `error`; returns a copy.
FileReport SkipFile(FileReport &report, FileProblem problem);
FileReport FailFile(FileReport &report, int error, FileProblem problem = FileProblem::System);
/// True for the errno of a path that no longer leads anywhere.
bool VanishedError(int error);
/// `folder` ending in '/'.
std::string WithSlash(const std::string &folder);

/// The checks every action of a running plan shares: the file is still the one the scan saw,
/// it is set aside before it goes, and a kept copy with its bytes still stands apart from it.
class PlanChecks
{
public:
    explicit PlanChecks(const ActionPlan &plan) : m_plan(plan), m_copies(plan.files, plan.method) {}

    const ActionPlan &plan() const { return m_plan; }
    /// Before acting on a file: the name the journal gave it while set aside ("" for none) and
    /// the path of its folder as the kernel knows it.
    void startFile(std::string asideName, std::string realFolder)
    {
        m_asideName = std::move(asideName);
        m_realFolder = std::move(realFolder);
    }
    const std::string &realFolder() const { return m_realFolder; }
    const std::string &asideName() const { return m_asideName; }

    /// The marked file open for reading while it is still the file the scan saw; else an empty
    /// descriptor and the report filled.
    UniqueFd openUnchanged(FileReport &report, int folder, const std::string &name, struct stat &st);
    /// An unmarked member of the file's group that opens as another file with the same bytes,
    /// on `device` when given, and agreeing with `owner` on owner, group and permissions when
    /// given: its index in the plan, and its state as compared in `state`.
    std::optional<std::size_t> keptCopy(std::size_t index, int markedFd, std::optional<dev_t> device,
                                        FileIdentity *state = nullptr, const struct stat *owner = nullptr)
    {
        return m_copies.find(index, markedFd, device, state, owner);
    }
    /// An unmarked member of the file's group that is this very file (`st`): already linked.
    std::optional<std::size_t> linkedKeptCopy(std::size_t index, const struct stat &st) const
    {
        return m_copies.linked(index, st);
    }
    /// Whether the file may go only while a kept copy holds its bytes.
    bool needsKeptCopy(const PlanFile &file) const;

    /// Renames the marked file aside, then checks that it is still the file the scan saw and
    /// that the kept copy `kept` (in the state it was compared in) still opens under its path as
    /// another file: the aside file open, or an empty descriptor with the report filled and the
    /// file back under its name.
    UniqueFd setAsideChecked(FileReport &report, Aside &aside, std::size_t kept,
                             const FileIdentity &keptState);
    /// Checks that a kept copy holds the file's bytes (nothing renamed yet, so a file without
    /// one stays untouched), sets the file aside, and checks that it is still itself and that
    /// the kept copy still stands apart from it. The open file, or an empty descriptor with the
    /// report filled (and the file back in its place).
    UniqueFd asideAndChecked(FileReport &report, Aside &aside);
    /// Puts an aside file back under its name and reports `problem`; when even that fails, the
    /// report says where the file was left.
    FileReport putBack(FileReport &report, const Aside &aside, FileOutcome outcome, FileProblem problem,
                       int error = 0);

    /// A dry run of a delete, trash or move: every check that changes nothing.
    FileReport checkOnly(FileReport &report, int folder, const std::string &name, const PlanTarget &target);

    /// Renames the file aside, under the name the journal gave it when there is one; 0 or the errno.
    int setAside(Aside &aside);

private:
    UniqueFd asideUnchanged(FileReport &report, Aside &aside);

    const ActionPlan &m_plan;
    KeptCopies m_copies;
    std::string m_asideName;   // for the file being acted on, as the journal names it
    std::string m_realFolder;  // the folder of the file being acted on, as the kernel knows it
};

}  // namespace geminor
