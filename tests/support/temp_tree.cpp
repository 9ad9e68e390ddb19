#include "tests/support/temp_tree.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace geminor::test {
namespace fs = std::filesystem;

TempTree::TempTree()
{
    std::string pattern = (fs::temp_directory_path() / "geminor-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_root = pattern + '/';
}

TempTree::~TempTree()
{
    std::error_code ec;
    // Tests may leave folders without permissions; give them back before removing.
    for (auto it =
             fs::recursive_directory_iterator(m_root, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_root, ec);
}

std::string TempTree::write(std::string_view relative, std::string_view content)
{
    const std::string full = path(relative);
    fs::create_directories(fs::path(full).parent_path());
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out)
        throw std::runtime_error("cannot write " + full);
    return full;
}

std::string TempTree::mkdir(std::string_view relative)
{
    const std::string full = path(relative);
    fs::create_directories(full);
    return full;
}

void TempTree::symlink(std::string_view target, std::string_view relative)
{
    fs::create_symlink(std::string(target), path(relative));
}

void TempTree::truncate(std::string_view relative, std::uint64_t size)
{
    const std::string full = path(relative);
    fs::create_directories(fs::path(full).parent_path());
    {
        std::ofstream touch(full, std::ios::binary | std::ios::app);
    }
    if (::truncate(full.c_str(), static_cast<off_t>(size)) != 0)
        throw std::runtime_error("truncate failed");
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

}  // namespace geminor::test
