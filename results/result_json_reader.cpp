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

enum Field { kPath, kSize, kModified, kChanged, kDevice, kInode, kMarked, kReference, kFieldCount };
const char *const kFields[] = {"path",   "size",  "mtime_ns", "ctime_ns",
                               "device", "inode", "marked",   "reference"};

}  // namespace

ResultJsonReader::~ResultJsonReader() = default;

std::unique_ptr<ResultJsonReader> ResultJsonReader::Open(const std::string &path, std::string &error)
{
    std::unique_ptr<ResultJsonReader> reader(new ResultJsonReader);
    reader->m_fd = UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!reader->m_fd) {
        error = std::strerror(errno);
        return nullptr;
    }
    if (!reader->check()) {
        error = reader->m_error;
        return nullptr;
    }
    return reader;
}

std::unique_ptr<ResultJsonReader> ResultJsonReader::FromText(std::string text, std::string &error)
{
    std::unique_ptr<ResultJsonReader> reader(new ResultJsonReader);
    reader->m_text = std::move(text);
    if (!reader->check()) {
        error = reader->m_error;
        return nullptr;
    }
    return reader;
}

bool ResultJsonReader::jsonError()
{
    if (m_error.empty())
        m_error = m_json->error().empty() ? "not a Geminor result" : m_json->error();
    m_done = true;
    return false;
}

bool ResultJsonReader::bad(const std::string &what)
{
    if (m_error.empty())
        m_error = what;
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
    if (!m_error.empty())
        return false;
    const auto method = MethodFromName(m_methodName);
    if (!method)
        return bad("not a Geminor result: no method or no groups");
    m_method = *method;
    if (m_method == SearchMethod::ZeroSize && !notEmpty.empty())
        return bad(notEmpty);
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
    if (m_fd && ::lseek(m_fd.get(), 0, SEEK_SET) != 0)
        return bad(std::string("cannot be read: ") + std::strerror(errno));
    m_textRead = 0;
    m_json = std::make_unique<JsonReader>([this](char *buffer, std::size_t size) -> ssize_t {
        if (m_fd)
            return ::read(m_fd.get(), buffer, size);
        const std::size_t n = std::min(size, m_text.size() - m_textRead);
        std::memcpy(buffer, m_text.data() + m_textRead, n);
        m_textRead += n;
        return static_cast<ssize_t>(n);
    });
    m_sawMethod = m_done = false;
    m_group = 0;
    Token token = m_json->next();
    if (token != Token::BeginObject)
        return token == Token::Error ? jsonError() : bad("not a Geminor result: no method or no groups");
    while ((token = m_json->next()) == Token::Key) {
        if (m_json->text() == "groups") {
            token = m_json->next();
            return token == Token::BeginArray ? true
                   : token == Token::Error    ? jsonError()
                                              : bad("not a Geminor result: no method or no groups");
        }
        if (!rootMember(m_json->text()))
            return false;
    }
    return token == Token::Error ? jsonError() : bad("not a Geminor result: no method or no groups");
}

/// One member of the result other than its groups: the method is kept, the rest passed over.
bool ResultJsonReader::rootMember(std::string key)
{
    const Token token = m_json->next();
    if (key != "method")
        return m_json->skipValue(token) || jsonError();
    if (m_sawMethod)
        return bad("not a Geminor result: the method is given twice");
    m_sawMethod = true;
    if (token != Token::String)
        return bad("not a Geminor result: no method or no groups");
    if (m_checked && m_json->text() != m_methodName)
        return bad("the result changed while it was read");
    m_methodName = m_json->text();
    return true;
}

