#pragma once

#include <array>
#include <atomic>
#include <compare>
#include <cstring>
#include <iterator>
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
/// thousand folders keep a few thousand copies of the paths, not a million. One pointer: the
/// count of its holders sits beside the text.
class FolderName
{
public:
    FolderName() = default;
    FolderName(std::string text) : m_shared(new Shared{{1}, std::move(text)}) {}
    FolderName(const char *text) : FolderName(std::string(text)) {}
    FolderName(const FolderName &other) : m_shared(other.m_shared)
    {
        if (m_shared)
            m_shared->holders.fetch_add(1, std::memory_order_relaxed);
    }
    FolderName(FolderName &&other) noexcept : m_shared(std::exchange(other.m_shared, nullptr)) {}
    FolderName &operator=(FolderName other) noexcept
    {
        std::swap(m_shared, other.m_shared);
        return *this;
    }
    ~FolderName()
    {
        if (m_shared && m_shared->holders.fetch_sub(1, std::memory_order_acq_rel) == 1)
            delete m_shared;
    }

    const std::string &str() const { return m_shared ? m_shared->text : empty(); }
    operator const std::string &() const { return str(); }

    friend bool operator==(const FolderName &a, const FolderName &b)
    {
        return a.m_shared == b.m_shared || a.str() == b.str();
    }
    friend std::strong_ordering operator<=>(const FolderName &a, const FolderName &b)
    {
        return a.m_shared == b.m_shared ? std::strong_ordering::equal : a.str().compare(b.str()) <=> 0;
    }
    friend std::string operator+(const FolderName &folder, const std::string &name)
    {
        return folder.join(name);
    }
    /// The folder's path, then `name`.
    std::string join(std::string_view name) const
    {
        const FolderName &folder = *this;
        std::string path;
        path.reserve(folder.str().size() + name.size());
        return path.append(folder.str()).append(name);
    }
    friend std::string operator+(std::string text, const FolderName &folder) { return text += folder.str(); }
    friend std::ostream &operator<<(std::ostream &out, const FolderName &folder)
    {
        return out << folder.str();
    }

private:
    struct Shared
    {
        std::atomic<std::uint32_t> holders;
        std::string text;
    };
    static const std::string &empty()
    {
        static const std::string none;
        return none;
    }
    Shared *m_shared = nullptr;
};

/// A file's name in 16 bytes: up to 14 bytes in place (most names), a longer one on the heap.
/// Ends in NUL, as a name holds none.
class FileName
{
public:
    FileName() : FileName(std::string_view()) {}
    FileName(std::string_view text) { assign(text); }
    FileName(const std::string &text) : FileName(std::string_view(text)) {}
    FileName(const char *text) : FileName(std::string_view(text)) {}
    FileName(const FileName &other) : FileName(other.view()) {}
    FileName(FileName &&other) noexcept : m_bytes(other.m_bytes) { other.m_bytes.fill(0); }
    FileName &operator=(FileName other) noexcept
    {
        std::swap(m_bytes, other.m_bytes);
        return *this;
    }
    ~FileName()
    {
        if (onHeap())
            delete[] heap();
    }

    std::size_t size() const { return onHeap() ? heapSize() : m_bytes[kTag]; }
    bool empty() const { return size() == 0; }
    const char *data() const { return onHeap() ? heap() : m_bytes.data(); }
    const char *c_str() const { return data(); }
    char operator[](std::size_t i) const { return data()[i]; }
    char front() const { return data()[0]; }
    std::string_view view() const { return {data(), size()}; }
    operator std::string_view() const { return view(); }
    operator std::string() const { return std::string(view()); }

    friend bool operator==(const FileName &a, const FileName &b) { return a.view() == b.view(); }
    friend std::strong_ordering operator<=>(const FileName &a, const FileName &b)
    {
        return a.view().compare(b.view()) <=> 0;
    }
    friend std::string operator+(std::string text, const FileName &name) { return text.append(name.view()); }
    friend std::string operator+(const FileName &name, std::string_view text)
    {
        return std::string(name.view()).append(text);
    }
    friend std::ostream &operator<<(std::ostream &out, const FileName &name) { return out << name.view(); }

private:
    static constexpr std::size_t kTag = 15;         // the length in place, or kOnHeap
    static constexpr unsigned char kOnHeap = 0xFF;  // a pointer, then the length in 4 bytes
    bool onHeap() const { return static_cast<unsigned char>(m_bytes[kTag]) == kOnHeap; }
    char *heap() const
    {
        char *p = nullptr;
        std::memcpy(&p, m_bytes.data(), sizeof p);
        return p;
    }
    std::size_t heapSize() const
    {
        std::uint32_t n = 0;
        std::memcpy(&n, m_bytes.data() + sizeof(char *), sizeof n);
        return n;
    }
    void assign(std::string_view text)
    {
        m_bytes.fill(0);
        if (text.size() < kTag) {
            if (!text.empty())  // an empty view may have no data at all
                std::memcpy(m_bytes.data(), text.data(), text.size());
            m_bytes[kTag] = static_cast<char>(text.size());
            return;
        }
        char *p = new char[text.size() + 1];
        std::memcpy(p, text.data(), text.size());
        p[text.size()] = '\0';
        const auto n = static_cast<std::uint32_t>(text.size());
        std::memcpy(m_bytes.data(), &p, sizeof p);
        std::memcpy(m_bytes.data() + sizeof p, &n, sizeof n);
        m_bytes[kTag] = static_cast<char>(kOnHeap);
    }
    std::array<char, 16> m_bytes;
};

inline std::string operator+(const FolderName &folder, const FileName &name)
{
    return folder.join(name.view());
}

/// One accepted file. Kept as three fields, never joined, since a Linux name may hold '?'.
struct FileRecord
{
    std::uint64_t size = 0;  // exact 64-bit length
    FileName name;           // bytes as listed
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
    /// The records as one array, element 0 included; the list keeps none after. Each block is
    /// freed once moved: the two never both hold all the records.
    std::vector<FileRecord> takeRecords()
    {
        std::vector<FileRecord> records;
        records.reserve(m_size);
        for (std::vector<FileRecord> &block : m_blocks) {
            std::move(block.begin(), block.end(), std::back_inserter(records));
            block = {};
        }
        m_blocks.clear();
        m_size = 0;
        return records;
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
