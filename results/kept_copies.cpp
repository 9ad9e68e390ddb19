#include "results/kept_copies.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "engine/file_compare.h"
#include "engine/file_system.h"
#include "engine/folder_walker.h"
#include "engine/unique_fd.h"
#include "results/extended_attributes.h"

namespace geminor {
namespace {

/// Opens for reading without following a final link, blocking on a FIFO or touching the access
/// time (where the user may ask that); `open(flags)` opens the file one way or another.
template <typename Open> int openForReading(Open open)
{
    const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    const int fd = open(flags | O_NOATIME);
    return fd >= 0 || errno != EPERM ? fd : open(flags);
}

}  // namespace

int OpenForReading(int folderFd, const std::string &name)
{
    return openForReading([&](int flags) { return Fs().openat(folderFd, name.c_str(), flags, 0); });
}

int OpenPathForReading(const std::string &path)
{
    return openForReading([&](int flags) { return OpenPath(path, flags); });
}

KeptCopies::KeptCopies(const std::vector<PlanFile> &files, SearchMethod method)
    : m_files(files), m_method(method)
{
    for (std::size_t i = 0; i < files.size(); ++i)
        if (!files[i].marked)
            m_kept[files[i].group].push_back(i);
}

std::optional<std::size_t> KeptCopies::find(std::size_t index, int markedFd, std::optional<dev_t> device,
                                            FileIdentity *state, const struct stat *owner)
{
    struct stat marked = {};
    const auto kept = m_kept.find(m_files[index].group);
    if (Fs().fstat(markedFd, &marked) != 0 || kept == m_kept.end())
        return std::nullopt;
    for (std::size_t k : kept->second) {
        const UniqueFd fd(OpenPathForReading(m_files[k].path));
        struct stat st = {};
        if (!fd || Fs().fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || (device && st.st_dev != *device))
            continue;
        if ((st.st_dev == marked.st_dev && st.st_ino == marked.st_ino) ||
            !keeps(k, fd.get(), st, markedFd, marked, owner) || Fs().fstat(fd.get(), &st) != 0)
            continue;
        if (state)
            *state = IdentityOf(st);
        return k;
    }
    return std::nullopt;
}

bool KeptCopies::keeps(std::size_t k, int fd, const struct stat &st, int markedFd, const struct stat &marked,
                       const struct stat *owner)
{
    // A similar picture is no byte copy: what the user saw side by side must still be there.
    if (m_method == SearchMethod::SimilarPictures)
        return IdentityOf(st).sameContentState(m_files[k].seen);
    if (st.st_size != marked.st_size)
        return false;
    if (owner && (st.st_uid != owner->st_uid || st.st_gid != owner->st_gid ||
                  (st.st_mode & 07777) != (owner->st_mode & 07777) ||
                  ExtendedAttributesOf(fd) != ExtendedAttributesOf(markedFd)))
        return false;
    return m_compare.same(markedFd, fd, static_cast<std::uint64_t>(marked.st_size));
}

std::optional<std::size_t> KeptCopies::linked(std::size_t index, const struct stat &st) const
{
    const auto kept = m_kept.find(m_files[index].group);
    if (kept == m_kept.end())
        return std::nullopt;
    for (std::size_t k : kept->second) {
        struct stat other = {};
        if (StatPath(m_files[k].path, &other, AT_SYMLINK_NOFOLLOW) == 0 && other.st_dev == st.st_dev &&
            other.st_ino == st.st_ino)
            return k;
    }
    return std::nullopt;
}

bool KeptCopies::stands(std::size_t keptIndex, const FileIdentity &kept, int markedFd) const
{
    const UniqueFd fd(OpenPathForReading(m_files[keptIndex].path));
    struct stat st = {}, marked = {};
    return fd && Fs().fstat(fd.get(), &st) == 0 && Fs().fstat(markedFd, &marked) == 0 &&
           IdentityOf(st) == kept && !(st.st_dev == marked.st_dev && st.st_ino == marked.st_ino);
}

}  // namespace geminor
