#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <unordered_map>

namespace geminor {

/// What the checksum cache knows of one file system.
struct CacheVolume
{
    /// Whether the kernel keeps a change time there that every change of the bytes moves: on
    /// FAT, exFAT, NTFS, FUSE and tmpfs it does not (see KeepsChangeTime), and a record cannot
    /// be told stale.
    bool trusted = false;
    /// Which file system it is, never 0: its UUID where one is known, its statfs id, and
    /// without a UUID its device number and the mount's type, source and root. A cache record
    /// holds it, so that another file system on the same device number never takes one.
    std::uint64_t identity = 1;
};

/// Whether records of files on a file system of statfs magic `magic` and mount type `type`
/// (either may be unknown: 0, "") can be trusted.
bool KeepsChangeTime(unsigned long magic, const std::string &type);

/// The file systems of one scan by device: learnt when the walk first enters a folder on each
/// (`note`), else from the mount table. Any thread.
class CacheVolumes
{
public:
    /// `folderFd`: a folder on `device`, which the walk has just opened.
    void note(dev_t device, int folderFd);
    /// What `note` learnt of `device`, else the mount table; not trusted when neither knows it.
    CacheVolume of(dev_t device);

private:
    struct Mount
    {
        std::string type, source, root;
    };
    /// The mount table and the UUIDs of the block devices, read at the first need.
    void readTables();
    CacheVolume learn(dev_t device, unsigned long magic, std::uint64_t fsid);

    std::mutex m_mutex;
    std::unordered_map<dev_t, CacheVolume> m_known;
    bool m_tablesRead = false;
    std::unordered_map<dev_t, Mount> m_mounts;
    std::unordered_map<dev_t, std::string> m_uuids;
};

}  // namespace geminor
