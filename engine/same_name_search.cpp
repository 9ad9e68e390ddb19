#include "engine/same_name_search.h"

#include "engine/file_version.h"

namespace geminor {

void SearchSameNames(const std::vector<FileRecord> &FileRecords, const std::vector<std::string> &keys,
                     SearchState &state)
{
    const auto RecordTotal = static_cast<std::int64_t>(FileRecords.size());
    std::int64_t Processed = 0;
    for (std::size_t p = 0; p + 1 < FileRecords.size();) {
        if (state.cancelled())
            break;
        std::size_t end = p + 1;
        while (end < FileRecords.size() && keys[end] == keys[p])
            ++end;
        if (end - p == 1) {
            ++Processed;
        } else {
            const std::int32_t group = state.startGroup();
            for (std::size_t i = p; i < end; ++i) {
                if (state.cancelled())
                    break;
                if (i > p)
                    ++state.DuplicateCount;
                const FileRecord &r = FileRecords[i];
                state.DuplicateRecords.push_back(
                    {state.identityOf(r), r.name, r.folder, FileVersionText(r.folder, r.name), group});
                if (i + 1 < FileRecords.size())
                    ++Processed;
            }
        }
        state.showProgress(SearchKind::SameNames, Processed, RecordTotal,
                           state.DuplicateRecords.size() % 100 == 0);
        p = end;
    }
}

}  // namespace geminor
