#include "results/result_json.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>

namespace geminor {
namespace {

const char *const kMethods[] = {"byte", "crc32", "name", "zero", "similar"};

bool validUtf8(const std::string &bytes)
{
    const QString text = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    const QByteArray back = text.toUtf8();
    return back.size() == static_cast<qsizetype>(bytes.size()) &&
           std::equal(bytes.begin(), bytes.end(), back.begin());
}

}  // namespace

void AppendJsonPath(std::string &out, const std::string &path)
{
    if (!validUtf8(path)) {
        out += '[';
        for (std::size_t i = 0; i < path.size(); ++i)
            out += (i ? "," : "") + std::to_string(static_cast<unsigned char>(path[i]));
        out += ']';
        return;
    }
    out += '"';
    for (const char c : path) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

namespace {

void appendFile(std::string &out, const ResultRow &row, bool picture)
{
    const FileIdentity &seen = row.seen;
    out += "{\"path\":";
    AppendJsonPath(out, row.path());
    out += ",\"size\":" + std::to_string(seen.size) +
           ",\"mtime\":" + std::to_string(FloorSeconds(seen.modifiedNs)) +
           ",\"mtime_ns\":" + std::to_string(seen.modifiedNs) +
           ",\"ctime_ns\":" + std::to_string(seen.changedNs) + ",\"device\":" + std::to_string(seen.device) +
           ",\"inode\":" + std::to_string(seen.inode) + ",\"marked\":" + (row.marked ? "true" : "false") +
           ",\"reference\":" + (row.reference ? "true" : "false");
    if (picture)
        out += ",\"width\":" + std::to_string(row.width) + ",\"height\":" + std::to_string(row.height) +
               ",\"distance\":" + std::to_string(row.distance);
    out += '}';
}

}  // namespace

bool UsablePath(const std::string &path)
{
    return !path.empty() && path.find('\0') == std::string::npos;
}

Result<std::string> JsonPath(const QJsonValue &value)
{
    std::string path;
    if (value.isString()) {
        const QByteArray bytes = value.toString().toUtf8();
        path.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    } else if (value.isArray()) {
        for (const QJsonValue &byte : value.toArray()) {
            const qint64 b = byte.toInteger(-1);
            if (b < 0 || b > 255)
                return Fail(ErrorCode::Malformed);
            path += static_cast<char>(b);
        }
    }
    if (!UsablePath(path))
        return Fail(ErrorCode::Malformed);
    return path;
}

std::string JsonPathOrEmpty(const QJsonValue &value)
{
    Result<std::string> path = JsonPath(value);
    return path ? std::move(*path) : std::string();
}

namespace {

bool integerField(const QJsonObject &object, const char *key, std::int64_t &out)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isDouble())
        return false;
    out = value.toInteger(-1);
    return out >= 0 || value.toDouble() == static_cast<double>(out);
}

}  // namespace

bool JsonUnsigned(const QJsonObject &object, const char *key, std::uint64_t &out)
{
    const QJsonValue value = object.value(QLatin1String(key));
    const double number = value.toDouble(-1);
    if (!value.isDouble() || number < 0 || number >= 18446744073709551616.0 || number != std::floor(number))
        return false;
    const qint64 exact = value.toInteger(-1);
    out = exact >= 0 ? static_cast<std::uint64_t>(exact) : static_cast<std::uint64_t>(number);
    return true;
}

std::optional<FileIdentity> JsonIdentity(const QJsonObject &object, const std::string &prefix)
{
    FileIdentity id;
    auto field = [&](const char *name) { return prefix + name; };
    if (!JsonUnsigned(object, field("device").c_str(), id.device) ||
        !JsonUnsigned(object, field("inode").c_str(), id.inode) ||
        !JsonUnsigned(object, field("size").c_str(), id.size) ||
        !integerField(object, field("mtime_ns").c_str(), id.modifiedNs) ||
        !integerField(object, field("ctime_ns").c_str(), id.changedNs))
        return std::nullopt;
    return id;
}

const char *MethodName(SearchMethod method)
{
    return kMethods[static_cast<int>(method)];
}

std::optional<SearchMethod> MethodFromName(const std::string &name)
{
    for (int i = 0; i < static_cast<int>(std::size(kMethods)); ++i)
        if (name == kMethods[i])
            return static_cast<SearchMethod>(i);
    return std::nullopt;
}

std::string ResultJson(const std::vector<ResultRow> &rows, SearchMethod method, const JsonCounts &counts)
{
    std::string out = "{\"geminor\":\"" GEMINOR_VERSION "\",\"method\":\"" + std::string(MethodName(method)) +
                      "\",\"files_scanned\":" + std::to_string(counts.files) +
                      ",\"folders_scanned\":" + std::to_string(counts.folders) +
                      ",\"duplicates\":" + std::to_string(counts.duplicates) + ",\"groups\":[";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const bool newGroup = i == 0 || rows[i].group != rows[i - 1].group;
        if (newGroup)
            out += i == 0 ? "\n{\"files\":[\n" : "\n]},\n{\"files\":[\n";
        else
            out += ",\n";
        appendFile(out, rows[i], method == SearchMethod::SimilarPictures);
    }
    out += rows.empty() ? "]}\n" : "\n]}\n]}\n";
    return out;
}

}  // namespace geminor
