#include "engine/chive.h"

#include "engine/case_fold.h"

#include <random>

namespace geminor {
namespace {

const char *descriptionOf(std::int32_t code)
{
    switch (code) {
    case CHive::InvalidIndex: return "Invalid Index.";
    case CHive::KeyNotFound: return "Key not Found in the Hive.";
    case CHive::IntegerKey: return "Key cannot be Integer or Long or Byte or any kind of Fixed Digit.";
    case CHive::DuplicateKey: return "Duplicate Key.";
    case CHive::InvalidParameter: return "Invalid Parameter.";
    default: return "";
    }
}

}  // namespace

std::string CHive::CreateGUIDKey()
{
    thread_local std::mt19937_64 random{[] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device(), device(), device(), device(), device()};
        return std::mt19937_64(seed);
    }()};
    std::uint64_t high = random(), low = random();
    high = (high & ~0xF000ULL) | 0x4000ULL;                // version 4
    low = (low & ~(0xC000ULL << 48)) | (0x8000ULL << 48);  // RFC 4122 variant
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string key = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
    std::size_t bit = 128;
    for (std::size_t i = 1; i + 1 < key.size(); ++i) {
        if (key[i] == '-')
            continue;
        bit -= 4;
        const std::uint64_t word = bit >= 64 ? high : low;
        key[i] = kHex[(word >> (bit % 64)) & 0xF];
    }
    return key;
}

void CHive::report(std::int32_t code, const char *procedure)
{
    const std::int32_t number = kErrorBase + code;
    if (m_raiseError) {
        HiveError error(number, std::string("CHive.") + procedure, descriptionOf(code));
        SetPendingError(error);
        throw error;
    }
    Errors()->Add(number, procedure, descriptionOf(code), {}, {});
}

const std::shared_ptr<CErrorCollection> &CHive::Errors()
{
    if (!m_errors)
        m_errors = std::make_shared<CErrorCollection>();
    return m_errors;
}

int CHive::compare(const Variant &probe, const Variant &key) const
{
    return CompareKeys(probe, key, m_compareMode != 0 && probe.isText());
}

CHive::Probe CHive::probeOf(const Variant &key) const
{
    if (!key.isText())
        return {key, 0, -1};
    const bool fold = m_compareMode != 0;
    return {key, TextPrefix(key.text(), fold), static_cast<std::int8_t>(fold ? 1 : 0)};
}

int CHive::compare(const Probe &probe, std::int32_t n) const
{
    const Node &x = node(n);
    if (probe.mode >= 0 && probe.mode == x.PrefixMode && probe.prefix != x.KeyPrefix)
        return probe.prefix < x.KeyPrefix ? -1 : 1;
    return compare(probe.key, entry(n).Key);
}

void CHive::setKey(std::int32_t n, Variant key)
{
    const Probe probe = probeOf(key);
    node(n).KeyPrefix = probe.prefix;
    node(n).PrefixMode = probe.mode;
    entry(n).Key = std::move(key);
}

bool CHive::checkKey(const Variant &key, const char *procedure)
{
    if (key.isWholeNumber()) {
        report(IntegerKey, procedure);
        return false;
    }
    if (key.isEmpty() || (key.isText() && key.text().empty())) {
        report(EmptyKey, procedure);
        return false;
    }
    return true;
}

std::int32_t CHive::findQuietly(const Variant &key) const
{
    const Probe probe = probeOf(key);
    std::int32_t x = m_root;
    while (x) {
        const int c = compare(probe, x);
        if (c == 0)
            return x;
        x = c < 0 ? node(x).Left : node(x).Right;
    }
    return 0;
}

std::int32_t CHive::FindNode(const Variant &key)
{
    const std::int32_t found = findQuietly(key);
    if (!found)
        report(KeyNotFound, "FindNode");
    return found;
}

