#include "persist/session_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "engine/atomic_file.h"
#include "engine/file_system.h"
#include "engine/unique_fd.h"

namespace geminor {
namespace {

const char *const kMethodWords[] = {"Option1", "Option2", "Option3", "Option4"};

/// The lines of a session and whether the last one had its line end. The first line end decides
/// the file's kind: after a lone LF every LF ends a line (a file written on Linux); otherwise
/// lines end at CR LF or a lone CR, and a lone LF is part of its line, as a folder's name held
/// one before such names were escaped.
struct Lines
{
    std::vector<std::string_view> lines;
    bool lastEnded = true;
};

Lines sessionLines(std::string_view bytes)
{
    const std::size_t firstEnd = bytes.find_first_of("\r\n");
    const bool lfEnds = firstEnd != std::string_view::npos && bytes[firstEnd] == '\n';
    Lines out;
    std::size_t start = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (lfEnds ? bytes[i] != '\n' : bytes[i] != '\r')
            continue;
        std::string_view line = bytes.substr(start, i - start);
        if (lfEnds && line.ends_with('\r'))
            line.remove_suffix(1);
        out.lines.push_back(line);
        if (!lfEnds && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < bytes.size()) {
        out.lines.push_back(bytes.substr(start));
        out.lastEnded = false;
    }
    return out;
}

std::vector<std::string_view> splitAtCommas(std::string_view line)
{
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t comma = line.find(',', start);
        fields.push_back(
            line.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (comma == std::string_view::npos)
            return fields;
        start = comma + 1;
    }
}

/// A failure of the reading at line `number`.
SessionError lineError(SessionErrorNumber number, ErrorCode code, int line)
{
    return {number, Error{code, 0, {}, std::to_string(line)}};
}

/// A check box state: a whole number, spaces around it allowed, 0 to 2.
std::optional<SessionError> checkBoxState(std::string_view line, int lineNumber, bool &on)
{
    const auto first = line.find_first_not_of(' ');
    const auto last = line.find_last_not_of(' ');
    const std::string_view digits =
        first == std::string_view::npos ? line : line.substr(first, last - first + 1);
    if (digits.empty() || digits.size() > 6 ||
        digits.find_first_not_of("0123456789") != std::string_view::npos)
        return lineError(SessionErrorNumber::TypeMismatch, ErrorCode::StateNotANumber, lineNumber);
    const int value = std::stoi(std::string(digits));
    if (value > 2)
        return lineError(SessionErrorNumber::InvalidPropertyValue, ErrorCode::StateOutOfRange, lineNumber);
    on = value == 1;
    return std::nullopt;
}

/// The leading digits of a text as a number: "15" gives 15, "" or text gives 0.
long leadingNumber(std::string_view text)
{
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || value > 1'000'000)
            break;
        value = value * 10 + (c - '0');
    }
    return value;
}

// A folder whose name holds a line end is written with CR, LF and '%' as %0D, %0A and %25, and
// its marker gains a '%' ("15%"), which no session had before. Readers that know no escape still
// read the line whole and take the marker's leading digits: they see a folder that is not there.
constexpr char kEscapedMarker = '%';

bool needsEscape(std::string_view folder)
{
    return folder.find_first_of("\r\n") != std::string_view::npos;
}

std::string escaped(std::string_view folder)
{
    std::string text;
    for (char c : folder)
        text += c == '\r' ? "%0D" : c == '\n' ? "%0A" : c == '%' ? "%25" : std::string(1, c);
    return text;
}

/// The folder of an escaped line; UnknownEscape when it holds an escape Geminor does not write.
Result<std::string> unescaped(std::string_view text)
{
    std::string folder;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            folder += text[i];
            continue;
        }
        const std::string_view code = text.substr(i + 1, 2);
        if (code != "0D" && code != "0A" && code != "25")
            return Fail(ErrorCode::UnknownEscape);
        folder += code == "0D" ? '\r' : code == "0A" ? '\n' : '%';
        i += 2;
    }
    return folder;
}

/// Splits a row line into its location; the folder may hold commas (everything before the last
/// three fields).
std::optional<SessionError> readRow(std::string_view line, int number, SearchRequest &request)
{
    const std::vector<std::string_view> fields = splitAtCommas(line);
    if (fields.size() < 4)
        return lineError(SessionErrorNumber::SubscriptOutOfRange, ErrorCode::NotARow, number);
    const std::size_t n = fields.size();
    const std::size_t folderEnd =
        line.size() - fields[n - 1].size() - fields[n - 2].size() - fields[n - 3].size() - 3;
    const long marker = leadingNumber(fields.back());  // 17: a reference location
    Result<std::string> folder(std::string(line.substr(0, folderEnd)));
    if (fields.back().ends_with(kEscapedMarker) && !(folder = unescaped(*folder)))
        return lineError(SessionErrorNumber::InvalidPropertyValue, ErrorCode::UnknownEscape, number);
    request.Locations.push_back({std::move(*folder), std::string(fields[n - 3]), std::string(fields[n - 2]),
                                 marker == 16, marker == 17});
    return std::nullopt;
}

