#include "results/journal.h"

#include <QByteArray>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <map>
#include <fcntl.h>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/file_system.h"
#include "results/result_json.h"

namespace geminor {
namespace {

const char *const kActionWords[] = {"copy",      "move",          "trash", "delete",
                                    "hard-link", "symbolic-link", "clone", "rename"};
const char *const kOutcomeWords[] = {"done", "skipped", "failed"};

void appendIdentity(std::string &out, const char *prefix, const FileIdentity &id)
{
    const std::string p(prefix);
    out += ",\"" + p + "device\":" + std::to_string(id.device) + ",\"" + p +
           "inode\":" + std::to_string(id.inode) + ",\"" + p + "size\":" + std::to_string(id.size) + ",\"" +
           p + "mtime_ns\":" + std::to_string(id.modifiedNs) + ",\"" + p +
           "ctime_ns\":" + std::to_string(id.changedNs);
}

std::string nowText(const char *format)
{
    const std::time_t now = std::time(nullptr);
    std::tm utc = {};
    ::gmtime_r(&now, &utc);
    char text[64];
    std::strftime(text, sizeof text, format, &utc);
    return text;
}

}  // namespace

std::string JournalFolder()
{
    return UserBaseFolder("XDG_DATA_HOME", "/.local/share") + "/Geminor/journal";
}

const char *ActionWord(PlanAction action)
{
    return kActionWords[static_cast<int>(action)];
}

std::optional<PlanAction> ActionFromWord(const std::string &word)
{
    for (std::size_t i = 0; i < std::size(kActionWords); ++i)
        if (word == kActionWords[i])
            return static_cast<PlanAction>(i);
    return std::nullopt;
}

Result<Journal> Journal::Start(const std::string &folder, PlanAction action)
{
    if (!MakeFolders(folder))
        return Fail(ErrorCode::JournalUnwritable, errno, folder);
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count() %
                        1000000;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "-%06lld-%d", static_cast<long long>(micros),
                  static_cast<int>(::getpid()));
    const std::string id = nowText("%Y%m%d-%H%M%S") + suffix;
    UniqueFd fd(Fs().openat(AT_FDCWD, (folder + "/" + id + ".jsonl").c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600));
    if (!fd)
        return Fail(ErrorCode::JournalUnwritable, errno, folder);
    Journal journal(id, std::move(fd));
    const bool undoable = action != PlanAction::Delete;
    if (!journal.append("{\"geminor_journal\":1,\"id\":\"" + id + "\",\"action\":\"" + ActionWord(action) +
                            "\",\"time\":\"" + nowText("%Y-%m-%dT%H:%M:%SZ") + "\",\"pid\":\"" +
                            std::to_string(::getpid()) + "\",\"undoable\":" + (undoable ? "true" : "false") +
                            "}",
                        true))
        return Fail(ErrorCode::JournalUnwritable, errno, folder);
    // The new file's name is on the disk too (fsync needs a descriptor opened for reading).
    if (const UniqueFd parent(Fs().openat(AT_FDCWD, folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
        !parent || Fs().fsync(parent.get()) != 0)
        return Fail(ErrorCode::JournalUnwritable, errno, folder);
    return journal;
}

Status Journal::append(const std::string &line, bool sync)
{
    const std::string whole = line + '\n';
    if (Fs().write(m_fd.get(), whole.data(), whole.size()) == static_cast<ssize_t>(whole.size()) &&
        (!sync || Fs().fsync(m_fd.get()) == 0))
        return {};
    return Fail(ErrorCode::JournalUnwritable, errno);
}

Status Journal::intent(std::size_t index, const PlanFile &file, const struct stat *st,
                       const std::string &aside, const std::string &trash, const std::string &trashTop,
                       const std::string &moveTo)
{
    std::string line = "{\"intent\":" + std::to_string(index) + ",\"path\":";
    AppendJsonPath(line, file.path);
    appendIdentity(line, "", file.seen);
    if (file.folder)
        line += ",\"folder\":true";
    if (st)
        line += ",\"mode\":" + std::to_string(st->st_mode & 07777) +
                ",\"uid\":" + std::to_string(st->st_uid) + ",\"gid\":" + std::to_string(st->st_gid) +
                ",\"atime_ns\":" + std::to_string(Nanoseconds(st->st_atim));
    if (!aside.empty()) {
        line += ",\"aside\":";
        AppendJsonPath(line, aside);
    }
    if (!trash.empty()) {
        line += ",\"trash\":";
        AppendJsonPath(line, trash);
        line += ",\"trash_top\":";
        AppendJsonPath(line, trashTop.empty() ? std::string("/") : trashTop);
    }
    if (!moveTo.empty()) {
        line += ",\"move_to\":";
        AppendJsonPath(line, moveTo);
    }
    return append(line + "}", true);  // on the disk before the file is touched
}

Status Journal::done(const FileReport &report)
{
    std::string line = "{\"done\":" + std::to_string(report.file) + ",\"outcome\":\"" +
                       kOutcomeWords[static_cast<int>(report.outcome)] + "\"";
    if (!report.target.empty()) {
        line += ",\"target\":";
        AppendJsonPath(line, report.target);
        struct stat st = {};
        if (report.outcome == FileOutcome::Done && StatPath(report.target, &st, AT_SYMLINK_NOFOLLOW) == 0)
            appendIdentity(line, "target_", IdentityOf(st));
    }
    return append(line + "}", false);  // synced with the next intent, before the next file is touched
}

Status Journal::finish()
{
    return append("{\"finished\":true}", true);
}

UniqueDir ListFolder(const std::string &folder)
{
    UniqueFd fd(Fs().openat(AT_FDCWD, folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
    UniqueDir dir(fd ? Fs().fdopendir(fd.get()) : nullptr);
    if (dir)
        fd.release();  // the listing closes it
    return dir;
}

namespace {

/// A journal's line about a file before it is acted on; nothing when its path cannot be read.
std::optional<JournalStep> intentStep(const QJsonObject &o)
{
    const auto path = JsonPath(o.value(QLatin1String("path")));
    if (!path)
        return std::nullopt;
    JournalStep step;
    step.path = *path;
    step.was = JsonIdentity(o).value_or(FileIdentity{});
    step.aside = JsonPathOrEmpty(o.value(QLatin1String("aside")));
    step.trash = JsonPathOrEmpty(o.value(QLatin1String("trash")));
    step.trashTop = JsonPathOrEmpty(o.value(QLatin1String("trash_top")));
    step.moveTo = JsonPathOrEmpty(o.value(QLatin1String("move_to")));
    step.folder = o.value(QLatin1String("folder")).toBool();
    if (step.trashTop == "/")
        step.trashTop.clear();
    std::uint64_t mode = 0, uid = 0, gid = 0;
    step.hasOwn = JsonUnsigned(o, "mode", mode) && JsonUnsigned(o, "uid", uid) &&
                  JsonUnsigned(o, "gid", gid) && mode <= 07777 &&
                  o.value(QLatin1String("atime_ns")).isDouble();
    if (step.hasOwn) {
        step.mode = static_cast<mode_t>(mode);
        step.uid = static_cast<uid_t>(uid);
        step.gid = static_cast<gid_t>(gid);
        step.accessedNs = o.value(QLatin1String("atime_ns")).toInteger();
    }
    // A step's aside name stays in its own folder.
    if (step.aside.find('/') != std::string::npos || !step.aside.starts_with(".geminor-"))
        step.aside.clear();
    return step;
}

/// A journal's line about what became of a file, into its step.
void readOutcome(const QJsonObject &o, JournalStep &step)
{
    const std::string outcome = o.value(QLatin1String("outcome")).toString().toStdString();
    step.hasOutcome = true;
    step.outcome = FileOutcome::Failed;
    for (std::size_t i = 0; i < std::size(kOutcomeWords); ++i)
        if (outcome == kOutcomeWords[i])
            step.outcome = static_cast<FileOutcome>(i);
    step.target = JsonPathOrEmpty(o.value(QLatin1String("target")));
    step.targetState = JsonIdentity(o, "target_").value_or(FileIdentity{});
}

/// One journal file; nothing when it cannot be read or names no action Geminor knows.
std::optional<JournalRecord> readJournal(const std::string &path)
{
    QFile file(QFile::decodeName(path.c_str()));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    JournalRecord record;
    std::map<std::size_t, std::size_t> stepOf;  // plan index -> step
    bool valid = false;
    while (!file.atEnd()) {
        const QJsonObject o = QJsonDocument::fromJson(file.readLine()).object();
        if (o.contains(QLatin1String("geminor_journal"))) {
            const auto action = ActionFromWord(o.value(QLatin1String("action")).toString().toStdString());
            valid = action.has_value();
            record.action = action.value_or(PlanAction::Delete);
            record.id = o.value(QLatin1String("id")).toString().toStdString();
            record.time = o.value(QLatin1String("time")).toString().toStdString();
            record.pid = o.value(QLatin1String("pid")).toString().toLong();
        } else if (o.contains(QLatin1String("intent"))) {
            if (std::optional<JournalStep> step = intentStep(o)) {
                stepOf[static_cast<std::size_t>(o.value(QLatin1String("intent")).toInteger())] =
                    record.steps.size();
                record.steps.push_back(std::move(*step));
            }
        } else if (o.contains(QLatin1String("done"))) {
            const auto found =
                stepOf.find(static_cast<std::size_t>(o.value(QLatin1String("done")).toInteger()));
            if (found != stepOf.end())
                readOutcome(o, record.steps[found->second]);
        } else if (o.contains(QLatin1String("undone"))) {
            record.undone = true;
        } else if (o.contains(QLatin1String("finished"))) {
            record.finished = true;
        }
    }
    return valid ? std::optional(std::move(record)) : std::nullopt;
}

}  // namespace

std::vector<JournalRecord> ReadJournals(const std::string &folder)
{
    std::vector<std::string> names;
    if (const UniqueDir dir = ListFolder(folder))
        while (const dirent *entry = Fs().readdir(dir.get()))
            if (std::string name = entry->d_name; name.ends_with(".jsonl"))
                names.push_back(name);
    std::sort(names.begin(), names.end());
    std::vector<JournalRecord> records;
    for (const std::string &name : names)
        if (std::optional<JournalRecord> record = readJournal(folder + "/" + name))
            records.push_back(std::move(*record));
    return records;
}

bool CanBeUndone(const JournalRecord &record)
{
    if (record.action == PlanAction::Delete || record.action == PlanAction::Clone)
        return false;
    for (const JournalStep &step : record.steps)  // a failed step may have left its file aside
        if (!step.hasOutcome || step.outcome != FileOutcome::Skipped)
            return true;
    return false;
}

std::vector<JournalRecord> InterruptedJournals(const std::string &folder)
{
    // Most journals end in their closing line: only the others are read whole.
    bool any = false;
    if (const UniqueDir dir = ListFolder(folder)) {
        while (const dirent *entry = Fs().readdir(dir.get())) {
            const std::string name = entry->d_name;
            if (!name.ends_with(".jsonl"))
                continue;
            const UniqueFd fd(
                Fs().openat(::dirfd(dir.get()), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC, 0));
            struct stat st = {};
            char tail[64] = {};
            const off_t at = fd && Fs().fstat(fd.get(), &st) == 0 ? std::max<off_t>(0, st.st_size - 48) : 0;
            const ssize_t n = fd ? Fs().pread(fd.get(), tail, 48, at) : -1;
            const std::string end(tail, n > 0 ? static_cast<std::size_t>(n) : 0);
            any = any || (n > 0 && end.find("\"finished\":true}") == std::string::npos &&
                          end.find("\"undone\":true") == std::string::npos);
        }
    }
    std::vector<JournalRecord> interrupted;
    if (!any)
        return interrupted;
    for (JournalRecord &record : ReadJournals(folder)) {
        // A journal written before journals named their process is never called interrupted.
        const bool running =
            record.pid <= 0 || ::kill(static_cast<pid_t>(record.pid), 0) == 0 || errno == EPERM;
        if (!record.finished && !record.undone && !running && CanBeUndone(record))
            interrupted.push_back(std::move(record));
    }
    return interrupted;
}

bool MarkUndone(const std::string &folder, const std::string &id)
{
    const UniqueFd fd(
        Fs().openat(AT_FDCWD, (folder + "/" + id + ".jsonl").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC, 0));
    const std::string line = "{\"undone\":true,\"time\":\"" + nowText("%Y-%m-%dT%H:%M:%SZ") + "\"}\n";
    return fd && Fs().write(fd.get(), line.data(), line.size()) == static_cast<ssize_t>(line.size()) &&
           Fs().fsync(fd.get()) == 0;
}

}  // namespace geminor
