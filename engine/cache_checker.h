#pragma once

#include <string>
#include <sys/types.h>

namespace geminor {

/// The walk of the whole checksum cache, in a process of its own: LMDB trusts its pages, and a
/// damaged one can make a reader fault, which must cost the cache, never the scan. The process
/// is this very program started again (posix_spawn of /proc/self/exe, never a fork without an
/// exec, which is unsafe in a process with threads) in a hidden mode that is answered before
/// main(), by this file: every program that can start a check answers it, and a test program
/// never takes the mode's arguments for its own. Move-only; the process is waited for once.
class CacheCheck
{
public:
    /// Starts walking the cache whose data file is `path` (reached as the checking process sees
    /// it: a /proc/self/fd path through `folderFd`, which the process inherits); none (and
    /// errno set) when the process cannot be started.
    static CacheCheck Start(const std::string &path, int folderFd);

    CacheCheck() = default;
    CacheCheck(CacheCheck &&other) noexcept;
    CacheCheck &operator=(CacheCheck &&other) noexcept;
    CacheCheck(const CacheCheck &) = delete;
    CacheCheck &operator=(const CacheCheck &) = delete;
    ~CacheCheck();

    explicit operator bool() const { return m_pid > 0; }
    /// Waits for the check: whether it found every page and record whole. Once.
    bool passed();

private:
    explicit CacheCheck(pid_t pid) : m_pid(pid) {}

    pid_t m_pid = -1;
};

}  // namespace geminor
