#include "results/folder_marks.h"

#include <algorithm>

namespace geminor {
namespace {

/// True when `inner` lies below `outer` (paths without their trailing '/').
bool liesIn(const std::string &inner, const std::string &outer)
{
    return inner.size() > outer.size() + 1 && inner.starts_with(outer) &&
           (inner[outer.size()] == '/' || outer == "/");
}

}  // namespace

std::string FolderPlanPath(const std::string &folder)
{
    return folder.size() > 1 && folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder;
}

std::size_t KeptFolder(const std::vector<FolderSummary> &members, const std::vector<KeepCriterion> &rules)
{
    if (std::any_of(members.begin(), members.end(), [](const FolderSummary &m) { return m.reference; }))
        return members.size();
    std::vector<std::string> paths;
    std::vector<KeepCandidate> candidates;
    for (const FolderSummary &member : members)
        paths.push_back(FolderPlanPath(member.path));
    for (std::size_t i = 0; i < paths.size(); ++i)
        candidates.push_back(
            {paths[i], paths[i].size() - paths[i].rfind('/') - 1, members[i].newestNs, members[i].location});
    return KeptMember(candidates, rules);
}

void SettleNestedFolders(std::vector<PlanFile> &files)
{
    std::vector<std::string> marked, kept;
    for (const PlanFile &file : files)
        (file.marked ? marked : kept).push_back(file.path);
    for (PlanFile &file : files) {
        if (!file.marked)
            continue;
        const auto inside = [&](const std::string &outer) { return liesIn(file.path, outer); };
        const auto holds = [&](const std::string &inner) { return liesIn(inner, file.path); };
        file.marked = std::none_of(marked.begin(), marked.end(), inside) &&
                      std::none_of(kept.begin(), kept.end(), holds);
    }
}

}  // namespace geminor
