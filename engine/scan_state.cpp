#include "engine/scan_state.h"

namespace geminor {

void SearchState::showProgress(SearchKind search, std::int64_t processed, std::int64_t total,
                               bool statusAllowed)
{
    showBytesProgress(search, processed, total, 0, 0, 0, statusAllowed);
}

void SearchState::showBytesProgress(SearchKind search, std::int64_t processed, std::int64_t total,
                                    std::uint64_t bytes, std::uint64_t bytesTotal, double seconds,
                                    bool statusAllowed)
{
    if (!host.progressDue())
        return;
    ScanProgress progress;
    progress.phase = ScanPhase::Searching;
    progress.search = search;
    progress.done = processed;
    progress.total = total;
    progress.bytes = bytes;
    progress.bytesTotal = bytesTotal;
    progress.seconds = seconds;
    progress.statusAllowed = statusAllowed;
    host.progress(progress);
}

}  // namespace geminor