std::int32_t CHive::GetIndex(const Variant &key)
{
    if (key.isWholeNumber()) {
        const std::int64_t position = key.wholeNumber();
        if (position < 1 || position > Count()) {
            report(InvalidIndex, "GetIndex");
            return 0;
        }
        return m_order.nodeAt(static_cast<std::int32_t>(position));
    }
    return FindNode(key);
}

void CHive::Init(std::int32_t InitialAllocVal, float GrowthFactorVal)
{
    m_growthFactor = GrowthFactorVal;
    m_nodes.assign(static_cast<std::size_t>(std::max<std::int32_t>(InitialAllocVal, 1)) + 1, Node{});
    m_entries.assign(m_nodes.size(), Entry{});
    m_order.clear();
    m_root = 0;
    m_nodeAllocator = std::make_unique<CNode>();
    m_nodeAllocator->Init(InitialAllocVal, GrowthFactorVal);
    m_errors = std::make_shared<CErrorCollection>();
    m_stackTop = 0;
    m_cursor = 0;
}

std::int32_t CHive::Clear()
{
    if (!m_nodeAllocator)
        return 0;
    m_nodeAllocator.reset();
    m_errors.reset();
    m_nodes.clear();
    m_entries.clear();
    m_order.clear();
    m_root = 0;
    m_cursor = 0;
    m_stackTop = 0;
    return 0;
}

void CHive::Add(HiveSlots slots, std::optional<Variant> KeyVal, std::optional<Variant> Before,
                std::optional<Variant> After)
{
    Variant key = KeyVal ? std::move(*KeyVal) : Variant(CreateGUIDKey());
    if (!checkKey(key, "Add"))
        return;
    if (!m_nodeAllocator)
        Init(m_initialAlloc, static_cast<float>(m_growthFactor));
    std::int32_t parent = 0;
    int side = 0;
    const Probe probe = probeOf(key);
    for (std::int32_t x = m_root; x;) {
        parent = x;
        side = compare(probe, x);
        if (side == 0 && !m_allowDuplicate) {
            report(DuplicateKey, "Add");
            return;
        }
        x = side < 0 ? node(x).Left : node(x).Right;
    }
    std::int32_t position = 0;  // 0: at the end
    if (Before || After) {
        const std::int32_t anchor = GetIndex(Before ? *Before : *After);
        if (!anchor) {
            report(KeyNotFound, "Add");
            return;
        }
        position = m_order.positionOf(anchor) + (Before ? 0 : 1);
    }
    const std::int32_t z = m_nodeAllocator->Alloc();
    while (z > NodeCapacity()) {
        m_nodes.resize(static_cast<std::size_t>(GrownCapacity(NodeCapacity(), m_growthFactor)) + 1);
        m_entries.resize(m_nodes.size());
    }
    node(z) = Node{0, 0, parent, Red};
    entry(z).Items = {std::move(slots.Item),  std::move(slots.Item1), std::move(slots.Item2),
                      std::move(slots.Item3), std::move(slots.Item4), std::move(slots.Item5)};
    setKey(z, std::move(key));
    if (position)
        m_order.insertAt(position, z);
    else
        m_order.append(z);
    if (!parent)
        m_root = z;
    else if (side < 0)
        node(parent).Left = z;
    else
        node(parent).Right = z;
    insertFixup(z);
}

std::int32_t CHive::Remove(const Variant &KeyVal)
{
    const std::int32_t z = GetIndex(KeyVal);
    if (!z) {
        report(InvalidIndex, "Remove");
        return 0;
    }
    const std::int32_t y = detachNode(z);
    const std::int32_t position = m_order.positionOf(y);
    node(y) = Node{};
    entry(y) = Entry{};
    m_order.removeAt(position);
    m_nodeAllocator->Free(y);
    return position;
}

