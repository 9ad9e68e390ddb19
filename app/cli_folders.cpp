#include "app/cli_folders.h"

#include <cstdio>

#include "texts/scan_texts.h"

namespace geminor {
namespace {

void put(const std::string &text, char end)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc(end, stdout);
}

void printGroups(const FolderResult &folders, bool redundant, bool null)
{
    const char end = null ? '\0' : '\n';
    for (const FolderGroup &group : folders.groups) {
        if (&group != &folders.groups.front())
            std::fputc(end, stdout);
        for (const FolderSummary &member : group.members)
            put(member.path, end);
    }
    if (!folders.groups.empty())
        std::fputc(end, stdout);
    if (redundant)
        for (const RedundantFolder &folder : folders.redundant)
            put(folder.folder.path + '\t' + std::to_string(folder.folder.bytes) + '\t' +
                    std::to_string(folder.copies) + " copies elsewhere",
                end);
    std::fflush(stdout);
}

}  // namespace

std::string FolderOptionsError(const CliOptions &options)
{
    if (options.redundant && !options.wholeFolders)
        return "--redundant goes with --folders";
    if (!options.wholeFolders)
        return {};
    if (options.method != "byte" && options.method != "crc32")
        return "--folders needs a content method: byte or crc32";
    if (!options.link.empty())
        return "whole folders are not linked: --folders acts with --trash, --delete or --move-to FOLDER";
    if (!options.apply.empty() || !options.csv.empty() || !options.html.empty())
        return "--folders writes no CSV or HTML and applies no result; --json FILE writes its folders";
    return {};
}

void PrintFolders(const CliOptions &options, const ScanOutcome &outcome, bool dryRun)
{
    if (!dryRun)  // a dry run lists only the folders it would act on
        printGroups(outcome.folders, options.redundant, options.null);
    for (const std::string &line : ClosingTexts(outcome))
        std::fprintf(stderr, "%s\n", line.c_str());
    std::fprintf(stderr, "Folder groups : %zu\nReclaimable : %llu bytes\n", outcome.folders.groups.size(),
                 static_cast<unsigned long long>(outcome.folders.reclaimable));
    if (options.redundant)
        std::fprintf(stderr, "Redundant folders : %zu\n", outcome.folders.redundant.size());
}

}  // namespace geminor
