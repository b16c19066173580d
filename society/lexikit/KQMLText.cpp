#include <lexikit/KQMLText.h>

#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

#ifdef __SSE2__
constexpr std::size_t BLOCK = 16;

__m128i load_block(const char* at)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// One bit per byte of the 16 at `at` that is whitespace or a parenthesis.
int delimiter_bits(const char* at)
{
    const __m128i bytes = load_block(at);
    const __m128i shifted = _mm_sub_epi8(bytes, _mm_set1_epi8('\t'));
    const __m128i control_span = _mm_set1_epi8('\r' - '\t');
    const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(shifted, control_span), shifted);
    const __m128i blank = _mm_cmpeq_epi8(bytes, _mm_set1_epi8(' '));
    const __m128i paren = _mm_cmpeq_epi8(_mm_and_si128(bytes, _mm_set1_epi8('\xfe')), _mm_set1_epi8('('));
    return _mm_movemask_epi8(_mm_or_si128(control, _mm_or_si128(blank, paren)));
}

// One bit per byte of the 16 at `at` that is a double quote or a backslash.
int quote_or_escape_bits(const char* at)
{
    const __m128i bytes = load_block(at);
    const __m128i quote = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('"'));
    const __m128i escape = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\'));
    return _mm_movemask_epi8(_mm_or_si128(quote, escape));
}
#endif

// Index of the first delimiter at or after `pos`, or `len`.
std::size_t find_delimiter(const char* text, std::size_t len, std::size_t pos)
{
    std::size_t i = pos;
#ifdef __SSE2__
    for (; i + BLOCK <= len; i += BLOCK) {
        const int bits = delimiter_bits(text + i);
        if (bits != 0)
            return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(bits)));
    }
#endif
    while (i < len && !CKQMLText::is_delimiter(text[i]))
        ++i;
    return i;
}

// Index of the first double quote or backslash at or after `pos`, or `len`.
std::size_t find_quote_or_escape(const char* text, std::size_t len, std::size_t pos)
{
    std::size_t i = pos;
#ifdef __SSE2__
    for (; i + BLOCK <= len; i += BLOCK) {
        const int bits = quote_or_escape_bits(text + i);
        if (bits != 0)
            return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(bits)));
    }
#endif
    while (i < len && text[i] != '"' && text[i] != '\\')
        ++i;
    return i;
}

} // namespace

bool CKQMLText::is_plain_atom(const char* text)
{
    if (text == nullptr || *text == '\0' || *text == ':' || *text == '"')
        return false;
    for (const char* p = text; *p != '\0'; ++p) {
        if (is_delimiter(*p))
            return false;
    }
    return true;
}

std::string CKQMLText::quote(const char* text)
{
    if (text == nullptr)
        return "\"\"";
    if (is_plain_atom(text))
        return text;
    std::string out;
    out.reserve(std::strlen(text) + 2);
    out += '"';
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '"' || *p == '\\')
            out += '\\';
        out += *p;
    }
    out += '"';
    return out;
}

std::string CKQMLText::unquote(const char* text)
{
    if (text == nullptr)
        return std::string();
    const std::size_t len = std::strlen(text);
    if (len < 2 || text[0] != '"' || skip_string(text, len, 0) != len)
        return text;
    std::string out;
    out.reserve(len - 2);
    for (std::size_t i = 1; i + 1 < len; ++i) {
        if (text[i] == '\\')
            ++i;
        out += text[i];
    }
    return out;
}

std::size_t CKQMLText::skip_string(const char* text, std::size_t len, std::size_t pos)
{
    std::size_t i = pos + 1;
    for (;;) {
        i = find_quote_or_escape(text, len, i);
        if (i >= len)
            return len + 1;
        if (text[i] == '"')
            return i + 1;
        i += 2;
    }
}

// Nesting is a counter. A quote opens a string only where an item starts;
// after a string the next byte counts as an item start too, so "a""b" is two
// strings. Runs of atom bytes are skipped in one go: they change neither the
// depth nor anything else but the item start.
std::size_t CKQMLText::skip_list(const char* text, std::size_t len, std::size_t pos)
{
    std::size_t depth = 0;
    bool item_start = true;
    std::size_t i = pos;
    while (i < len) {
        const char c = text[i];
        if (!is_delimiter(c)) {
            if (c == '"' && item_start) {
                i = skip_string(text, len, i);
                if (i > len)
                    return len + 1;
                continue;
            }
            i = skip_atom(text, len, i + 1);
            item_start = false;
            continue;
        }
        ++i;
        if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (--depth == 0)
                return i;
        }
        item_start = true;
    }
    return len + 1;
}

std::size_t CKQMLText::skip_atom(const char* text, std::size_t len, std::size_t pos)
{
    return find_delimiter(text, len, pos);
}

std::size_t CKQMLText::skip_spaces(const char* text, std::size_t len, std::size_t pos)
{
    while (pos < len && is_space(text[pos]))
        ++pos;
    return pos;
}
