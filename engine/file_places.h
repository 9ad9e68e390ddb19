#pragma once

#include <cstdint>
#include <string>
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
/// when it walks sub-folders, lies below it; both are compared as absolute, normal paths.
class FilePlaces
{
public:
    explicit FilePlaces(const std::vector<SearchLocation> &locations);
    FilePlace of(const std::string &folder) const;
    bool anyReference() const { return m_anyReference; }

private:
    struct Location
    {
        std::string folder;  // absolute, ends in '/'
        bool subFolders;
        bool reference;
        std::int16_t index;
    };
    std::vector<Location> m_locations;
    bool m_anyReference = false;
};

/// Gives every entry its place, and leaves out the groups whose files all lie in reference
/// locations: there is nothing to decide in them. The duplicate count follows.
void PlaceEntries(std::vector<ResultEntry> &entries, std::int32_t &duplicateCount,
                  const std::vector<SearchLocation> &locations);

}  // namespace geminor
