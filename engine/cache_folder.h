#pragma once

#include <string>

#include "engine/unique_fd.h"

namespace geminor {

/// LMDB's lock file beside the checksum cache's data file.
inline const char *const kLockFile = "digests.mdb-lock";

/// The cache folder `folder`, made (0700) when missing (unless `make` is false); none, with
/// `reason`, unless it is the user's own and no one else may write in it: else another user
/// could plant links or records.
UniqueFd OpenOwnFolder(const std::string &folder, bool make, std::string &reason);
/// Whether `name` in the cache folder is missing or a regular file of the user's (not a link):
/// LMDB opens its files by name.
bool OwnFileOrNone(int folderFd, const char *name, std::string &reason);
/// `name` in the cache folder, opened for writing (made when missing) without following a link;
/// none, with `reason`, unless it is a regular file of the user's.
UniqueFd OpenOwnFile(int folderFd, const char *name, std::string &reason);
/// Has the blocks of LMDB's lock file (which it writes through a map, where a block that cannot
/// be had is a SIGBUS) and some room for the records: on a full disk the cache is passed over,
/// never the scan. Before LMDB maps it, and again once its length is known.
bool ReserveLockFile(int folderFd, std::string &reason);

}  // namespace geminor
