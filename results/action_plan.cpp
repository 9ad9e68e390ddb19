#include "results/action_plan.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <optional>

#include "engine/file_system.h"
#include "engine/folder_walker.h"
#include "engine/unique_fd.h"
#include "results/journal.h"
#include "results/link_files.h"
#include "results/plan_actions.h"
#include "results/plan_checks.h"

namespace geminor {
namespace {

/// Opens the target folder of a copy or move; false (and `failure` filled) when it cannot.
bool openTarget(const ActionPlan &plan, PlanTarget &target, FileReport &failure)
{
    if (plan.action != PlanAction::Copy && plan.action != PlanAction::Move)
        return true;
    target.fd = UniqueFd(OpenFolder(plan.targetFolder));
    struct stat st = {};
    if (!target.fd || Fs().fstat(target.fd.get(), &st) != 0) {
        FailFile(failure, errno);
        return false;
    }
    target.folder = IdentityOf(st);
    target.real = RealFolder(target.fd.get(), plan.targetFolder);
    target.mount = MountIdOf(target.fd.get());
    return true;
}

/// Acts on one marked file after finding it still the file the scan saw, with the step its
/// action takes; each file acted on is written to the journal first.
class FileActor
{
public:
    FileActor(const ActionPlan &plan, const PlanTarget &target) : m_checks(plan), m_target(target) {}

    void useJournal(Journal *journal) { m_journal = journal; }
    /// Whether the last act wrote an intent to the journal.
    bool intentWritten() const { return m_intentWritten; }

