#pragma once

#include <string>
#include <vector>

#include "engine/scan_host.h"
#include "engine/scan_run.h"

namespace geminor {

/// The message line's text for a progress ("Scanning... /a/", "Searching for duplicates...(3/10)
/// 30.0%"); empty when only the title shows it.
std::string ProgressStatusText(const ScanProgress &progress);
/// The window title's text while the window is minimized ("30.0% (3/10)"); empty for none.
std::string ProgressTitleText(const ScanProgress &progress);

/// The closing lines: "Search Completed.", "Duplicates : N", "Files : N", "Folders : N", and for
/// similar pictures "Not pictures : N".
std::vector<std::string> ClosingTexts(const ScanOutcome &outcome);

/// What the closing "Search Completed." does not say: a cancel, locations that are protected
/// system folders, "N files could not be read", "1 folder could not be read"; empty when all
/// went well.
std::vector<std::string> ProblemTexts(const ScanOutcome &outcome);

}  // namespace geminor
