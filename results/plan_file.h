#pragma once

#include <cstdint>
#include <string>

#include "engine/file_identity.h"

namespace geminor {

/// One file of a result as the scan saw it: what the plan acts on, the JSON report writes and
/// reads back, the journal records and the keep rules choose among. Its identity is the walk's,
/// so "still the same file" is decided against what the scan saw, not a later look.
struct PlanFile
{
    std::string path;  // bytes
    FileIdentity seen;
    std::int32_t group = 0;  // the files of one group share it; 0 for a zero-size listing
    bool marked = false;
    /// A whole folder (`path` without its trailing '/', `seen` the folder's own identity),
    /// acted on as one: its group is a group of identical folders, its kept copy a folder.
    bool folder = false;
};

}  // namespace geminor
