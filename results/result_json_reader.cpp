#include "results/result_json.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <unistd.h>

#include "engine/file_system.h"
#include "results/json_reader.h"

namespace geminor {

namespace {

using Token = JsonReader::Token;

/// A whole number from a JSON number's text, within [0, 2^64): exactly from an integer, and from a
/// fraction or an exponent only when its value is whole (as near as a double holds it, so that
/// a check against it fails rather than passes).
bool unsignedNumber(const std::string &text, std::uint64_t &out)
{
    if (text.find_first_of(".eE") == std::string::npos) {
        if (text == "-0")
            return out = 0, true;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
        return ec == std::errc() && end == text.data() + text.size();
    }
    const double number = std::strtod(text.c_str(), nullptr);
    if (!(number >= 0 && number < 18446744073709551616.0) || number != std::floor(number))
        return false;
    out = static_cast<std::uint64_t>(number);
    return true;
}

/// The same within [-2^63, 2^63).
bool signedNumber(const std::string &text, std::int64_t &out)
{
    if (text.find_first_of(".eE") == std::string::npos) {
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
        return ec == std::errc() && end == text.data() + text.size();
    }
    const double number = std::strtod(text.c_str(), nullptr);
    if (!(number >= -9223372036854775808.0 && number < 9223372036854775808.0) || number != std::floor(number))
        return false;
    out = static_cast<std::int64_t>(number);
    return true;
}

constexpr const char *kNoMethodOrGroups = "no method or no groups";

enum Field { kPath, kSize, kModified, kChanged, kDevice, kInode, kMarked, kReference, kFieldCount };
const char *const kFields[] = {"path",   "size",  "mtime_ns", "ctime_ns",
                               "device", "inode", "marked",   "reference"};

/// A member of a file other than its path, from its value's token and text; false when invalid.
bool scalarField(long field, Token token, const std::string &text, JsonFile &file)
{
    const bool number = token == Token::Number;
    switch (field) {
    case kSize: return number && unsignedNumber(text, file.seen.size);
    case kDevice: return number && unsignedNumber(text, file.seen.device);
    case kInode: return number && unsignedNumber(text, file.seen.inode);
    case kModified: return number && signedNumber(text, file.seen.modifiedNs);
    case kChanged: return number && signedNumber(text, file.seen.changedNs);
    case kMarked: file.marked = token == Token::True; break;
    case kReference: file.reference = token == Token::True; break;
    default: return false;
    }
    return token == Token::True || token == Token::False;
}

}  // namespace

ResultJsonReader::~ResultJsonReader() = default;

Result<std::unique_ptr<ResultJsonReader>> ResultJsonReader::Open(const std::string &path)
{
    std::unique_ptr<ResultJsonReader> reader(new ResultJsonReader);
    reader->m_fd = UniqueFd(OpenPath(path, O_RDONLY | O_CLOEXEC));
    if (!reader->m_fd)
        return FailErrno(path);
    if (!reader->check())
        return Unexpected(*reader->m_error);
    return reader;
}

Result<std::unique_ptr<ResultJsonReader>> ResultJsonReader::FromText(std::string text)
{
    std::unique_ptr<ResultJsonReader> reader(new ResultJsonReader);
    reader->m_text = std::move(text);
    if (!reader->check())
        return Unexpected(*reader->m_error);
    return reader;
}

bool ResultJsonReader::jsonError()
{
    if (!m_error)
        m_error = m_json->error() ? *m_json->error() : Error{ErrorCode::NotAResult, 0, {}, {}};
    m_done = true;
    return false;
}

bool ResultJsonReader::bad(ErrorCode code, std::string detail)
{
    if (!m_error)
        m_error = Error{code, 0, {}, std::move(detail)};
    m_done = true;
    return false;
}

/// Reads the whole result, then starts again at its first group.
bool ResultJsonReader::check()
{
    if (!start())
        return false;
    std::vector<JsonFile> files;
    std::string notEmpty;  // the method may come after the groups
    for (std::int32_t group = 0; nextGroup(files, group);) {
        m_fileCount += files.size();
        for (const JsonFile &file : files)
            if (file.reference)
                m_references.push_back({file.seen.device, file.seen.inode});
        for (std::size_t i = 0; i < files.size() && notEmpty.empty(); ++i)
            if (files[i].seen.size != 0)
                notEmpty = "group " + std::to_string(group) + ", file " + std::to_string(i + 1) +
                           ": a zero-size listing holds a file that is not empty";
    }
    if (m_error)
        return false;
    const auto method = MethodFromName(m_methodName);
    if (!method)
        return bad(ErrorCode::NotAResult, kNoMethodOrGroups);
    m_method = *method;
    if (m_method == SearchMethod::ZeroSize && !notEmpty.empty())
        return bad(ErrorCode::BadEntry, notEmpty);
    std::sort(m_references.begin(), m_references.end());
    m_references.erase(std::unique(m_references.begin(), m_references.end()), m_references.end());
    m_checked = true;
    return start();
}

bool ResultJsonReader::isReference(const FileIdentity &file) const
{
    return std::binary_search(m_references.begin(), m_references.end(), std::pair{file.device, file.inode});
}

/// From the beginning of the result to the first group.
bool ResultJsonReader::start()
{
    m_read = 0;
    m_json = std::make_unique<JsonReader>([this](char *buffer, std::size_t size) -> ssize_t {
        if (m_fd) {
            const ssize_t n = Fs().pread(m_fd.get(), buffer, size, static_cast<off_t>(m_read));
            m_read += n > 0 ? static_cast<std::size_t>(n) : 0;
            return n;
        }
        const std::size_t n = std::min(size, m_text.size() - m_read);
        std::memcpy(buffer, m_text.data() + m_read, n);
        m_read += n;
        return static_cast<ssize_t>(n);
    });
    m_sawMethod = m_done = false;
    m_group = 0;
    Token token = m_json->next();
    if (token != Token::BeginObject)
        return token == Token::Error ? jsonError() : bad(ErrorCode::NotAResult, kNoMethodOrGroups);
    while ((token = m_json->next()) == Token::Key) {
        if (m_json->text() == "groups") {
            token = m_json->next();
            return token == Token::BeginArray ? true
                   : token == Token::Error    ? jsonError()
                                              : bad(ErrorCode::NotAResult, kNoMethodOrGroups);
        }
        if (!rootMember(m_json->text()))
            return false;
    }
    return token == Token::Error ? jsonError() : bad(ErrorCode::NotAResult, kNoMethodOrGroups);
}

/// One member of the result other than its groups: the method is kept, the rest passed over.
bool ResultJsonReader::rootMember(std::string key)
{
    const Token token = m_json->next();
    if (key != "method")
        return m_json->skipValue(token) || jsonError();
    if (m_sawMethod)
        return bad(ErrorCode::NotAResult, "the method is given twice");
    m_sawMethod = true;
    if (token != Token::String)
        return bad(ErrorCode::NotAResult, kNoMethodOrGroups);
    if (m_checked && m_json->text() != m_methodName)
        return bad(ErrorCode::ChangedWhileRead);
    m_methodName = m_json->text();
    return true;
}

/// The members after the groups, and the end of the text.
bool ResultJsonReader::finishRoot()
{
    Token token;
    while ((token = m_json->next()) == Token::Key) {
        if (m_json->text() == "groups")
            return bad(ErrorCode::NotAResult, "the groups are given twice");
        if (!rootMember(m_json->text()))
            return false;
    }
    return (token == Token::EndObject && m_json->next() == Token::End) || jsonError();
}

bool ResultJsonReader::nextGroup(std::vector<JsonFile> &files, std::int32_t &group)
{
    files.clear();
    while (!m_done) {
        Token token = m_json->next();
        if (token == Token::EndArray) {
            m_done = true;
            finishRoot();
            return false;
        }
        if (token != Token::BeginObject)
            return token == Token::Error ? jsonError()
                                         : bad(ErrorCode::BadEntry,
                                               "group " + std::to_string(m_group + 1) + " is not an object");
        if (m_group == std::numeric_limits<std::int32_t>::max())
            return bad(ErrorCode::BadEntry, "more groups than Geminor can count");
        group = ++m_group;
        bool listed = false;
        while ((token = m_json->next()) == Token::Key) {
            if (m_json->text() != "files") {
                if (!m_json->skipValue(m_json->next()))
                    return jsonError();
            } else if (listed) {
                return bad(ErrorCode::BadEntry, "group " + std::to_string(group) + " lists its files twice");
            } else if (!(listed = readFiles(files))) {
                return false;
            }
        }
        if (token != Token::EndObject)
            return jsonError();
        if (!listed)
            return bad(ErrorCode::BadEntry, "group " + std::to_string(group) + " has no files");
        if (!files.empty())
            return true;
    }
    return false;
}

/// The array of a group's files.
bool ResultJsonReader::readFiles(std::vector<JsonFile> &files)
{
    Token token = m_json->next();
    if (token != Token::BeginArray)
        return token == Token::Error
                   ? jsonError()
                   : bad(ErrorCode::BadEntry, "group " + std::to_string(m_group) + " has no files");
    while ((token = m_json->next()) == Token::BeginObject)
        if (!readFile(files.emplace_back(), files.size()))
            return false;
    if (token != Token::EndArray)
        return token == Token::Error
                   ? jsonError()
                   : bad(ErrorCode::BadEntry, "group " + std::to_string(m_group) + ", file " +
                                                  std::to_string(files.size() + 1) + ": not an object");
    return true;
}

/// A file's path: a string, or an array of its bytes; `token` ends as the last token read.
bool ResultJsonReader::readPath(std::string &path, Token &token)
{
    if (token == Token::String) {
        path = m_json->text();
        return true;
    }
    if (token != Token::BeginArray)
        return false;
    std::uint64_t byte = 0;
    while ((token = m_json->next()) == Token::Number && unsignedNumber(m_json->text(), byte) && byte <= 255 &&
           path.size() < JsonReader::kMaxString)
        path += static_cast<char>(byte);
    return token == Token::EndArray;
}

/// One file, its members in any order.
bool ResultJsonReader::readFile(JsonFile &file, std::size_t index)
{
    const auto where = [&] {
        return "group " + std::to_string(m_group) + ", file " + std::to_string(index) + ": ";
    };
    bool seen[kFieldCount] = {};
    Token token;
    while ((token = m_json->next()) == Token::Key) {
        const auto field =
            std::find(std::begin(kFields), std::end(kFields), m_json->text()) - std::begin(kFields);
        token = m_json->next();
        if (field == kFieldCount) {
            if (!m_json->skipValue(token))
                return jsonError();
            continue;
        }
        if (seen[field])
            return bad(ErrorCode::BadEntry, where() + "\"" + kFields[field] + "\" is given twice");
        seen[field] = true;
        bool valid =
            field == kPath ? readPath(file.path, token) : scalarField(field, token, m_json->text(), file);
        if (valid && field == kPath && !UsablePath(file.path))
            return bad(ErrorCode::BadEntry,
                       where() + (file.path.empty() ? "its path is empty" : "its path holds a NUL"));
        if (token == Token::Error)
            return jsonError();
        if (!valid)
            return bad(ErrorCode::BadEntry, where() + "\"" + kFields[field] + "\" is not " +
                                                (field == kPath     ? "a path"
                                                 : field >= kMarked ? "true or false"
                                                                    : "a whole number in range"));
    }
    if (token != Token::EndObject)
        return jsonError();
    for (int field = kPath; field <= kInode; ++field)
        if (!seen[field])
            return bad(ErrorCode::BadEntry, where() + "it has no \"" + kFields[field] + "\"");
    if (m_checked && m_method == SearchMethod::ZeroSize && file.seen.size != 0)
        return bad(ErrorCode::ChangedWhileRead);
    return true;
}

Result<JsonResult> ReadResultJson(const std::string &text)
{
    auto reader = ResultJsonReader::FromText(text);
    if (!reader)
        return Unexpected(reader.error());
    JsonResult result{(*reader)->method(), {}};
    std::vector<JsonFile> files;
    for (std::int32_t group = 0; (*reader)->nextGroup(files, group);)
        for (JsonFile &file : files)
            result.files.push_back({std::move(file.path), file.seen, group, file.marked && !file.reference});
    if ((*reader)->error())
        return Unexpected(*(*reader)->error());
    return result;
}

}  // namespace geminor
