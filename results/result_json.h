#pragma once

#include <QJsonObject>
#include <QJsonValue>
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

/// A path in JSON: a string when it is valid UTF-8, else an array of its bytes; and back (no
/// path holds a NUL).
void AppendJsonPath(std::string &out, const std::string &path);
std::optional<std::string> JsonPath(const QJsonValue &value);

/// A size, device or inode: never negative; one beyond 2^63 comes back only as near as a double
/// holds it, so that a check against it fails rather than passes.
bool JsonUnsigned(const QJsonObject &object, const char *key, std::uint64_t &out);
/// A file's identity from its fields `prefix`device, inode, size, mtime_ns and ctime_ns;
/// nothing when one is missing or not a whole number.
std::optional<FileIdentity> JsonIdentity(const QJsonObject &object, const std::string &prefix = {});

/// The method's short name ("byte", "crc32", "name", "zero") and back.
const char *MethodName(SearchMethod method);
std::optional<SearchMethod> MethodFromName(const std::string &name);

}  // namespace geminor
