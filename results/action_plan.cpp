#include "results/action_plan.h"

#include <cerrno>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <optional>
#include <unistd.h>

#include "engine/file_system.h"
#include "engine/folder_walker.h"
#include "engine/unique_fd.h"
#include "results/extended_attributes.h"
#include "results/file_copy.h"
#include "results/journal.h"
#include "results/kept_copies.h"
#include "results/link_files.h"

namespace geminor {
namespace {

bool vanishedError(int error)
{
    return error == ENOENT || error == ENOTDIR;
}

class Runner final : public PlanChecks
{
public:
    explicit Runner(const ActionPlan &plan) : m_plan(plan), m_copies(plan) {}

    /// Opens the target folder of a copy or move; false (and the report filled) when it cannot.
    bool openTarget(FileReport &failure)
    {
        if (m_plan.action != PlanAction::Copy && m_plan.action != PlanAction::Move)
            return true;
        m_target = UniqueFd(OpenFolder(m_plan.targetFolder));
        struct stat st = {};
        if (!m_target || Fs().fstat(m_target.get(), &st) != 0) {
            failure.outcome = FileOutcome::Failed;
            failure.problem = FileProblem::System;
            failure.error = errno;
            return false;
        }
        m_targetFolder = IdentityOf(st);
        m_targetReal = RealFolder(m_target.get(), m_plan.targetFolder);
        m_targetMount = MountIdOf(m_target.get());
        return true;
    }

    /// Each file acted on is written to `journal` first.
    void useJournal(Journal *journal) { m_journal = journal; }
    /// Whether the last act wrote an intent to the journal, and whether writing failed.
    bool intentWritten() const { return m_intentWritten; }

