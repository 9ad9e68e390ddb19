// geminor-cli: the scan without a window. Results on stdout as full paths, one group per block.
#include <CLI/CLI.hpp>
#include <QDate>
#include <QLocale>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <optional>
#include <new>
#include <cstdio>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <system_error>
#include <vector>

#include "app/cli_actions.h"
#include "app/cli_host.h"
#include "engine/checksum_cache.h"
#include "engine/file_system.h"
#include "engine/scan_run.h"
#include "texts/scan_texts.h"
#include "engine/atomic_file.h"
#include "persist/session_file.h"
#include "results/exports.h"
#include "results/group_order.h"
#include "results/keep_rules.h"
#include "results/result_json.h"
#include "texts/cache_texts.h"
#include "texts/file_texts.h"
#include "texts/error_texts.h"
#include "texts/session_texts.h"

namespace {

using namespace geminor;

CancelRequested g_cancel{false};

void onInterrupt(int)
{
    if (g_cancel.load())
        std::_Exit(130);  // a second Ctrl-C ends at once
    g_cancel.store(true);
}

struct Options
{
    std::string method = "byte";
    std::string types = "*.*";
    bool noSubfolders = false;
    std::vector<std::string> excluded;
    bool includeHidden = false;
    bool noProtect = false;
    bool quiet = false;
    std::vector<std::string> folders;
    std::string session;
    std::string saveSession;
    std::string csv;
    std::string html;
    std::string json;
    std::string apply;
    std::vector<std::string> keep;
    std::vector<std::string> references;
    std::string sort = "found";
    bool trash = false;
    bool remove = false;
    std::string moveTo;
    std::string link;
    std::vector<std::string> undo;  // empty: not asked; one empty text: the newest operation
    bool journal = false;
    bool noCache = false;
    bool clearCache = false;
    std::string cacheDir;
    bool dryRun = false;
    bool noJournal = false;
    bool null = false;
};

/// The action asked for, if any; a usage error when more than one.
std::optional<PlanAction> actionOf(const Options &options, std::string &error)
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
    if (!error.empty() || count == 0)
        return std::nullopt;
    if (!options.link.empty())
        return options.link == "hard"       ? PlanAction::HardLink
               : options.link == "symbolic" ? PlanAction::SymbolicLink
                                            : PlanAction::Clone;
    return options.trash ? PlanAction::Trash : options.remove ? PlanAction::Delete : PlanAction::Move;
}

/// The keep rules given, in order; each was checked when the options were read.
std::vector<KeepCriterion> keepRules(const Options &options)
{
    std::vector<KeepCriterion> rules;
    for (const std::string &text : options.keep)
        rules.push_back(*ParseKeepCriterion(text));
    return rules;
}

int usageError(const std::string &message)
{
    std::fprintf(stderr, "geminor-cli: %s\nTry 'geminor-cli --help'.\n", message.c_str());
    return 2;
}

/// Large size groups compare faster with more files open; the hard limit is respected.
/// Prints each shown path, with an empty line after each group: from the rows when they were
/// loaded for an export, otherwise straight from the entries, so a listing of a million files
/// never holds a million rows.
void printShown(const std::vector<ResultEntry> &entries, const std::vector<ResultRow> *rows, bool null)
{
    const char end = null ? '\0' : '\n';  // a name may hold a newline: NUL is the one safe end
    std::vector<char> buffer(1 << 16);
    std::setvbuf(stdout, buffer.data(), _IOFBF, buffer.size());
    std::int32_t lastGroup = -1;
    bool any = false;
    auto print = [&](const std::string &folder, const std::string &name, std::int32_t group) {
        if (any && group != lastGroup)
            std::fputc(end, stdout);
        std::fwrite(folder.data(), 1, folder.size(), stdout);
        std::fwrite(name.data(), 1, name.size(), stdout);
        std::fputc(end, stdout);
        lastGroup = group;
        any = true;
    };
    if (rows)
        for (const ResultRow &row : *rows)
            print(row.folder, row.name, row.group);
    else
        ForEachShownEntry(entries, [&](const ShownEntry &shown) {
            print(shown.entry.folder, shown.entry.name, shown.group);
        });
    if (any)
        std::fputc(end, stdout);
    std::fflush(stdout);
    std::setvbuf(stdout, nullptr, _IOFBF, BUFSIZ);
}

