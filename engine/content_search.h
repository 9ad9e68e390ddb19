#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/file_record.h"
#include "engine/identical_groups.h"
#include "engine/scan_state.h"

namespace geminor {

/// The content search over records sorted size first: groups files of equal size and equal
/// content (byte by byte, or by CRC-32) into state.DuplicateRecords, each group its first file
/// followed by the later ones that match, groups in the order of their first files. Every file
/// is read at most once; a file that cannot be read, or whose length changed, is in no group.
/// Runs on the caller's thread and stops at the next size group once cancel is requested.
/// A checksum cache, when given, spares the reads of files it knows unchanged (see IdenticalGroups)
/// and keeps what was read for the next scan; the groups are the same with or without it.
void SearchDuplicates(std::vector<FileRecord> FileRecords, SearchMethod method, SearchState &state,
                      ChecksumCache *cache = nullptr);

/// The groups of files of equal CRC-32 among same-size `members`, as IdenticalGroups gives them;
/// `helpers`, when given, read part of a large group.
MemberGroups ChecksumGroups(std::span<const FileRecord> members, SearchState &state,
                            FolderHandles *folders = nullptr, ChecksumCache *cache = nullptr,
                            ThreadPool *helpers = nullptr);

/// How many files the search may hold open at once, from the process's descriptor limit.
std::size_t OpenFileBudget();

}  // namespace geminor