std::int32_t CHive::detachNode(std::int32_t z)
{
    std::int32_t y = z;
    if (node(z).Left && node(z).Right) {
        y = node(z).Right;
        while (node(y).Left)
            y = node(y).Left;
    }
    const std::int32_t x = node(y).Left ? node(y).Left : node(y).Right;
    const std::int32_t parent = node(y).Parent;
    node(x).Parent = parent;  // on the sentinel too: the repair climbs from it
    if (!parent)
        m_root = x;
    else if (y == node(parent).Left)
        node(parent).Left = x;
    else
        node(parent).Right = x;
    if (y != z) {
        entry(z).Key = entry(y).Key;
        node(z).KeyPrefix = node(y).KeyPrefix;
        node(z).PrefixMode = node(y).PrefixMode;
        entry(z).Items = entry(y).Items;
        m_order.swapNodes(z, y);  // the surviving entry keeps its position, now in z
    }
    if (node(y).Color == Black)
        deleteFixup(x);
    node(0) = Node{};
    return y;
}

std::int32_t CHive::GetNextNode(Variant &KeyVal)
{
    if (!m_cursor && !m_stackTop) {
        KeyVal = Variant();
        report(KeyNotFound, "GetNextNode");
        return 0;
    }
    while (m_cursor) {
        m_stack[static_cast<std::size_t>(m_stackTop++)] = m_cursor;
        m_cursor = node(m_cursor).Left;
    }
    const std::int32_t n = m_stack[static_cast<std::size_t>(--m_stackTop)];
    m_cursor = node(n).Right;
    KeyVal = entry(n).Key;
    return n;
}

Variant CHive::FindFirst(Variant &KeyVal)
{
    m_cursor = m_root;
    m_stackTop = 0;
    return FindNext(KeyVal);
}

Variant CHive::FindNext(Variant &KeyVal)
{
    const std::int32_t n = GetNextNode(KeyVal);
    return n ? entry(n).Items[0] : Variant();
}

bool CHive::Exist(const Variant &vKey)
{
    return GetIndex(vKey) != 0;
}

Variant CHive::slot(const Variant &vKey, std::size_t index)
{
    const std::int32_t n = GetIndex(vKey);
    if (!n) {
        report(KeyNotFound, "Item");
        return Variant::Nothing();
    }
    return entry(n).Items[index];
}

void CHive::Item(const Variant &vKey, Variant vNewValue)
{
    if (const std::int32_t n = GetIndex(vKey))
        entry(n).Items[0] = std::move(vNewValue);
}

Variant CHive::Key(std::int32_t Index)
{
    if (Index < 1 || Index > Count()) {
        report(InvalidIndex, "Key[Read]");
        return Variant();
    }
    return entry(m_order.nodeAt(Index)).Key;
}

void CHive::Key(std::int32_t Index, const Variant &vNewKey)
{
    if (Index < 1 || Index > Count()) {
        report(InvalidIndex, "Key[Assign]");
        return;
    }
    if (!checkKey(vNewKey, "Key[Assign]"))
        return;
    const std::int32_t z = m_order.nodeAt(Index);
    const std::int32_t holder = findQuietly(vNewKey);
    if (holder && holder != z && !m_allowDuplicate) {
        report(DuplicateKey, "Key[Assign]");
        return;
    }
    std::array<Variant, 6> items = entry(z).Items;
    const std::int32_t y = detachNode(z);  // y is out of the tree and holds position Index
    std::int32_t parent = 0;
    int side = 0;
    const Probe probe = probeOf(vNewKey);
    for (std::int32_t x = m_root; x;) {
        parent = x;
        side = compare(probe, x);
        x = side < 0 ? node(x).Left : node(x).Right;
    }
    node(y) = Node{0, 0, parent, Red};
    entry(y).Items = std::move(items);
    setKey(y, vNewKey);
    if (!parent)
        m_root = y;
    else if (side < 0)
        node(parent).Left = y;
    else
        node(parent).Right = y;
    insertFixup(y);
}

}  // namespace geminor
