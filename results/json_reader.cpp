#include "results/json_reader.h"

#include <cerrno>

namespace geminor {
namespace {

constexpr std::size_t kChunk = 1 << 16;

bool isSpace(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isDigit(int c)
{
    return c >= '0' && c <= '9';
}

int hexValue(int c)
{
    if (isDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void appendUtf8(std::string &out, unsigned code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

}  // namespace

JsonReader::JsonReader(Fill fill) : m_fill(std::move(fill)), m_buffer(kChunk) {}

int JsonReader::refill()
{
    if (m_pos == m_end && !m_eof) {
        m_consumed += m_end;
        m_pos = m_end = 0;
        ssize_t n;
        while ((n = m_fill(m_buffer.data(), m_buffer.size())) < 0 && errno == EINTR) {
        }
        if (n < 0) {
            m_eof = true;
            if (!m_error)
                m_error = Error{ErrorCode::ReadFailed, errno, {}, {}};
            m_expect = Expect::Nothing;
        } else if (n == 0) {
            m_eof = true;
        }
        m_end = n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    return m_pos < m_end ? static_cast<unsigned char>(m_buffer[m_pos]) : -1;
}

JsonReader::Token JsonReader::fail(const std::string &what)
{
    if (!m_error)
        m_error = Error{ErrorCode::NotJson, 0, {}, what + " at byte " + std::to_string(m_consumed + m_pos)};
    m_expect = Expect::Nothing;
    m_stack.clear();
    return Token::Error;
}

JsonReader::Token JsonReader::next()
{
    if (m_error)
        return Token::Error;
    for (;;) {
        while (isSpace(peek()))
            get();
        const int c = peek();
        if (m_error)
            return Token::Error;
        switch (m_expect) {
        case Expect::Nothing: return c < 0 ? Token::End : fail("more after the end");
        case Expect::CommaOrEnd: {
            const bool object = m_stack.back() == '{';
            if (c == ',') {
                get();
                m_expect = object ? Expect::Key : Expect::Value;
                continue;
            }
            if (c != (object ? '}' : ']'))
                return fail(object ? "expected ',' or '}'" : "expected ',' or ']'");
            get();
            m_stack.pop_back();
            m_expect = m_stack.empty() ? Expect::Nothing : Expect::CommaOrEnd;
            return object ? Token::EndObject : Token::EndArray;
        }
        case Expect::KeyOrEnd:
        case Expect::Key:
            if (c == '}' && m_expect == Expect::KeyOrEnd) {
                get();
                m_stack.pop_back();
                m_expect = m_stack.empty() ? Expect::Nothing : Expect::CommaOrEnd;
                return Token::EndObject;
            }
            if (c != '"')
                return fail("expected a member name");
            return string(Token::Key);
        case Expect::ValueOrEnd:
            if (c == ']') {
                get();
                m_stack.pop_back();
                m_expect = m_stack.empty() ? Expect::Nothing : Expect::CommaOrEnd;
                return Token::EndArray;
            }
            [[fallthrough]];
        case Expect::Value: return value(c);
        }
    }
}

JsonReader::Token JsonReader::value(int c)
{
    if (c == '{' || c == '[') {
        if (m_stack.size() >= kMaxDepth)
            return fail("nested too deeply");
        get();
        m_stack.push_back(static_cast<char>(c));
        m_expect = c == '{' ? Expect::KeyOrEnd : Expect::ValueOrEnd;
        return c == '{' ? Token::BeginObject : Token::BeginArray;
    }
    if (c == '"')
        return afterScalar(string(Token::String));
    if (c == '-' || isDigit(c))
        return afterScalar(number());
    if (c == 't')
        return afterScalar(literal("true", Token::True));
    if (c == 'f')
        return afterScalar(literal("false", Token::False));
    if (c == 'n')
        return afterScalar(literal("null", Token::Null));
    return fail(c < 0 ? "unexpected end" : "expected a value");
}

JsonReader::Token JsonReader::afterScalar(Token token)
{
    if (token != Token::Error)
        m_expect = m_stack.empty() ? Expect::Nothing : Expect::CommaOrEnd;
    return token;
}

JsonReader::Token JsonReader::literal(const char *word, Token token)
{
    for (const char *p = word; *p; ++p)
        if (get() != *p)
            return fail("expected a value");
    return token;
}

JsonReader::Token JsonReader::number()
{
    m_text.clear();
    auto digits = [&] {
        if (!isDigit(peek()))
            return false;
        while (isDigit(peek())) {
            std::size_t run = m_pos;
            while (run < m_end && isDigit(static_cast<unsigned char>(m_buffer[run])))
                ++run;
            m_text.append(m_buffer.data() + m_pos, run - m_pos);
            m_pos = run;
        }
        return m_text.size() <= 4096;
    };
    if (peek() == '-')
        m_text += static_cast<char>(get());
    if (peek() == '0')
        m_text += static_cast<char>(get());
    else if (!digits())
        return fail("a malformed number");
    if (peek() == '.') {
        m_text += static_cast<char>(get());
        if (!digits())
            return fail("a malformed number");
    }
    if (peek() == 'e' || peek() == 'E') {
        m_text += static_cast<char>(get());
        if (peek() == '+' || peek() == '-')
            m_text += static_cast<char>(get());
        if (!digits())
            return fail("a malformed number");
    }
    return Token::Number;
}

JsonReader::Token JsonReader::string(Token as)
{
    get();  // the opening quote
    m_text.clear();
    for (;;) {
        // The plain run up to the next quote, escape, control or non-ASCII byte, at once.
        std::size_t run = m_pos;
        while (run < m_end && m_buffer[run] != '"' && m_buffer[run] != '\\' &&
               static_cast<unsigned char>(m_buffer[run]) >= 0x20 &&
               static_cast<unsigned char>(m_buffer[run]) < 0x80)
            ++run;
        m_text.append(m_buffer.data() + m_pos, run - m_pos);
        m_pos = run;
        const int c = get();
        if (c < 0)
            return fail("an unterminated string");
        if (c == '"')
            break;
        if (m_text.size() >= kMaxString)
            return fail("a string longer than 1 MiB");
        if (c < 0x20)
            return fail("a control character in a string");
        if (c >= 0x80) {
            if (!rawUtf8(c))
                return fail("a string that is not UTF-8");
            continue;
        }
        if (c != '\\')
            m_text += static_cast<char>(c);
        else if (escape() == Token::Error)
            return Token::Error;
    }
    if (as == Token::Key) {
        while (isSpace(peek()))
            get();
        if (get() != ':')
            return fail("expected ':'");
        m_expect = Expect::Value;
    }
    return as;
}

/// The character after a backslash, appended decoded; Error for an unknown or malformed escape.
JsonReader::Token JsonReader::escape()
{
    const int e = get();
    switch (e) {
    case '"':
    case '\\':
    case '/': m_text += static_cast<char>(e); break;
    case 'b': m_text += '\b'; break;
    case 'f': m_text += '\f'; break;
    case 'n': m_text += '\n'; break;
    case 'r': m_text += '\r'; break;
    case 't': m_text += '\t'; break;
    case 'u': {
        unsigned code = 0;
        if (!unicodeEscape(code))
            return Token::Error;
        appendUtf8(m_text, code);
        break;
    }
    default: return fail("an unknown escape");
    }
    return Token::String;
}

bool JsonReader::unicodeEscape(unsigned &code)
{
    auto hex4 = [&](unsigned &out) {
        out = 0;
        for (int i = 0; i < 4; ++i) {
            const int h = hexValue(get());
            if (h < 0)
                return false;
            out = out * 16 + static_cast<unsigned>(h);
        }
        return true;
    };
    if (!hex4(code))
        return fail("a malformed \\u escape"), false;
    if (code >= 0xDC00 && code <= 0xDFFF)
        return fail("a lone surrogate"), false;
    if (code < 0xD800 || code > 0xDBFF)
        return true;
    unsigned low = 0;
    if (get() != '\\' || get() != 'u' || !hex4(low) || low < 0xDC00 || low > 0xDFFF)
        return fail("a lone surrogate"), false;
    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
    return true;
}

bool JsonReader::rawUtf8(int lead)
{
    int more = 0;
    int low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        more = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        more = 2;
        low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        more = 3;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;  // nothing beyond U+10FFFF
    } else {
        return false;
    }
    m_text += static_cast<char>(lead);
    for (int i = 0; i < more; ++i) {
        const int c = get();
        if (c < (i == 0 ? low : 0x80) || c > (i == 0 ? high : 0xBF))
            return false;
        m_text += static_cast<char>(c);
    }
    return true;
}

bool JsonReader::skipValue(Token token)
{
    if (token == Token::Error || token == Token::End)
        return false;
    if (token != Token::BeginObject && token != Token::BeginArray)
        return true;
    for (std::size_t depth = 1; depth > 0;) {
        switch (next()) {
        case Token::BeginObject:
        case Token::BeginArray: ++depth; break;
        case Token::EndObject:
        case Token::EndArray: --depth; break;
        case Token::Error:
        case Token::End: return false;
        default: break;
        }
    }
    return true;
}

}  // namespace geminor
