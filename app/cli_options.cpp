// geminor-cli's options: their names and help texts, and the checks of how they go together.
#include "app/cli_options.h"

#include <CLI/CLI.hpp>
#include <cstdio>

#include "app/cli_folders.h"

namespace geminor {

namespace {

/// The help's footer, the version, and what and how to search.
CLI::Option *addSearchOptions(CLI::App &app, CliOptions &options)
{
    app.footer(
        "Examples:\n  geminor-cli -m crc32 -t \".jpg;.png\" ~/Pictures /media/backup/Pictures\n"
        "  geminor-cli --json result.json ~/Music && geminor-cli --apply result.json --keep first --trash\n"
        "  geminor-cli --keep newest --keep shortest-path --trash --dry-run ~/Photos\n"
        "  geminor-cli --reference ~/Photos --keep first --delete /media/old-disk\n\n"
        "Exit status: 0 after a scan (and everything asked done), 2 for a usage error, 3 when an action\n"
        "skipped a file, 130 when Ctrl-C stopped it, 1 for any other failure.");
    app.set_version_flag("--version", std::string("geminor-cli ") + GEMINOR_VERSION);
    CLI::Option *method =
        app.add_option("-m,--method", options.method, "search method: byte, crc32, name, zero or similar")
            ->check(CLI::IsMember({"byte", "crc32", "name", "zero", "similar"}))
            ->capture_default_str();
    app.add_option("--similarity", options.similarity,
                   "with -m similar, how alike pictures must look: very-high, high, medium or low")
        ->check(CLI::IsMember({"very-high", "high", "medium", "low"}))
        ->capture_default_str();
    app.add_option("-t,--types", options.types, "file types of the folders, as \".mp3;.jpg\"")
        ->capture_default_str();
    app.add_flag("-n,--no-subfolders", options.noSubfolders, "do not walk sub-folders");
    app.add_option("-x,--exclude", options.excluded, "a folder to leave out (repeatable)")
        ->allow_extra_args(false);
    app.add_flag("-H,--include-hidden", options.includeHidden, "include hidden files and folders");
    app.add_flag("--no-protect", options.noProtect, "do not protect the system folders");
    app.add_flag("-q,--quiet", options.quiet, "no progress on stderr");
    app.add_flag("-0,--null", options.null, "end each path with NUL and each group with a second NUL");
    app.add_flag("--folders", options.wholeFolders,
                 "list groups of identical folders (same names all the way down, same contents) instead\n"
                 "of files; with --keep RULE and an action, act on whole folders");
    app.add_flag("--redundant", options.redundant,
                 "with --folders, also list each folder every file of which has a copy elsewhere");
    return method;
}

/// Sessions, exports, a result to act on and how to choose in it.
void addFileOptions(CLI::App &app, CliOptions &options)
{
    app.add_option("-s,--session", options.session, "take the request from a session file");
    app.add_option("--save-session", options.saveSession,
                   "write the request (after the other options) to a session file");
    app.add_option("--csv", options.csv, "write the CSV export of the result");
    app.add_option("--html", options.html, "write the HTML report of the result (FILE ends in .htm)");
    app.add_option("--json", options.json, "write the result as JSON (paths, sizes, times, devices, inodes)");
    app.add_option(
        "--apply", options.apply,
        "act on a result written with --json instead of scanning: on the files it marks, and with\n"
        "--keep on the groups in which it marks none; its reference files are always kept");
    app.add_option(
           "--keep", options.keep,
           "which file of each group stays (repeatable, later rules break ties): first, newest, oldest,\n"
           "shortest-path, longest-path, shortest-name, first-location, largest-resolution, path:GLOB,\n"
           "not-path:GLOB")
        ->check(CLI::Validator(
            [](std::string &rule) {
                return ParseKeepCriterion(rule) ? std::string() : "unknown keep rule: " + rule;
            },
            "RULE"))
        ->allow_extra_args(false);
    app.add_option("--reference", options.references,
                   "a folder to search whose files are always kept (repeatable)")
        ->allow_extra_args(false);
    app.add_option("--sort", options.sort, "order of the groups: found, space, size, copies, name or folder")
        ->check(CLI::IsMember({"found", "space", "size", "copies", "name", "folder"}))
        ->capture_default_str();
}

/// The actions, undo, the cache and the folders.
void addActionOptions(CLI::App &app, CliOptions &options)
{
    app.add_flag("--trash", options.trash, "move every other file of each group to the trash");
    app.add_flag("--delete", options.remove, "delete every other file of each group for good");
    app.add_option("--move-to", options.moveTo, "move every other file of each group into FOLDER");
    app.add_option("--link", options.link,
                   "replace every other file of each group by a link to the file kept: hard, symbolic\n"
                   "(relative) or clone (shared blocks, on btrfs or XFS)")
        ->check(CLI::IsMember({"hard", "symbolic", "clone"}));
    app.add_option("--undo", options.undo, "put back what the last operation (or operation ID) did")
        ->expected(0, 1)
        ->default_str("")
        ->type_name("[ID]");
    app.add_flag("--journal", options.journal, "list the operations that can be undone");
    app.add_flag("--no-cache", options.noCache, "neither use nor fill the checksum cache");
    app.add_option("--cache-dir", options.cacheDir,
                   "keep the checksum cache in DIR (default ~/.cache/geminor)");
    app.add_flag("--clear-cache", options.clearCache,
                 "empty the checksum cache (then scan, if folders are given)");
    app.add_flag("--dry-run", options.dryRun, "say what the action would do, change nothing");
    app.add_flag("--no-journal", options.noJournal,
                 "act without writing the journal (when it cannot be written): nothing of it can be undone");
    app.add_option("FOLDER", options.folders, "folders to search");
}

}  // namespace

CLI::Option *AddCliOptions(CLI::App &app, CliOptions &options)
{
    CLI::Option *method = addSearchOptions(app, options);
    addFileOptions(app, options);
    addActionOptions(app, options);
    return method;
}

std::optional<PlanAction> ActionOf(const CliOptions &options, std::string &error)
{
    const int count =
        int(options.trash) + int(options.remove) + int(!options.moveTo.empty()) + int(!options.link.empty());
    if (count > 1)
        error = "choose one of --trash, --delete, --move-to and --link";
    else if (count == 1 && options.keep.empty() && options.apply.empty())  // a result carries its marks
        error =
            "an action needs --keep RULE: which file of each group stays (--keep first: the first listed)";
    else if (count == 0 && options.dryRun)
        error = "--dry-run needs an action: --trash, --delete or --move-to FOLDER";
    else if (count == 0 && !options.keep.empty() && options.json.empty() && options.csv.empty() &&
             options.html.empty())
        error =
            "--keep needs an action (--trash, --delete, --move-to FOLDER) or an export to carry the marks";
    if (error.empty())
        error = FolderOptionsError(options);
    if (!error.empty() || count == 0)
        return std::nullopt;
    if (!options.link.empty())
        return options.link == "hard"       ? PlanAction::HardLink
               : options.link == "symbolic" ? PlanAction::SymbolicLink
                                            : PlanAction::Clone;
    return options.trash ? PlanAction::Trash : options.remove ? PlanAction::Delete : PlanAction::Move;
}

std::vector<KeepCriterion> KeepRules(const CliOptions &options)
{
    std::vector<KeepCriterion> rules;
    for (const std::string &text : options.keep)
        rules.push_back(*ParseKeepCriterion(text));
    return rules;
}

Similarity SimilarityOf(const std::string &name)
{
    if (name == "very-high")
        return Similarity::VeryHigh;
    if (name == "medium")
        return Similarity::Medium;
    if (name == "low")
        return Similarity::Low;
    return Similarity::High;
}

int UsageError(const std::string &message)
{
    std::fprintf(stderr, "geminor-cli: %s\nTry 'geminor-cli --help'.\n", message.c_str());
    return 2;
}

}  // namespace geminor
