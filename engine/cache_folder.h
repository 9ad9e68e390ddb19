#pragma once

#include <string>

#include "engine/error.h"
#include "engine/unique_fd.h"

namespace geminor {

/// LMDB's lock file beside the checksum cache's data file.
inline const char *const kLockFile = "digests.mdb-lock";

// Errors name the file of the cache in `detail`; their path is left to the caller.

/// The cache folder `folder`, made (0700) when missing (unless `make` is false); an error unless
/// it is the user's own and no one else may write in it: else another user could plant links or
/// records.
Result<UniqueFd> OpenOwnFolder(const std::string &folder, bool make);
/// Done when `name` in the cache folder is missing or a regular file of the user's (not a link):
/// LMDB opens its files by name.
Status OwnFileOrNone(int folderFd, const char *name);
/// `name` in the cache folder, opened for writing (made when missing) without following a link;
/// an error unless it is a regular file of the user's.
Result<UniqueFd> OpenOwnFile(int folderFd, const char *name);
/// Has the blocks of LMDB's lock file (which it writes through a map, where a block that cannot
/// be had is a SIGBUS) and some room for the records: on a full disk the cache is passed over,
/// never the scan. Before LMDB maps it, and again once its length is known.
Status ReserveLockFile(int folderFd);

}  // namespace geminor
