#pragma once

#include <string>

#include "engine/cache_warning.h"

namespace geminor {

/// The sentence for an error of the checksum cache: its path (when it has one), then why.
std::string CacheErrorText(const Error &error);
/// The warning a front end shows when the checksum cache was passed over.
std::string CacheWarningText(const CacheWarning &warning);

}  // namespace geminor
