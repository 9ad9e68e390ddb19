#include "results/folder_plan.h"

#include <set>
#include <string>

namespace geminor {

void UnmarkNestedFolders(std::vector<PlanFile> &files)
{
    std::set<std::string> marked;
    for (const PlanFile &file : files)
        if (file.folder && file.marked)
            marked.insert(file.path);
    for (PlanFile &file : files) {
        if (!file.folder || !file.marked)
            continue;
        // Each folder above it, "a/b" and "a" for "a/b/c" ("/" too, for an absolute path).
        for (std::size_t slash = file.path.rfind('/'); slash != std::string::npos && !file.path.empty();
             slash = slash == 0 ? std::string::npos : file.path.rfind('/', slash - 1)) {
            if (marked.contains(file.path.substr(0, slash == 0 ? 1 : slash))) {
                file.marked = false;
                break;
            }
        }
    }
}

}  // namespace geminor
