#pragma once

#include <optional>
#include <string>
#include <vector>

#include "results/keep_rules.h"
#include "results/plan.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace geminor {

/// What geminor-cli was asked, as its options spell it.
struct CliOptions
{
    std::string method = "byte";
    std::string similarity = "high";
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
    bool wholeFolders = false;  // --folders
    bool redundant = false;
};

/// Declares every option, with its help text, on `app`, bound to `options`; returns the method's
/// option, whose count says whether it was given.
CLI::Option *AddCliOptions(CLI::App &app, CliOptions &options);

/// The action asked for, if any; `error` says why when the options do not go together.
std::optional<PlanAction> ActionOf(const CliOptions &options, std::string &error);

/// The keep rules given, in order; each was checked when the options were read.
std::vector<KeepCriterion> KeepRules(const CliOptions &options);

/// The similarity level an option names (very-high, high, medium, low); each was checked when
/// the options were read.
Similarity SimilarityOf(const std::string &name);

/// Says a usage error on stderr; returns its exit status, 2.
int UsageError(const std::string &message);

}  // namespace geminor
