#pragma once

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

}  // namespace geminor
