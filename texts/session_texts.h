#pragma once

#include <string>

#include "persist/session_file.h"

namespace geminor {

/// The description shown with a session error's number, as in "62: Input past end of file: ...".
std::string SessionErrorText(const SessionError &error);

}  // namespace geminor
