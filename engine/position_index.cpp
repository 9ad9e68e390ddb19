#include "engine/position_index.h"

#include <bit>

namespace geminor {

std::int32_t PositionIndex::prefix(std::int32_t slot) const
{
    std::int32_t sum = 0;
    for (; slot > 0; slot &= slot - 1)
        sum += m_tree[static_cast<std::size_t>(slot)];
    return sum;
}

void PositionIndex::add(std::int32_t slot, std::int32_t delta)
{
    const auto n = static_cast<std::int32_t>(m_tree.size()) - 1;
    for (; slot <= n; slot += slot & -slot)
        m_tree[static_cast<std::size_t>(slot)] += delta;
}

std::int32_t PositionIndex::slotAt(std::int32_t position) const
{
    // The cache keeps prefix(m_lastSlot) == m_lastPosition; m_lastSlot may be a hole.
    if (position == m_lastPosition && m_lastSlot > 0 && m_nodes[static_cast<std::size_t>(m_lastSlot)] != 0)
        return m_lastSlot;
    std::int32_t slot = 0;
    if (position == m_lastPosition + 1) {
        slot = m_lastSlot + 1;
        while (m_nodes[static_cast<std::size_t>(slot)] == 0)
            ++slot;
    } else {
        const auto n = static_cast<std::int32_t>(m_tree.size()) - 1;
        std::int32_t remaining = position;
        for (std::int32_t step = static_cast<std::int32_t>(std::bit_floor(static_cast<std::uint32_t>(n)));
             step; step >>= 1) {
            const std::int32_t next = slot + step;
            if (next <= n && m_tree[static_cast<std::size_t>(next)] < remaining) {
                slot = next;
                remaining -= m_tree[static_cast<std::size_t>(next)];
            }
        }
        ++slot;
    }
    m_lastPosition = position;
    m_lastSlot = slot;
    return slot;
}

std::int32_t PositionIndex::nodeAt(std::int32_t position) const
{
    return m_nodes[static_cast<std::size_t>(slotAt(position))];
}

std::int32_t PositionIndex::positionOf(std::int32_t node) const
{
    if (node <= 0 || static_cast<std::size_t>(node) >= m_slotOfNode.size())
        return 0;
    const std::int32_t slot = m_slotOfNode[static_cast<std::size_t>(node)];
    return slot ? prefix(slot) : 0;
}

void PositionIndex::setSlotOf(std::int32_t node, std::int32_t slot)
{
    if (static_cast<std::size_t>(node) >= m_slotOfNode.size())
        m_slotOfNode.resize(static_cast<std::size_t>(node) * 3 / 2 + 16, 0);
    m_slotOfNode[static_cast<std::size_t>(node)] = slot;
}

void PositionIndex::append(std::int32_t node)
{
    const auto slot = static_cast<std::int32_t>(m_nodes.size());
    m_nodes.push_back(node);
    // A new Fenwick cell covers the slots (slot - lowbit, slot]: those before it, plus itself.
    m_tree.push_back(1 + prefix(slot - 1) - prefix(slot - (slot & -slot)));
    setSlotOf(node, slot);
    ++m_size;
}

void PositionIndex::insertAt(std::int32_t position, std::int32_t node)
{
    if (position > m_size) {
        append(node);
        return;
    }
    std::vector<std::int32_t> nodes;
    nodes.reserve(static_cast<std::size_t>(m_size) + 1);
    for (std::size_t slot = 1; slot < m_nodes.size(); ++slot) {
        if (m_nodes[slot] == 0)
            continue;
        if (static_cast<std::int32_t>(nodes.size()) + 1 == position)
            nodes.push_back(node);
        nodes.push_back(m_nodes[slot]);
    }
    rebuild(std::move(nodes));
}

void PositionIndex::removeAt(std::int32_t position)
{
    const std::int32_t slot = slotAt(position);
    const std::int32_t node = m_nodes[static_cast<std::size_t>(slot)];
    add(slot, -1);
    m_nodes[static_cast<std::size_t>(slot)] = 0;
    m_slotOfNode[static_cast<std::size_t>(node)] = 0;
    --m_size;
    m_lastPosition = position - 1;  // the hole counts the live slots before it
    m_lastSlot = slot;
    if (static_cast<std::int32_t>(m_nodes.size()) > 2 * m_size + 64) {
        std::vector<std::int32_t> nodes;
        nodes.reserve(static_cast<std::size_t>(m_size));
        for (std::size_t s = 1; s < m_nodes.size(); ++s)
            if (m_nodes[s])
                nodes.push_back(m_nodes[s]);
        rebuild(std::move(nodes));
    }
}

void PositionIndex::swapNodes(std::int32_t a, std::int32_t b)
{
    const std::int32_t slotA = m_slotOfNode[static_cast<std::size_t>(a)];
    const std::int32_t slotB = m_slotOfNode[static_cast<std::size_t>(b)];
    m_nodes[static_cast<std::size_t>(slotA)] = b;
    m_nodes[static_cast<std::size_t>(slotB)] = a;
    m_slotOfNode[static_cast<std::size_t>(a)] = slotB;
    m_slotOfNode[static_cast<std::size_t>(b)] = slotA;
}

void PositionIndex::clear()
{
    rebuild({});
    m_slotOfNode.clear();
}

void PositionIndex::rebuild(std::vector<std::int32_t> nodes)
{
    m_nodes.assign(1, 0);
    m_nodes.insert(m_nodes.end(), nodes.begin(), nodes.end());
    const std::size_t n = nodes.size();
    m_tree.assign(n + 1, 0);
    for (std::size_t slot = 1; slot <= n; ++slot) {
        m_tree[slot] += 1;
        const std::size_t parent = slot + (slot & (~slot + 1));
        if (parent <= n)
            m_tree[parent] += m_tree[slot];
        setSlotOf(m_nodes[slot], static_cast<std::int32_t>(slot));
    }
    m_size = static_cast<std::int32_t>(n);
    m_lastPosition = 0;
    m_lastSlot = 0;
}

}  // namespace geminor
