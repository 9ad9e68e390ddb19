#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/request.h"
#include "results/action_plan.h"
#include "results/result_row.h"

namespace geminor {

/// The scan's counts as the JSON result records them.
struct JsonCounts
{
    std::int64_t files = 0;
    std::int64_t folders = 0;
    std::int64_t duplicates = 0;
};

/// The result as JSON, the machine-readable form: the method, the counts, and the groups in
/// list order, each file with its path (a string when it is valid UTF-8, else an array of its
/// bytes), size, modification and change times and its device and inode. A zero-size listing
/// is one group.
std::string ResultJson(const std::vector<ResultRow> &rows, SearchMethod method, const JsonCounts &counts);

/// A JSON result read back: its method and its files, unmarked, each with what the scan saw.
struct JsonResult
{
    SearchMethod method = SearchMethod::ByteToByte;
    std::vector<PlanFile> files;
};

/// Reads a JSON result written by ResultJson; `error` says why when it is not one.
std::optional<JsonResult> ReadResultJson(const std::string &text, std::string &error);

/// The method's short name ("byte", "crc32", "name", "zero") and back.
const char *MethodName(SearchMethod method);
std::optional<SearchMethod> MethodFromName(const std::string &name);

}  // namespace geminor
