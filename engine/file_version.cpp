#include "engine/file_version.h"

#include <array>
#include <cstdio>
#include <optional>
#include <vector>

#include "engine/case_fold.h"
#include "engine/file_reader.h"

namespace geminor {
namespace {

constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr std::uint32_t kVersionResourceType = 16;
constexpr std::uint32_t kMaxVersionResource = 1 << 20;

/// Bounds-checked little-endian reads from a file: every offset comes from the file itself.
class PeFile
{
public:
    explicit PeFile(const std::string &path) : m_file(path) {}
    bool isOpen() const { return m_file.isOpen(); }
    std::optional<std::uint32_t> u32(std::uint64_t at) { return number(at, 4); }
    std::optional<std::uint32_t> u16(std::uint64_t at) { return number(at, 2); }
    bool read(std::uint64_t at, std::span<std::byte> out)
    {
        return at <= m_file.size() && out.size() <= m_file.size() - at &&
               m_file.readAt(at, out) == static_cast<std::int64_t>(out.size());
    }

private:
    std::optional<std::uint32_t> number(std::uint64_t at, std::size_t width)
    {
        std::array<std::byte, 4> bytes{};
        if (!read(at, {bytes.data(), width}))
            return std::nullopt;
        std::uint32_t value = 0;
        for (std::size_t i = width; i-- > 0;)
            value = (value << 8) | std::to_integer<std::uint32_t>(bytes[i]);
        return value;
    }
    FileReader m_file;
};

struct Section
{
    std::uint32_t virtualAddress, virtualSize, rawSize, rawOffset;
};

class VersionReader
{
public:
    explicit VersionReader(const std::string &path) : m_pe(path) {}

    std::optional<std::pair<std::uint32_t, std::uint32_t>> fileVersion()
    {
        if (!m_pe.isOpen() || m_pe.u16(0) != 0x5A4D)  // "MZ"
            return std::nullopt;
        const auto peAt = m_pe.u32(0x3C);
        if (!peAt || m_pe.u32(*peAt) != 0x00004550)  // "PE\0\0"
            return std::nullopt;
        const std::uint64_t coff = *peAt + 4ULL;
        const auto sectionCount = m_pe.u16(coff + 2), optionalSize = m_pe.u16(coff + 16);
        const std::uint64_t optional = coff + 20;
        const auto magic = m_pe.u16(optional);
        if (!sectionCount || !optionalSize || !magic || (*magic != 0x10B && *magic != 0x20B))
            return std::nullopt;
        const std::uint64_t directories = optional + (*magic == 0x10B ? 96 : 112);
        const auto directoryCount = m_pe.u32(directories - 4);
        if (!directoryCount || *directoryCount < 3 || directories + 24 > optional + *optionalSize)
            return std::nullopt;
        const auto resourceRva = m_pe.u32(directories + 16);
        if (!resourceRva || *resourceRva == 0)
            return std::nullopt;
        const std::uint64_t sectionTable = optional + *optionalSize;
        for (std::uint32_t i = 0; i < std::min<std::uint32_t>(*sectionCount, 96); ++i) {
            const std::uint64_t at = sectionTable + 40ULL * i;
            const auto va = m_pe.u32(at + 12), vsize = m_pe.u32(at + 8), rsize = m_pe.u32(at + 16),
                       raw = m_pe.u32(at + 20);
            if (!va || !vsize || !rsize || !raw)
                return std::nullopt;
            m_sections.push_back({*va, *vsize, *rsize, *raw});
        }
        const auto root = fileOffset(*resourceRva);
        if (!root)
            return std::nullopt;
        m_resourceBase = *root;
        return versionFromResources();
    }

private:
    std::optional<std::uint64_t> fileOffset(std::uint64_t rva) const
    {
        for (const Section &s : m_sections) {
            const std::uint64_t extent = std::max(s.virtualSize, s.rawSize);
            if (rva >= s.virtualAddress && rva < s.virtualAddress + extent &&
                rva - s.virtualAddress < s.rawSize)
                return s.rawOffset + (rva - s.virtualAddress);
        }
        return std::nullopt;
    }

