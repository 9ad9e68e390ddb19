#include "tests/support/scan_helpers.h"

#include <cstdlib>
#include <sys/wait.h>

#include "tests/support/temp_tree.h"

namespace geminor::test {

ScanOutcome ScanFolders(std::vector<SearchLocation> locations, SearchMethod method, bool includeHidden,
                        ChecksumCache *cache)
{
    SearchRequest request;
    request.Method = method;
    request.ProtectWindowsFolders = false;
    request.IncludeHidden = includeHidden;
    request.Locations = std::move(locations);
    return Scan(request, cache);
}

ScanOutcome Scan(const SearchRequest &request, ChecksumCache *cache, const PictureDecoder *decoder)
{
    SilentHost host;
    CancelRequested cancel{false};
    return RunScan(request, host, cancel, cache, decoder);
}

ScanOutcome ScanFolder(const std::string &folder, SearchMethod method, bool includeHidden,
                       ChecksumCache *cache)
{
    return ScanFolders({{folder, "Yes", "*.*", false}}, method, includeHidden, cache);
}

std::vector<std::string> RowsOf(const ScanOutcome &outcome, const std::string &root, bool withGroup)
{
    std::vector<std::string> rows;
    for (const ResultEntry &e : outcome.entries) {
        const std::string path = e.path();
        rows.push_back((path.starts_with(root) ? path.substr(root.size()) : path) +
                       (withGroup ? "#" + std::to_string(e.group) : std::string()));
    }
    return rows;
}

ActionPlan PlanOf(const std::string &root, PlanAction action, const std::vector<std::string> &marked,
                  SearchMethod method)
{
    ActionPlan plan;
    plan.action = action;
    plan.method = method;
    plan.files = PlanFilesOf(LoadResults(ScanFolder(root, method).entries));
    for (PlanFile &file : plan.files)
        for (const std::string &end : marked)
            file.marked = file.marked || file.path.ends_with(end);
    return plan;
}

int RunCli(const std::vector<std::string> &args, std::string &out, std::string &err,
           const std::string &prefix)
{
    TempTree io;
    // Trash, journal and checksum cache in folders of the test's own, unless the test chose them.
    std::string home =
        std::getenv("XDG_DATA_HOME") ? std::string() : "XDG_DATA_HOME='" + io.path("data") + "' ";
    if (!std::getenv("XDG_CACHE_HOME"))
        home += "XDG_CACHE_HOME='" + io.path("cache") + "' ";
    std::string command = home + prefix + GEMINOR_CLI_PATH;
    for (const std::string &a : args)
        command += " '" + a + "'";
    command += " >" + io.path("out") + " 2>" + io.path("err");
    const int status = std::system(command.c_str());
    out = readFile(io.path("out"));
    err = readFile(io.path("err"));
    return WEXITSTATUS(status);
}

}  // namespace geminor::test
