#include "tests/support/temp_tree.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace geminor::test {
namespace fs = std::filesystem;

TempTree::TempTree()
{
    std::string pattern = (fs::temp_directory_path() / "geminor-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_root = pattern + '/';
}

namespace {

/// Removes `name` in `parent` and all below it, relative to folder descriptors, so that
/// neither depth nor missing permissions stop it.
void removeTree(int parent, const char *name)
{
    struct stat st = {};
    if (::fstatat(parent, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    if (!S_ISDIR(st.st_mode)) {
        ::unlinkat(parent, name, 0);
        return;
    }
    ::fchmodat(parent, name, 0700, 0);  // tests take permissions away
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (DIR *dir = fd >= 0 ? ::fdopendir(fd) : nullptr) {
        std::vector<std::string> names;
        while (const dirent *entry = ::readdir(dir))
            if (std::string_view(entry->d_name) != "." && std::string_view(entry->d_name) != "..")
                names.emplace_back(entry->d_name);
        for (const std::string &child : names)
            removeTree(fd, child.c_str());
        ::closedir(dir);
    }
    ::unlinkat(parent, name, AT_REMOVEDIR);
}

}  // namespace

TempTree::~TempTree()
{
    removeTree(AT_FDCWD, m_root.c_str());
}

std::string TempTree::writeDeep(std::string_view folder, const std::string &name, int depth,
                                std::string_view content)
{
    int fd = ::open(mkdir(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::string whole = path(folder) + "/";
    for (int i = 0; i < depth; ++i) {
        ::mkdirat(fd, name.c_str(), 0700);
        const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
        whole += name + "/";
    }
    const int file = ::openat(fd, "deep", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const bool written =
        ::write(file, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    ::close(file);
    ::close(fd);
    if (!written)
        throw std::runtime_error("cannot write the deep file");
    return whole + "deep";
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

std::set<std::string> NamesBelow(const std::string &folder)
{
    std::set<std::string> names;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(folder))
        names.insert(entry.path().string().substr(folder.size()));
    return names;
}

}  // namespace geminor::test
