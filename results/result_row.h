#pragma once

#include <QDateTime>
#include <QLocale>
#include <cstdint>
#include <functional>
#include <sys/stat.h>
#include <string>
#include <vector>

#include "engine/file_identity.h"
#include "engine/scan_state.h"

namespace geminor {

/// The text colour of a row: the two group colours, or the list's own colour (zero size).
enum class RowColour : std::uint8_t { Default, Black, DarkBlue };

/// The colour of the group at `position` (0, 1, 2...) of a listing whose first group is `first`:
/// group colours alternate. A front end keeps its first colour from one scan to the next as
/// GroupColour(first, groups found), so a new result starts where the last one stopped.
inline RowColour GroupColour(RowColour first, std::size_t position)
{
    if (position % 2 == 0)
        return first;
    return first == RowColour::Black ? RowColour::DarkBlue : RowColour::Black;
}

/// One row of the result list as plain data. Texts are bytes: names and folders exactly as
/// the file system holds them, Geminor's own texts in UTF-8.
struct ResultRow
{
    std::string name;
    std::uint64_t size = 0;  // exact 64-bit length
    std::string version;
    FolderName folder;  // ends in '/'; shared by the rows of one folder
    bool marked = false;
    bool markedIcon = false;                // the row's picture: follows the marking rules, not the check box
    RowColour colour = RowColour::Default;  // next to the flags: no padding, a smaller row
    std::int32_t group = 0;                 // 1, 2, 3... over the groups shown; 0 for a zero-size listing
    FileIdentity seen;           // the file as the walk saw it: its time shown, and what the actions re-check
    std::int16_t location = -1;  // the first search location that holds it
    bool reference = false;      // in a reference location: kept, never marked
    std::string problem;         // why the last operation left its file as it was ("" when it did not)
    std::uint8_t distance = 0;   // similar pictures: how far it looks from its group's first
    std::uint32_t width = 0, height = 0;  // similar pictures: its size as shown

    std::string path() const { return folder + name; }
};

/// The date and time as the result list and the exports show them: the locale's short date
/// and its time with seconds.
std::string ModifiedText(const QDateTime &when, const QLocale &locale = QLocale());
/// A row's modification time, as ModifiedText shows it.
std::string ModifiedText(const ResultRow &row, const QLocale &locale = QLocale());

/// One entry as the result list shows it, with its group number over the groups shown.
struct ShownEntry
{
    const ResultEntry &entry;
    std::int32_t group;
};

/// Calls `show` for the result entries that the list shows, in order, by the rules of
/// LoadResults.
void ForEachShownEntry(const std::vector<ResultEntry> &entries,
                       const std::function<void(const ShownEntry &)> &show,
                       const std::function<void(std::size_t, std::size_t)> &progress = {});

/// The rows for the result entries, each with the file as the walk saw it (the actions check it
/// again before they touch it). A group of fewer than two files (a search cancelled part-way)
/// is not shown, and group colours alternate over the groups shown, the first shown having the
/// colour it had among the groups found, whose first is `firstFound`.
/// `progress(i, n)` is called for every 500th entry that gave a row (i counts entries from 1).
std::vector<ResultRow> LoadResults(const std::vector<ResultEntry> &entries,
                                   RowColour firstFound = RowColour::Black,
                                   const std::function<void(std::size_t, std::size_t)> &progress = {});

}  // namespace geminor
