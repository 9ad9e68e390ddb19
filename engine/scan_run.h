#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/folder_groups.h"
#include "engine/request.h"
#include "engine/scan_host.h"
#include "engine/group_runs.h"
#include "engine/scan_state.h"

namespace geminor {

class ChecksumCache;
class PictureDecoder;

/// Everything a finished (or cancelled) scan hands to its front end.
struct ScanOutcome
{
    SearchMethod method = SearchMethod::ByteToByte;
    std::vector<ResultEntry> entries;  // groups in result-list order; for zero size, every file
    std::int32_t DuplicateCount = 0;
    std::int32_t groups = 0;  // groups found, those of reference files alone included
    std::int64_t TotalFiles = 0;
    std::int64_t TotalFolders = 0;
    bool cancelled = false;
    bool searched = false;  // files were found and the method's search ran (cancelled or not)
    std::int64_t unreadableFiles = 0;
    std::int64_t unlistedFolders = 0;
    std::int64_t protectedLocations = 0;  // locations that lie in a protected system folder
    std::int64_t notPictures = 0;         // similar pictures: files that are no pictures
    bool noPictureDecoder = false;        // similar pictures asked of a scan without a decoder
    FolderResult folders;                 // when the request asked for folders
};

/// Performs a whole scan: walks every location that is not an
/// exclusion in list order (each file once), sorts, and runs the search of the request's method.
/// Runs on the caller's thread and reports through `host`; the cancel flag may be set from
/// any thread; the caller clears it when the scan starts, so that a cancel pressed at once is
/// never lost. `cache`, when given, is used by the content and picture searches and written to
/// (then finished). Similar pictures are looked at by `decoder`; without one, that search finds
/// nothing and the outcome says why.
ScanOutcome RunScan(const SearchRequest &request, ScanHost &host, CancelRequested &cancel,
                    ChecksumCache *cache = nullptr, const PictureDecoder *decoder = nullptr);

}  // namespace geminor
