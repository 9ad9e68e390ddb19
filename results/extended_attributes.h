#pragma once

#include <map>
#include <string>

namespace geminor {

/// The extended attributes of the open file `fd` (ACLs among them), by name; empty where the
/// file system keeps none.
std::map<std::string, std::string> ExtendedAttributesOf(int fd);

/// Gives the open file `to` the extended attributes of `from`, as far as the user may set them
/// (a user cannot set another's security labels): a copy keeps its ACL and notes.
void CopyExtendedAttributes(int from, int to);

}  // namespace geminor
