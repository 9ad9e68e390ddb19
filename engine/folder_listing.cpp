#include "engine/folder_listing.h"

#include <algorithm>
#include <cerrno>
#include <sys/statfs.h>

#include "engine/file_system.h"
#include "engine/folder_walker.h"

namespace geminor {

bool IsPseudoFileSystemType(std::string_view type)
{
    static constexpr std::string_view kPseudo[] = {
        "proc",       "sysfs",   "devtmpfs", "devpts", "cgroup", "cgroup2", "debugfs",     "tracefs",
        "securityfs", "fusectl", "configfs", "pstore", "bpf",    "mqueue",  "binfmt_misc", "efivarfs"};
    for (std::string_view pseudo : kPseudo)
        if (type == pseudo)
            return true;
    return false;
}

bool IsPseudoFileSystemMagic(int fd)
{
    struct statfs fs = {};
    if (::fstatfs(fd, &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x9fa0:      // proc
    case 0x62656572:  // sysfs
    case 0x27e0eb:    // cgroup
    case 0x63677270:  // cgroup2
    case 0x64626720:  // debugfs
    case 0x74726163:  // tracefs
    case 0x73636673:  // securityfs
    case 0x65735543:  // fusectl
    case 0x1cd1:      // devpts
        return true;
    default: return false;
    }
}

Listing ListSorted(DIR *dir)
{
    Listing listing;
    errno = 0;
    for (const dirent *entry = Fs().readdir(dir); entry; entry = Fs().readdir(dir)) {
        listing.entries.push_back({listing.names.size(), entry->d_type});
        listing.names += TrimAtNul(entry->d_name);
        listing.names += '\0';
        errno = 0;
    }
    listing.broken = errno != 0;
    std::sort(listing.entries.begin(), listing.entries.end(),
              [&listing](const Listing::Entry &a, const Listing::Entry &b) {
                  return listing.nameOf(a) < listing.nameOf(b);
              });
    return listing;
}

}  // namespace geminor
