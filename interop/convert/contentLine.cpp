#include "interop/convert/contentLine.h"

#include <cstring>

#include "platform/ascii.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace interop::convert {

namespace {

constexpr size_t kFoldWidth = 75;

bool put(vcal::TextBuffer &out, std::string_view piece) { return out.append(piece); }

bool isContinuation(std::string_view line) {
    return !line.empty() && (line[0] == ' ' || line[0] == '\t');
}

enum class Split { Done, NoColon, NoMemory };

// Splits an unfolded line into its parts.
Split split(std::string_view text, ContentLine &line) {
    line.parameters.clear();
    line.group = {};
    size_t i = 0;
    while (i < text.size() && text[i] != ';' && text[i] != ':')
        ++i;
    if (i == text.size()) return Split::NoColon;
    std::string_view name = text.substr(0, i);
    while (!name.empty() && ascii::isBlank(name.back()))
        name.remove_suffix(1);
    const size_t dot = name.rfind('.');
    if (dot != std::string_view::npos) {
        line.group = name.substr(0, dot);
        name.remove_prefix(dot + 1);
    }
    line.name = name;
    while (text[i] == ';') {
        const size_t start = ++i;
        size_t equals = std::string_view::npos;
        bool quoted = false;
        while (i < text.size() && (quoted || (text[i] != ';' && text[i] != ':'))) {
            if (text[i] == '"') quoted = !quoted;
            if (text[i] == '=' && equals == std::string_view::npos && !quoted) equals = i;
            ++i;
        }
        if (i == text.size()) return Split::NoColon;
        Parameter p;
        if (equals == std::string_view::npos) {
            p.value = text.substr(start, i - start);
        } else {
            p.name = text.substr(start, equals - start);
            p.value = text.substr(equals + 1, i - equals - 1);
        }
        if (!p.name.empty() || !p.value.empty()) {
            if (!line.parameters.push(p)) return Split::NoMemory;
        }
    }
    line.value = text.substr(i + 1);
    return Split::Done;
}

} // namespace

bool sameName(std::string_view a, std::string_view b) { return sameWord(a, b); }

const Parameter *ContentLine::find(std::string_view parameterName) const {
    for (size_t i = 0; i < parameters.size(); ++i) {
        if (sameWord(parameters[i].name, parameterName)) return &parameters[i];
    }
    return nullptr;
}

ContentReader::Step ContentReader::next(ContentLine &line) {
    Line first;
    for (;;) {
        if (hasPending_) {
            first = pending_;
            hasPending_ = false;
        } else if (!cursor_.next(first)) {
            return Step::End;
        }
        if (!isBlankLine(first.text)) break;
    }
    line.number = first.number;
    line.start = first.start;
    std::string_view text = first.text;
    unfolded_.length = 0;
    bool folded = false;
    Line more;
    while (cursor_.next(more)) {
        if (!isContinuation(more.text)) {
            pending_ = more;
            hasPending_ = true;
            break;
        }
        if (!folded) {
            if (!put(unfolded_, first.text)) return Step::NoMemory;
            folded = true;
        }
        if (!put(unfolded_, more.text.substr(1))) return Step::NoMemory;
    }
    if (folded) text = std::string_view(unfolded_.text, unfolded_.length);
    // A byte-order mark may stand before the first line.
    if (line.number == 1 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    switch (split(text, line)) {
    case Split::Done:
        return Step::Line;
    case Split::NoMemory:
        return Step::NoMemory;
    case Split::NoColon:
        break;
    }
    line.name = text;
    line.value = {};
    return Step::Malformed;
}

bool appendUnescaped(vcal::TextBuffer &out, std::string_view escaped) {
    size_t start = 0;
    for (size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] != '\\' || i + 1 == escaped.size()) continue;
        if (!put(out, escaped.substr(start, i - start))) return false;
        const char c = escaped[++i];
        const char *replacement = nullptr;
        switch (c) {
        case 'n':
        case 'N':
            replacement = "\n";
            break;
        case '\\':
            replacement = "\\";
            break;
        case ',':
            replacement = ",";
            break;
        case ';':
            replacement = ";";
            break;
        case ':':
            replacement = ":";
            break;
        default:
            break;
        }
        if (replacement == nullptr) {
            start = i - 1; // not an escape: both characters stay
            continue;
        }
        if (!put(out, replacement)) return false;
        start = i + 1;
    }
    return put(out, escaped.substr(start));
}

