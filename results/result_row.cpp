#include "results/result_row.h"

#include "engine/content_search.h"
#include "engine/folder_handles.h"

#include <fcntl.h>
#include <algorithm>
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

void ForEachShownEntry(const std::vector<ResultEntry> &entries, const std::function<void(const ShownEntry &)> &show,
                       const std::function<void(std::size_t, std::size_t)> &progress)
{
    std::int32_t shownGroups = 0;
    bool firstBlack = true;
    std::vector<std::pair<std::size_t, struct stat>> present;  // the group's files still there
    FolderHandles folders(std::max<std::size_t>(1, OpenFileBudget()));  // each file looked up by its name in its folder, not its whole path
    ForEachGroupRun(entries, [&](std::size_t i, std::size_t end) {
        present.clear();
        for (std::size_t k = i; k < end; ++k) {
            struct stat st = {};
            if (folders.stat(entries[k].folder, entries[k].name, st) != 0 || !S_ISREG(st.st_mode))
                continue;  // gone since the search
            present.emplace_back(k, st);
            if (progress && (k + 1) % 500 == 0)
                progress(k + 1, entries.size());
        }
        std::int32_t group = 0;
        RowColour colour = RowColour::Default;
        if (entries[i].group != 0) {
            if (present.size() < 2)
                return;
            if (shownGroups == 0)
                firstBlack = entries[i].marker == 1;
            colour = (shownGroups % 2 == 0) == firstBlack ? RowColour::Black : RowColour::DarkBlue;
            group = ++shownGroups;
        }
        for (const auto &[k, st] : present)
            show({entries[k], st, group, colour});
    }, true);
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
                            IdentityOf(shown.file), e.location, e.reference});
        },
        progress);
    return rows;
}

}  // namespace geminor
