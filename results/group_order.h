#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/group_runs.h"

#include "results/result_row.h"

namespace geminor {

/// How the groups of a result follow one another; the files of a group stay together and in
/// their order.
enum class GroupOrder { Found, Space, Size, Copies, Name, Folder };

/// "found", "space", "size", "copies", "name", "folder".
std::optional<GroupOrder> ParseGroupOrder(std::string_view text);

/// Puts the groups in `order`: as found, by the space deleting all but one would free, by
/// file size, by number of files (those three largest first), by the first file's name or
/// folder (ignoring case). Group colours then alternate anew, starting with the first found
/// group's colour, so that "as found" gives back the rows as they were loaded. A listing
/// without groups (zero size) keeps its order.
void OrderGroups(std::vector<ResultRow> &rows, GroupOrder order);

/// For each row: whether its group has a file whose path contains `text`, ignoring case
/// (every row when `text` is empty). Rows of a zero-size listing are each a group of their own.
std::vector<bool> GroupsContaining(const std::vector<ResultRow> &rows, std::string_view text);

}  // namespace geminor
