#pragma once

#include <cstdint>
#include <string_view>
#include <sys/types.h>
#include <utility>
#include <vector>

#include "engine/file_identity.h"
#include "engine/file_record.h"
#include "engine/seen_files.h"

namespace geminor {

/// What the walk saw of each folder, kept small enough for a million files: every name in it
/// (as a 64-bit hash), what each name is, and whether the folder was seen whole. Whole folders
/// that are copies are found from it after the content search (FindFolderGroups).
class FolderCensus
{
public:
    using Index = std::uint32_t;
    static constexpr Index kNone = ~Index{0};

    enum class Kind : std::uint8_t { File, Empty, Link, Folder };
    struct Item
    {
        std::uint64_t name = 0;  // hash of the name's bytes
        std::uint32_t ref = 0;   // File: the record's id; Link: its target's place; Folder: its index
        Kind kind = Kind::File;
    };
    struct Folder
    {
        FolderName path;  // ends in '/'
        FileIdentity seen;
        Index parent = kNone;
        std::uint32_t begin = 0, end = 0;  // its items
        std::int64_t files = 0;            // in it, not below it
        std::uint64_t bytes = 0;
        std::int64_t newestNs = 0;
        bool partial = false;  // something in it was not walked or not read
        bool open = true;      // still being walked
    };

    /// A folder the walk enters, open as `fd`, below `parent` under `name` (kNone and "" for a
    /// location's own folder). kNone when this folder was taken before (reached twice: its
    /// entries are not taken again) or when the parent is kNone but `name` is not empty.
    Index enter(Index parent, std::string_view name, const FolderName &path, int fd);
    /// Its entries are all taken.
    void leave(Index folder);
    void file(Index folder, std::string_view name, std::uint32_t record, std::uint64_t size,
              std::int64_t modifiedNs);
    void emptyFile(Index folder, std::string_view name);
    void link(Index folder, std::string_view name, std::string_view target);
    /// Something in the folder was not walked or not read: it is never called a copy.
    void partial(Index folder);

    const std::vector<Folder> &folders() const { return m_folders; }
    const std::vector<Item> &items() const { return m_items; }
    std::uint64_t linkTarget(std::uint32_t ref) const { return m_linkTargets[ref]; }
    /// The folders in the order they were left: every folder after those below it.
    const std::vector<Index> &postOrder() const { return m_postOrder; }

private:
    struct Open
    {
        Index folder = kNone;
        std::uint64_t device = 0, mount = 0;
        std::vector<Item> items;  // kept apart until it is left: each folder's items then lie together
    };
    Open *openOf(Index folder);
    void add(Index folder, const Item &item);

    std::vector<Folder> m_folders;
    std::vector<Item> m_items;
    std::vector<std::uint64_t> m_linkTargets;
    std::vector<Index> m_postOrder;
    std::vector<Open> m_open;  // the open folders, outermost first; entries past m_depth keep their room
    std::size_t m_depth = 0;
    SeenFiles m_taken;  // the folders taken, by device and inode
};

/// The 64-bit hash a census keeps of a name.
std::uint64_t NameHash(std::string_view name);

}  // namespace geminor
