#pragma once

#include <compare>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/file_identity.h"
#include "engine/request.h"

namespace geminor {

/// A folder's path, shared by the records of all the files in it: a million files in a few
/// thousand folders keep a few thousand copies of the paths, not a million.
class FolderName
{
public:
    FolderName() = default;
    FolderName(std::string text) : m_text(std::make_shared<const std::string>(std::move(text))) {}
    FolderName(const char *text) : FolderName(std::string(text)) {}

    const std::string &str() const { return m_text ? *m_text : empty(); }
    operator const std::string &() const { return str(); }

    friend bool operator==(const FolderName &a, const FolderName &b)
    {
        return a.m_text == b.m_text || a.str() == b.str();
    }
    friend std::strong_ordering operator<=>(const FolderName &a, const FolderName &b)
    {
        return a.m_text == b.m_text ? std::strong_ordering::equal : a.str().compare(b.str()) <=> 0;
    }
    friend std::string operator+(const FolderName &folder, const std::string &name)
    {
        return folder.str() + name;
    }
    friend std::string operator+(std::string text, const FolderName &folder) { return text += folder.str(); }
    friend std::ostream &operator<<(std::ostream &out, const FolderName &folder)
    {
        return out << folder.str();
    }

private:
    static const std::string &empty()
    {
        static const std::string none;
        return none;
    }
    std::shared_ptr<const std::string> m_text;
};

/// One accepted file. Kept as three fields, never joined, since a Linux name may hold '?'.
struct FileRecord
{
    std::uint64_t size = 0;  // exact 64-bit length
    std::string name;        // bytes as listed
    FolderName folder;       // bytes, ends in '/'
    std::uint32_t id = 0;    // its place in the walk: where the checksum cache finds its state

    bool operator==(const FileRecord &) const = default;
};

/// What the walk saw of a file besides what its record holds. Kept beside the records, not in
/// them: the sorts move the records several times, and this is wanted only for the files that
/// end in the result.
struct WalkedState
{
    std::uint64_t device = 0, inode = 0;
    std::int64_t modifiedNs = 0, changedNs = 0;
};

/// The walked states by record id (FileRecord::id; element 0 is none).
class WalkedStates
{
public:
    void push_back(const WalkedState &state)
    {
        if (m_blocks.empty() || m_blocks.back().size() == kBlock)
            m_blocks.emplace_back().reserve(kBlock);
        m_blocks.back().push_back(state);
    }
    /// The file of `record` as the walk saw it.
    FileIdentity identityOf(const FileRecord &record) const
    {
        const WalkedState &s = m_blocks[record.id / kBlock][record.id % kBlock];
        return {s.device, s.inode, record.size, s.modifiedNs, s.changedNs};
    }
    /// What the walk saw of record `id`.
    const WalkedState &at(std::uint32_t id) const { return m_blocks[id / kBlock][id % kBlock]; }

private:
    // Blocks that grow without copying, each large enough to be given back whole when freed.
    static constexpr std::size_t kBlock = 4096;
    std::vector<std::vector<WalkedState>> m_blocks;
};

/// Records in the order the walk accepted them; element 0 is always empty and never a record.
/// Kept in blocks that never move: a list of millions grows without copying what it holds (the
/// copies of one ever longer array took a tenth of a rescan's time).
class FileList
{
public:
    FileList() { push_back({}); }

    std::size_t size() const { return m_size; }
    FileRecord &operator[](std::size_t i) { return m_blocks[i >> kShift][i & kMask]; }
    const FileRecord &operator[](std::size_t i) const { return m_blocks[i >> kShift][i & kMask]; }
    FileRecord &back() { return (*this)[m_size - 1]; }
    void push_back(FileRecord record, const WalkedState &state = {})
    {
        if ((m_size & kMask) == 0)
            m_blocks.emplace_back().reserve(kMask + 1);
        m_blocks.back().push_back(std::move(record));
        m_states.push_back(state);
        ++m_size;
    }
    /// The walked states of the records, by id; the list keeps none after.
    WalkedStates takeStates() { return std::move(m_states); }

private:
    static constexpr std::size_t kShift = 12, kMask = (std::size_t{1} << kShift) - 1;
    std::vector<std::vector<FileRecord>> m_blocks;
    WalkedStates m_states;
    std::size_t m_size = 0;
};

/// A file list holding only its empty element 0.
inline FileList NewFileList()
{
    return FileList();
}

/// Size-first order: size as a number, then name, then folder, as byte strings.
bool SizeFirstLess(const FileRecord &a, const FileRecord &b);
/// The size and the first 8 bytes of the name: ordered as SizeFirstLess orders records, and
/// enough to order most of them without reading the records.
std::pair<std::uint64_t, std::uint64_t> SizeFirstKey(const FileRecord &record);

/// The same-name key: the name with leading and trailing spaces removed, case folded.
std::string NameKey(std::string_view name);

}  // namespace geminor
