#pragma once

#include <set>
#include <string>
#include <vector>

namespace geminor::test {

/// The contents of every regular file reachable below `roots`, hidden ones too, following
/// symbolic links as long as they lead to a place inside `boundary` (a folder); each folder is
/// entered once, so links in a loop end. A link that leads to itself, nowhere or outside
/// `boundary` reaches nothing.
std::set<std::string> ContentsReachable(const std::vector<std::string> &roots, const std::string &boundary);

}  // namespace geminor::test
