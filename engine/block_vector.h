#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace geminor {

/// A list that grows in blocks that never move: a million elements are never copied into an
/// array twice as long (which held three times their bytes for a moment), and each block is
/// large enough to be mapped apart and given back whole when freed.
template <typename T> class BlockVector
{
public:
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    T &operator[](std::size_t i) { return m_blocks[i / kBlock][i % kBlock]; }
    const T &operator[](std::size_t i) const { return m_blocks[i / kBlock][i % kBlock]; }
    T &back() { return (*this)[m_size - 1]; }
    template <typename... Args> T &emplace_back(Args &&...args)
    {
        if (m_size % kBlock == 0)
            m_blocks.emplace_back().reserve(kBlock);
        ++m_size;
        return m_blocks.back().emplace_back(std::forward<Args>(args)...);
    }
    void push_back(T value) { emplace_back(std::move(value)); }
    void clear()
    {
        m_blocks.clear();
        m_size = 0;
    }

private:
    static constexpr std::size_t kBlock =
        sizeof(T) >= (1 << 20) ? 1 : ((1 << 20) + sizeof(T) - 1) / sizeof(T);
    std::vector<std::vector<T>> m_blocks;
    std::size_t m_size = 0;
};

}  // namespace geminor