/// Whether a last line that lost its line end is whole all the same: a method word, a check box
/// state, or a row with a marker Geminor writes. A cut-short "1" of "16" is none of these, nor is
/// an escaped folder whose "%" after the marker was cut.
bool wholeWithoutLineEnd(std::string_view line, int number)
{
    if (number == 1)
        return std::find(std::begin(kMethodWords), std::end(kMethodWords), line) != std::end(kMethodWords);
    if (number <= 3)
        return true;  // one digit, checked as any other state
    const std::vector<std::string_view> fields = splitAtCommas(line);
    if (fields.size() < 4)
        return false;
    std::string_view marker = fields.back();
    const bool escapedFolder = marker.ends_with(kEscapedMarker);
    if (escapedFolder)
        marker.remove_suffix(1);
    if (marker != "15" && marker != "16" && marker != "17")
        return false;
    return escapedFolder ||
           (line.find("%0D") == std::string_view::npos && line.find("%0A") == std::string_view::npos);
}

}  // namespace

namespace {

/// A field other than the folder, without line ends: no name a line end could be part of, and
/// one written raw would end its line when read back.
std::string withoutLineEnds(std::string field)
{
    std::erase_if(field, [](char c) { return c == '\r' || c == '\n'; });
    return field;
}

}  // namespace

namespace {

/// Sessions keep the four methods of their format; a similar-pictures request, which the window
/// does not offer yet, is kept as byte to byte (the geminor-cli refuses to save one).
const char *methodWord(SearchMethod method)
{
    switch (method) {
    case SearchMethod::ByteToByte:
    case SearchMethod::SimilarPictures: return kMethodWords[0];
    case SearchMethod::Crc32: return kMethodWords[1];
    case SearchMethod::SameName: return kMethodWords[2];
    case SearchMethod::ZeroSize: return kMethodWords[3];
    }
    return kMethodWords[0];
}

}  // namespace

std::string SessionText(const SearchRequest &request)
{
    std::string text = methodWord(request.Method);
    text += request.ProtectWindowsFolders ? "\r\n1\r\n" : "\r\n0\r\n";
    text += request.IncludeHidden ? "1" : "0";
    for (const SearchLocation &row : request.Locations) {
        const bool escape = needsEscape(row.Folder);
        text += "\r\n" + (escape ? escaped(row.Folder) : row.Folder) + ',' + withoutLineEnds(row.SubFolder) +
                ',' + withoutLineEnds(row.FileTypes) +
                (row.Exclude     ? ",16"
                 : row.Reference ? ",17"
                                 : ",15");
        if (escape)
            text += kEscapedMarker;
    }
    return text + "\r\n";
}

SessionRead ParseSession(std::string_view bytes)
{
    SessionRead read;
    read.loaded = true;
    const Lines lines = sessionLines(bytes);
    for (std::size_t i = 0; i < lines.lines.size() && !read.error; ++i) {
        const std::string_view line = lines.lines[i];
        const int number = static_cast<int>(i) + 1;
        if (i + 1 == lines.lines.size() && !lines.lastEnded && !wholeWithoutLineEnd(line, number)) {
            read.error = lineError(SessionErrorNumber::InputPastEndOfFile, ErrorCode::CutShort, number);
        } else if (number == 1) {
            for (int m = 0; m < 4; ++m)
                if (line == kMethodWords[m])
                    read.request.Method = static_cast<SearchMethod>(m);
        } else if (number == 2) {
            read.error = checkBoxState(line, number, read.request.ProtectWindowsFolders);
        } else if (number == 3) {
            read.error = checkBoxState(line, number, read.request.IncludeHidden);
        } else {
            read.error = readRow(line, number, read.request);
        }
    }
    return read;
}

namespace {

/// Why a session file could not be opened; nothing for a missing file in a folder that is there.
std::optional<SessionError> openError(const std::string &path, int error)
{
    struct stat folder = {};
    // A missing file alone is no failure of the reading; a missing folder is.
    if (error == ENOENT && StatPath(FolderOf(path), &folder) != 0)
        return SessionError{SessionErrorNumber::PathNotFound,
                            Error{ErrorCode::FolderGone, 0, FolderOf(path), {}}};
    if (error == ENOENT)
        return std::nullopt;
    return SessionError{error == EACCES ? SessionErrorNumber::PermissionDenied
                                        : SessionErrorNumber::PathNotFound,
                        Error{ErrorCode::SystemCall, error, path, {}}};
}

/// The whole file, or why not: a FIFO or a device could block or never end, and no real session
/// comes near 64 MiB.
Result<std::string> sessionBytes(const UniqueFd &fd, const std::string &path)
{
    struct stat st = {};
    if (Fs().fstat(fd.get(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        return Fail(ErrorCode::NotAFile, 0, path);
    std::string bytes;
    char buffer[65536];
    constexpr std::size_t kLargest = 64 << 20;
    for (;;) {
        const ssize_t n = Fs().pread(fd.get(), buffer, sizeof buffer, static_cast<off_t>(bytes.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return FailErrno(path);
        if (n == 0)
            return bytes;
        bytes.append(buffer, static_cast<std::size_t>(n));
        if (bytes.size() > kLargest)
            return Fail(ErrorCode::TooLarge, 0, path);
    }
}

}  // namespace

SessionRead LoadSessionFile(const std::string &path)
{
    const UniqueFd fd(OpenPath(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd) {
        SessionRead read;
        read.error = openError(path, errno);
        return read;
    }
    Result<std::string> bytes = sessionBytes(fd, path);
    if (!bytes) {
        SessionRead read;
        read.error =
            SessionError{bytes.error().code == ErrorCode::TooLarge ? SessionErrorNumber::OutOfMemory
                                                                   : SessionErrorNumber::DeviceIoError,
                         bytes.error()};
        return read;
    }
    return ParseSession(*bytes);
}

Status SaveSessionFile(const std::string &path, const SearchRequest &request)
{
    return WriteFileAtomically(path, SessionText(request));
}

}  // namespace geminor
