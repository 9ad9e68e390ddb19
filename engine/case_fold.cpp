#include "engine/case_fold.h"

#include <array>
#include <cstdint>
#include <locale.h>
#include <wctype.h>

namespace geminor {
namespace {

locale_t utf8Locale()
{
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return locale;
}

char32_t lowerOf(char32_t c)
{
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    const locale_t locale = utf8Locale();
    if (!locale)
        return c;
    return static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), locale));
}

/// Decodes one well-formed UTF-8 sequence at `s`; returns its length, or 0 when the byte at
/// `s` does not start one (the byte then stands for itself).
std::size_t decode(std::string_view s, char32_t &out)
{
    const auto b0 = static_cast<unsigned char>(s[0]);
    if (b0 < 0x80) {
        out = b0;
        return 1;
    }
    std::size_t len;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        out = b0 & 0x1F;
        min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        out = b0 & 0x0F;
        min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        out = b0 & 0x07;
        min = 0x10000;
    } else
        return 0;
    if (s.size() < len)
        return 0;
    for (std::size_t i = 1; i < len; ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if ((b & 0xC0) != 0x80)
            return 0;
        out = (out << 6) | (b & 0x3F);
    }
    if (out < min || out > 0x10FFFF || (out >= 0xD800 && out <= 0xDFFF))
        return 0;
    return len;
}

std::size_t encode(char32_t c, char *out)
{
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (c >> 12));
        out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (c >> 18));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

/// Folds the unit at the front of `s` into `out`; returns how much of `s` it used.
std::size_t foldUnit(std::string_view s, std::array<char, 4> &out, std::size_t &outLen)
{
    const auto b0 = static_cast<unsigned char>(s[0]);
    if (b0 < 0x80) {
        out[0] = static_cast<char>((b0 >= 'A' && b0 <= 'Z') ? b0 + 32 : b0);
        outLen = 1;
        return 1;
    }
    char32_t c;
    const std::size_t used = decode(s, c);
    if (used == 0) {
        out[0] = s[0];
        outLen = 1;
        return 1;
    }
    outLen = encode(lowerOf(c), out.data());
    return used;
}

/// Yields the bytes of FoldCase(text) one at a time.
class FoldedBytes
{
public:
    explicit FoldedBytes(std::string_view text) : m_rest(text) {}
    bool next(unsigned char &byte)
    {
        if (m_pos == m_len) {
            if (m_rest.empty())
                return false;
            m_rest.remove_prefix(foldUnit(m_rest, m_buf, m_len));
            m_pos = 0;
        }
        byte = static_cast<unsigned char>(m_buf[m_pos++]);
        return true;
    }

private:
    std::string_view m_rest;
    std::array<char, 4> m_buf{};
    std::size_t m_len = 0;
    std::size_t m_pos = 0;
};

}  // namespace

std::string FoldCase(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    std::array<char, 4> buf{};
    std::size_t len = 0;
    while (!text.empty()) {
        text.remove_prefix(foldUnit(text, buf, len));
        out.append(buf.data(), len);
    }
    return out;
}

int CompareFolded(std::string_view a, std::string_view b)
{
    FoldedBytes fa(a), fb(b);
    for (;;) {
        unsigned char ca = 0, cb = 0;
        const bool ha = fa.next(ca);
        const bool hb = fb.next(cb);
        if (!ha || !hb)
            return ha ? 1 : (hb ? -1 : 0);
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
}

std::uint64_t TextPrefix(std::string_view text, bool fold)
{
    std::uint64_t prefix = 0;
    int taken = 0;
    if (fold) {
        FoldedBytes bytes(text);
        unsigned char byte = 0;
        while (taken < 8 && bytes.next(byte)) {
            prefix = (prefix << 8) | byte;
            ++taken;
        }
    } else {
        for (; taken < 8 && static_cast<std::size_t>(taken) < text.size(); ++taken)
            prefix = (prefix << 8) | static_cast<unsigned char>(text[static_cast<std::size_t>(taken)]);
    }
    return taken == 0 ? 0 : prefix << (8 * (8 - taken));
}

bool StartsWithFolded(std::string_view text, std::string_view prefix)
{
    FoldedBytes ft(text), fp(prefix);
    unsigned char cp = 0;
    while (fp.next(cp)) {
        unsigned char ct = 0;
        if (!ft.next(ct) || ct != cp)
            return false;
    }
    return true;
}

}  // namespace geminor
