#pragma once

#include <string>
#include <vector>

#include "engine/scan_run.h"
#include "texts/scan_texts.h"
#include "results/action_plan.h"

namespace geminor::test {

/// Keeps the texts a window would show for each progress: the title's while minimized, else the
/// message line's.
struct RecordingHost final : ScanHost
{
    void progress(const ScanProgress &progress) override
    {
        if (minimized) {
            if (std::string title = ProgressTitleText(progress); !title.empty())
                titles.push_back(std::move(title));
        } else if (std::string line = ProgressStatusText(progress); !line.empty()) {
            status.push_back(std::move(line));
        }
    }
    std::vector<std::string> status, titles;
    bool minimized = false;
};

/// A search's working state with a host that shows nothing and no cancel, for calling one stage.
struct QuietSearch
{
    SilentHost host;
    CancelRequested cancel{false};
    SearchState state{host, cancel};
};

/// A whole scan of `request` as given, with a host that shows nothing.
ScanOutcome Scan(const SearchRequest &request, ChecksumCache *cache = nullptr,
                 const PictureDecoder *decoder = nullptr);
/// A whole scan of `locations`, every file type, protection off.
ScanOutcome ScanFolders(std::vector<SearchLocation> locations, SearchMethod method = SearchMethod::ByteToByte,
                        bool includeHidden = false, ChecksumCache *cache = nullptr);

/// A whole scan of one folder with its sub-folders, every file type, protection off.
ScanOutcome ScanFolder(const std::string &folder, SearchMethod method, bool includeHidden = false,
                       ChecksumCache *cache = nullptr);

/// Each entry's path relative to `root`, followed by "#group" when `withGroup`.
std::vector<std::string> RowsOf(const ScanOutcome &outcome, const std::string &root, bool withGroup = true);

/// The scanned result of `root` as a plan for `action`, with the files whose paths end in one
/// of `marked` marked.
ActionPlan PlanOf(const std::string &root, PlanAction action, const std::vector<std::string> &marked,
                  SearchMethod method = SearchMethod::ByteToByte);

/// Runs geminor-cli with `args` (each passed as one word), after `prefix` (such as
/// "prlimit --as=N "); returns the exit status and fills stdout and stderr.
int RunCli(const std::vector<std::string> &args, std::string &out, std::string &err,
           const std::string &prefix = {});

}  // namespace geminor::test
