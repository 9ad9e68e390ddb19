#pragma once

#include <cstdint>
#include <sys/stat.h>

namespace geminor {

/// What a file was when it was looked at: which file (device and inode) and its state. Two
/// looks that give the same identity saw the same, unchanged file.
struct FileIdentity
{
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;  // nanoseconds since the epoch
    std::int64_t changedNs = 0;

    bool operator==(const FileIdentity &) const = default;
    bool sameFile(const FileIdentity &other) const { return device == other.device && inode == other.inode; }
    /// Same file, length and modification time: what a rename of the file leaves as it was.
    bool sameContentState(const FileIdentity &other) const
    {
        return sameFile(other) && size == other.size && modifiedNs == other.modifiedNs;
    }
};

inline std::int64_t Nanoseconds(const struct timespec &time)
{
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

/// Whole seconds since the epoch, rounded down (also before 1970).
inline std::int64_t FloorSeconds(std::int64_t nanoseconds)
{
    return nanoseconds >= 0 ? nanoseconds / 1'000'000'000 : -((-nanoseconds + 999'999'999) / 1'000'000'000);
}

inline FileIdentity IdentityOf(const struct stat &st)
{
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
            static_cast<std::uint64_t>(st.st_size), Nanoseconds(st.st_mtim), Nanoseconds(st.st_ctim)};
}

}  // namespace geminor
