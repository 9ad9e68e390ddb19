#include "results/file_copy.h"
#include "results/extended_attributes.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

#include "engine/file_system.h"
#include "engine/unique_fd.h"

namespace geminor {
namespace {

constexpr std::size_t kBlock = 1 << 20;

bool taken(int folderFd, const std::string &name)
{
    struct stat st = {};
    return Fs().fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT;
}

}  // namespace

std::string ShortenedName(const std::string &name, std::size_t most, const std::string &mark)
{
    const auto dot = name.rfind('.');
    std::string extension = dot != std::string::npos && dot > 0 ? name.substr(dot) : std::string();
    if (extension.size() + mark.size() >= most)
        extension.clear();
    std::size_t cut =
        std::min(name.size() - extension.size(), most - std::min(most, mark.size() + extension.size()));
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
        --cut;  // never inside a UTF-8 character: exFAT and FAT take only whole ones
    return name.substr(0, cut) + mark + extension;
}

std::string NameVariant(const std::string &name, int n)
{
    if (n <= 1)
        return name;
    const auto dot = name.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > 0;
    const std::string stem = hasExtension ? name.substr(0, dot) : name;
    const std::string extension = hasExtension ? name.substr(dot) : std::string();
    const std::string number = " (" + std::to_string(n) + ")";
    if (stem.size() + number.size() + extension.size() > 255)  // a name of 255 bytes still gets its number
        return ShortenedName(name, 255, number);
    return stem + number + extension;
}

namespace {

/// Copies [from, to) of `source` into `out` at the same offsets; EIO-like errors returned.
int copyRange(int source, int out, off_t from, off_t to, std::vector<char> &buffer)
{
    for (off_t offset = from; offset < to;) {
        const auto want =
            static_cast<std::size_t>(std::min<off_t>(to - offset, static_cast<off_t>(buffer.size())));
        const ssize_t n = Fs().pread(source, buffer.data(), want, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return 0;  // the file shrank: the check after the copy notices
        for (ssize_t done = 0; done < n;) {
            const ssize_t w =
                Fs().pwrite(out, buffer.data() + done, static_cast<std::size_t>(n - done), offset + done);
            if (w < 0 && errno == EINTR)
                continue;
            if (w < 0)
                return errno;
            done += w;
        }
        offset += n;
    }
    return 0;
}

/// Copies the data of `source` and leaves its holes unwritten.
int copyData(int source, int out, off_t size)
{
    std::vector<char> buffer(kBlock);
    for (off_t offset = 0; offset < size;) {
        off_t data = Fs().lseek(source, offset, SEEK_DATA);
        if (data < 0 && errno == ENXIO)
            break;  // only a hole follows
        off_t hole = data < 0 ? size : Fs().lseek(source, data, SEEK_HOLE);
        if (data < 0)
            data = offset;  // the file system cannot tell: copy everything
        if (hole < 0 || hole > size)
            hole = size;
        if (const int error = copyRange(source, out, data, hole, buffer))
            return error;
        offset = hole;
    }
    return Fs().ftruncate(out, size) == 0 ? 0 : errno;
}

}  // namespace

std::string FreeNameAt(int folderFd, const std::string &name)
{
    if (!taken(folderFd, name))
        return name;
    for (int n = 2;; ++n)
        if (std::string candidate = NameVariant(name, n); !taken(folderFd, candidate))
            return candidate;
}

int CopyToTemporary(int source, const struct stat &st, int intoFd, std::string &temporary)
{
    UniqueFd out;
    const std::string chosen = temporary;
    for (int attempt = 0; attempt < 100 && !out; ++attempt) {
        temporary = attempt == 0 && !chosen.empty() ? chosen : TemporaryName();
        out = UniqueFd(Fs().openat(intoFd, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!out && errno != EEXIST)
            break;
    }
    if (!out) {
        const int error = errno;
        temporary.clear();
        return error;
    }
    int error = copyData(source, out.get(), st.st_size);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (!error && ::fchmod(out.get(), st.st_mode & 07777) != 0)
        error = errno;
    if (!error)
        CopyExtendedAttributes(source, out.get());  // its ACL and notes too
    if (!error && (::futimens(out.get(), times) != 0 || Fs().fsync(out.get()) != 0))
        error = errno;
    if (out.reset() != 0 && !error)
        error = errno;
    if (error) {
        Fs().unlinkat(intoFd, temporary.c_str(), 0);  // no partial copy stays behind
        temporary.clear();
    }
    return error;
}

int PublishUnderFreeName(int fromFd, const std::string &fromName, int intoFd, const std::string &name,
                         std::string &chosen)
{
    for (int attempt = 0; attempt < 1000; ++attempt) {
        chosen = FreeNameAt(intoFd, name);
        if (RenameNoReplace(fromFd, fromName, intoFd, chosen) == 0)
            return 0;
        if (errno != EEXIST)
            return errno;  // another file took the name meanwhile: pick again
    }
    return EEXIST;
}

namespace {

/// A free hidden name in `folderFd` that `fromName` now has; "" with errno when none could be taken.
std::string renamedAside(int folderFd, const std::string &fromName)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string aside = TemporaryName();
        if (RenameNoReplace(folderFd, fromName, folderFd, aside) == 0)
            return aside;
        if (errno != EEXIST)
            break;
    }
    return {};
}

/// SwapIn where the file system cannot exchange two names: the copy leaves `temporary`, what
/// stands at `name` takes its place and is checked there, and only then the copy takes `name`.
/// Each step is a rename that never replaces, so a file put under either name meanwhile stays;
/// what stood at `name` ends, as after an exchange, under `temporary`.
Swap swapInSteps(int folderFd, const std::string &temporary, const std::string &name,
                 const std::function<bool(const struct stat &)> &stillChecked)
{
    const std::string copy = renamedAside(folderFd, temporary);
    if (copy.empty()) {
        const int error = errno;
        Fs().unlinkat(folderFd, temporary.c_str(), 0);
        errno = error;
        return Swap::NotSwapped;
    }
    auto dropCopy = [&](Swap outcome, int error) {
        Fs().unlinkat(folderFd, copy.c_str(), 0);
        errno = error;
        return outcome;
    };
    if (RenameNoReplace(folderFd, name, folderFd, temporary) != 0)
        return dropCopy(Swap::NotSwapped, errno);
    struct stat old = {};
    if (Fs().fstatat(folderFd, temporary.c_str(), &old, AT_SYMLINK_NOFOLLOW) != 0 || !stillChecked(old)) {
        if (RenameNoReplace(folderFd, temporary, folderFd, name) != 0)
            return dropCopy(Swap::LeftAside, errno);
        return dropCopy(Swap::PutBack, 0);
    }
    if (RenameNoReplace(folderFd, copy, folderFd, name) != 0) {
        const int error = errno;  // the name was taken at the last moment: that file stays
        if (RenameNoReplace(folderFd, temporary, folderFd, name) == 0)
            return dropCopy(Swap::PutBack, error);
        return dropCopy(Swap::LeftAside, error);
    }
    return Fs().unlinkat(folderFd, temporary.c_str(), 0) == 0 ? Swap::Done : Swap::OldKept;
}

}  // namespace

Swap SwapIn(int folderFd, const std::string &temporary, const std::string &name, bool mayReplace,
            const std::function<bool(const struct stat &)> &stillChecked)
{
    if (Fs().renameat2(folderFd, temporary.c_str(), folderFd, name.c_str(), RENAME_EXCHANGE) != 0) {
        const int error = errno;
        const bool cannotExchange = error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
        if (cannotExchange && !mayReplace)
            return swapInSteps(folderFd, temporary, name, stillChecked);
        if (mayReplace && cannotExchange &&
            Fs().renameat2(folderFd, temporary.c_str(), folderFd, name.c_str(), 0) == 0)
            return Swap::Done;
        Fs().unlinkat(folderFd, temporary.c_str(), 0);
        errno = error;
        return Swap::NotSwapped;
    }
    // Swapped: what stood there now stands under the temporary name. Changed at the last moment?
    // Then it goes back.
    struct stat old = {};
    if (Fs().fstatat(folderFd, temporary.c_str(), &old, AT_SYMLINK_NOFOLLOW) != 0 || !stillChecked(old)) {
        if (Fs().renameat2(folderFd, temporary.c_str(), folderFd, name.c_str(), RENAME_EXCHANGE) != 0)
            return Swap::LeftAside;
        Fs().unlinkat(folderFd, temporary.c_str(), 0);
        return Swap::PutBack;
    }
    return Fs().unlinkat(folderFd, temporary.c_str(), 0) == 0 ? Swap::Done : Swap::OldKept;
}

}  // namespace geminor
