#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <optional>
#include <vector>

#include "engine/error.h"

namespace geminor {

/// A JSON text read a token at a time from a source of bytes, so that a large document is never
/// held whole. Strict (RFC 8259): the structure, the numbers and the UTF-8 are checked, escapes
/// are decoded (surrogate pairs joined, a lone surrogate refused), nothing may follow the value.
class JsonReader
{
public:
    enum class Token {
        BeginObject,
        EndObject,
        BeginArray,
        EndArray,
        Key,
        String,
        Number,
        True,
        False,
        Null,
        End,
        Error
    };

    /// `fill(buffer, size)` gives up to `size` bytes: 0 at the end, -1 on a read error.
    using Fill = std::function<ssize_t(char *buffer, std::size_t size)>;
    explicit JsonReader(Fill fill);

    /// The next token: a member name comes as Key (its colon is read with it); after the whole
    /// value, End; Error (see error()) for anything that is not JSON, and from then on.
    Token next();
    /// The bytes of the last Key or String, decoded; the text of the last Number.
    const std::string &text() const { return m_text; }
    /// Reads past the value that begins with `token` (all of an object or array); false on Error.
    bool skipValue(Token token);
    /// Why the text is not JSON, and where (NotJson), or why it could not be read (ReadFailed).
    const std::optional<Error> &error() const { return m_error; }

    static constexpr std::size_t kMaxString = 1 << 20;  // longer strings are refused, not held
    static constexpr std::size_t kMaxDepth = 512;

private:
    enum class Expect { Value, ValueOrEnd, Key, KeyOrEnd, CommaOrEnd, Nothing };

    int peek() { return m_pos < m_end ? static_cast<unsigned char>(m_buffer[m_pos]) : refill(); }
    int get()
    {
        const int c = peek();
        m_pos += c >= 0;
        return c;
    }
    int refill();
    Token fail(const std::string &what);
    Token value(int c);
    Token afterScalar(Token token);
    Token string(Token as);
    Token escape();
    bool unicodeEscape(unsigned &code);
    bool rawUtf8(int lead);
    Token number();
    Token literal(const char *word, Token token);

    Fill m_fill;
    std::vector<char> m_buffer;
    std::size_t m_pos = 0, m_end = 0;
    std::uint64_t m_consumed = 0;  // bytes of the buffers before this one
    bool m_eof = false;
    std::string m_text;
    std::optional<Error> m_error;
    std::vector<char> m_stack;  // '{' or '['
    Expect m_expect = Expect::Value;
};

}  // namespace geminor
