#pragma once

#include <cstdint>
#include <vector>

namespace geminor {

/// The order of a record store's entries: position (1..size) to node number and back.
/// Removal leaves a hole counted by a Fenwick tree, so removing by position and finding a
/// node's position are logarithmic; holes are squeezed out once they outnumber the entries.
/// Reading positions one after another costs amortised constant time.
class PositionIndex
{
public:
    std::int32_t size() const { return m_size; }
    std::int32_t nodeAt(std::int32_t position) const;  // position 1..size
    std::int32_t positionOf(std::int32_t node) const;  // 0 when the node has no position
    void append(std::int32_t node);
    void insertAt(std::int32_t position, std::int32_t node);  // 1..size+1; later entries move up
    void removeAt(std::int32_t position);                     // later entries move down
    void swapNodes(std::int32_t a, std::int32_t b);           // a takes b's position and b a's
    void clear();

private:
    std::int32_t slotAt(std::int32_t position) const;
    std::int32_t prefix(std::int32_t slot) const;
    void add(std::int32_t slot, std::int32_t delta);
    void rebuild(std::vector<std::int32_t> nodes);
    void setSlotOf(std::int32_t node, std::int32_t slot);

    std::vector<std::int32_t> m_nodes{0};    // node per slot (1-based), 0 = hole
    std::vector<std::int32_t> m_tree{0};     // Fenwick tree of live slots
    std::vector<std::int32_t> m_slotOfNode;  // slot per node number, 0 = none
    std::int32_t m_size = 0;
    mutable std::int32_t m_lastPosition = 0;  // a position and a slot with that many live slots up to it
    mutable std::int32_t m_lastSlot = 0;
};

}  // namespace geminor
