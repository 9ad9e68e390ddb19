#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/request.h"
#include "engine/scan_state.h"

namespace geminor {

/// Where a found file lies among the search locations.
struct FilePlace
{
    std::int16_t location = -1;  // the first-listed location (not an exclusion) that holds it
    bool reference = false;      // a reference location holds it
};

/// Tells the places of found files. A location holds a folder that is the location itself or,
/// when it walks sub-folders, lies below it. Folders are told by identity (device and inode of
/// the folder and of each of its parents), so a location named through a symbolic link, a bind
/// mount, `..` or a trailing slash holds the same files as any other spelling of it; where a
/// folder cannot be looked at, by its absolute, normal path.
class FilePlaces
{
public:
    explicit FilePlaces(const std::vector<SearchLocation> &locations);
    FilePlace of(const std::string &folder);
    bool anyReference() const { return m_anyReference; }

private:
    struct Location
    {
        std::string folder;                                         // absolute, ends in '/'
        std::optional<std::pair<std::uint64_t, std::uint64_t>> id;  // device and inode
        bool subFolders;
        bool reference;
        std::int16_t index;
    };
    /// The folder's device and inode, looked at once per spelling.
    std::optional<std::pair<std::uint64_t, std::uint64_t>> idOf(const std::string &folder);

    std::vector<Location> m_locations;
    std::unordered_map<std::string, std::optional<std::pair<std::uint64_t, std::uint64_t>>> m_ids;
    bool m_anyReference = false;
};

/// Gives every entry its place, and leaves out the groups whose files all lie in reference
/// locations: there is nothing to decide in them. The duplicate count follows.
void PlaceEntries(std::vector<ResultEntry> &entries, std::int32_t &duplicateCount,
                  const std::vector<SearchLocation> &locations);

}  // namespace geminor
