#include "tests/support/content_census.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "tests/support/temp_tree.h"

namespace geminor::test {
namespace {

/// The names in a folder in byte order; none when it cannot be listed.
std::vector<std::string> namesIn(const std::string &folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

struct Census
{
    std::string boundary;  // real path, ending in '/'
    std::set<std::pair<dev_t, ino_t>> enteredFolders;
    std::set<std::string> contents;

    bool inside(const std::string &path) const
    {
        char *real = ::realpath(path.c_str(), nullptr);
        if (!real)
            return false;
        const std::string resolved = std::string(real) + '/';
        std::free(real);
        return resolved.starts_with(boundary);
    }

    void visit(const std::string &path)
    {
        struct stat st = {};
        if (::lstat(path.c_str(), &st) != 0)
            return;
        if (S_ISLNK(st.st_mode) && (::stat(path.c_str(), &st) != 0 || !inside(path)))
            return;
        if (S_ISREG(st.st_mode)) {
            contents.insert(readFile(path));
        } else if (S_ISDIR(st.st_mode) && enteredFolders.insert({st.st_dev, st.st_ino}).second) {
            for (const std::string &name : namesIn(path))
                visit(path + '/' + name);
        }
    }
};

}  // namespace

std::set<std::string> ContentsReachable(const std::vector<std::string> &roots, const std::string &boundary)
{
    Census census;
    char *real = ::realpath(boundary.c_str(), nullptr);
    census.boundary = real ? std::string(real) + '/' : boundary;
    std::free(real);
    for (const std::string &root : roots)
        census.visit(root);
    return std::move(census.contents);
}

void Snapshot(const std::string &folder, const std::string &relative, std::map<std::string, FileState> &files)
{
    for (const std::string &name : namesIn(folder + relative)) {
        const std::string path = relative + name;
        struct stat st = {};
        if (::lstat((folder + path).c_str(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            Snapshot(folder, path + '/', files);
        } else if (S_ISREG(st.st_mode)) {
            files[path] = {st.st_ino,
                           st.st_mode,
                           st.st_uid,
                           st.st_gid,
                           st.st_mtim.tv_sec * 1000000000ll + st.st_mtim.tv_nsec,
                           readFile(folder + path)};
        }
    }
}

}  // namespace geminor::test
