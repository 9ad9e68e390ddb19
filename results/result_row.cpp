#include "results/result_row.h"

#include "engine/content_search.h"
#include "engine/folder_handles.h"

#include <fcntl.h>
#include <algorithm>
#include <optional>
#include <sys/stat.h>

#include "engine/file_system.h"
#include "engine/group_runs.h"
#include "engine/sorting_lib.h"

namespace geminor {

std::string ModifiedText(const QDateTime &when, const QLocale &locale)
{
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    timeFormat.remove(QLatin1Char('t'));  // no time zone name
    return (locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
            locale.toString(when.time(), timeFormat.trimmed()))
        .toStdString();
}

std::string ModifiedText(const ResultRow &row, const QLocale &locale)
{
    return ModifiedText(QDateTime::fromSecsSinceEpoch(FloorSeconds(row.seen.modifiedNs)), locale);
}

namespace {

/// Enough entries that the second thread is worth its start, few enough to hold at once.
constexpr std::size_t kLookUpBatch = 8192;

/// Looks up entries [from, to) on two threads: a stat each, most of what listing costs.
/// The folders are opened first, on this thread.
void LookUp(const std::vector<ResultEntry> &entries, std::size_t from, std::size_t to, FolderHandles &folders,
            std::vector<int> &folderFds, std::vector<std::optional<FileIdentity>> &found)
{
    folderFds.clear();
    for (std::size_t k = from; k < to; ++k)
        folderFds.push_back(folders.descriptor(entries[k].folder));
    found.assign(to - from, std::nullopt);
    InTwoHalves(
        to - from,
        [&](std::size_t begin, std::size_t end) {
            for (std::size_t i = begin; i < end; ++i) {
                const ResultEntry &entry = entries[from + i];
                struct stat st = {};
                if (FolderHandles::statIn(folderFds[i], entry.folder, entry.name, st) == 0 &&
                    S_ISREG(st.st_mode))
                    found[i] = IdentityOf(st);  // else gone since the search
            }
        },
        256);
}

}  // namespace

void ForEachShownEntry(const std::vector<ResultEntry> &entries,
                       const std::function<void(const ShownEntry &)> &show,
                       const std::function<void(std::size_t, std::size_t)> &progress)
{
    std::int32_t shownGroups = 0;
    FolderHandles folders(std::max<std::size_t>(
        1, OpenFileBudget()));  // each file looked up by its name in its folder, not its whole path
    std::vector<int> folderFds;
    std::vector<std::optional<FileIdentity>> found;  // the batch's files still there
    std::vector<std::pair<std::size_t, std::size_t>> runs;
    auto showRuns = [&] {
        if (runs.empty())
            return;
        const std::size_t from = runs.front().first;
        LookUp(entries, from, runs.back().second, folders, folderFds, found);
        for (const auto &[i, end] : runs) {
            const auto present = std::count_if(found.begin() + (i - from), found.begin() + (end - from),
                                               [](const auto &f) { return f.has_value(); });
            std::int32_t group = 0;
            if (entries[i].group != 0) {
                if (present < 2)
                    continue;
                group = ++shownGroups;
            }
            for (std::size_t k = i; k < end; ++k) {
                if (!found[k - from])
                    continue;
                show({entries[k], *found[k - from], group});
                if (progress && (k + 1) % 500 == 0)
                    progress(k + 1, entries.size());
            }
        }
        runs.clear();
    };
    ForEachGroupRun(
        entries,
        [&](std::size_t i, std::size_t end) {
            runs.emplace_back(i, end);
            if (end - runs.front().first >= kLookUpBatch)
                showRuns();
        },
        true);
    showRuns();
}

std::vector<ResultRow> LoadResults(const std::vector<ResultEntry> &entries, RowColour firstFound,
                                   const std::function<void(std::size_t, std::size_t)> &progress)
{
    std::vector<ResultRow> rows;
    rows.reserve(entries.size());
    RowColour firstShown = RowColour::Default;
    ForEachShownEntry(
        entries,
        [&](const ShownEntry &shown) {
            const ResultEntry &e = shown.entry;
            if (shown.group != 0 && firstShown == RowColour::Default)
                firstShown = GroupColour(firstFound, static_cast<std::size_t>(e.group - 1));
            rows.push_back({e.name,
                            e.size,
                            e.version,
                            e.folder,
                            false,
                            false,
                            shown.group,
                            shown.group == 0
                                ? RowColour::Default
                                : GroupColour(firstShown, static_cast<std::size_t>(shown.group - 1)),
                            shown.file,
                            e.location,
                            e.reference,
                            {}});
        },
        progress);
    return rows;
}

}  // namespace geminor
