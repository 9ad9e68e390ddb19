#include "engine/folder_analysis.h"

#include <algorithm>
#include <memory>
#include <tuple>
#include <unordered_map>
#include <xxhash.h>

#include "engine/file_places.h"

namespace geminor {
namespace {

using Index = FolderCensus::Index;
using Item = FolderCensus::Item;
using Kind = FolderCensus::Kind;
constexpr Index kNone = FolderCensus::kNone;

/// A file's content: {0, group} for a file of a group, {device + 1, inode} for any other.
using Content = std::pair<std::uint64_t, std::uint64_t>;

struct PairHash
{
    std::size_t operator()(const Content &c) const
    {
        return std::hash<std::uint64_t>()(c.first * 31 + c.second);
    }
};

/// Everything below one folder, and what it is a copy of.
struct Node
{
    std::int64_t files = 0, newestNs = 0;
    std::uint64_t bytes = 0;
    bool whole = true;
    Index same = kNone;              // the first folder found with the same contents (itself when none)
    std::uint32_t pre = 0, end = 0;  // its place in a walk from the top, and the end of what lies below
    std::uint32_t depth = 0;
};

class FolderFinder
{
public:
    FolderFinder(const FolderCensus &census, const WalkedStates &walked,
                 const std::vector<ResultEntry> &entries)
        : m_census(census), m_walked(walked), m_nodes(census.folders().size())
    {
        for (const ResultEntry &entry : entries)
            if (entry.group != 0)
                m_groupOf.emplace(Content{entry.seen.device, entry.seen.inode}, entry.group);
        for (Index i = 0; i < census.folders().size(); ++i)
            m_byPath.emplace(census.folders()[i].path.str(), i);
        for (const ResultEntry &entry : entries)
            if (const auto found = m_byPath.find(entry.folder.str()); found != m_byPath.end() && entry.group)
                m_members[entry.group].push_back(found->second);
        summarize();
        number();
    }

    FolderResult find(FilePlaces &places)
    {
        FolderResult result;
        groups(places, result);
        redundant(places, result);
        return result;
    }

private:
    Content contentOf(const Item &item) const
    {
        const WalkedState &s = m_walked.at(item.ref);
        const auto group = m_groupOf.find(Content{s.device, s.inode});
        return group != m_groupOf.end() ? Content{0, static_cast<std::uint64_t>(group->second)}
                                        : Content{s.device + 1, s.inode};
    }
    std::uint64_t valueOf(const Item &item) const
    {
        switch (item.kind) {
        case Kind::File: {
            const Content content = contentOf(item);
            return content.first * 0x9E3779B97F4A7C15ULL ^ content.second;
        }
        case Kind::Empty: return 0;
        case Kind::Link: return m_census.linkTarget(item.ref);
        case Kind::Folder: return m_nodes[item.ref].same;
        }
        return 0;
    }
    bool sameItem(const Item &a, const Item &b) const
    {
        if (a.kind != b.kind || a.name != b.name)
            return false;
        switch (a.kind) {
        case Kind::File: {  // the same content in another file: a hard link is no copy
            const WalkedState &sa = m_walked.at(a.ref), &sb = m_walked.at(b.ref);
            return contentOf(a) == contentOf(b) && (sa.device != sb.device || sa.inode != sb.inode);
        }
        case Kind::Empty: return true;
        case Kind::Link: return m_census.linkTarget(a.ref) == m_census.linkTarget(b.ref);
        case Kind::Folder: return m_nodes[a.ref].same == m_nodes[b.ref].same;
        }
        return false;
    }
    bool sameItems(Index a, Index b) const;
    void summarize();
    void number();
    bool listedAlone(const std::vector<Index> &members) const;
    FolderSummary summaryOf(Index folder, FilePlaces &places) const;
    void groups(FilePlaces &places, FolderResult &result);
    Index lowestCommon(Index a, Index b) const;
    void redundant(FilePlaces &places, FolderResult &result);
    RedundantFolder copiesOf(Index folder, FilePlaces &places) const;

