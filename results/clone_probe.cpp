#include "results/clone_probe.h"

#include <map>
#include <sys/vfs.h>

#include "engine/file_system.h"

namespace geminor {

bool CanClone(const std::string &folder)
{
    struct statfs fs = {};
    if (::statfs(folder.c_str(), &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x9123683EUL:  // btrfs
    case 0x58465342UL:  // XFS
    case 0xCA451A4EUL:  // bcachefs
    case 0x7461636FUL:  // OCFS2
        return true;
    default: return false;
    }
}

std::vector<std::string> UncloneableFiles(const std::vector<PlanFile> &files)
{
    std::map<std::uint64_t, bool> able;  // by device
    std::vector<std::string> refused;
    for (const PlanFile &file : files) {
        if (!file.marked)
            continue;
        auto known = able.find(file.seen.device);
        if (known == able.end())
            known = able.emplace(file.seen.device, CanClone(FolderOf(file.path))).first;
        if (!known->second)
            refused.push_back(file.path);
    }
    return refused;
}

}  // namespace geminor