namespace {

// The characters appendEscaped looks at; the rest go by in runs.
struct EscapeTable {
    bool special[256];
};
constexpr EscapeTable escapeTable() {
    EscapeTable t{};
    for (const unsigned char c : {'\\', ';', ',', '\r', '\n'})
        t.special[c] = true;
    return t;
}
constexpr EscapeTable kEscapes = escapeTable();

// Where the next byte appendEscaped looks at stands, from `i` on, or the
// text's size: sixteen bytes at a time, as every text value of a card or
// calendar goes through here and few bytes need escaping.
size_t nextSpecial(std::string_view text, size_t i) {
#if defined(__SSE2__)
    const char *s = text.data();
    auto eq = [](__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
    for (; text.size() - i >= 16; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + i));
        const __m128i hits =
            _mm_or_si128(_mm_or_si128(eq(v, '\\'), eq(v, ';')),
                         _mm_or_si128(eq(v, ','), _mm_or_si128(eq(v, '\r'), eq(v, '\n'))));
        const auto bits = static_cast<unsigned>(_mm_movemask_epi8(hits));
        if (bits != 0) return i + static_cast<unsigned>(__builtin_ctz(bits));
    }
#endif
    while (i < text.size() && !kEscapes.special[static_cast<unsigned char>(text[i])])
        ++i;
    return i;
}

} // namespace

bool appendCased(vcal::TextBuffer &out, std::string_view text, bool lower) {
    if (!out.reserve(text.size())) return false;
    char *to = out.end();
    // One loop for each case, which the compiler can run many bytes at a time.
    if (lower) {
        for (const char c : text)
            *to++ = static_cast<char>(ascii::lower(static_cast<unsigned char>(c)));
    } else {
        for (const char c : text)
            *to++ = ascii::upper(c);
    }
    out.close(to);
    return true;
}

std::string_view decimal(char (&room)[32], long long value, int width) {
    char *end = room + sizeof room;
    char *p = end;
    // (Unsigned, so that the most negative number has a magnitude too.)
    unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                             : static_cast<unsigned long long>(value);
    do {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    const int sign = value < 0 ? 1 : 0;
    if (width > static_cast<int>(sizeof room) - 1) width = static_cast<int>(sizeof room) - 1;
    while (end - p + sign < width)
        *--p = '0';
    if (sign != 0) *--p = '-';
    return {p, static_cast<size_t>(end - p)};
}

bool appendDecimal(vcal::TextBuffer &out, long long value, int width) {
    char room[32];
    return out.append(decimal(room, value, width));
}

bool appendEscaped(vcal::TextBuffer &out, std::string_view text, bool keepCommas) {
    size_t start = 0;
    for (size_t i = nextSpecial(text, 0); i < text.size(); i = nextSpecial(text, i + 1)) {
        const char c = text[i];
        const char *replacement = nullptr;
        size_t skip = 0;
        switch (c) {
        case '\\':
            replacement = "\\\\";
            break;
        case ';':
            replacement = "\\;";
            break;
        case ',':
            if (!keepCommas) replacement = "\\,";
            break;
        case '\r':
            replacement = "\\n";
            if (i + 1 < text.size() && text[i + 1] == '\n') skip = 1;
            break;
        case '\n':
            replacement = "\\n";
            break;
        default:
            break;
        }
        if (replacement == nullptr) continue;
        if (!put(out, text.substr(start, i - start)) || !put(out, replacement)) return false;
        i += skip;
        start = i + 1;
    }
    return put(out, text.substr(start));
}

bool foldFrom(vcal::TextBuffer &out, size_t start, Array<uint8_t> &steps) {
    const size_t n = out.length - start;
    if (n <= kFoldWidth) return put(out, "\r\n");
    // Where the line is cut, as the length of each piece but the last: one
    // byte a piece, not a copy of the line.
    steps.clear();
    const char *line = out.text + start;
    size_t at = 0;
    size_t width = kFoldWidth;
    while (n - at > width) {
        size_t cut = width;
        // Back up to the start of a UTF-8 sequence that would be split.
        while (cut > 1 && (static_cast<unsigned char>(line[at + cut]) & 0xC0) == 0x80)
            --cut;
        if (cut == 1) cut = width; // no sequence start: a run of bad bytes
        if (!steps.push(static_cast<uint8_t>(cut))) return false;
        at += cut;
        width = kFoldWidth - 1; // the blank that starts the next line counts
    }
    const size_t breaks = steps.size();
    if (!out.reserve(3 * breaks + 2)) return false;
    // The pieces move up from the last one, each behind its break; the
    // first stays where it is.
    char *text = out.text + start;
    size_t end = n;
    size_t to = n + 3 * breaks;
    size_t from = at;
    for (size_t i = breaks; i-- > 0;) {
        to -= end - from;
        std::memmove(text + to, text + from, end - from);
        to -= 3;
        text[to] = '\r';
        text[to + 1] = '\n';
        text[to + 2] = ' ';
        end = from;
        from -= steps[i];
    }
    out.close(text + n + 3 * breaks);
    return put(out, "\r\n");
}

} // namespace interop::convert
