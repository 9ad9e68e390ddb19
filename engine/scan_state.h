#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/file_identity.h"
#include "engine/file_record.h"
#include "engine/request.h"
#include "engine/scan_host.h"

namespace geminor {

/// One result entry: a file of a group, in result-list order.
struct ResultEntry
{
    FileIdentity seen;  // the file as the walk saw it
    std::string name;
    FolderName folder;                    // ends in '/'
    std::string version = "N/A";          // the file version text
    std::int32_t group = 0;               // 1, 2, 3... for the groups in order; 0 for a zero-size listing
    std::int16_t location = -1;           // the first search location that holds the file
    bool reference = false;               // a reference location holds it: it is kept, never marked
    std::uint8_t distance = 0;            // similar pictures: how far its look is from its group's first
    std::uint32_t width = 0, height = 0;  // similar pictures: its size as shown

    std::string path() const { return folder + name; }
};

/// What the searches share while they run: the results they write, the duplicates they count,
/// and the front end they report to.
struct SearchState
{
    SearchState(ScanHost &frontEnd, const CancelRequested &cancelFlag) : host(frontEnd), cancel(cancelFlag) {}
    bool cancelled() const { return cancel.load(std::memory_order_relaxed); }
    /// The file of `record` as the walk saw it (its size alone when no walk is known).
    FileIdentity identityOf(const FileRecord &record) const
    {
        return walked ? walked->identityOf(record) : FileIdentity{0, 0, record.size, 0, 0};
    }
    /// Counts a new group and returns its number (1, 2, 3...).
    std::int32_t startGroup() { return ++groups; }
    /// "Searching for duplicates...(P/T) x.x%" style progress, or the title form when minimized.
    void showProgress(SearchKind search, std::int64_t processed, std::int64_t total, bool statusAllowed);
    /// The same, while one large size group is compared: the bytes compared of all to compare,
    /// and the time left at the pace so far ("... 1.2 GB of 60.0 GB, about 25 s left").
    void showBytesProgress(SearchKind search, std::int64_t processed, std::int64_t total, std::uint64_t bytes,
                           std::uint64_t bytesTotal, double seconds, bool statusAllowed = true);

    ScanHost &host;
    const CancelRequested &cancel;
    const WalkedStates *walked = nullptr;  // by record id
    std::vector<ResultEntry> DuplicateRecords;
    std::int32_t DuplicateCount = 0;
    std::int32_t groups = 0;
    std::atomic<std::int64_t> unreadableFiles{0};  // files that could not be read to the end; any thread
    std::atomic<std::uint64_t> bytesCompared{0};   // bytes read for comparing so far; any thread
};

}  // namespace geminor
