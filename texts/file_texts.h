#pragma once

#include <string>

#include "engine/error.h"

namespace geminor {

/// Why a file could not be written (the error of WriteFileAtomically): the system's reason.
std::string WriteErrorText(const Error &error);

/// The same after the file's path: "path: reason".
std::string WriteErrorPathText(const Error &error);

}  // namespace geminor
