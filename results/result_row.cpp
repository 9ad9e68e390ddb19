#include "results/result_row.h"

#include "engine/content_search.h"
#include "engine/folder_handles.h"

#include <fcntl.h>
#include <algorithm>
#include <array>
#include <optional>
#include <thread>
#include <sys/stat.h>

#include "engine/file_system.h"
#include "engine/group_runs.h"

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

/// Enough entries that the second thread is worth its start, few enough to hold.
constexpr std::size_t kLookUpBatch = 8192;

/// Looks up entries [from, to) on two threads: each is a stat, and half the listing's time.
void LookUp(const std::vector<ResultEntry> &entries, std::size_t from, std::size_t to,
            std::array<FolderHandles, 2> &folderSets, std::vector<std::optional<FileIdentity>> &found)
{
    found.assign(to - from, std::nullopt);
    auto lookUp = [&](std::size_t begin, std::size_t end, FolderHandles &folders) {
        for (std::size_t k = begin; k < end; ++k) {
            struct stat st = {};
            if (folders.stat(entries[k].folder, entries[k].name, st) == 0 && S_ISREG(st.st_mode))
                found[k - from] = IdentityOf(st);  // else gone since the search
        }
    };
    const std::size_t half = from + (to - from) / 2;
    if (to - from < 64) {
        lookUp(from, to, folderSets[0]);
        return;
    }
    std::jthread other(lookUp, half, to, std::ref(folderSets[1]));
    lookUp(from, half, folderSets[0]);
}

}  // namespace

void ForEachShownEntry(const std::vector<ResultEntry> &entries, const std::function<void(const ShownEntry &)> &show,
                       const std::function<void(std::size_t, std::size_t)> &progress)
{
    std::int32_t shownGroups = 0;
    bool firstBlack = true;
    // Each file looked up by its name in its folder, not its whole path; a set of folders a
    // thread, as one shared set's lock cost more than the second thread saved.
    const std::size_t budget = std::max<std::size_t>(1, OpenFileBudget() / 2);
    std::array<FolderHandles, 2> folders{FolderHandles(budget), FolderHandles(budget)};
    std::vector<std::optional<FileIdentity>> found;  // the batch's files still there
    std::vector<std::pair<std::size_t, std::size_t>> runs;
    auto showRuns = [&] {
        if (runs.empty())
            return;
        const std::size_t from = runs.front().first;
        LookUp(entries, from, runs.back().second, folders, found);
        for (const auto &[i, end] : runs) {
            const auto present = std::count_if(found.begin() + (i - from), found.begin() + (end - from),
                                               [](const auto &f) { return f.has_value(); });
            std::int32_t group = 0;
            RowColour colour = RowColour::Default;
            if (entries[i].group != 0) {
                if (present < 2)
                    continue;
                if (shownGroups == 0)
                    firstBlack = entries[i].marker == 1;
                colour = (shownGroups % 2 == 0) == firstBlack ? RowColour::Black : RowColour::DarkBlue;
                group = ++shownGroups;
            }
            for (std::size_t k = i; k < end; ++k) {
                if (!found[k - from])
                    continue;
                show({entries[k], *found[k - from], group, colour});
                if (progress && (k + 1) % 500 == 0)
                    progress(k + 1, entries.size());
            }
        }
        runs.clear();
    };
    ForEachGroupRun(entries, [&](std::size_t i, std::size_t end) {
        runs.emplace_back(i, end);
        if (end - runs.front().first >= kLookUpBatch)
            showRuns();
    }, true);
    showRuns();
}

std::vector<ResultRow> LoadResults(const std::vector<ResultEntry> &entries,
                                   const std::function<void(std::size_t, std::size_t)> &progress)
{
    std::vector<ResultRow> rows;
    rows.reserve(entries.size());
    ForEachShownEntry(
        entries,
        [&](const ShownEntry &shown) {
            const ResultEntry &e = shown.entry;
            rows.push_back({e.name, e.size, e.version, e.folder, false, false, shown.group, shown.colour,
                            shown.file, e.location, e.reference});
        },
        progress);
    return rows;
}

}  // namespace geminor
