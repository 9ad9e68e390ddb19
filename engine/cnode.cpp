#include "engine/cnode.h"

#include <algorithm>
#include <cmath>

namespace geminor {

std::int32_t GrownCapacity(std::int32_t capacity, double factor)
{
    const double grown = std::nearbyint(static_cast<double>(capacity) * factor);  // ties to even
    return std::max(capacity + 1, static_cast<std::int32_t>(grown));
}

void CNode::Init(std::int32_t InitialAllocVal, float GrowthFactorVal)
{
    const std::int32_t capacity = std::max<std::int32_t>(InitialAllocVal, 1);
    m_growthFactor = GrowthFactorVal;
    m_nextFree.assign(static_cast<std::size_t>(capacity) + 1, 0);
    for (std::int32_t i = 1; i < capacity; ++i)
        m_nextFree[static_cast<std::size_t>(i)] = i + 1;
    m_freeHead = 1;
}

std::int32_t CNode::Alloc()
{
    if (m_nextFree.empty())
        Init(100, m_growthFactor);
    if (m_freeHead == 0) {
        const std::int32_t old = Capacity();
        const std::int32_t capacity = GrownCapacity(old, m_growthFactor);
        m_nextFree.resize(static_cast<std::size_t>(capacity) + 1, 0);
        for (std::int32_t i = old + 1; i < capacity; ++i)
            m_nextFree[static_cast<std::size_t>(i)] = i + 1;
        m_freeHead = old + 1;
    }
    const std::int32_t slot = m_freeHead;
    m_freeHead = m_nextFree[static_cast<std::size_t>(slot)];
    return slot;
}

void CNode::Free(std::int32_t I)
{
    m_nextFree[static_cast<std::size_t>(I)] = m_freeHead;
    m_freeHead = I;
}

}  // namespace geminor
