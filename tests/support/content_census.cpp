#include "tests/support/content_census.h"

#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <utility>

#include "tests/support/temp_tree.h"

namespace geminor::test {
namespace {

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
            std::vector<std::string> names;
            if (DIR *dir = ::opendir(path.c_str())) {
                while (const dirent *entry = ::readdir(dir))
                    if (std::string_view(entry->d_name) != "." && std::string_view(entry->d_name) != "..")
                        names.emplace_back(entry->d_name);
                ::closedir(dir);
            }
            for (const std::string &name : names)
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

}  // namespace geminor::test
