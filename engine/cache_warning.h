#pragma once

#include <string>
#include <utility>

#include "engine/error.h"

namespace geminor {

/// Why the checksum cache was passed over: from the start, from some file on, or for its
/// writing only. `error.path` is the cache's data file (or its folder).
struct CacheWarning
{
    enum class Stage { NotUsed, NotUsedFromHere, NotUpdated };
    Stage stage = Stage::NotUsed;
    Error error;
};

/// An error of the checksum cache: its code, LMDB's (or the system's) code, the cache's path.
inline Error CacheError(ErrorCode code, int errnum = 0, std::string path = {})
{
    return Error{code, errnum, std::move(path), {}};
}

}  // namespace geminor
