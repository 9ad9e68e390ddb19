#include "results/folder_json.h"

#include "results/result_json.h"

namespace geminor {
namespace {

void appendNumber(std::string &out, const char *key, std::uint64_t value)
{
    out += ",\"";
    out += key;
    out += "\":" + std::to_string(value);
}

void appendGroups(std::string &out, const FolderResult &folders)
{
    out += ",\"folders\":[";
    for (const FolderGroup &group : folders.groups) {
        out += &group == &folders.groups.front() ? "\n{\"paths\":[" : ",\n{\"paths\":[";
        for (const FolderSummary &member : group.members) {
            if (&member != &group.members.front())
                out += ',';
            AppendJsonPath(out, member.path);
        }
        out += ']';
        appendNumber(out, "files", static_cast<std::uint64_t>(group.members.front().files));
        appendNumber(out, "bytes", group.members.front().bytes);
        out += '}';
    }
    out += "]";
}

void appendRedundant(std::string &out, const FolderResult &folders)
{
    out += ",\"redundant\":[";
    for (const RedundantFolder &folder : folders.redundant) {
        out += &folder == &folders.redundant.front() ? "\n{\"path\":" : ",\n{\"path\":";
        AppendJsonPath(out, folder.folder.path);
        appendNumber(out, "files", static_cast<std::uint64_t>(folder.folder.files));
        appendNumber(out, "bytes", folder.folder.bytes);
        appendNumber(out, "copies", static_cast<std::uint64_t>(folder.copies));
        out += ",\"holders\":[";
        for (const RedundantFolder::Holder &holder : folder.holders) {
            out += &holder == &folder.holders.front() ? "{\"path\":" : ",{\"path\":";
            AppendJsonPath(out, holder.path);
            appendNumber(out, "files", static_cast<std::uint64_t>(holder.files));
            out += '}';
        }
        out += "]}";
    }
    out += "]";
}

}  // namespace

std::string WithFolders(std::string json, const FolderResult &folders)
{
    const std::size_t end = json.rfind('}');
    if (end == std::string::npos)
        return json;
    std::string tail = json.substr(end);
    json.resize(end);
    appendGroups(json, folders);
    appendRedundant(json, folders);
    return json + tail;
}

}  // namespace geminor
