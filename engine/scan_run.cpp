#include "engine/scan_run.h"

#include <optional>
#include <tuple>

#include "engine/checksum_cache.h"
#include "engine/content_search.h"
#include "engine/file_places.h"
#include "engine/folder_analysis.h"
#include "engine/folder_walker.h"
#include "engine/protected_folders.h"
#include "engine/same_name_search.h"
#include "engine/similar_search.h"
#include "engine/sorting_lib.h"
#include "engine/walk_companion.h"

namespace geminor {
namespace {

struct KeyedRecord
{
    std::string key;
    FileRecord record;
};

bool sameNameLess(const KeyedRecord &a, const KeyedRecord &b)
{
    return std::tie(a.key, a.record.name, a.record.size, a.record.folder) <
           std::tie(b.key, b.record.name, b.record.size, b.record.folder);
}

WalkSettings walkSettings(const SearchRequest &request)
{
    WalkSettings settings;
    settings.Method = request.Method;
    settings.ProtectWindowsFolders = request.ProtectWindowsFolders;
    settings.IncludeHidden = request.IncludeHidden;
    if (request.ProtectWindowsFolders)
        settings.ProtectedFolders = ProtectedFolders();
    for (const SearchLocation &row : request.Locations)
        if (row.Exclude)
            settings.Excluded.push_back(row.Folder);
    return settings;
}

void searchSameNames(FileList fileList, SearchState &state)
{
    std::vector<KeyedRecord> keyed;
    keyed.reserve(fileList.size() - 1);
    for (std::size_t i = 1; i < fileList.size(); ++i)
        keyed.push_back({NameKey(fileList[i].name), std::move(fileList[i])});
    fileList = NewFileList();
    keyed = SortList(std::move(keyed), sameNameLess);
    std::vector<FileRecord> records;
    std::vector<std::string> keys;
    records.reserve(keyed.size());
    keys.reserve(keyed.size());
    for (KeyedRecord &k : keyed) {
        keys.push_back(std::move(k.key));
        records.push_back(std::move(k.record));
    }
    keyed.clear();
    SearchSameNames(records, keys, state);
}

/// Every file of a zero-size search, in size-first order, as a listing without groups.
void listZeroSize(FileList fileList, SearchState &state)
{
    // (element 0 of the list is no record)
    std::vector<FileRecord> records = SortList(std::move(fileList), SizeFirstLess, SizeFirstKey, 1);
    state.DuplicateRecords.reserve(records.size());  // no doubling of a million entries
    for (FileRecord &r : records)
        state.DuplicateRecords.push_back(
            {state.identityOf(r), std::move(r.name), std::move(r.folder), "N/A", 0});
}

/// Every location that is not an exclusion, in list order. The walker, with its record of the
/// files already seen, is gone before the search needs the memory.
FileList walkLocations(const SearchRequest &request, ScanHost &host, const CancelRequested &cancel,
                       ScanOutcome &outcome, WalkCompanion *companion, ChecksumCache *cache,
                       FolderCensus *census)
{
    FileList fileList = NewFileList();
    FolderWalker walker(walkSettings(request), fileList, host, cancel);
    walker.takeCensus(census);
    if (companion)
        walker.handFiles([companion](std::vector<WalkedFile> files) { companion->hand(std::move(files)); });
    if (companion && cache)
        walker.noteDevices([cache](dev_t device, int fd) { cache->noteFolder(device, fd); });
    for (const SearchLocation &row : request.Locations) {
        if (cancel.load())
            break;
        if (row.Exclude)
            continue;
        std::string folder = row.Folder;
        const WalkResult walked = walker.ScanLocation(folder, row.SubFolder, row.FileTypes);
        outcome.TotalFiles += walked.Files;
        outcome.TotalFolders += walked.Folders;
    }
    outcome.unlistedFolders = walker.unlistedFolders();
    outcome.unreadableFiles = walker.unreadableFiles();
    outcome.protectedLocations = walker.protectedLocations();
    walker.handRest();
    return fileList;
}

}  // namespace

ScanOutcome RunScan(const SearchRequest &request, ScanHost &host, CancelRequested &cancel,
                    ChecksumCache *cache, const PictureDecoder *decoder)
{
    ScanOutcome outcome;
    outcome.method = request.Method;
    const bool pictures = request.Method == SearchMethod::SimilarPictures;
    if (pictures && !decoder) {
        outcome.noPictureDecoder = true;
        return outcome;
    }
    const bool contents = ReadsContents(request.Method);
    std::optional<WalkCompanion> companion;
    if (contents || pictures)  // (leaves out the files reached twice, and reads the cache)
        companion.emplace(cache);
    // Whole folders need every file's place in its folder; the census holds it compactly.
    std::optional<FolderCensus> census;
    if (contents && request.Folders)
        census.emplace();
    FileList fileList = walkLocations(request, host, cancel, outcome, companion ? &*companion : nullptr,
                                      cache, census ? &*census : nullptr);
    SizeOrder order;
    if (companion) {
        order = companion->finish();
        outcome.TotalFiles -= companion->repeats();
    }
    if (outcome.TotalFiles == 0 || cancel.load()) {
        outcome.cancelled = cancel.load();
        return outcome;
    }
    outcome.searched = true;
    ScanProgress starting;
    starting.phase = ScanPhase::Starting;
    host.progress(starting);
    const WalkedStates walked = fileList.takeStates();
    SearchState state(host, cancel);
    state.walked = &walked;
    switch (request.Method) {
    case SearchMethod::ByteToByte:
    case SearchMethod::Crc32:
        SearchDuplicates(TakeSorted(std::move(fileList), std::move(order), SizeFirstLess), request.Method,
                         state, cache);
        if (cache)
            cache->finish();
        break;
    case SearchMethod::SimilarPictures:
        outcome.notPictures =
            SearchSimilarPictures(TakeSorted(std::move(fileList), std::move(order), SizeFirstLess),
                                  request.similarity, *decoder, state, cache);
        if (cache)
            cache->finish();
        break;
    case SearchMethod::SameName: searchSameNames(std::move(fileList), state); break;
    case SearchMethod::ZeroSize: listZeroSize(std::move(fileList), state); break;
    }
    outcome.entries = std::move(state.DuplicateRecords);
    outcome.DuplicateCount = state.DuplicateCount;
    outcome.groups = state.groups;
    PlaceEntries(outcome.entries, outcome.DuplicateCount, request.Locations);
    outcome.unreadableFiles += state.unreadableFiles;
    outcome.cancelled = cancel.load();
    if (census && !outcome.cancelled)
        outcome.folders = FindFolderGroups(*census, walked, outcome.entries, request.Locations);
    return outcome;
}

}  // namespace geminor
