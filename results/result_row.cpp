#include "results/result_row.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "engine/file_system.h"

namespace geminor {

std::string ModifiedText(const QDateTime &when, const QLocale &locale)
{
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    timeFormat.remove(QLatin1Char('t'));  // no time zone name
    return (locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
            locale.toString(when.time(), timeFormat.trimmed()))
        .toStdString();
}

std::vector<ResultRow> LoadResults(const std::vector<ResultEntry> &entries, const QLocale &locale,
                                   const std::function<void(std::size_t, std::size_t)> &progress)
{
    std::vector<ResultRow> rows;
    rows.reserve(entries.size());
    std::int32_t shownGroups = 0;
    bool firstBlack = true;
    for (std::size_t i = 0; i < entries.size();) {
        std::size_t end = i + 1;
        while (entries[i].group != 0 && end < entries.size() && entries[end].group == entries[i].group)
            ++end;
        const std::size_t before = rows.size();
        for (std::size_t k = i; k < end; ++k) {
            const ResultEntry &e = entries[k];
            struct stat st = {};
            if (StatPath(e.path(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
                continue;  // gone since the search
            const QDateTime modified = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec);
            rows.push_back({e.name, std::to_string(e.size), ModifiedText(modified, locale), e.version,
                            e.folder, false, false, 0, RowColour::Default,
                            static_cast<std::int64_t>(st.st_mtim.tv_sec)});
            if (progress && (k + 1) % 500 == 0)
                progress(k + 1, entries.size());
        }
        if (entries[i].group != 0) {
            if (rows.size() - before < 2) {
                rows.resize(before);
            } else {
                if (shownGroups == 0)
                    firstBlack = entries[i].marker == 1;
                const bool black = (shownGroups % 2 == 0) == firstBlack;
                ++shownGroups;
                for (std::size_t k = before; k < rows.size(); ++k) {
                    rows[k].group = shownGroups;
                    rows[k].colour = black ? RowColour::Black : RowColour::DarkBlue;
                }
            }
        }
        i = end;
    }
    return rows;
}

}  // namespace geminor