/// Writes the exports that were asked for; false when one could not be written.
bool writeExports(const Options &options, const std::vector<ResultRow> &rows, const ScanOutcome &outcome)
{
    bool ok = true;
    if (!options.json.empty()) {
        const JsonCounts counts{outcome.TotalFiles, outcome.TotalFolders, outcome.DuplicateCount};
        if (const Status written =
                WriteFileAtomically(options.json, ResultJson(rows, outcome.method, counts));
            !written) {
            std::fprintf(stderr, "geminor-cli: cannot write %s: %s\n", QuotedPath(options.json).c_str(),
                         WriteErrorText(written.error()).c_str());
            ok = false;
        }
    }
    if (options.csv.empty() && options.html.empty())
        return ok;
    if (rows.empty()) {
        std::fputs("geminor-cli: no result rows, nothing exported\n", stderr);
        return ok;
    }
    if (!options.csv.empty()) {
        if (const Status written = WriteFileAtomically(options.csv, CsvText(rows)); !written) {
            std::fprintf(stderr, "geminor-cli: cannot write %s: %s\n", QuotedPath(options.csv).c_str(),
                         WriteErrorText(written.error()).c_str());
            ok = false;
        }
    }
    if (!options.html.empty()) {
        const ReportHead head =
            ReportHeadOf(outcome.TotalFiles, outcome.DuplicateCount,
                         QLocale().toString(QDate::currentDate(), QLocale::ShortFormat).toStdString());
        if (const Status written = WritePages(HtmlPages(rows, options.html, head)); !written) {
            std::fprintf(stderr, "geminor-cli: cannot write %s\n",
                         QuotedPath(WriteErrorPathText(written.error())).c_str());
            ok = false;
        }
    }
    return ok;
}

/// The options and their help texts.
CLI::Option *addOptions(CLI::App &app, Options &options)
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
        app.add_option("-m,--method", options.method, "search method: byte, crc32, name or zero")
            ->check(CLI::IsMember({"byte", "crc32", "name", "zero"}))
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
           "shortest-path, longest-path, shortest-name, first-location, path:GLOB, not-path:GLOB")
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
    return method;
}

/// The request the options describe; an exit status when they describe none.
std::optional<int> requestFrom(Options &options, bool methodGiven, SearchRequest &request)
{
    if (!options.session.empty()) {
        if (!options.folders.empty())
            return usageError("FOLDER arguments cannot be used with --session");
        const SessionRead read = LoadSessionFile(options.session);
        if (!read.loaded)
            return usageError(
                "cannot open session file " + QuotedPath(options.session) +
                (read.error ? ": " + SessionErrorText(*read.error) : std::string(": no such file")));
        if (read.error)
            std::fprintf(stderr, "geminor-cli: %s: %s\n", QuotedPath(options.session).c_str(),
                         SessionErrorText(*read.error).c_str());
        request = read.request;
        if (!methodGiven)
            options.method = MethodName(request.Method);
    } else if (options.folders.empty() && options.references.empty()) {
        return usageError("no folder to search");
    }
    for (const auto *list : {&options.folders, &options.references})
        for (const std::string &folder : *list) {
            struct stat st = {};
            if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
                return usageError("not a folder: " + QuotedPath(folder));
        }
    request.Method = MethodFromName(options.method).value_or(SearchMethod::ByteToByte);
    if (options.includeHidden)
        request.IncludeHidden = true;
    if (options.noProtect)
        request.ProtectWindowsFolders = false;
    for (const std::string &folder : options.folders)
        request.Locations.push_back({folder, options.noSubfolders ? "No" : "Yes", options.types, false});
    for (const std::string &folder : options.references)
        request.Locations.push_back(
            {folder, options.noSubfolders ? "No" : "Yes", options.types, false, true});
    for (const std::string &folder : options.excluded)
        request.Locations.push_back({folder, "No", "*.*", true});
    if (!options.saveSession.empty())
        if (const Status saved = SaveSessionFile(options.saveSession, request); !saved) {
            std::fprintf(stderr, "geminor-cli: cannot write %s: %s\n",
                         QuotedPath(options.saveSession).c_str(), WriteErrorText(saved.error()).c_str());
            return 1;
        }
    return std::nullopt;
}

