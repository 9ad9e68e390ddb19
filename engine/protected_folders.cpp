#include "engine/protected_folders.h"

#include <cstdlib>

#include "engine/case_fold.h"

namespace geminor {

std::vector<std::string> ProtectedFolders()
{
    if (const char *env = std::getenv("GEMINOR_PROTECTED_FOLDERS")) {
        std::vector<std::string> folders;
        std::string_view rest(env);
        while (!rest.empty()) {
            const auto colon = rest.find(':');
            const auto piece = rest.substr(0, colon);
            if (!piece.empty())
                folders.emplace_back(piece);
            if (colon == std::string_view::npos)
                break;
            rest.remove_prefix(colon + 1);
        }
        return folders;
    }
    return {"/proc", "/sys", "/dev",   "/run",   "/boot",   "/etc",     "/usr", "/bin",
            "/sbin", "/lib", "/lib32", "/lib64", "/libx32", "/var/lib", "/snap"};
}

bool LiesInFolder(std::string_view path, std::string_view folder)
{
    while (!folder.empty() && folder.back() == '/')
        folder.remove_suffix(1);  // "/" becomes "", in which every absolute path lies
    // Folding may change a text's length in bytes, so each prefix that ends at a separator is
    // compared whole.
    for (std::size_t end = path.find('/');; end = path.find('/', end + 1)) {
        if (CompareFolded(path.substr(0, end), folder) == 0)
            return true;
        if (end == std::string_view::npos)
            return false;
    }
}

bool IsProtectedPath(std::string_view path, const std::vector<std::string> &folders)
{
    for (const std::string &folder : folders)
        if (LiesInFolder(path, folder))
            return true;
    return false;
}

}  // namespace geminor
