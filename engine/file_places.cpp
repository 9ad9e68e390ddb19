#include "engine/file_places.h"

#include <sys/stat.h>
#include <unordered_map>

#include "engine/file_system.h"

#include "engine/folder_walker.h"
#include "engine/group_runs.h"

namespace geminor {

FilePlaces::FilePlaces(const std::vector<SearchLocation> &locations)
{
    for (std::size_t i = 0; i < locations.size(); ++i) {
        const SearchLocation &l = locations[i];
        if (l.Exclude)
            continue;
        m_locations.push_back({AbsoluteFolder(l.Folder), idOf(l.Folder), l.SubFolder == "Yes", l.Reference,
                               static_cast<std::int16_t>(i)});
        m_anyReference = m_anyReference || l.Reference;
    }
}

std::optional<std::pair<std::uint64_t, std::uint64_t>> FilePlaces::idOf(const std::string &folder)
{
    auto [it, isNew] = m_ids.try_emplace(folder);
    struct stat st = {};
    if (isNew && StatPath(folder.empty() ? std::string(".") : folder, &st) == 0 && S_ISDIR(st.st_mode))
        it->second = std::pair{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    return it->second;
}

FilePlace FilePlaces::of(const std::string &folder)
{
    const std::string absolute = AbsoluteFolder(folder);
    // The folder and its parents as the walk reached them (the location's own spelling included).
    std::vector<std::optional<std::pair<std::uint64_t, std::uint64_t>>> chain;
    for (std::string up = folder.ends_with('/') ? folder : folder + '/';;) {
        chain.push_back(idOf(up));
        const auto slash = up.rfind('/', up.size() - 2);
        if (up.size() < 2 || slash == std::string::npos)
            break;
        up.resize(slash + 1);
    }
    FilePlace place;
    for (const Location &l : m_locations) {
        bool holds = l.subFolders ? absolute.starts_with(l.folder) : absolute == l.folder;
        for (std::size_t depth = 0; !holds && l.id && depth < (l.subFolders ? chain.size() : 1); ++depth)
            holds = chain[depth] == l.id;
        if (!holds)
            continue;
        if (place.location < 0)
            place.location = l.index;
        place.reference = place.reference || l.reference;
    }
    return place;
}

void PlaceEntries(std::vector<ResultEntry> &entries, std::int32_t &duplicateCount,
                  const std::vector<SearchLocation> &locations)
{
    FilePlaces places(locations);
    std::unordered_map<const std::string *, FilePlace> byFolder;  // the entries of a folder share its name
    for (ResultEntry &e : entries) {
        auto [it, isNew] = byFolder.try_emplace(&e.folder.str());
        if (isNew)
            it->second = places.of(e.folder.str());
        e.location = it->second.location;
        e.reference = it->second.reference;
    }
    if (!places.anyReference())
        return;
    std::size_t kept = 0;
    ForEachGroupRun(entries, [&](std::size_t begin, std::size_t end) {
        bool onlyReferences = entries[begin].group != 0;
        for (std::size_t i = begin; i < end && onlyReferences; ++i)
            onlyReferences = entries[i].reference;
        if (onlyReferences)
            duplicateCount -= static_cast<std::int32_t>(end - begin - 1);
        else
            for (std::size_t i = begin; i < end; ++i, ++kept)
                if (kept != i)
                    entries[kept] = std::move(entries[i]);
    });
    entries.resize(kept);
}

}  // namespace geminor