/// The members after the groups, and the end of the text.
bool ResultJsonReader::finishRoot()
{
    Token token;
    while ((token = m_json->next()) == Token::Key) {
        if (m_json->text() == "groups")
            return bad("not a Geminor result: the groups are given twice");
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
                                         : bad("group " + std::to_string(m_group + 1) + " is not an object");
        if (m_group == std::numeric_limits<std::int32_t>::max())
            return bad("more groups than Geminor can count");
        group = ++m_group;
        bool listed = false;
        while ((token = m_json->next()) == Token::Key) {
            if (m_json->text() != "files") {
                if (!m_json->skipValue(m_json->next()))
                    return jsonError();
            } else if (listed) {
                return bad("group " + std::to_string(group) + " lists its files twice");
            } else if (!(listed = readFiles(files))) {
                return false;
            }
        }
        if (token != Token::EndObject)
            return jsonError();
        if (!listed)
            return bad("group " + std::to_string(group) + " has no files");
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
        return token == Token::Error ? jsonError()
                                     : bad("group " + std::to_string(m_group) + " has no files");
    while ((token = m_json->next()) == Token::BeginObject)
        if (!readFile(files.emplace_back(), files.size()))
            return false;
    if (token != Token::EndArray)
        return token == Token::Error ? jsonError()
                                     : bad("group " + std::to_string(m_group) + ", file " +
                                           std::to_string(files.size() + 1) + ": not an object");
    return true;
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
            return bad(where() + "\"" + kFields[field] + "\" is given twice");
        seen[field] = true;
        const std::string &text = m_json->text();
        bool valid = false;
        switch (field) {
        case kPath:
            if (token == Token::String) {
                file.path = text;
                valid = true;
            } else if (token == Token::BeginArray) {
                std::uint64_t byte = 0;
                while ((token = m_json->next()) == Token::Number && unsignedNumber(text, byte) &&
                       byte <= 255 && file.path.size() < JsonReader::kMaxString)
                    file.path += static_cast<char>(byte);
                valid = token == Token::EndArray;
                if (token == Token::Error)
                    return jsonError();
            }
            if (valid && file.path.find('\0') != std::string::npos)
                return bad(where() + "its path holds a NUL");
            if (valid && file.path.empty())
                return bad(where() + "its path is empty");
            break;
        case kSize: valid = token == Token::Number && unsignedNumber(text, file.seen.size); break;
        case kDevice: valid = token == Token::Number && unsignedNumber(text, file.seen.device); break;
        case kInode: valid = token == Token::Number && unsignedNumber(text, file.seen.inode); break;
        case kModified: valid = token == Token::Number && signedNumber(text, file.seen.modifiedNs); break;
        case kChanged: valid = token == Token::Number && signedNumber(text, file.seen.changedNs); break;
        case kMarked:
        case kReference:
            valid = token == Token::True || token == Token::False;
            (field == kMarked ? file.marked : file.reference) = token == Token::True;
            break;
        }
        if (token == Token::Error)
            return jsonError();
        if (!valid)
            return bad(where() + "\"" + kFields[field] + "\" is not " +
                       (field == kPath     ? "a path"
                        : field >= kMarked ? "true or false"
                                           : "a whole number in range"));
    }
    if (token != Token::EndObject)
        return jsonError();
    for (int field = kPath; field <= kInode; ++field)
        if (!seen[field])
            return bad(where() + "it has no \"" + kFields[field] + "\"");
    if (m_checked && m_method == SearchMethod::ZeroSize && file.seen.size != 0)
        return bad("the result changed while it was read");
    return true;
}

std::optional<JsonResult> ReadResultJson(const std::string &text, std::string &error)
{
    const auto reader = ResultJsonReader::FromText(text, error);
    if (!reader)
        return std::nullopt;
    JsonResult result{reader->method(), {}};
    std::vector<JsonFile> files;
    for (std::int32_t group = 0; reader->nextGroup(files, group);)
        for (JsonFile &file : files)
            result.files.push_back({std::move(file.path), file.seen, group, file.marked && !file.reference});
    if (!reader->error().empty()) {
        error = reader->error();
        return std::nullopt;
    }
    return result;
}

}  // namespace geminor
