#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/cnode.h"
#include "engine/error_collection.h"
#include "engine/position_index.h"
#include "engine/variant.h"

namespace geminor {

/// The six value slots of one record store entry.
struct HiveSlots
{
    Variant Item, Item1, Item2, Item3, Item4, Item5;
};

/// A record store: entries reachable by key through a red-black tree and by position (1..Count)
/// in the order they were placed. Single-threaded. Failures are numbered errors, collected in
/// `Errors` or thrown as HiveError when `RaiseError` is set.
class CHive
{
public:
    static constexpr std::int32_t kErrorBase = -2147216504;
    enum ErrorCode : std::int32_t {
        InvalidIndex = 1,
        KeyNotFound = 2,
        IntegerKey = 4,
        DuplicateKey = 8,
        InvalidParameter = 256,
        EmptyKey = 4096
    };

    CHive() = default;
    ~CHive() { Clear(); }
    CHive(const CHive &) = delete;
    CHive &operator=(const CHive &) = delete;

    /// A new braced upper-case GUID of 38 characters, or "" when none could be made.
    static std::string CreateGUIDKey();

    /// Places an entry: at the end, or before/after the entry a key or position names (Before
    /// wins). Without a key it gets a generated GUID key.
    void Add(HiveSlots slots, std::optional<Variant> KeyVal = std::nullopt,
             std::optional<Variant> Before = std::nullopt, std::optional<Variant> After = std::nullopt);
    /// Removes the entry a key or position names; returns the position it had, 0 on failure.
    std::int32_t Remove(const Variant &KeyVal);
    /// Walks the entries in key order: the first entry's Item, its key in `KeyVal`.
    Variant FindFirst(Variant &KeyVal);
    Variant FindNext(Variant &KeyVal);
    void Init(std::int32_t InitialAllocVal, float GrowthFactorVal);
    std::int32_t Clear();
    bool Exist(const Variant &vKey);

    Variant Item(const Variant &vKey) { return slot(vKey, 0); }
    void Item(const Variant &vKey, Variant vNewValue);
    Variant Item1(const Variant &vKey) { return slot(vKey, 1); }
    Variant Item2(const Variant &vKey) { return slot(vKey, 2); }
    Variant Item3(const Variant &vKey) { return slot(vKey, 3); }
    Variant Item4(const Variant &vKey) { return slot(vKey, 4); }
    Variant Item5(const Variant &vKey) { return slot(vKey, 5); }
    Variant Key(std::int32_t Index);
    /// Gives the entry at a position a new key, keeping its position and slots.
    void Key(std::int32_t Index, const Variant &vNewKey);

    std::int32_t Count() const { return m_order.size(); }
    std::int32_t CompareMode() const { return m_compareMode; }
    void CompareMode(std::int32_t NewMode) { m_compareMode = NewMode; }
    bool RaiseError() const { return m_raiseError; }
    void RaiseError(bool value) { m_raiseError = value; }
    bool AllowDuplicate() const { return m_allowDuplicate; }
    void AllowDuplicate(bool value) { m_allowDuplicate = value; }
    /// Created on first use.
    const std::shared_ptr<CErrorCollection> &Errors();
    void Errors(std::shared_ptr<CErrorCollection> errors) { m_errors = std::move(errors); }

    /// Node slots available before the store grows again (0 until initialised).
    std::int32_t NodeCapacity() const { return static_cast<std::int32_t>(m_nodes.size()) - 1; }
    /// Checks the red-black and position invariants; for tests.
    bool CheckInvariants() const;

private:
    enum Color : std::int32_t { Black = 0, Red = 1 };
    // A node's links apart from its entry: the walk down the tree reads 24 bytes a node and
    // touches no text for most comparisons.
    struct Node
    {
        std::int32_t Left = 0, Right = 0, Parent = 0, Color = Black;
        std::uint64_t KeyPrefix = 0;  // the key's first bytes
        std::int8_t PrefixMode = -1;  // -1: none; 0: raw bytes; 1: case folded
    };
    struct Entry
    {
        Variant Key;
        std::array<Variant, 6> Items;
    };
    /// A key being looked for, with its prefix worked out once.
    struct Probe
    {
        const Variant &key;
        std::uint64_t prefix;
        std::int8_t mode;
    };
    Probe probeOf(const Variant &key) const;
    int compare(const Probe &probe, std::int32_t n) const;
    void setKey(std::int32_t n, Variant key);

    void report(std::int32_t code, const char *procedure);
    std::int32_t GetIndex(const Variant &key);
    std::int32_t FindNode(const Variant &key);
    std::int32_t findQuietly(const Variant &key) const;
    std::int32_t GetNextNode(Variant &KeyVal);
    Variant slot(const Variant &vKey, std::size_t index);
    int compare(const Variant &probe, const Variant &key) const;
    bool checkKey(const Variant &key, const char *procedure);
    void linkNode(std::int32_t node);
    void insertFixup(std::int32_t z);
    std::int32_t detachNode(std::int32_t z);
    void deleteFixup(std::int32_t x);
    std::int32_t &child(std::int32_t n, bool left);
    void rotate(std::int32_t x, bool toLeft);
    Node &node(std::int32_t n) { return m_nodes[static_cast<std::size_t>(n)]; }
    const Node &node(std::int32_t n) const { return m_nodes[static_cast<std::size_t>(n)]; }
    Entry &entry(std::int32_t n) { return m_entries[static_cast<std::size_t>(n)]; }
    const Entry &entry(std::int32_t n) const { return m_entries[static_cast<std::size_t>(n)]; }
    std::int32_t blackHeight(std::int32_t n, bool &ok) const;

    std::shared_ptr<CErrorCollection> m_errors;
    bool m_raiseError = false;
    bool m_allowDuplicate = false;
    double m_growthFactor = 1.5;
    std::int32_t m_initialAlloc = 100;
    std::vector<Node> m_nodes;     // 0 is the sentinel
    std::vector<Entry> m_entries;  // by node number, as m_nodes
    std::unique_ptr<CNode> m_nodeAllocator;
    PositionIndex m_order;
    std::int32_t m_root = 0;
    std::int32_t m_compareMode = 1;
    // The key-ordered walk. Deep enough for any tree that 32-bit positions allow.
    std::array<std::int32_t, 64> m_stack{};
    std::int16_t m_stackTop = 0;
    std::int32_t m_cursor = 0;
};

}  // namespace geminor
