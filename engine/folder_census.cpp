#include "engine/folder_census.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <xxhash.h>

namespace geminor {

std::uint64_t NameHash(std::string_view name)
{
    return XXH3_64bits(name.data(), name.size());
}

FolderCensus::Open *FolderCensus::openOf(Index folder)
{
    if (folder == kNone)
        return nullptr;
    for (std::size_t i = m_depth; i-- > 0;)
        if (m_open[i].folder == folder)
            return &m_open[i];
    return nullptr;
}

void FolderCensus::add(Index folder, const Item &item)
{
    if (Open *open = openOf(folder))
        open->items.push_back(item);
}

FolderCensus::Index FolderCensus::enter(Index parent, std::string_view name, const FolderName &path, int fd)
{
    Open *above = openOf(parent);
    if (!name.empty() && !above)
        return kNone;  // inside a folder that was not taken
    struct statx st = {};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_MNT_ID, &st) != 0) {
        partial(parent);
        return kNone;
    }
    const std::uint64_t device = ::makedev(st.stx_dev_major, st.stx_dev_minor);
    if (!m_taken.firstTime(device, st.stx_ino)) {
        partial(parent);  // a folder reached twice (a bind mount, a link to a location) is no copy
        return kNone;
    }
    if (above && (above->device != device || above->mount != st.stx_mnt_id))
        partial(parent);  // a mount point: acting on the parent would cross it
    const auto index = static_cast<Index>(m_folders.size());
    Folder &folder = m_folders.emplace_back();
    folder.path = path;
    folder.seen = {device, st.stx_ino, st.stx_size,
                   static_cast<std::int64_t>(st.stx_mtime.tv_sec) * 1'000'000'000 + st.stx_mtime.tv_nsec,
                   static_cast<std::int64_t>(st.stx_ctime.tv_sec) * 1'000'000'000 + st.stx_ctime.tv_nsec};
    folder.parent = parent;
    if (above)
        above->items.push_back({NameHash(name), index, Kind::Folder});
    if (m_depth == m_open.size())
        m_open.emplace_back();
    Open &open = m_open[m_depth++];
    open.folder = index;
    open.device = device;
    open.mount = st.stx_mnt_id;
    open.items.clear();
    return index;
}

void FolderCensus::leave(Index index)
{
    if (index == kNone || m_depth == 0 || m_open[m_depth - 1].folder != index)
        return;
    Open &open = m_open[--m_depth];
    Folder &folder = m_folders[index];
    folder.begin = static_cast<std::uint32_t>(m_items.size());
    m_items.insert(m_items.end(), open.items.begin(), open.items.end());
    folder.end = static_cast<std::uint32_t>(m_items.size());
    folder.open = false;
    open.items.clear();
    if (open.items.capacity() > 65536)
        open.items.shrink_to_fit();
    m_postOrder.push_back(index);
}

void FolderCensus::file(Index folder, std::string_view name, std::uint32_t record, std::uint64_t size,
                        std::int64_t modifiedNs)
{
    if (!openOf(folder))
        return;
    add(folder, {NameHash(name), record, Kind::File});
    Folder &f = m_folders[folder];
    ++f.files;
    f.bytes += size;
    if (f.files == 1 || modifiedNs > f.newestNs)
        f.newestNs = modifiedNs;
}

void FolderCensus::emptyFile(Index folder, std::string_view name)
{
    if (!openOf(folder))
        return;
    add(folder, {NameHash(name), 0, Kind::Empty});
    ++m_folders[folder].files;
}

void FolderCensus::link(Index folder, std::string_view name, std::string_view target)
{
    if (!openOf(folder))
        return;
    add(folder, {NameHash(name), static_cast<std::uint32_t>(m_linkTargets.size()), Kind::Link});
    m_linkTargets.push_back(NameHash(target));
}

void FolderCensus::partial(Index folder)
{
    if (folder != kNone && folder < m_folders.size())
        m_folders[folder].partial = true;
}

}  // namespace geminor
