#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "app/cli_actions.h"
#include "app/cli_options.h"
#include "engine/scan_run.h"

namespace geminor {

/// Why --folders (or --redundant) cannot go with the other options given; "" when it can.
std::string FolderOptionsError(const CliOptions &options);

/// geminor-cli --folders after the scan: the groups of identical folders on stdout (each path
/// ending in '/', a blank line between groups; NUL-ended with -0), with --redundant the redundant
/// folders after them (PATH, BYTES and "N copies elsewhere", tab-separated), the closing counts on
/// stderr, the JSON result with its folders, and the action on whole folders. The exit status.
int ReportFolders(const CliOptions &options, const ScanOutcome &outcome, const std::optional<CliAction> &act,
                  const std::atomic<bool> &cancel);

}  // namespace geminor
