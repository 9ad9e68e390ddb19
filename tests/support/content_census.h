#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <sys/types.h>
#include <vector>

namespace geminor::test {

/// The contents of every regular file reachable below `roots`, hidden ones too, following
/// symbolic links as long as they lead to a place inside `boundary` (a folder); each folder is
/// entered once, so links in a loop end. A link that leads to itself, nowhere or outside
/// `boundary` reaches nothing.
std::set<std::string> ContentsReachable(const std::vector<std::string> &roots, const std::string &boundary);

/// What a regular file was, to compare with what it is later.
struct FileState
{
    ino_t inode = 0;
    mode_t mode = 0;
    uid_t uid = 0;
    gid_t gid = 0;
    std::int64_t mtimeNs = 0;
    std::string content;
};

/// The regular files below `folder` + `relative`, by path relative to `folder`, links not followed.
void Snapshot(const std::string &folder, const std::string &relative,
              std::map<std::string, FileState> &files);

}  // namespace geminor::test