    /// The entry of a resource directory with `id`, or the first entry when `id` is empty.
    std::optional<std::uint32_t> directoryEntry(std::uint64_t directory, std::optional<std::uint32_t> id)
    {
        const auto named = m_pe.u16(directory + 12), ids = m_pe.u16(directory + 14);
        if (!named || !ids)
            return std::nullopt;
        const std::uint32_t count = std::min<std::uint32_t>(*named + *ids, 4096);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint64_t entry = directory + 16 + 8ULL * i;
            const auto name = m_pe.u32(entry), target = m_pe.u32(entry + 4);
            if (!name || !target)
                return std::nullopt;
            if (!id || (i >= *named && *name == *id))
                return target;
        }
        return std::nullopt;
    }

    std::optional<std::pair<std::uint32_t, std::uint32_t>> versionFromResources()
    {
        std::uint64_t directory = m_resourceBase;
        std::optional<std::uint32_t> id = kVersionResourceType;
        for (int level = 0; level < 3; ++level) {
            const auto target = directoryEntry(directory, id);
            if (!target)
                return std::nullopt;
            const bool isDirectory = (*target & 0x80000000U) != 0;
            const std::uint64_t next = m_resourceBase + (*target & 0x7FFFFFFFU);
            if (level < 2 && !isDirectory)
                return std::nullopt;
            if (level == 2) {
                if (isDirectory)
                    return std::nullopt;
                return fixedInfo(next);
            }
            directory = next;
            id.reset();  // the first name, then the first language
        }
        return std::nullopt;
    }

    std::optional<std::pair<std::uint32_t, std::uint32_t>> fixedInfo(std::uint64_t dataEntry)
    {
        const auto rva = m_pe.u32(dataEntry), size = m_pe.u32(dataEntry + 4);
        if (!rva || !size || *size < 52)
            return std::nullopt;
        const auto at = fileOffset(*rva);
        if (!at)
            return std::nullopt;
        std::vector<std::byte> data(std::min(*size, kMaxVersionResource));
        if (!m_pe.read(*at, data))
            return std::nullopt;
        auto word = [&](std::size_t i) {
            std::uint32_t v = 0;
            for (std::size_t k = 4; k-- > 0;)
                v = (v << 8) | std::to_integer<std::uint32_t>(data[i + k]);
            return v;
        };
        for (std::size_t i = 0; i + 16 <= data.size(); i += 4)
            if (word(i) == kFixedInfoSignature)
                return std::pair{word(i + 8), word(i + 12)};
        return std::nullopt;
    }

    PeFile m_pe;
    std::vector<Section> m_sections;
    std::uint64_t m_resourceBase = 0;
};

std::string hexDigits(std::int32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<std::uint32_t>(value));
    return text;
}

}  // namespace

std::int32_t HiWordOf(std::int32_t value)
{
    return static_cast<std::int32_t>(std::stoul(hexDigits(value).substr(0, 4), nullptr, 16));
}

std::int32_t LoWordOf(std::int32_t value)
{
    return static_cast<std::int32_t>(std::stoul(hexDigits(value).substr(4, 4), nullptr, 16));
}

namespace {

bool programFileEnding(std::string_view path)
{
    const std::string last4 = FoldCase(path.size() > 4 ? path.substr(path.size() - 4) : path);
    return std::string_view(".exe .dll .ocx").find(last4) != std::string_view::npos;
}

}  // namespace

std::string FileVersionText(const std::string &folder, const std::string &name)
{
    // A folder ends in '/', which no program ending holds: a short name never is one.
    return name.size() >= 4 && programFileEnding(name) ? FileVersionText(folder + name) : "N/A";
}

std::string FileVersionText(const std::string &FileName)
{
    if (!programFileEnding(FileName))
        return "N/A";
    const auto version = VersionReader(FileName).fileVersion();
    if (!version)
        return "N/A";
    const auto ms = static_cast<std::int32_t>(version->first),
               ls = static_cast<std::int32_t>(version->second);
    return std::to_string(HiWordOf(ms)) + '.' + std::to_string(LoWordOf(ms)) + '.' +
           std::to_string(HiWordOf(ls)) + '.' + std::to_string(LoWordOf(ls));
}

}  // namespace geminor
