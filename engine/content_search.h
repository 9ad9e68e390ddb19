#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/file_record.h"
#include "engine/scan_state.h"

namespace geminor {

/// The content search over records sorted size first: groups files of equal size and equal
/// content (byte by byte, or by CRC-32) into state.DuplicateRecords, each group its first file
/// followed by the later ones that match, groups in the order of their first files. Every file
/// is read at most once; a file that cannot be read, or whose length changed, is in no group.
/// Runs on the caller's thread and stops at the next size group once cancel is requested.
void SearchDuplicates(const std::vector<FileRecord> &FileRecords, SearchMethod method, SearchState &state);

/// The groups of identical files among same-size `members`: indices into `members`, ascending
/// within a group, groups ordered by their first index. Holds at most `maxOpen` files open.
std::vector<std::vector<std::uint32_t>> IdenticalGroups(const std::vector<const FileRecord *> &members,
                                                        SearchState &state, std::size_t maxOpen);

/// The same for equal CRC-32 checksums.
std::vector<std::vector<std::uint32_t>> ChecksumGroups(const std::vector<const FileRecord *> &members,
                                                       SearchState &state);

/// How many files the search may hold open at once, from the process's descriptor limit.
std::size_t OpenFileBudget();

}  // namespace geminor
