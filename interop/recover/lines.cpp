#include "interop/recover/lines.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "interop/charset/utf8.h"
#include "platform/ascii.h"

namespace interop {

#if defined(__SSE2__)
// One pass over the line for its break, and for NUL bytes on the way, 32
// bytes at a time: lines are short, so one scan a line beats a search per
// byte kind, whose calls cost more than the bytes, and most lines end in
// their first block. One signed compare finds every control byte below
// 14 (high bytes, negative, are taken out by their own mask); a tab or
// another control there is passed over.
bool LineCursor::next(Line &line) {
    if (at_ >= length_) return false;
    const __m128i fourteen = _mm_set1_epi8(14);
    auto mask = [](__m128i m) { return static_cast<uint32_t>(_mm_movemask_epi8(m)); };
    size_t i = at_;
    bool hasNul = false;
    uint32_t high = 0; // high bits seen so far
    size_t stop = length_;
    for (;;) {
        uint32_t controls = 0;
        uint32_t highHere = 0;
        const bool whole = length_ - i >= 32;
        if (whole) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text_ + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text_ + i + 16));
            highHere = mask(a) | mask(b) << 16;
            controls =
                (mask(_mm_cmplt_epi8(a, fourteen)) | mask(_mm_cmplt_epi8(b, fourteen)) << 16) &
                ~highHere;
        } else {
            for (size_t k = i; k < length_; ++k) {
                const auto c = static_cast<unsigned char>(text_[k]);
                if (c < 14) controls |= 1u << (k - i);
                if (c >= 0x80) highHere |= 1u << (k - i);
            }
        }
        // Only LF, CR and NUL count.
        while (controls != 0) {
            const char c = text_[i + static_cast<unsigned>(__builtin_ctz(controls))];
            if (c == '\n' || c == '\r' || c == '\0') break;
            controls &= controls - 1;
        }
        if (controls == 0) {
            high |= highHere;
            if (!whole) break; // the text ends without a break
            i += 32;
            continue;
        }
        // The first byte of interest: a NUL is noted and passed over. High
        // bits count only before it: what follows is another line's.
        const unsigned first = static_cast<unsigned>(__builtin_ctz(controls));
        high |= highHere & ((1u << first) - 1u);
        if (text_[i + first] != '\0') {
            stop = i + first;
            break;
        }
        hasNul = true;
        i += first + 1;
    }
    size_t breakLength = 0;
    if (stop < length_)
        breakLength = text_[stop] == '\r' && stop + 1 < length_ && text_[stop + 1] == '\n' ? 2 : 1;
    line.text = std::string_view(text_ + at_, stop - at_);
    line.number = ++number_;
    line.start = at_;
    line.nul = hasNul;
    line.eightBit = high != 0;
    at_ = stop + breakLength;
    line.end = at_;
    return true;
}
#else
size_t LineCursor::next(size_t &found, char c) const {
    if (searched_ && found >= at_) return found;
    const void *p = std::memchr(text_ + at_, c, length_ - at_);
    found = p != nullptr ? static_cast<size_t>(static_cast<const char *>(p) - text_) : length_;
    return found;
}

bool LineCursor::next(Line &line) {
    if (at_ >= length_) return false;
    const size_t lf = next(lf_, '\n');
    const size_t cr = next(cr_, '\r');
    const size_t nul = next(nul_, '\0');
    searched_ = true;
    size_t stop = lf;
    size_t breakLength = lf < length_ ? 1 : 0;
    if (cr < lf) {
        stop = cr;
        breakLength = cr + 1 < length_ && text_[cr + 1] == '\n' ? 2 : 1;
    }
    line.text = std::string_view(text_ + at_, stop - at_);
    line.number = ++number_;
    line.start = at_;
    line.nul = nul < stop;
    line.eightBit = hasEightBitBytes(text_ + at_, stop - at_);
    at_ = stop + breakLength;
    line.end = at_;
    return true;
}
#endif

bool isKeywordLine(std::string_view line, std::string_view keyword, std::string_view *rest) {
    size_t i = 0;
    while (i < line.size() && ascii::isBlank(line[i]))
        ++i;
    if (line.size() - i < keyword.size() || !sameWord(line.substr(i, keyword.size()), keyword))
        return false;
    i += keyword.size();
    while (i < line.size() && ascii::isBlank(line[i]))
        ++i;
    if (i == line.size() || line[i] != ':') return false;
    ++i;
    if (rest != nullptr) {
        std::string_view value = line.substr(i);
        while (!value.empty() && ascii::isBlank(value.front()))
            value.remove_prefix(1);
        while (!value.empty() && ascii::isBlank(value.back()))
            value.remove_suffix(1);
        *rest = value;
    }
    return true;
}

namespace {

// The bytes of a name with its group: a table, since every line of every
// card starts with one.
struct NameTable {
    bool inName[256];
};
constexpr NameTable nameTable() {
    NameTable t{};
    for (int c = 0; c < 256; ++c)
        t.inName[c] = c > ' ' && c != ':' && c != ';' && c != '=' && c != 0x7F;
    return t;
}
constexpr NameTable kNames = nameTable();

} // namespace

size_t scanPropertyName(std::string_view line, size_t *nameStart) {
    size_t i = 0;
    size_t start = 0;
    for (; i < line.size(); ++i) {
        const char c = line[i];
        if (!kNames.inName[static_cast<unsigned char>(c)]) break;
        if (c == '.') start = i + 1;
    }
    *nameStart = start;
    return i;
}

bool hasPropertyShape(std::string_view line, std::string_view *name) {
    size_t nameStart = 0;
    size_t i = scanPropertyName(line, &nameStart);
    if (i == nameStart) return false;
    const std::string_view found = line.substr(nameStart, i - nameStart);
    while (i < line.size() && ascii::isBlank(line[i]))
        ++i;
    if (i == line.size()) return false;
    if (line[i] == ';') {
        if (line.find(':', i) == std::string_view::npos) return false;
    } else if (line[i] != ':') {
        return false;
    }
    if (name != nullptr) *name = found;
    return true;
}

bool isBlankLine(std::string_view line) {
    for (char c : line) {
        if (!ascii::isBlank(c)) return false;
    }
    return true;
}

} // namespace interop
