#pragma once

#include <string>

#include "engine/error.h"

namespace geminor {

/// The sentence both front ends show for `error`, without the path unless the code needs it.
std::string ErrorText(const Error &error);

}  // namespace geminor