    /// Acts on marked file `index`.
    FileReport act(std::size_t index)
    {
        m_asideName.clear();
        m_intentWritten = false;
        FileReport report;
        report.file = index;
        const PlanFile &file = m_plan.files[index];
        const UniqueFd folder(OpenFolder(FolderOf(file.path)));
        if (!folder)
            return vanishedError(errno) ? skip(report, FileProblem::Vanished) : fail(report, errno);
        struct stat st = {};
        const std::string name = NameOf(file.path);
        if (Fs().fstatat(folder.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return vanishedError(errno) ? skip(report, FileProblem::Vanished) : fail(report, errno);
        if (!S_ISREG(st.st_mode) || IdentityOf(st) != file.seen)
            return skip(report, FileProblem::Changed);
        m_realFolder = RealFolder(folder.get(), FolderOf(file.path));
        if (m_journal && !m_plan.dryRun && !journalIntent(report, folder.get(), st))
            return report;
        if (m_plan.action == PlanAction::Copy)
            return copy(report, folder.get(), name);
        if (m_plan.action == PlanAction::Move) {
            struct stat own = {};
            if (Fs().fstat(folder.get(), &own) == 0 && IdentityOf(own).sameFile(m_targetFolder))
                return skip(report, FileProblem::SameFolder);
        }
        report.bytesFreed = st.st_nlink == 1 ? static_cast<std::uint64_t>(st.st_size) : 0;
        if (IsLinkAction(m_plan.action))
            return LinkFile(m_plan, *this, report, folder.get(), name, m_asideName);
        if (m_plan.dryRun)
            return checkOnly(report, folder.get(), name);
        const bool otherMount =
            m_plan.action == PlanAction::Move &&
            (st.st_dev != m_targetFolder.device || MountIdOf(folder.get()) != m_targetMount);
        return otherMount ? moveAcross(report, folder.get(), name) : remove(report, folder.get(), name);
    }

private:
    /// Writes what the file is and where it will be set aside (and the trash it is headed
    /// for) to the journal, before anything changes; false with the report filled when it cannot.
    bool journalIntent(FileReport &report, int folder, const struct stat &st)
    {
        const TrashFolder *trash = m_plan.action == PlanAction::Trash ? &trashFor(folder) : nullptr;
        if (trash && trash->refusal != TrashRefusal::None)
            return true;  // refused before anything changes
        m_asideName = TemporaryName();
        // Undo must find the file from any working folder: its path as the kernel knows it.
        const PlanFile real{m_realFolder + NameOf(m_plan.files[report.file].path),
                            m_plan.files[report.file].seen, 0, true};
        if (!m_journal->intent(report.file, real, &st, m_asideName, trash ? trash->path : "",
                               trash ? trash->topDirectory : "",
                               m_plan.action == PlanAction::Move ? m_targetReal : "")) {
            fail(report, errno, FileProblem::NoJournal);
            return false;
        }
        m_intentWritten = true;
        return true;
    }

    static FileReport skip(FileReport &report, FileProblem problem)
    {
        report.outcome = FileOutcome::Skipped;
        report.problem = problem;
        report.bytesFreed = 0;
        return report;
    }
    static FileReport fail(FileReport &report, int error, FileProblem problem = FileProblem::System)
    {
        report.outcome = FileOutcome::Failed;
        report.problem = problem;
        report.error = error;
        report.bytesFreed = 0;
        return report;
    }

public:
    UniqueFd openUnchanged(FileReport &report, int folder, const std::string &name, struct stat &st) override
    {
        UniqueFd fd(OpenForReading(folder, name));
        if (!fd) {
            vanishedError(errno) ? skip(report, FileProblem::Vanished) : fail(report, errno);
            return {};
        }
        if (Fs().fstat(fd.get(), &st) != 0 || IdentityOf(st) != m_plan.files[report.file].seen) {
            skip(report, FileProblem::Changed);
            return {};
        }
        return fd;
    }

    bool sameBytes(int a, int b, std::uint64_t size) override { return m_copies.sameBytes(a, b, size); }

    std::optional<std::size_t> keptCopy(std::size_t index, int markedFd, std::optional<dev_t> device,
                                        FileIdentity *state, const struct stat *owner) override
    {
        return m_copies.find(index, markedFd, device, state, owner);
    }

    std::optional<std::size_t> linkedKeptCopy(std::size_t index, const struct stat &st) override
    {
        return m_copies.linked(index, st);
    }

private:
    /// Group 0 is a listing of empty files: they need no copy, as long as they are still empty,
    /// unless one was kept; then it must stand apart (not be the file itself through a mirror).
    bool needsKeptCopy(const PlanFile &file) const
    {
        return m_plan.keepLastCopies && (file.group != 0 || file.seen.size != 0 || m_copies.has(0));
    }

    /// Some unmarked member of the file's group opens as another file with the same bytes; its
    /// state, or nothing.
    std::optional<FileIdentity> findKeptCopy(std::size_t index, int markedFd)
    {
        FileIdentity state;
        const std::optional<std::size_t> k = m_copies.find(index, markedFd, std::nullopt, &state);
        if (!k)
            return std::nullopt;
        m_keptPath = *k;
        return state;
    }

    FileReport copy(FileReport &report, int folder, const std::string &name)
    {
        const PlanFile &file = m_plan.files[report.file];
        struct stat st = {};
        const UniqueFd source = openUnchanged(report, folder, name, st);
        if (!source)
            return report;
        if (m_plan.dryRun) {
            report.target = withSlash(m_plan.targetFolder) + FreeNameAt(m_target.get(), name);
            return report;
        }
        std::string temporary, chosen;
        if (const int error = CopyToTemporary(source.get(), st, m_target.get(), temporary))
            return fail(report, error);
        struct stat after = {};
        if (Fs().fstat(source.get(), &after) != 0 || IdentityOf(after) != file.seen) {
            Fs().unlinkat(m_target.get(), temporary.c_str(), 0);
            return skip(report, FileProblem::Changed);
        }
        if (const int error = PublishUnderFreeName(m_target.get(), temporary, m_target.get(), name, chosen)) {
            Fs().unlinkat(m_target.get(), temporary.c_str(), 0);
            return fail(report, error);
        }
        report.target = m_targetReal + chosen;
        return report;
    }

    /// A dry run: every check that changes nothing.
    FileReport checkOnly(FileReport &report, int folder, const std::string &name)
    {
        struct stat st = {};
        const UniqueFd source = openUnchanged(report, folder, name, st);
        if (!source)
            return report;
        if (needsKeptCopy(m_plan.files[report.file]) && !findKeptCopy(report.file, source.get()))
            return skip(report, FileProblem::NoKeptCopy);
        if (m_plan.action == PlanAction::Move)
            report.target = withSlash(m_plan.targetFolder) + FreeNameAt(m_target.get(), name);
        return report;
    }

    /// Renames the file aside, under the name chosen beforehand when there is one; 0 or the errno.
    int setAside(Aside &aside)
    {
        if (aside.asideName.empty())
            aside.asideName = m_asideName;
        if (!aside.asideName.empty()) {  // the journal names it: no other name will do
            const int done = RenameNoReplace(aside.folder, aside.name, aside.folder, aside.asideName);
            return done == 0 ? 0 : errno;
        }
        for (int attempt = 0; attempt < 100; ++attempt) {
            aside.asideName = TemporaryName();
            if (RenameNoReplace(aside.folder, aside.name, aside.folder, aside.asideName) == 0)
                return 0;
            if (errno != EEXIST)
                return errno;
        }
        return EEXIST;
    }

public:
    FileReport putBack(FileReport &report, const Aside &aside, FileOutcome outcome, FileProblem problem,
                       int error = 0) override
    {
        if (RenameNoReplace(aside.folder, aside.asideName, aside.folder, aside.name) != 0) {
            report.target = FolderOf(m_plan.files[report.file].path) + aside.asideName;
            return fail(report, errno, FileProblem::LeftAside);
        }
        report.outcome = outcome;
        report.problem = problem;
        report.error = error;
        report.bytesFreed = 0;
        return report;
    }

    UniqueFd setAsideChecked(FileReport &report, Aside &aside, std::size_t kept,
                             const FileIdentity &keptState) override
    {
        if (const int error = setAside(aside)) {
            fail(report, error);
            return {};
        }
        UniqueFd source(OpenForReading(aside.folder, aside.asideName));
        struct stat st = {};
        if (!source || Fs().fstat(source.get(), &st) != 0 ||
            !IdentityOf(st).sameContentState(m_plan.files[report.file].seen)) {
            putBack(report, aside, FileOutcome::Skipped, FileProblem::Changed);
            return {};
        }
        if (!m_copies.stands(kept, keptState, source.get())) {
            putBack(report, aside, FileOutcome::Skipped, FileProblem::NoKeptCopy);
            return {};
        }
        return source;
    }

private:
    /// Checks that a kept copy holds the file's bytes (nothing renamed yet, so a file without
    /// one stays untouched), sets the file aside, and checks that it is still itself and that
    /// the kept copy still stands apart from it. The open file, or an empty descriptor with the
    /// report filled (and the file back in its place).
    UniqueFd asideAndChecked(FileReport &report, Aside &aside)
    {
        const PlanFile &file = m_plan.files[report.file];
        if (!needsKeptCopy(file)) {
            if (const int error = setAside(aside)) {
                fail(report, error);
                return {};
            }
            UniqueFd source(OpenForReading(aside.folder, aside.asideName));
            struct stat st = {};
            if (!source || Fs().fstat(source.get(), &st) != 0 ||
                !IdentityOf(st).sameContentState(file.seen)) {
                putBack(report, aside, FileOutcome::Skipped, FileProblem::Changed);
                return {};
            }
            return source;
        }
        struct stat st = {};
        const UniqueFd before = openUnchanged(report, aside.folder, aside.name, st);
        if (!before)
            return {};
        const std::optional<FileIdentity> kept = findKeptCopy(report.file, before.get());
        if (!kept) {
            skip(report, FileProblem::NoKeptCopy);
            return {};
        }
        return setAsideChecked(report, aside, m_keptPath, *kept);
    }

    FileReport remove(FileReport &report, int folder, const std::string &name)
    {
        if (m_plan.action == PlanAction::Trash) {  // before anything is renamed
            const TrashFolder &trash = trashFor(folder);
            if (trash.refusal != TrashRefusal::None) {
                fail(report, trash.error, FileProblem::NoTrash);
                report.trash = trash.refusal;
                report.target = trash.path;
                return report;
            }
        }
        Aside aside{folder, name, {}};
        const UniqueFd source = asideAndChecked(report, aside);
        if (!source)
            return report;
        switch (m_plan.action) {
        case PlanAction::Delete:
            if (Fs().unlinkat(folder, aside.asideName.c_str(), 0) != 0)
                return putBack(report, aside, FileOutcome::Failed, FileProblem::System, errno);
            return report;
        case PlanAction::Trash: return trash(report, aside);
        case PlanAction::Move: {
            std::string chosen;
            const int error = PublishUnderFreeName(folder, aside.asideName, m_target.get(), name, chosen);
            if (error)
                return putBack(report, aside, FileOutcome::Failed, FileProblem::System, error);
            report.target = m_targetReal + chosen;
            return report;
        }
        default: break;  // copies and links never come here
        }
        return report;
    }

    TrashFolder &trashFor(int folder)
    {
        const std::uint64_t mount = MountIdOf(folder);
        auto found = m_trashes.find(mount);
        if (found == m_trashes.end() || mount == 0)
            found = m_trashes.insert_or_assign(mount, FindTrash(folder)).first;
        return found->second;
    }

    FileReport trash(FileReport &report, const Aside &aside)
    {
        TrashFolder &trash = trashFor(aside.folder);
        if (trash.refusal != TrashRefusal::None) {
            putBack(report, aside, FileOutcome::Failed, FileProblem::NoTrash, trash.error);
            report.trash = trash.refusal;
            if (report.problem == FileProblem::NoTrash)
                report.target = trash.path;
            return report;
        }
        const std::string info = TrashInfoText(m_realFolder + aside.name, trash.topDirectory);
        for (int n = 1; n < 10000; ++n) {
            const std::string name = TrashName(aside.name, n);
            const std::string infoName = name + ".trashinfo";
            UniqueFd fd(Fs().openat(trash.info.get(), infoName.c_str(),
                                    O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
            if (!fd && errno == EEXIST)
                continue;
            if (!fd)
                return putBack(report, aside, FileOutcome::Failed, FileProblem::System, errno);
            const bool written =
                Fs().write(fd.get(), info.data(), info.size()) == static_cast<ssize_t>(info.size()) &&
                Fs().fsync(fd.get()) == 0;
            const int writeError = errno;
            fd.reset();
            if (!written) {
                Fs().unlinkat(trash.info.get(), infoName.c_str(), 0);
                return putBack(report, aside, FileOutcome::Failed, FileProblem::System, writeError);
            }
            if (RenameNoReplace(aside.folder, aside.asideName, trash.files.get(), name) == 0) {
                report.target = trash.path + "files/" + name;
                return report;
            }
            const int error = errno;
            Fs().unlinkat(trash.info.get(), infoName.c_str(), 0);
            if (error != EEXIST)
                return putBack(report, aside, FileOutcome::Failed, FileProblem::System, error);
        }
        return putBack(report, aside, FileOutcome::Failed, FileProblem::System, EEXIST);
    }

    /// A move to another file system: the copy is made while the file stays where it is, then
    /// the file is checked unchanged, set aside, checked again, and only then removed.
    FileReport moveAcross(FileReport &report, int folder, const std::string &name)
    {
        const PlanFile &file = m_plan.files[report.file];
        struct stat st = {};
        const UniqueFd source = openUnchanged(report, folder, name, st);
        if (!source)
            return report;
        // Named after the journaled aside name, so that undo finds a copy left by a crash.
        std::string temporary = m_asideName.empty() ? std::string() : MoveTemporaryName(m_asideName);
        if (const int error = CopyToTemporary(source.get(), st, m_target.get(), temporary))
            return fail(report, error);
        auto dropCopy = [&](const std::string &copyName) {
            Fs().unlinkat(m_target.get(), copyName.c_str(), 0);
        };
        struct stat after = {}, there = {};
        if (Fs().fstat(source.get(), &after) != 0 || IdentityOf(after) != file.seen ||
            Fs().fstatat(folder, name.c_str(), &there, AT_SYMLINK_NOFOLLOW) != 0 ||
            IdentityOf(there) != file.seen) {
            dropCopy(temporary);
            return skip(report, FileProblem::Changed);
        }
        Aside aside{folder, name, {}};
        const UniqueFd checked = asideAndChecked(report, aside);
        if (!checked) {
            dropCopy(temporary);
            return report;
        }
        std::string chosen;
        if (const int error = PublishUnderFreeName(m_target.get(), temporary, m_target.get(), name, chosen)) {
            dropCopy(temporary);
            return putBack(report, aside, FileOutcome::Failed, FileProblem::System, error);
        }
        // Written to through a descriptor held open since the copy? Then the source stays.
        if (Fs().fstat(source.get(), &after) != 0 || !IdentityOf(after).sameContentState(file.seen)) {
            dropCopy(chosen);
            return putBack(report, aside, FileOutcome::Skipped, FileProblem::Changed);
        }
        if (Fs().unlinkat(folder, aside.asideName.c_str(), 0) != 0) {
            const int error = errno;
            dropCopy(chosen);
            return putBack(report, aside, FileOutcome::Failed, FileProblem::System, error);
        }
        report.target = m_targetReal + chosen;
        return report;
    }

    static std::string withSlash(const std::string &folder)
    {
        return folder.ends_with('/') ? folder : folder + '/';
    }

    const ActionPlan &m_plan;
    KeptCopies m_copies;
    std::map<std::uint64_t, TrashFolder> m_trashes;  // by mount
    std::size_t m_keptPath = 0;                      // the kept copy findKeptCopy found last
    std::string m_asideName;                         // for the file being acted on, as the journal names it
    Journal *m_journal = nullptr;
    bool m_intentWritten = false;
    UniqueFd m_target;
    FileIdentity m_targetFolder;
    std::string m_targetReal;  // the target folder's absolute path, as the kernel knows it
    std::string m_realFolder;  // the folder of the file being acted on, likewise
    std::uint64_t m_targetMount = 0;
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

namespace {

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
        if (file.marked && file.group != 0 && !held[{file.group, file.seen.device}]) {
            held[{file.group, file.seen.device}] = true;
            file.marked = false;
            kept.push_back(i);
        }
    }
    return kept;
}

}  // namespace

PlanReport RunPlan(const ActionPlan &original, const PlanProgress &progress, const std::atomic<bool> *cancel)
{
    std::optional<ActionPlan> adjusted;  // only hard links change the marks: no copy for the rest
    if (original.action == PlanAction::HardLink)
        adjusted = original;
    const std::vector<std::size_t> keptHere =
        adjusted ? keptPerFileSystem(*adjusted) : std::vector<std::size_t>{};
    const ActionPlan &plan = adjusted ? *adjusted : original;
    PlanReport report;
    std::size_t total = 0;
    for (const PlanFile &file : plan.files)
        total += file.marked ? 1 : 0;
    Runner runner(plan);
    FileReport targetFailure;
    bool targetOpen = runner.openTarget(targetFailure);
    std::optional<Journal> journal;
    // Acting without the journal asked for would leave nothing to undo from: from the moment
    // it cannot be written, every file left fails untouched.
    auto journalFailed = [&](int error) {
        report.journalError = error;
        targetFailure = {0, FileOutcome::Failed, FileProblem::NoJournal, error, TrashRefusal::None, {}};
        targetOpen = false;
    };
    if (!plan.dryRun && !plan.journalFolder.empty() && targetOpen) {
        std::string error;
        journal = Journal::Start(plan.journalFolder, plan.action, error);
        if (!journal)
            journalFailed(errno);
        else
            report.journal = journal->id();
        runner.useJournal(journal ? &*journal : nullptr);
    }
    std::size_t handled = 0;
    for (std::size_t i = 0; i < plan.files.size(); ++i) {
        if (std::binary_search(keptHere.begin(), keptHere.end(), i)) {
            report.files.push_back(
                {i, FileOutcome::Skipped, FileProblem::KeptOnItsFileSystem, 0, TrashRefusal::None, {}});
            ++report.skipped;
            continue;
        }
        if (!plan.files[i].marked)
            continue;
        if (cancel && cancel->load()) {
            report.cancelled = true;
            break;
        }
        FileReport file = targetFailure;
        file.file = i;
        if (targetOpen) {
            file = runner.act(i);
            if (file.problem == FileProblem::NoJournal || (runner.intentWritten() && !journal->done(file)))
                journalFailed(file.problem == FileProblem::NoJournal ? file.error : errno);
        }
        switch (file.outcome) {
        case FileOutcome::Done: ++report.done; break;
        case FileOutcome::Skipped: ++report.skipped; break;
        case FileOutcome::Failed: ++report.failed; break;
        }
        report.bytesFreed += file.bytesFreed;
        report.files.push_back(std::move(file));
        if (progress)
            progress(++handled, total);
    }
    if (journal && !journal->finish() && !report.journalError)
        report.journalError = errno;
    return report;
}

}  // namespace geminor
