#pragma once

#include <cstdint>
#include <vector>

namespace geminor {

/// Hands out node slot numbers from 1 upward and takes them back; freed slots are reused
/// last-freed-first, and the capacity grows by a factor when none is free.
class CNode
{
public:
    void Init(std::int32_t InitialAllocVal, float GrowthFactorVal);
    std::int32_t Alloc();
    void Free(std::int32_t I);
    std::int32_t Capacity() const { return static_cast<std::int32_t>(m_nextFree.size()) - 1; }

private:
    std::vector<std::int32_t> m_nextFree;  // positions 1..capacity; 0 ends the chain
    std::int32_t m_freeHead = 0;
    float m_growthFactor = 1.5f;
};

/// capacity × factor, rounded to the nearest whole number with halves to the even neighbour,
/// and always at least one more than `capacity`.
std::int32_t GrownCapacity(std::int32_t capacity, double factor);

}  // namespace geminor
