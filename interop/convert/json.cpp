#include "interop/convert/json.h"

#include <cstring>

#include "interop/charset/utf8.h"
#include "interop/convert/contentLine.h"
#include "platform/ascii.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace interop::convert {

namespace {

// The bytes a JSON string cannot hold as they stand: controls, '"', '\\',
// and the first byte of what may be a UTF-8 sequence (checked there).
struct Special {
    bool is[256];
};
constexpr Special special() {
    Special t{};
    for (int c = 0; c < 256; ++c)
        t.is[c] = c < 0x20 || c == '"' || c == '\\' || c >= 0x80;
    return t;
}
constexpr Special kSpecial = special();

// Bytes of a name that go into JSON as they stand, lower-cased; 0 for a
// byte that needs an escape.
struct PlainLower {
    char to[256] = {};
    constexpr PlainLower() {
        for (int c = 0x20; c < 0x7F; ++c)
            to[c] = c == '"' || c == '\\'
                        ? '\0'
                        : static_cast<char>(ascii::lower(static_cast<unsigned char>(c)));
    }
};
constexpr PlainLower kPlainLower;

// Where the first byte at or after `i` that needs a look of its own is, or
// the text's length.
size_t nextSpecial(std::string_view text, size_t i) {
#if defined(__SSE2__)
    // Sixteen plain bytes at a time: most text needs no escape.
    while (text.size() - i >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text.data() + i));
        // Below 0x20 as signed bytes: the controls, and every byte of 0x80
        // or more.
        const __m128i low = _mm_cmplt_epi8(v, _mm_set1_epi8(0x20));
        const __m128i marks = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')),
                                           _mm_cmpeq_epi8(v, _mm_set1_epi8('\\')));
        const int mask = _mm_movemask_epi8(_mm_or_si128(low, marks));
        if (mask != 0) return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
        i += 16;
    }
#endif
    while (i < text.size() && !kSpecial.is[static_cast<unsigned char>(text[i])])
        ++i;
    return i;
}

} // namespace

bool appendJsonString(vcal::TextBuffer &out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    size_t i = nextSpecial(text, 0);
    if (i == text.size()) { // most text: in quotes as it stands
        if (!out.reserve(text.size() + 2)) return false;
        char *at = out.end();
        *at++ = '"';
        if (!text.empty()) std::memcpy(at, text.data(), text.size()); // (an empty view may be null)
        at += text.size();
        *at++ = '"';
        out.close(at);
        return true;
    }
    if (!out.append(std::string_view("\""))) return false;
    size_t start = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        char escape[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
        std::string_view replacement;
        size_t length = 1;
        if (c == '"' || c == '\\') {
            escape[1] = static_cast<char>(c);
            replacement = std::string_view(escape, 2);
        } else if (c == '\n') {
            replacement = "\\n";
        } else if (c == '\r') {
            replacement = "\\r";
        } else if (c == '\t') {
            replacement = "\\t";
        } else if (c < 0x20) {
            replacement = std::string_view(escape, 6);
        } else {
            length = utf8SequenceLength(text.data() + i, text.size() - i);
            if (length == 0) {
                replacement = "\xEF\xBF\xBD";
                length = 1;
            }
        }
        if (!replacement.empty()) {
            if (!out.append(text.substr(start, i - start)) || !out.append(replacement))
                return false;
            start = i + length;
        }
        i = nextSpecial(text, i + length);
    }
    return out.append(text.substr(start)) && out.append(std::string_view("\""));
}

bool appendJsonLower(vcal::TextBuffer &out, std::string_view text) {
    char small[66];
    if (text.size() + 2 <= sizeof small) { // names are short: no buffer of their own
        // Most are letters, digits and "-", which need no escape: the name
        // goes out quoted in one piece.
        bool plain = true;
        small[0] = '"';
        for (size_t i = 0; i < text.size(); ++i) {
            const char c = kPlainLower.to[static_cast<unsigned char>(text[i])];
            small[i + 1] = c;
            plain = plain && c != 0;
        }
        small[text.size() + 1] = '"';
        if (plain) return out.append(std::string_view(small, text.size() + 2));
    }
    vcal::TextBuffer lower;
    return appendCased(lower, text, true) &&
           appendJsonString(out, std::string_view(lower.text, lower.length));
}

} // namespace interop::convert
