#include "results/append_string.h"

#include <cstring>

namespace geminor {

void AppendString::AddToString(std::string_view strAdd)
{
    const std::size_t needed = m_used + strAdd.size();
    if (needed > m_buffer.size()) {
        const std::size_t steps = (needed - m_buffer.size() + kGrowth - 1) / kGrowth;
        m_buffer.resize(m_buffer.size() + steps * kGrowth, ' ');
    }
    if (!strAdd.empty())
        std::memcpy(m_buffer.data() + m_used, strAdd.data(), strAdd.size());
    m_used = needed;
}

const std::string &AppendString::ReturnString()
{
    m_buffer.resize(m_used);
    m_buffer.shrink_to_fit();
    return m_buffer;
}

}  // namespace geminor