/// Scans, prints the groups and the closing counts, writes the exports and acts; the exit status.
int scanAndReport(const Options &options, const SearchRequest &request, const std::optional<CliAction> &act)
{
    CliHost host(options.quiet);
    std::unique_ptr<ChecksumCache> cache;
    if (!options.noCache && ReadsContents(request.Method)) {
        if (auto opened = ChecksumCache::Open(options.cacheDir))
            cache = std::move(*opened);
        else
            std::fprintf(stderr, "geminor-cli: %s\n",
                         CacheWarningText({CacheWarning::Stage::NotUsed, opened.error()}).c_str());
    }
    ScanOutcome outcome = RunScan(request, host, g_cancel, cache.get());
    host.finish();
    const bool needRows = !options.csv.empty() || !options.html.empty() || !options.json.empty() || act ||
                          options.sort != "found" || !options.keep.empty();
    std::vector<ResultRow> rows = needRows ? LoadResults(outcome.entries) : std::vector<ResultRow>{};
    OrderGroups(rows, *ParseGroupOrder(options.sort));
    if (!options.keep.empty())
        KeepOne(rows, keepRules(options));
    if (!act || !act->dryRun)  // a dry run lists only the files it would act on
        printShown(outcome.entries, needRows ? &rows : nullptr, options.null);
    for (const std::string &line : ClosingTexts(outcome))
        std::fprintf(stderr, "%s\n", line.c_str());
    if (outcome.DuplicateCount > 0)
        std::fprintf(stderr, "Reclaimable : %llu bytes\n",
                     static_cast<unsigned long long>(needRows ? ReclaimableBytes(rows)
                                                              : ReclaimableBytes(outcome.entries)));
    for (const std::string &line : ProblemTexts(outcome))
        std::fprintf(stderr, "%s\n", line.c_str());
    if (cache) {
        cache->wait();  // (it was written while the result was listed)
        if (const auto warning = cache->warning())
            std::fprintf(stderr, "geminor-cli: %s\n", CacheWarningText(*warning).c_str());
        cache.reset();
    }
    const bool exported = writeExports(options, rows, outcome);
    if (outcome.cancelled)
        return 130;  // as a shell reports a program that Ctrl-C ended
    if (act) {
        const int status = RunCliAction(*act, PlanFilesOf(rows), outcome.method, g_cancel);
        return exported ? status : 1;
    }
    return exported ? 0 : 1;
}

int failed(const char *what)
{
    std::fprintf(stderr, "geminor-cli: %s\n", what);
    return 1;
}

}  // namespace

int main(int argc, char **argv)
{
    Options options;
    CLI::App app{"Geminor finds duplicate files.", "geminor-cli"};
    CLI::Option *method = addOptions(app, options);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        return e.get_exit_code() == 0 ? app.exit(e) : usageError(e.what());
    }
    if (options.cacheDir.empty())
        options.cacheDir = ChecksumCache::DefaultFolder();
    if (!options.html.empty() && !options.html.ends_with(".htm"))
        return usageError("the HTML report's name must end in .htm: " + QuotedPath(options.html));
    std::string actionError;
    const std::optional<PlanAction> action = actionOf(options, actionError);
    if (!actionError.empty())
        return usageError(actionError);
    std::optional<CliAction> act;
    if (action)
        act = CliAction{*action,       options.moveTo, options.dryRun,
                        options.quiet, options.null,   options.noJournal};
    struct stat st = {};
    if (!options.moveTo.empty() && (::stat(options.moveTo.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)))
        return usageError("not a folder: " + QuotedPath(options.moveTo));
    if (options.journal)
        return PrintJournals();
    if (options.clearCache) {
        if (const Status cleared = ChecksumCache::ClearIn(options.cacheDir); !cleared)
            return failed(CacheErrorText(cleared.error()).c_str());
        if (options.folders.empty() && options.session.empty() && options.references.empty())
            return 0;
    }
    if (!options.quiet)
        TellInterrupted();
    if (app.count("--undo") > 0)
        return RunCliUndo(options.undo.empty() ? std::string() : options.undo.front());
    std::signal(SIGINT, onInterrupt);
    if (!options.apply.empty()) {
        if (!options.folders.empty() || !options.session.empty() || !options.csv.empty() ||
            !options.html.empty() || !options.json.empty() || !options.saveSession.empty())
            return usageError("--apply takes no folders, session or exports");
        if (!act)
            return usageError("--apply needs an action: --trash, --delete or --move-to FOLDER");
        const auto result = ResultJsonReader::Open(options.apply);
        if (!result) {
            std::fprintf(stderr, "geminor-cli: %s: %s\n", QuotedPath(options.apply).c_str(),
                         ErrorText(result.error()).c_str());
            return 1;
        }
        return RunCliApply(*act, **result, keepRules(options), g_cancel);
    }
    SearchRequest request;
    if (const auto status = requestFrom(options, method->count() > 0, request))
        return *status;
    PrepareProcess();
    try {
        return scanAndReport(options, request, act);
    } catch (const std::bad_alloc &) {
        return failed("out of memory: the scan stopped and reports nothing");
    } catch (const std::system_error &e) {
        // A thread that cannot be started under a tight address-space limit is memory too.
        if (e.code() == std::errc::resource_unavailable_try_again || e.code() == std::errc::not_enough_memory)
            return failed("out of memory: the scan stopped and reports nothing");
        return failed(e.what());
    } catch (const std::exception &e) {
        return failed(e.what());
    }
}
