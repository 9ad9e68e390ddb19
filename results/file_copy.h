#pragma once

#include <functional>
#include <string>
#include <sys/stat.h>

namespace geminor {

/// A name in the folder open as `folderFd` that no entry has yet: `name` itself, else
/// "stem (2).ext", "stem (3).ext" and so on.
std::string FreeNameAt(int folderFd, const std::string &name);

/// Copies the open regular file `source` (whose state was `st`) into a new temporary file in
/// the folder `intoFd`: holes stay holes, and the copy gets the file's mode and times and is
/// fsync-ed. Sets `temporary` to its name (the one it holds on entry when that is free); on
/// failure removes it and returns the errno.
int CopyToTemporary(int source, const struct stat &st, int intoFd, std::string &temporary);

/// Renames `fromName` in `fromFd` to `name` in `intoFd`, or to a free variant of it when taken;
/// never replaces a file. Sets `chosen`; returns 0 or the errno.
int PublishUnderFreeName(int fromFd, const std::string &fromName, int intoFd, const std::string &name,
                         std::string &chosen);

/// What SwapIn did; errno says why for all but Done and PutBack.
enum class Swap { Done, NotSwapped, PutBack, LeftAside, OldKept };

/// Puts the file `temporary` of the folder `folderFd` in the place of `name` in one step, then
/// removes what stood there only when `stillChecked` says it is the file that was checked;
/// otherwise swaps back and removes `temporary`, so that nothing put there meanwhile is ever
/// lost. LeftAside: it could not be swapped back and stands under `temporary`; OldKept: it
/// could not be removed and stands there too. A file system that cannot swap (most FUSE, exFAT)
/// gets the same in steps that never replace: `name` is renamed aside and checked before the
/// copy takes its name. With `mayReplace`, such a file system has `name` replaced in one step
/// instead (the caller checked it just before).
Swap SwapIn(int folderFd, const std::string &temporary, const std::string &name, bool mayReplace,
            const std::function<bool(const struct stat &)> &stillChecked);

/// "stem (n).ext" for n of 2 and more, shortened to fit 255 bytes; `name` itself for n of 1.
std::string NameVariant(const std::string &name, int n);

/// `name` cut to `most` bytes with `mark` after its stem: the extension stays when it leaves
/// room, and the cut never splits a UTF-8 character.
std::string ShortenedName(const std::string &name, std::size_t most, const std::string &mark);

}  // namespace geminor
