#pragma once

#include <string>

#include "app/cli_options.h"
#include "engine/scan_run.h"

namespace geminor {

/// Why --folders (or --redundant) cannot go with the other options given; "" when it can.
std::string FolderOptionsError(const CliOptions &options);

/// geminor-cli --folders after the scan: the groups of identical folders on stdout (each path
/// ending in '/', a blank line between groups; NUL-ended with -0; none for a dry run), with
/// --redundant the redundant folders after them (PATH, BYTES and "N copies elsewhere",
/// tab-separated), and the closing counts on stderr.
void PrintFolders(const CliOptions &options, const ScanOutcome &outcome, bool dryRun);

}  // namespace geminor
