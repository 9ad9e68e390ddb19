#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/error.h"
#include "engine/request.h"
#include "engine/unique_fd.h"
#include "results/json_reader.h"
#include "results/plan_file.h"
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

/// One file of a JSON result as the report lists it.
struct JsonFile
{
    std::string path;  // bytes: never empty, no NUL
    FileIdentity seen;
    bool marked = false;
    bool reference = false;
};

/// A JSON result read back a group at a time, whatever the layout of its JSON, so that a large
/// one is never held whole. Everything in it is checked, nothing believed.
class ResultJsonReader
{
public:
    /// Reads the whole result once to check it before anything is acted on: JSON, a known
    /// method, each file with a path (no NUL), its identity in whole numbers within range and
    /// marks that are true or false, and in a zero-size listing only files of size 0; the error
    /// says why and where when it is not one.
    static Result<std::unique_ptr<ResultJsonReader>> Open(const std::string &path);
    /// The same over a text in memory.
    static Result<std::unique_ptr<ResultJsonReader>> FromText(std::string text);
    ~ResultJsonReader();

    SearchMethod method() const { return m_method; }
    /// The files the result lists.
    std::uint64_t fileCount() const { return m_fileCount; }
    /// The next group's files in the result's order, and its number (1 for the first group;
    /// groups with no files are passed over); false after the last, or when the file no longer
    /// reads as it did when it was checked (see error()).
    bool nextGroup(std::vector<JsonFile> &files, std::int32_t &group);
    const std::optional<Error> &error() const { return m_error; }
    /// Whether the result calls this file (by device and inode) a reference file in any of its
    /// groups: then it is one in every group.
    bool isReference(const FileIdentity &file) const;

private:
    ResultJsonReader() = default;
    bool check();
    bool start();
    bool rootMember(std::string key);
    bool finishRoot();
    bool readFiles(std::vector<JsonFile> &files);
    bool readFile(JsonFile &file, std::size_t index);
    bool readPath(std::string &path, JsonReader::Token &token);
    bool jsonError();
    bool bad(ErrorCode code, std::string detail = {});

    std::string m_text;      // the result in memory, or
    UniqueFd m_fd;           // the result's file
    std::size_t m_read = 0;  // bytes of the text or file given to the JSON reader
    std::unique_ptr<JsonReader> m_json;
    std::optional<Error> m_error;
    std::string m_methodName;
    SearchMethod m_method = SearchMethod::ByteToByte;
    bool m_checked = false, m_sawMethod = false, m_done = false;
    std::int32_t m_group = 0;
    std::uint64_t m_fileCount = 0;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> m_references;  // sorted (device, inode)
};

/// A JSON result read back whole: its method and its files with their marks, each with what
/// the scan saw and its group's number.
struct JsonResult
{
    SearchMethod method = SearchMethod::ByteToByte;
    std::vector<PlanFile> files;
};

/// Reads a JSON result written by ResultJson, or says why it is not one.
Result<JsonResult> ReadResultJson(const std::string &text);

/// A path in JSON: a string when it is valid UTF-8, else an array of its bytes; and back (no
/// path is empty or holds a NUL: Malformed).
void AppendJsonPath(std::string &out, const std::string &path);
Result<std::string> JsonPath(const QJsonValue &value);
/// JsonPath, or "" for a member that is missing or no path.
std::string JsonPathOrEmpty(const QJsonValue &value);
/// Whether bytes read as a path can name a file: not empty, no NUL (which would name another).
bool UsablePath(const std::string &path);

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
