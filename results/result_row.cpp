#include "results/result_row.h"

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

void ForEachShownEntry(const std::vector<ResultEntry> &entries,
                       const std::function<void(const ShownEntry &)> &show,
                       const std::function<void(std::size_t, std::size_t)> &progress)
{
    std::int32_t shownGroups = 0;
    ForEachGroupRun(
        entries,
        [&](std::size_t i, std::size_t end) {
            std::int32_t group = 0;
            if (entries[i].group != 0) {
                if (end - i < 2)
                    return;
                group = ++shownGroups;
            }
            for (std::size_t k = i; k < end; ++k) {
                show({entries[k], group});
                if (progress && (k + 1) % 500 == 0)
                    progress(k + 1, entries.size());
            }
        },
        true);
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
            RowColour colour = RowColour::Default;
            if (shown.group != 0) {
                if (firstShown == RowColour::Default)
                    firstShown = GroupColour(firstFound, static_cast<std::size_t>(e.group - 1));
                colour = GroupColour(firstShown, static_cast<std::size_t>(shown.group - 1));
            }
            rows.push_back({e.name,
                            e.seen.size,
                            e.version,
                            e.folder,
                            false,
                            false,
                            colour,
                            shown.group,
                            e.seen,
                            e.location,
                            e.reference,
                            {},
                            e.distance,
                            e.width,
                            e.height});
        },
        progress);
    return rows;
}

}  // namespace geminor
