// geminor-cli: the scan without a window. Results on stdout as full paths, one group per block.
#include <CLI/CLI.hpp>
#include <QCoreApplication>
#include <QDate>
#include <QLocale>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
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
#include "app/cli_folders.h"
#include "app/cli_options.h"
#include "app/cli_host.h"
#include "engine/checksum_cache.h"
#include "engine/file_system.h"
#include "engine/picture_decoder.h"
#include "engine/scan_run.h"
#include "texts/scan_texts.h"
#include "engine/atomic_file.h"
#include "persist/session_file.h"
#include "results/exports.h"
#include "results/folder_json.h"
#include "results/folder_rows.h"
#include "results/group_order.h"
#include "results/keep_rules.h"
#include "results/result_json.h"
#include "texts/cache_texts.h"
#include "texts/file_texts.h"
#include "texts/error_texts.h"
#include "texts/session_texts.h"

namespace {

using namespace geminor;

/// The picture decoder, from its module: next to the program in the build folder, else in the
/// library folder beside the program's bin/. None when neither loads.
std::unique_ptr<PictureDecoder> loadPictureDecoder()
{
    std::error_code error;
    const std::filesystem::path program =
        std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
    for (const std::filesystem::path &module :
         {program / "geminor-pictures.so", program / ".." / GEMINOR_MODULE_DIR / "geminor-pictures.so"}) {
        // (never closed: the decoder's code must outlive it)
        if (void *handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            using Make = PictureDecoder *();
            if (auto *make = reinterpret_cast<Make *>(::dlsym(handle, "GeminorNewPictureDecoder")))
                return std::unique_ptr<PictureDecoder>(make());
        }
    }
    return nullptr;
}

/// The decoder of the similar-pictures search, with the application object Qt's image readers
/// want when they run on threads of their own: without one, the threads Qt adopts for them
/// race with its teardown at the end of the program (a heap damaged once in a few runs).
struct PictureDecoding
{
    PictureDecoding()
    {
        static int argc = 1;
        static char name[] = "geminor-cli";
        static char *argv[] = {name, nullptr};
        app.emplace(argc, argv);
        std::setlocale(LC_NUMERIC, "C");  // numbers print as they do without Qt
        decoder = loadPictureDecoder();
    }
    std::optional<QCoreApplication> app;
    std::unique_ptr<PictureDecoder> decoder;  // gone before the application object
};

CancelRequested g_cancel{false};

void onInterrupt(int)
{
    if (g_cancel.load())
        std::_Exit(130);  // a second Ctrl-C ends at once
    g_cancel.store(true);
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
bool writeExports(const CliOptions &options, const std::vector<ResultRow> &rows, const ScanOutcome &outcome)
{
    bool ok = true;
    if (!options.json.empty()) {
        const JsonCounts counts{outcome.TotalFiles, outcome.TotalFolders, outcome.DuplicateCount};
        std::string json = ResultJson(rows, outcome.method, counts);
        if (options.wholeFolders)
            json = WithFolders(std::move(json), outcome.folders);
        if (const Status written = WriteFileAtomically(options.json, json); !written) {
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

/// The request the options describe; an exit status when they describe none.
std::optional<int> requestFrom(CliOptions &options, bool methodGiven, SearchRequest &request)
{
    if (!options.session.empty()) {
        if (!options.folders.empty())
            return UsageError("FOLDER arguments cannot be used with --session");
        const SessionRead read = LoadSessionFile(options.session);
        if (!read.loaded)
            return UsageError(
                "cannot open session file " + QuotedPath(options.session) +
                (read.error ? ": " + SessionErrorText(*read.error) : std::string(": no such file")));
        if (read.error)
            std::fprintf(stderr, "geminor-cli: %s: %s\n", QuotedPath(options.session).c_str(),
                         SessionErrorText(*read.error).c_str());
        request = read.request;
        if (!methodGiven)
            options.method = MethodName(request.Method);
    } else if (options.folders.empty() && options.references.empty()) {
        return UsageError("no folder to search");
    }
    for (const auto *list : {&options.folders, &options.references})
        for (const std::string &folder : *list) {
            struct stat st = {};
            if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
                return UsageError("not a folder: " + QuotedPath(folder));
        }
    request.Method = MethodFromName(options.method).value_or(SearchMethod::ByteToByte);
    request.similarity = SimilarityOf(options.similarity);
    if (request.Method == SearchMethod::SimilarPictures && !options.saveSession.empty())
        return UsageError("sessions do not keep the similar pictures method yet: no --save-session with it");
    if (options.includeHidden)
        request.IncludeHidden = true;
    if (options.noProtect)
        request.ProtectWindowsFolders = false;
    request.Folders = options.wholeFolders;
    if (request.Folders && !ReadsContents(request.Method))
        return UsageError("--folders needs a content method: byte or crc32");
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

/// Waits for the cache's writes (done while the result was listed) and says what went wrong.
void closeCache(std::unique_ptr<ChecksumCache> &cache)
{
    if (!cache)
        return;
    cache->wait();
    if (const auto warning = cache->warning())
        std::fprintf(stderr, "geminor-cli: %s\n", CacheWarningText(*warning).c_str());
    cache.reset();
}

/// The groups of files (the rows as `--keep` marked them) and their closing counts.
void printFiles(const CliOptions &options, const ScanOutcome &outcome, std::vector<ResultRow> &rows,
                bool fromRows, bool dryRun)
{
    if (!options.keep.empty())
        KeepOne(rows, KeepRules(options));
    if (!dryRun)  // a dry run lists only the files it would act on
        printShown(outcome.entries, fromRows ? &rows : nullptr, options.null);
    for (const std::string &line : ClosingTexts(outcome))
        std::fprintf(stderr, "%s\n", line.c_str());
    if (outcome.DuplicateCount > 0)
        std::fprintf(stderr, "Reclaimable : %llu bytes\n",
                     static_cast<unsigned long long>(fromRows ? ReclaimableBytes(rows)
                                                              : ReclaimableBytes(outcome.entries)));
}

/// Scans, prints the groups and the closing counts, writes the exports and acts; the exit status.
int scanAndReport(const CliOptions &options, const SearchRequest &request,
                  const std::optional<CliAction> &act)
{
    CliHost host(options.quiet);
    std::unique_ptr<ChecksumCache> cache;
    if (!options.noCache && UsesChecksumCache(request.Method)) {
        if (auto opened = ChecksumCache::Open(options.cacheDir))
            cache = std::move(*opened);
        else
            std::fprintf(stderr, "geminor-cli: %s\n",
                         CacheWarningText({CacheWarning::Stage::NotUsed, opened.error()}).c_str());
    }
    std::optional<PictureDecoding> pictures;
    if (request.Method == SearchMethod::SimilarPictures)
        pictures.emplace();
    ScanOutcome outcome =
        RunScan(request, host, g_cancel, cache.get(), pictures ? pictures->decoder.get() : nullptr);
    host.finish();
    const bool needRows = !options.csv.empty() || !options.html.empty() || !options.json.empty() || act ||
                          options.sort != "found" || !options.keep.empty();
    std::vector<ResultRow> rows = needRows ? LoadResults(outcome.entries) : std::vector<ResultRow>{};
    OrderGroups(rows, *ParseGroupOrder(options.sort));
    if (options.wholeFolders)
        PrintFolders(options, outcome, act && act->dryRun);
    else
        printFiles(options, outcome, rows, needRows, act && act->dryRun);
    for (const std::string &line : ProblemTexts(outcome))
        std::fprintf(stderr, "%s\n", line.c_str());
    closeCache(cache);
    const bool exported = writeExports(options, rows, outcome);
    if (outcome.cancelled)
        return 130;  // as a shell reports a program that Ctrl-C ended
    if (outcome.noPictureDecoder)
        return 1;
    if (act) {
        const int status = RunCliAction(
            *act,
            options.wholeFolders ? FolderPlanFiles(outcome.folders, KeepRules(options)) : PlanFilesOf(rows),
            outcome.method, g_cancel);
        return exported ? status : 1;
    }
    return exported ? 0 : 1;
}

int failed(const char *what)
{
    std::fprintf(stderr, "geminor-cli: %s\n", what);
    return 1;
}

/// The cache's folder and the action, once the options are known to go together; an exit status
/// when they do not.
std::optional<int> checkedAction(CliOptions &options, std::optional<CliAction> &act)
{
    if (options.cacheDir.empty())
        options.cacheDir = ChecksumCache::DefaultFolder();
    if (!options.html.empty() && !options.html.ends_with(".htm"))
        return UsageError("the HTML report's name must end in .htm: " + QuotedPath(options.html));
    std::string actionError;
    const std::optional<PlanAction> action = ActionOf(options, actionError);
    if (!actionError.empty())
        return UsageError(actionError);
    if (action)
        act = CliAction{*action,       options.moveTo, options.dryRun,
                        options.quiet, options.null,   options.noJournal};
    struct stat st = {};
    if (!options.moveTo.empty() && (::stat(options.moveTo.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)))
        return UsageError("not a folder: " + QuotedPath(options.moveTo));
    return std::nullopt;
}

/// --apply: acts on a result written with --json; the exit status.
int applyResult(const CliOptions &options, const std::optional<CliAction> &act)
{
    if (!options.folders.empty() || !options.session.empty() || !options.csv.empty() ||
        !options.html.empty() || !options.json.empty() || !options.saveSession.empty())
        return UsageError("--apply takes no folders, session or exports");
    if (!act)
        return UsageError("--apply needs an action: --trash, --delete or --move-to FOLDER");
    const auto result = ResultJsonReader::Open(options.apply);
    if (!result) {
        std::fprintf(stderr, "geminor-cli: %s: %s\n", QuotedPath(options.apply).c_str(),
                     ErrorText(result.error()).c_str());
        return 1;
    }
    // A report is data from outside: what it calls similar pictures no check at the act could
    // confirm short of decoding them again, so such a report is not acted on.
    if ((*result)->method() == SearchMethod::SimilarPictures)
        return UsageError("a result of similar pictures cannot be applied: act on it in the scan that finds "
                          "them (geminor-cli -m similar --keep RULE --trash FOLDER...)");
    return RunCliApply(*act, **result, KeepRules(options), g_cancel);
}

/// scanAndReport, with running out of memory said rather than crashed on.
int scanGuarded(const CliOptions &options, const SearchRequest &request, const std::optional<CliAction> &act)
{
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

}  // namespace

int main(int argc, char **argv)
{
    CliOptions options;
    CLI::App app{"Geminor finds duplicate files.", "geminor-cli"};
    CLI::Option *method = AddCliOptions(app, options);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        return e.get_exit_code() == 0 ? app.exit(e) : UsageError(e.what());
    }
    std::optional<CliAction> act;
    if (const auto status = checkedAction(options, act))
        return *status;
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
    if (!options.apply.empty())
        return applyResult(options, act);
    SearchRequest request;
    if (const auto status = requestFrom(options, method->count() > 0, request))
        return *status;
    PrepareProcess();
    return scanGuarded(options, request, act);
}
