#pragma once

#include <string>

namespace geminor {

/// Where the last search request is kept between runs: Default.gmr in the per-user data
/// folder (normally ~/.local/share/Geminor/). The folder is made when it is missing.
std::string DefaultSessionPath();

}  // namespace geminor
