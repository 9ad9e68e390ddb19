#include "engine/cache_volumes.h"

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <utility>
#include <xxhash.h>

#include "engine/file_system.h"
#include "engine/mount_table.h"
#include "engine/unique_fd.h"

namespace geminor {
namespace {

constexpr unsigned long kMsdosMagic = 0x4d44;
constexpr unsigned long kExfatMagic = 0x2011bab0;
constexpr unsigned long kNtfsMagic = 0x5346544e;  // ntfs and ntfs3 alike
constexpr unsigned long kFuseMagic = 0x65735546;  // fuse and fuseblk alike
constexpr unsigned long kTmpfsMagic = 0x01021994;
constexpr unsigned long kRamfsMagic = 0x858458f6;

// The file system's UUID from any descriptor on it (Linux 6.5), where the headers predate it.
struct FsUuid
{
    std::uint8_t length;
    std::uint8_t bytes[16];
};
constexpr unsigned long kGetFsUuid = _IOR(0x15, 0, FsUuid);

/// The UUID of the file system of `fd`, as text; "" when the kernel does not tell it.
std::string uuidOf(int fd)
{
    FsUuid uuid = {};
    if (Fs().ioctl(fd, kGetFsUuid, &uuid) != 0 || uuid.length == 0 || uuid.length > sizeof uuid.bytes)
        return {};
    return std::string(reinterpret_cast<const char *>(uuid.bytes), uuid.length);
}

/// The file behind loop device `device`; "" when it is none.
std::string loopFileOf(dev_t device)
{
    std::ifstream in("/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device)) +
                     "/loop/backing_file");
    std::string file;
    std::getline(in, file);
    return file;
}

struct FreeState
{
    void operator()(XXH3_state_t *state) const { XXH3_freeState(state); }
};

/// The listing of the folder `path`; none when it cannot be read.
UniqueDir listing(const char *path)
{
    UniqueFd fd(Fs().openat(AT_FDCWD, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
    UniqueDir dir(fd ? Fs().fdopendir(fd.get()) : nullptr);
    if (dir)
        fd.release();  // the listing closes it
    return dir;
}

/// Adds `text` and a separator to the digest being made.
void add(XXH3_state_t *state, const std::string &text)
{
    XXH3_64bits_update(state, text.data(), text.size());
    XXH3_64bits_update(state, "", 1);
}

}  // namespace

bool KeepsChangeTime(unsigned long magic, const std::string &type)
{
    // FAT and exFAT keep no change time, NTFS's is not the one Linux reports, and a FUSE file
    // system reports what its daemon likes. tmpfs never writes its pages back, so a page written
    // through a shared map stays writable and later writes into it move no time at all.
    static const char *const kUntrusted[] = {"vfat",  "msdos", "umsdos",  "exfat", "ntfs",
                                             "ntfs3", "fuse",  "fuseblk", "tmpfs", "ramfs"};
    for (const char *name : kUntrusted)
        if (type == name)
            return false;
    if (type.starts_with("fuse."))
        return false;
    for (const unsigned long untrusted :
         {kMsdosMagic, kExfatMagic, kNtfsMagic, kFuseMagic, kTmpfsMagic, kRamfsMagic})
        if (magic == untrusted)
            return false;
    return true;
}

void CacheVolumes::note(dev_t device, int folderFd)
{
    struct statfs fs = {};
    if (::fstatfs(folderFd, &fs) != 0)
        return;  // (then the mount table tells)
    std::uint64_t fsid = 0;
    static_assert(sizeof fs.f_fsid == sizeof fsid);
    std::memcpy(&fsid, &fs.f_fsid, sizeof fsid);
    const std::string uuid = uuidOf(folderFd);
    std::lock_guard lock(m_mutex);
    if (!uuid.empty())
        m_uuids.insert_or_assign(device, uuid);  // (rather than /dev/disk/by-uuid's)
    if (!m_known.contains(device))
        m_known.emplace(device, learn(device, static_cast<unsigned long>(fs.f_type), fsid));
}

CacheVolume CacheVolumes::of(dev_t device)
{
    std::lock_guard lock(m_mutex);
    if (const auto known = m_known.find(device); known != m_known.end())
        return known->second;
    return m_known.emplace(device, learn(device, 0, 0)).first->second;
}

CacheVolume CacheVolumes::learn(dev_t device, unsigned long magic, std::uint64_t fsid)
{
    readTables();
    const auto mount = m_mounts.find(device);
    const auto uuid = m_uuids.find(device);
    if (magic == 0 && mount == m_mounts.end())
        return {};  // nothing known of it: not trusted
    const std::unique_ptr<XXH3_state_t, FreeState> owned(XXH3_createState());
    XXH3_state_t *state = owned.get();
    XXH3_64bits_reset(state);
    XXH3_64bits_update(state, &fsid, sizeof fsid);
    add(state, mount != m_mounts.end() ? mount->second.type : std::to_string(magic));
    if (uuid != m_uuids.end()) {
        add(state, uuid->second);
    } else {  // no UUID: where it is mounted from (an image, a tmpfs) stands for it
        const auto number = static_cast<std::uint64_t>(device);
        XXH3_64bits_update(state, &number, sizeof number);
        if (mount != m_mounts.end()) {
            add(state, mount->second.source);
            add(state, mount->second.root);
        }
    }
    add(state, loopFileOf(device));  // an image cloned keeps its UUID, not its place
    const std::uint64_t identity = XXH3_64bits_digest(state) | 1;
    return {KeepsChangeTime(magic, mount != m_mounts.end() ? mount->second.type : std::string()), identity};
}

void CacheVolumes::readTables()
{
    if (std::exchange(m_tablesRead, true))
        return;
    for (const MountEntry &entry : ReadMountTable()) {
        // A file system mounted at several places: the mount of its widest root, whatever the
        // order of the table.
        const Mount mount{entry.type, entry.source, entry.root};
        auto [at, added] = m_mounts.emplace(entry.device, mount);
        if (!added && mount.root < at->second.root)
            at->second = mount;
    }
    const char *const byUuid = "/dev/disk/by-uuid";
    if (const UniqueDir dir = listing(byUuid))
        while (const dirent *entry = Fs().readdir(dir.get())) {
            struct stat st = {};
            if (entry->d_name[0] != '.' && StatPath(std::string(byUuid) + "/" + entry->d_name, &st) == 0 &&
                S_ISBLK(st.st_mode))
                m_uuids.emplace(st.st_rdev, entry->d_name);
        }
}

}  // namespace geminor
