#include "persist/session_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "engine/atomic_file.h"

namespace geminor {
namespace {

const char *const kMethodWords[] = {"Option1", "Option2", "Option3", "Option4"};

std::vector<std::string_view> sessionLines(std::string_view bytes)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r')
            continue;
        lines.push_back(bytes.substr(start, i - start));
        if (i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < bytes.size())
        lines.push_back(bytes.substr(start));  // a last line without its line end
    return lines;
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

/// A check box state: a whole number, spaces around it allowed, 0 to 2.
std::optional<SessionError> checkBoxState(std::string_view line, int lineNumber, bool &on)
{
    const auto first = line.find_first_not_of(' ');
    const auto last = line.find_last_not_of(' ');
    const std::string_view digits =
        first == std::string_view::npos ? line : line.substr(first, last - first + 1);
    const std::string where = " (line " + std::to_string(lineNumber) + ")";
    if (digits.empty() || digits.size() > 6 ||
        digits.find_first_not_of("0123456789") != std::string_view::npos)
        return SessionError{13, "Type mismatch: a check box state must be 0 or 1" + where};
    const int value = std::stoi(std::string(digits));
    if (value > 2)
        return SessionError{380, "Invalid property value: a check box state must be 0 or 1" + where};
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

/// The folder of an escaped line, or nothing when it holds an escape Geminor does not write.
std::optional<std::string> unescaped(std::string_view text)
{
    std::string folder;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            folder += text[i];
            continue;
        }
        const std::string_view code = text.substr(i + 1, 2);
        if (code != "0D" && code != "0A" && code != "25")
            return std::nullopt;
        folder += code == "0D" ? '\r' : code == "0A" ? '\n' : '%';
        i += 2;
    }
    return folder;
}

}  // namespace

std::string SessionText(const SearchRequest &request)
{
    std::string text = kMethodWords[static_cast<int>(request.Method)];
    text += request.ProtectWindowsFolders ? "\r\n1\r\n" : "\r\n0\r\n";
    text += request.IncludeHidden ? "1" : "0";
    for (const SearchLocation &row : request.Locations) {
        const bool escape = needsEscape(row.Folder);
        text += "\r\n" + (escape ? escaped(row.Folder) : row.Folder) + ',' + row.SubFolder + ',' + row.FileTypes +
                (row.Exclude ? ",16" : row.Reference ? ",17" : ",15");
        if (escape)
            text += kEscapedMarker;
    }
    return text + "\r\n";
}

SessionRead ParseSession(std::string_view bytes)
{
    SessionRead read;
    read.loaded = true;
    const std::vector<std::string_view> lines = sessionLines(bytes);
    // Every line Geminor writes ends with CR LF: a last line without its end was cut short.
    const bool cutShort = !bytes.empty() && bytes.back() != '\r' && !bytes.ends_with("\r\n");
    for (std::size_t i = 0; i < lines.size() && !read.error; ++i) {
        const std::string_view line = lines[i];
        const int number = static_cast<int>(i) + 1;
        if (cutShort && i + 1 == lines.size()) {
            read.error = SessionError{62, "Input past end of file: line " + std::to_string(number) +
                                              " has no line end; the file was cut short"};
            break;
        }
        if (number == 1) {
            for (int m = 0; m < 4; ++m)
                if (line == kMethodWords[m])
                    read.request.Method = static_cast<SearchMethod>(m);
        } else if (number == 2) {
            read.error = checkBoxState(line, number, read.request.ProtectWindowsFolders);
        } else if (number == 3) {
            read.error = checkBoxState(line, number, read.request.IncludeHidden);
        } else {
            const std::vector<std::string_view> fields = splitAtCommas(line);
            if (fields.size() < 4) {
                read.error =
                    SessionError{9, "Subscript out of range: line " + std::to_string(number) +
                                        " is not a search location (Folder,SubFolder,FileTypes,marker)"};
                break;
            }
            // A folder that held commas: everything before the last three fields.
            const std::size_t folderEnd = line.size() - fields[fields.size() - 1].size() -
                                          fields[fields.size() - 2].size() -
                                          fields[fields.size() - 3].size() - 3;
            const long marker = leadingNumber(fields.back());  // 17: a reference location
            std::optional<std::string> folder(line.substr(0, folderEnd));
            if (fields.back().ends_with(kEscapedMarker) && !(folder = unescaped(*folder))) {
                read.error = SessionError{380, "Invalid property value: line " + std::to_string(number) +
                                                   " holds a folder escape other than %0D, %0A or %25"};
                break;
            }
            read.request.Locations.push_back({std::move(*folder), std::string(fields[fields.size() - 3]),
                                              std::string(fields[fields.size() - 2]), marker == 16, marker == 17});
        }
    }
    return read;
}

SessionRead LoadSessionFile(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    SessionRead read;
    if (fd < 0) {
        if (errno != ENOENT)
            read.error = SessionError{errno == EACCES ? 75 : 76, std::strerror(errno)};
        return read;
    }
    struct stat st = {};
    if (::fstat(fd, &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        ::close(fd);  // a FIFO or a device could block or never end
        read.error = SessionError{57, "Device I/O error: " + path + " is not a regular file"};
        return read;
    }
    std::string bytes;
    char buffer[65536];
    constexpr std::size_t kLargest = 64 << 20;  // no real session comes near this
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            read.error = SessionError{57, std::strerror(errno)};
            ::close(fd);
            return read;
        }
        if (n == 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(n));
        if (bytes.size() > kLargest) {
            ::close(fd);
            read.error = SessionError{7, "Out of memory: " + path + " is too large to be a session file"};
            return read;
        }
    }
    ::close(fd);
    return ParseSession(bytes);
}

std::optional<std::string> SaveSessionFile(const std::string &path, const SearchRequest &request)
{
    return WriteFileAtomically(path, SessionText(request));
}

}  // namespace geminor
