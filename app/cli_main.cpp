// geminor-cli: the scan without a window. Results on stdout as full paths, one group per block.
#include <CLI/CLI.hpp>
#include <QDate>
#include <QLocale>
#include <csignal>
#include <new>
#include <cstdio>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <system_error>
#include <vector>

#include "app/cli_host.h"
#include "engine/file_system.h"
#include "engine/scan_run.h"
#include "engine/atomic_file.h"
#include "persist/session_file.h"
#include "results/exports.h"

namespace {

using namespace geminor;

CancelRequested g_cancel{false};
const char *const kMethodNames[] = {"byte", "crc32", "name", "zero"};

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
};

int usageError(const std::string &message)
{
    std::fprintf(stderr, "geminor-cli: %s\nTry 'geminor-cli --help'.\n", message.c_str());
    return 2;
}

/// Large size groups compare faster with more files open; the hard limit is respected.
/// Prints each shown path, with an empty line after each group: from the rows when they were
/// loaded for an export, otherwise straight from the entries, so a listing of a million files
/// never holds a million rows.
void printShown(const std::vector<ResultEntry> &entries, const std::vector<ResultRow> *rows)
{
    std::vector<char> buffer(1 << 16);
    std::setvbuf(stdout, buffer.data(), _IOFBF, buffer.size());
    std::int32_t lastGroup = -1;
    bool any = false;
    auto print = [&](const std::string &path, std::int32_t group) {
        if (any && group != lastGroup)
            std::fputc('\n', stdout);
        std::fwrite(path.data(), 1, path.size(), stdout);
        std::fputc('\n', stdout);
        lastGroup = group;
        any = true;
    };
    if (rows)
        for (const ResultRow &row : *rows)
            print(row.path(), row.group);
    else
        ForEachShownEntry(entries, [&](const ShownEntry &shown) { print(shown.entry.path(), shown.group); });
    if (any)
        std::fputc('\n', stdout);
    std::fflush(stdout);
    std::setvbuf(stdout, nullptr, _IOFBF, BUFSIZ);
}

/// Writes the exports that were asked for; false when one could not be written.
bool writeExports(const Options &options, const std::vector<ResultRow> &rows, const ScanOutcome &outcome)
{
    if (options.csv.empty() && options.html.empty())
        return true;
    if (rows.empty()) {
        std::fputs("geminor-cli: no result rows, nothing exported\n", stderr);
        return true;
    }
    bool ok = true;
    if (!options.csv.empty()) {
        if (const auto error = WriteFileAtomically(options.csv, CsvText(rows))) {
            std::fprintf(stderr, "geminor-cli: cannot write %s: %s\n", options.csv.c_str(), error->c_str());
            ok = false;
        }
    }
    if (!options.html.empty()) {
        const std::vector<std::string> closing = ClosingTexts(outcome);
        const ReportHead head{closing[2].substr(7), closing[1].substr(12),
                              QLocale().toString(QDate::currentDate(), QLocale::ShortFormat).toStdString()};
        if (const auto error = WritePages(HtmlPages(rows, options.html, head))) {
            std::fprintf(stderr, "geminor-cli: cannot write %s\n", error->c_str());
            ok = false;
        }
    }
    return ok;
}

}  // namespace

int main(int argc, char **argv)
{
    Options options;
    CLI::App app{"Geminor finds duplicate files.", "geminor-cli"};
    app.footer("Example:\n  geminor-cli -m crc32 -t \".jpg;.png\" ~/Pictures /media/backup/Pictures\n\n"
               "Exit status: 0 after a scan, 2 for a usage error, 1 for any other failure.");
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
    app.add_option("-s,--session", options.session, "take the request from a session file");
    app.add_option("--save-session", options.saveSession,
                   "write the request (after the other options) to a session file");
    app.add_option("--csv", options.csv, "write the CSV export of the result");
    app.add_option("--html", options.html, "write the HTML report of the result (FILE ends in .htm)");
    app.add_option("FOLDER", options.folders, "folders to search");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        if (e.get_exit_code() == 0)
            return app.exit(e);
        return usageError(e.what());
    }
    if (!options.html.empty() && !options.html.ends_with(".htm"))
        return usageError("the HTML report's name must end in .htm: " + options.html);
    SearchRequest request;
    if (!options.session.empty()) {
        if (!options.folders.empty())
            return usageError("FOLDER arguments cannot be used with --session");
        const SessionRead read = LoadSessionFile(options.session);
        if (!read.loaded)
            return usageError("cannot open session file \"" + options.session + "\"" +
                              (read.error ? ": " + read.error->description : std::string(": no such file")));
        if (read.error)
            std::fprintf(stderr, "geminor-cli: %s: %s\n", options.session.c_str(),
                         read.error->description.c_str());
        request = read.request;
        if (method->count() == 0)
            options.method = kMethodNames[static_cast<int>(request.Method)];
    } else if (options.folders.empty()) {
        return usageError("no folder to search");
    }
    for (const std::string &folder : options.folders) {
        struct stat st = {};
        if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return usageError("not a folder: " + folder);
    }

    request.Method = options.method == "crc32"  ? SearchMethod::Crc32
                     : options.method == "name" ? SearchMethod::SameName
                     : options.method == "zero" ? SearchMethod::ZeroSize
                                                : SearchMethod::ByteToByte;
    if (options.includeHidden)
        request.IncludeHidden = true;
    if (options.noProtect)
        request.ProtectWindowsFolders = false;
    for (const std::string &folder : options.folders)
        request.Locations.push_back({folder, options.noSubfolders ? "No" : "Yes", options.types, false});
    for (const std::string &folder : options.excluded)
        request.Locations.push_back({folder, "No", "*.*", true});
    if (!options.saveSession.empty()) {
        if (const auto error = SaveSessionFile(options.saveSession, request)) {
            std::fprintf(stderr, "geminor-cli: cannot write %s: %s\n", options.saveSession.c_str(),
                         error->c_str());
            return 1;
        }
    }

    std::signal(SIGINT, onInterrupt);
    RaiseOpenFileLimit();
    try {
        CliHost host(options.quiet);
        std::int16_t groupMarker = 0;
        ScanOutcome outcome = RunScan(request, host, g_cancel, groupMarker);
        host.finish();
        const bool exporting = !options.csv.empty() || !options.html.empty();
        const std::vector<ResultRow> rows = exporting ? LoadResults(outcome.entries) : std::vector<ResultRow>{};
        printShown(outcome.entries, exporting ? &rows : nullptr);
        for (const std::string &line : ClosingTexts(outcome))
            std::fprintf(stderr, "%s\n", line.c_str());
        for (const std::string &line : ProblemTexts(outcome))
            std::fprintf(stderr, "%s\n", line.c_str());
        return writeExports(options, rows, outcome) ? 0 : 1;
    } catch (const std::bad_alloc &) {
        std::fputs("geminor-cli: out of memory: the scan stopped and reports nothing\n", stderr);
        return 1;
    } catch (const std::system_error &e) {
        // A thread that cannot be started under a tight address-space limit is memory too.
        if (e.code() == std::errc::resource_unavailable_try_again || e.code() == std::errc::not_enough_memory) {
            std::fputs("geminor-cli: out of memory: the scan stopped and reports nothing\n", stderr);
            return 1;
        }
        std::fprintf(stderr, "geminor-cli: %s\n", e.what());
        return 1;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "geminor-cli: %s\n", e.what());
        return 1;
    }
}