    const FolderCensus &m_census;
    const WalkedStates &m_walked;
    std::vector<Node> m_nodes;
    std::unordered_map<Content, std::int32_t, PairHash> m_groupOf;
    std::unordered_map<std::string_view, Index> m_byPath;
    std::unordered_map<std::int32_t, std::vector<Index>> m_members;  // the folders of each group's files
    std::unordered_map<Index, std::vector<Index>> m_copies;          // folders by what they are a copy of
};

bool FolderFinder::sameItems(Index a, Index b) const
{
    const auto &fa = m_census.folders()[a];
    const auto &fb = m_census.folders()[b];
    if (fa.end - fa.begin != fb.end - fb.begin)
        return false;
    const auto &items = m_census.items();
    for (std::uint32_t i = 0; i < fa.end - fa.begin; ++i)
        if (!sameItem(items[fa.begin + i], items[fb.begin + i]))
            return false;
    return true;
}

void FolderFinder::summarize()
{
    std::unordered_map<std::uint64_t, std::vector<Index>> bySignature;
    const std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> state(XXH3_createState(), XXH3_freeState);
    for (const Index index : m_census.postOrder()) {
        const auto &folder = m_census.folders()[index];
        Node &node = m_nodes[index];
        node.files = folder.files;
        node.bytes = folder.bytes;
        node.newestNs = folder.newestNs;
        node.whole = !folder.partial;
        XXH3_64bits_reset(state.get());
        for (std::uint32_t i = folder.begin; i < folder.end; ++i) {
            const Item &item = m_census.items()[i];
            if (item.kind == Kind::Folder) {
                const Node &below = m_nodes[item.ref];
                node.whole = node.whole && below.whole;
                if (below.files > 0)
                    node.newestNs =
                        node.files == 0 ? below.newestNs : std::max(node.newestNs, below.newestNs);
                node.files += below.files;
                node.bytes += below.bytes;
            }
            const std::uint64_t part[3] = {static_cast<std::uint64_t>(item.kind), item.name, valueOf(item)};
            XXH3_64bits_update(state.get(), part, sizeof part);
        }
        const std::uint64_t signature = XXH3_64bits_digest(state.get());
        node.same = index;
        if (!node.whole)
            continue;
        std::vector<Index> &alike = bySignature[signature];
        for (const Index other : alike)
            if (sameItems(other, index)) {
                node.same = other;
                break;
            }
        if (node.same == index)
            alike.push_back(index);
        else
            m_copies[node.same].push_back(index);
    }
}

void FolderFinder::number()
{
    std::uint32_t counter = 0;
    std::vector<std::pair<Index, std::uint32_t>> stack;  // folder, next item
    for (Index root = 0; root < m_census.folders().size(); ++root) {
        if (m_census.folders()[root].parent != kNone || m_census.folders()[root].open)
            continue;
        m_nodes[root].pre = counter++;
        stack.push_back({root, m_census.folders()[root].begin});
        while (!stack.empty()) {
            auto &[folder, next] = stack.back();
            if (next == m_census.folders()[folder].end) {
                m_nodes[folder].end = counter;
                stack.pop_back();
                continue;
            }
            const Item &item = m_census.items()[next++];
            if (item.kind != Kind::Folder)
                continue;
            m_nodes[item.ref].pre = counter++;
            m_nodes[item.ref].depth = m_nodes[folder].depth + 1;
            stack.push_back({item.ref, m_census.folders()[item.ref].begin});
        }
    }
}

/// A group of sub-folders is said with the group of their parents when each parent holds one of
/// them: listed alone only when some member lies elsewhere (or a parent holds two).
bool FolderFinder::listedAlone(const std::vector<Index> &members) const
{
    const Index firstParent = m_census.folders()[members.front()].parent;
    if (firstParent == kNone)
        return true;
    const Index parents = m_nodes[firstParent].same;
    for (const Index member : members) {
        const Index parent = m_census.folders()[member].parent;
        if (parent == kNone || m_nodes[parent].same != parents)
            return true;
    }
    const auto copies = m_copies.find(parents);
    return copies == m_copies.end() || copies->second.size() + 1 != members.size();
}

FolderSummary FolderFinder::summaryOf(Index folder, FilePlaces &places) const
{
    const auto &census = m_census.folders()[folder];
    const Node &node = m_nodes[folder];
    const FilePlace place = places.of(census.path.str());
    return {census.path.str(), census.seen,    node.files,     node.bytes,
            node.newestNs,     place.location, place.reference};
}

bool listOrder(const FolderSummary &a, const FolderSummary &b)
{
    const auto rank = [](const FolderSummary &f) { return f.location < 0 ? INT16_MAX : f.location; };
    return std::make_tuple(rank(a), std::string_view(a.path)) <
           std::make_tuple(rank(b), std::string_view(b.path));
}

void FolderFinder::groups(FilePlaces &places, FolderResult &result)
{
    std::vector<bool> removed(m_nodes.size(), false);
    for (const auto &[first, copies] : m_copies) {
        if (m_nodes[first].files == 0 || m_nodes[first].bytes == 0)
            continue;
        std::vector<Index> members{first};
        members.insert(members.end(), copies.begin(), copies.end());
        if (!listedAlone(members))
            continue;
        FolderGroup &group = result.groups.emplace_back();
        for (const Index member : members)
            group.members.push_back(summaryOf(member, places));
        std::sort(group.members.begin(), group.members.end(), listOrder);
        if (std::all_of(group.members.begin(), group.members.end(),
                        [](const auto &m) { return m.reference; })) {
            result.groups.pop_back();  // nothing to decide in it
            continue;
        }
        for (std::size_t i = 1; i < group.members.size(); ++i)
            removed[m_byPath.at(group.members[i].path)] = true;
    }
    std::sort(result.groups.begin(), result.groups.end(), [](const FolderGroup &a, const FolderGroup &b) {
        return std::make_tuple(b.members[0].bytes, b.members.size(), std::string_view(a.members[0].path)) <
               std::make_tuple(a.members[0].bytes, a.members.size(), std::string_view(b.members[0].path));
    });
    for (Index i = 0; i < m_nodes.size(); ++i) {
        if (!removed[i])
            continue;
        bool inside = false;  // a folder inside one removed goes with it
        for (Index up = m_census.folders()[i].parent; up != kNone && !inside;
             up = m_census.folders()[up].parent)
            inside = removed[up];
        if (!inside)
            result.reclaimable += m_nodes[i].bytes;
    }
}

Index FolderFinder::lowestCommon(Index a, Index b) const
{
    const auto &folders = m_census.folders();
    while (a != kNone && b != kNone && a != b) {
        if (m_nodes[a].depth >= m_nodes[b].depth)
            a = folders[a].parent;
        else
            b = folders[b].parent;
    }
    return a == b ? a : kNone;
}

void FolderFinder::redundant(FilePlaces &places, FolderResult &result)
{
    // A folder holds no copy of something when a file in it has no group, or when every member
    // of a group lies at or below it: their lowest common folder, and those above it, are blocked.
    std::vector<bool> blocked(m_nodes.size(), false);
    for (const auto &[group, folders] : m_members) {
        Index common = folders.front();
        for (const Index folder : folders)
            common = lowestCommon(common, folder);
        if (common != kNone)
            blocked[common] = true;
    }
    std::vector<bool> candidate(m_nodes.size(), false);
    for (const Index index : m_census.postOrder()) {
        const auto &folder = m_census.folders()[index];
        for (std::uint32_t i = folder.begin; i < folder.end && !blocked[index]; ++i) {
            const Item &item = m_census.items()[i];
            blocked[index] = (item.kind == Kind::File && contentOf(item).first != 0) ||
                             (item.kind == Kind::Folder && blocked[item.ref]);
        }
        const Node &node = m_nodes[index];
        const bool copied = node.same != index || m_copies.count(index);
        candidate[index] = node.whole && !blocked[index] && node.bytes > 0 && !copied;
    }
    for (Index i = 0; i < m_nodes.size(); ++i) {
        const Index parent = m_census.folders()[i].parent;
        if (candidate[i] && (parent == kNone || !candidate[parent]))
            if (RedundantFolder found = copiesOf(i, places); !found.folder.reference)
                result.redundant.push_back(std::move(found));
    }
    std::sort(result.redundant.begin(), result.redundant.end(),
              [](const RedundantFolder &a, const RedundantFolder &b) {
                  return std::make_tuple(b.folder.bytes, std::string_view(a.folder.path)) <
                         std::make_tuple(a.folder.bytes, std::string_view(b.folder.path));
              });
}

RedundantFolder FolderFinder::copiesOf(Index top, FilePlaces &places) const
{
    RedundantFolder found{summaryOf(top, places), -1, {}};
    std::unordered_map<Index, std::int64_t> holders;
    const auto outside = [&](Index folder) {
        return m_nodes[folder].pre < m_nodes[top].pre || m_nodes[folder].pre >= m_nodes[top].end;
    };
    std::vector<Index> stack{top};
    while (!stack.empty()) {
        const auto &folder = m_census.folders()[stack.back()];
        stack.pop_back();
        for (std::uint32_t i = folder.begin; i < folder.end; ++i) {
            const Item &item = m_census.items()[i];
            if (item.kind == Kind::Folder)
                stack.push_back(item.ref);
            if (item.kind != Kind::File)
                continue;
            std::int64_t copies = 0;
            const auto members = m_members.find(static_cast<std::int32_t>(contentOf(item).second));
            for (const Index holder : members != m_members.end() ? members->second : std::vector<Index>{})
                if (outside(holder)) {
                    ++copies;
                    ++holders[holder];
                }
            found.copies = found.copies < 0 ? copies : std::min(found.copies, copies);
        }
    }
    for (const auto &[holder, files] : holders)
        found.holders.push_back({m_census.folders()[holder].path.str(), files});
    std::sort(found.holders.begin(), found.holders.end(), [](const auto &a, const auto &b) {
        return std::make_tuple(b.files, std::string_view(a.path)) <
               std::make_tuple(a.files, std::string_view(b.path));
    });
    return found;
}

}  // namespace

FolderResult FindFolderGroups(const FolderCensus &census, const WalkedStates &walked,
                              const std::vector<ResultEntry> &entries,
                              const std::vector<SearchLocation> &locations)
{
    FilePlaces places(locations);
    return FolderFinder(census, walked, entries).find(places);
}

}  // namespace geminor
