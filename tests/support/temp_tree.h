#pragma once

#include <cstdint>
#include <initializer_list>
#include <set>
#include <string>
#include <string_view>

namespace geminor::test {

/// A temporary folder for one test, removed with everything in it when the test ends, however
/// deep and whatever permissions the test left.
class TempTree
{
public:
    TempTree();
    ~TempTree();
    TempTree(const TempTree &) = delete;
    TempTree &operator=(const TempTree &) = delete;

    /// The folder, ending in '/'.
    const std::string &root() const { return m_root; }
    /// root() + relative.
    std::string path(std::string_view relative) const { return m_root + std::string(relative); }
    /// Writes a file (creating its folders) and returns its full path.
    std::string write(std::string_view relative, std::string_view content);
    /// Writes each file with the same content.
    void writeEach(std::initializer_list<std::string_view> relatives, std::string_view content)
    {
        for (std::string_view relative : relatives)
            write(relative, content);
    }
    std::string mkdir(std::string_view relative);
    void symlink(std::string_view target, std::string_view relative);
    /// Writes "deep" at the bottom of `depth` nested folders called `name` below `folder`,
    /// folder by folder, as no single path may reach it; returns its whole path.
    std::string writeDeep(std::string_view folder, const std::string &name, int depth,
                          std::string_view content);
    /// Sets a file's length without writing it (a sparse file).
    void truncate(std::string_view relative, std::uint64_t size);

private:
    std::string m_root;
};

/// Reads a whole file; empty when it cannot be read.
std::string readFile(const std::string &path);

/// Every name below `folder` (ending in '/'), hidden ones too, relative to it, sorted.
std::set<std::string> NamesBelow(const std::string &folder);

}  // namespace geminor::test