    FileReport act(std::size_t index)
    {
        m_intentWritten = false;
        FileReport report;
        report.file = index;
        const PlanFile &file = m_checks.plan().files[index];
        if (file.folder)
            return actOnFolder(report);
        const UniqueFd folder(OpenFolder(FolderOf(file.path)));
        if (!folder)
            return VanishedError(errno) ? SkipFile(report, FileProblem::Vanished) : FailFile(report, errno);
        struct stat st = {};
        const std::string name = NameOf(file.path);
        if (Fs().fstatat(folder.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return VanishedError(errno) ? SkipFile(report, FileProblem::Vanished) : FailFile(report, errno);
        if (!S_ISREG(st.st_mode) || IdentityOf(st) != file.seen)
            return SkipFile(report, FileProblem::Changed);
        const std::string realFolder = RealFolder(folder.get(), FolderOf(file.path));
        std::string asideName;
        if (m_journal && !m_checks.plan().dryRun &&
            !journalIntent(report, folder.get(), st, realFolder, asideName))
            return report;
        m_checks.startFile(std::move(asideName), realFolder);
        return step(report, folder.get(), name, st);
    }

private:
    FileReport actOnFolder(FileReport &report)
    {
        FolderAction folder(m_checks, m_target, m_trashes);
        if (!folder.ready(report))
            return report;
        std::string asideName;
        if (m_journal && !m_checks.plan().dryRun &&
            !journalIntent(report, folder.parent(), folder.state(), folder.realFolder(), asideName))
            return report;
        m_checks.startFile(std::move(asideName), folder.realFolder());
        return folder.act(report);
    }

    FileReport step(FileReport &report, int folder, const std::string &name, const struct stat &st)
    {
        const ActionPlan &plan = m_checks.plan();
        if (plan.action == PlanAction::Copy)
            return CopyMarked(m_checks, m_target, report, folder, name);
        if (plan.action == PlanAction::Move) {
            struct stat own = {};
            if (Fs().fstat(folder, &own) == 0 && IdentityOf(own).sameFile(m_target.folder))
                return SkipFile(report, FileProblem::SameFolder);
        }
        report.bytesFreed = st.st_nlink == 1 ? static_cast<std::uint64_t>(st.st_size) : 0;
        if (IsLinkAction(plan.action))  // a link to a similar picture would lose the marked one's look
            return plan.method == SearchMethod::SimilarPictures
                       ? SkipFile(report, FileProblem::NotForPictures)
                       : LinkFile(m_checks, report, folder, name);
        if (plan.dryRun)
            return m_checks.checkOnly(report, folder, name, m_target);
        switch (plan.action) {
        case PlanAction::Delete: return DeleteMarked(m_checks, report, folder, name);
        case PlanAction::Trash: return TrashMarked(m_checks, m_trashes, report, folder, name);
        case PlanAction::Move:
            return st.st_dev != m_target.folder.device || MountIdOf(folder) != m_target.mount
                       ? MoveMarkedAcross(m_checks, m_target, report, folder, name)
                       : MoveMarked(m_checks, m_target, report, folder, name);
        default: break;  // renames never come here
        }
        return report;
    }

    /// Writes what the file is and where it will be set aside (and the trash it is headed
    /// for) to the journal, before anything changes; false with the report filled when it cannot.
    bool journalIntent(FileReport &report, int folder, const struct stat &st, const std::string &realFolder,
                       std::string &asideName)
    {
        const ActionPlan &plan = m_checks.plan();
        const TrashFolder *trash = plan.action == PlanAction::Trash ? &m_trashes.of(folder) : nullptr;
        if (trash && trash->refusal != TrashRefusal::None)
            return true;  // refused before anything changes
        asideName = TemporaryName();
        // Undo must find the file from any working folder: its path as the kernel knows it.
        PlanFile real = plan.files[report.file];
        real.path = realFolder + NameOf(real.path);
        const Status written = m_journal->intent(report.file, real, &st, asideName, trash ? trash->path : "",
                                                 trash ? trash->topDirectory : "",
                                                 plan.action == PlanAction::Move ? m_target.real : "");
        if (!written) {
            FailFile(report, written.error().errnum, FileProblem::NoJournal);
            return false;
        }
        m_intentWritten = true;
        return true;
    }

    PlanChecks m_checks;
    const PlanTarget &m_target;
    TrashFolders m_trashes;
    Journal *m_journal = nullptr;
    bool m_intentWritten = false;
};

/// Hard links cannot cross file systems: where a group has marked files on a file system with
/// no kept copy, the first of them is kept there for the others. Their indices, ascending.
std::vector<std::size_t> keptPerFileSystem(ActionPlan &plan)
{
    std::vector<std::size_t> kept;
    std::map<std::pair<std::int32_t, std::uint64_t>, bool> held;  // (group, device) has a kept copy
    for (const PlanFile &file : plan.files)
        if (!file.marked && file.group != 0)
            held[{file.group, file.seen.device}] = true;
    for (std::size_t i = 0; i < plan.files.size(); ++i) {
        PlanFile &file = plan.files[i];
        if (file.marked && !file.folder && file.group != 0 && !held[{file.group, file.seen.device}]) {
            held[{file.group, file.seen.device}] = true;
            file.marked = false;
            kept.push_back(i);
        }
    }
    return kept;
}

/// One run of a plan: its target, its journal and its report.
class PlanRun
{
public:
    explicit PlanRun(const ActionPlan &plan) : m_actor(plan, m_target)
    {
        m_going = openTarget(plan, m_target, m_stopped);
        if (!plan.dryRun && !plan.journalFolder.empty() && m_going) {
            Result<Journal> started = Journal::Start(plan.journalFolder, plan.action);
            if (!started) {
                journalFailed(started.error().errnum);
                return;
            }
            m_journal.emplace(*std::move(started));
            m_report.journal = m_journal->id();
            m_actor.useJournal(&*m_journal);
        }
    }

    /// Acts on marked file `index`, or says why nothing more can be done.
    void act(std::size_t index)
    {
        FileReport file = m_stopped;
        file.file = index;
        if (m_going) {
            file = m_actor.act(index);
            if (file.problem == FileProblem::NoJournal)
                journalFailed(file.error);
            else if (const Status written = m_actor.intentWritten() ? m_journal->done(file) : Status();
                     !written)
                journalFailed(written.error().errnum);
        }
        add(std::move(file));
    }

    void add(FileReport file)
    {
        switch (file.outcome) {
        case FileOutcome::Done: ++m_report.done; break;
        case FileOutcome::Skipped: ++m_report.skipped; break;
        case FileOutcome::Failed: ++m_report.failed; break;
        }
        m_report.bytesFreed += file.bytesFreed;
        m_report.files.push_back(std::move(file));
    }

    PlanReport finish(bool cancelled)
    {
        m_report.cancelled = cancelled;
        if (const Status finished = m_journal ? m_journal->finish() : Status();
            !finished && !m_report.journalError)
            m_report.journalError = finished.error().errnum;
        return std::move(m_report);
    }

private:
    // Acting without the journal asked for would leave nothing to undo from: from the moment
    // it cannot be written, every file left fails untouched.
    void journalFailed(int error)
    {
        m_report.journalError = error;
        m_stopped = {0, FileOutcome::Failed, FileProblem::NoJournal, error, TrashRefusal::None, {}};
        m_going = false;
    }

    PlanTarget m_target;
    FileActor m_actor;
    std::optional<Journal> m_journal;
    FileReport m_stopped;  // what every file gets once nothing more can be done
    bool m_going = true;
    PlanReport m_report;
};

}  // namespace

std::vector<PlanFile> PlanFilesOf(const std::vector<ResultRow> &rows)
{
    std::vector<PlanFile> files;
    files.reserve(rows.size());
    for (const ResultRow &row : rows)
        files.push_back({row.path(), row.seen, row.group, row.marked});
    return files;
}

PlanReport RunPlan(const ActionPlan &original, const PlanProgress &progress, const std::atomic<bool> *cancel)
{
    std::optional<ActionPlan> adjusted;  // only hard links change the marks: no copy for the rest
    if (original.action == PlanAction::HardLink)
        adjusted = original;
    const std::vector<std::size_t> keptHere =
        adjusted ? keptPerFileSystem(*adjusted) : std::vector<std::size_t>{};
    const ActionPlan &plan = adjusted ? *adjusted : original;
    const auto total = static_cast<std::size_t>(std::count_if(
        plan.files.begin(), plan.files.end(), [](const PlanFile &file) { return file.marked; }));
    PlanRun run(plan);
    std::size_t handled = 0;
    for (std::size_t i = 0; i < plan.files.size(); ++i) {
        if (std::binary_search(keptHere.begin(), keptHere.end(), i)) {
            run.add({i, FileOutcome::Skipped, FileProblem::KeptOnItsFileSystem, 0, TrashRefusal::None, {}});
            continue;
        }
        if (!plan.files[i].marked)
            continue;
        if (cancel && cancel->load())
            return run.finish(true);
        run.act(i);
        if (progress)
            progress(++handled, total);
    }
    return run.finish(false);
}

}  // namespace geminor
