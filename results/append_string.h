#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace geminor {

/// Builds a long text from many small pieces: the buffer grows by a fixed 10,000 characters
/// (as often as one addition needs), so most additions only copy their own bytes. Bytes are
/// kept as they are, NUL included.
class AppendString
{
public:
    static constexpr std::size_t kGrowth = 10000;

    void AddToString(std::string_view strAdd);
    /// The text so far; the buffer shrinks to it. Asking twice gives the same text.
    const std::string &ReturnString();
    std::size_t capacity() const { return m_buffer.size(); }

private:
    std::string m_buffer;  // the used part, then spare spaces
    std::size_t m_used = 0;
};

}  // namespace geminor
