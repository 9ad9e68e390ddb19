#include "engine/mount_table.h"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <string_view>
#include <sys/sysmacros.h>

namespace geminor {
namespace {

/// The next field of `line` separated by spaces; empty at the end.
std::string_view nextField(std::string_view &line)
{
    const std::size_t start = line.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        line = {};
        return {};
    }
    line.remove_prefix(start);
    const std::size_t end = std::min(line.find(' '), line.size());
    const std::string_view field = line.substr(0, end);
    line.remove_prefix(end);
    return field;
}

template <typename T> bool parseNumber(std::string_view text, T &out)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
    return error == std::errc() && end == text.data() + text.size();
}

/// The table escapes space, tab, newline and backslash as a backslash and three octal digits.
std::string unescaped(std::string_view field)
{
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() &&
            std::isdigit(static_cast<unsigned char>(field[i + 1]))) {
            out += static_cast<char>(std::strtol(std::string(field.substr(i + 1, 3)).c_str(), nullptr, 8));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::optional<MountEntry> parsed(std::string_view line)
{
    MountEntry mount;
    unsigned major = 0, minor = 0;
    const std::string_view id = nextField(line), parent = nextField(line), device = nextField(line);
    const std::size_t colon = device.find(':');
    if (!parseNumber(id, mount.id) || !parseNumber(parent, mount.parent) || colon == std::string_view::npos ||
        !parseNumber(device.substr(0, colon), major) || !parseNumber(device.substr(colon + 1), minor))
        return std::nullopt;
    mount.device = makedev(major, minor);
    mount.root = nextField(line);
    mount.point = unescaped(nextField(line));
    if (!mount.point.ends_with('/'))
        mount.point += '/';
    // Optional fields end at "-"; the file system's type and source follow.
    const std::size_t dash = line.find(" - ");
    if (dash == std::string_view::npos)
        return std::nullopt;
    line.remove_prefix(dash + 3);
    mount.type = nextField(line);
    mount.source = nextField(line);
    return mount;
}

template <typename Match> std::optional<MountEntry> firstMount(Match match)
{
    std::ifstream in("/proc/self/mountinfo");
    for (std::string line; std::getline(in, line);)
        if (std::optional<MountEntry> mount = parsed(line); mount && match(*mount))
            return mount;
    return std::nullopt;
}

}  // namespace

std::vector<MountEntry> ReadMountTable()
{
    std::vector<MountEntry> mounts;
    std::ifstream in("/proc/self/mountinfo");
    for (std::string line; std::getline(in, line);)
        if (std::optional<MountEntry> mount = parsed(line))
            mounts.push_back(std::move(*mount));
    return mounts;
}

std::optional<MountEntry> MountOf(std::uint64_t mountId)
{
    return firstMount([mountId](const MountEntry &mount) { return mount.id == mountId; });
}

std::optional<MountEntry> MountOfDevice(dev_t device)
{
    return firstMount([device](const MountEntry &mount) { return mount.device == device; });
}

}  // namespace geminor
