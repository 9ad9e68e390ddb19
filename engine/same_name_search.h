#pragma once

#include <string>
#include <vector>

#include "engine/file_record.h"
#include "engine/scan_state.h"

namespace geminor {

/// Groups records whose names are equal after trimming spaces and folding case. `FileRecords`
/// must be ordered by NameKey first (`keys` holds those keys, one per record). Runs on the
/// caller's thread; stops before the next record once cancel is requested.
void SearchSameNames(const std::vector<FileRecord> &FileRecords, const std::vector<std::string> &keys,
                     SearchState &state);

}  // namespace geminor
