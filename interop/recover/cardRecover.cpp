// The repairs are general rules, each written for a way real writers break
// the format:
//  - Phones end quoted-printable lines with a soft break ("=") and go on
//    without the blank that continues a line. The line after a soft break
//    continues the value unless it starts a property the context knows
//    (or an X- one): a value's text rarely looks like "TEL;HOME:" or
//    "X-FOO:", while an unknown word before a colon ("Agenda:") is common.
//  - BASE64 data comes unindented from some writers: a line of nothing but
//    base64 characters after a BASE64 line continues it.
//  - A bare QUOTED-PRINTABLE, BASE64 or B parameter, ENCODING=B and
//    ENCODING=QUOTEDPRINTABLE name the encoding the writer used; the
//    strict reader wants ENCODING= and the full names. A "NAME=value"
//    joined to a TYPE list by a comma ("PARCEL,ENCODING=...") is one
//    parameter of its own.
//  - Quoted-printable escapes in lower case, or an "=" that starts no
//    escape, are read as meant: the digits in upper case, the "=" as
//    "=3D".
//  - Lines that are no property and continue nothing are dropped (a loss,
//    reported with their start); so is an indented line right after a
//    BEGIN or END line, which has nothing to continue.
//  - A card ends at its END line; at the next BEGIN:VCARD that follows no
//    AGENT property, or at the end of the text, it ends all the same. A
//    BEGIN:VCARD line is one with byte-order marks before it and NUL bytes
//    in it, as concatenated and padded files leave it; a file that ends
//    without a line break, joined to the next, leaves
//    "END:VCARDBEGIN:VCARD", which is two lines.
//  - A line named BEGIN or END is one to the strict reader whatever its
//    parameters: it is written without them, and a BEGIN whose component
//    name is no word is dropped.
#include "interop/recover/cardRecover.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/ascii.h"
#include "platform/prefetch.h"

namespace interop {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr size_t kNone = std::string_view::npos;
// How much of the text after a card is asked of memory before the card is
// handed on, and the shortest card after which it is (see
// CardScanner::next).
constexpr size_t kPrefetchAhead = 2048;
constexpr size_t kPrefetchAfter = 512;
constexpr char kJoinedSoftBreak[] =
    "joined a quoted-printable soft line break with this line, which was not indented";

enum class Encoding : uint8_t { Plain, QuotedPrintable, Base64 };

std::string_view trimmed(std::string_view s) {
    if (!s.empty() && !ascii::isBlank(s.front()) && !ascii::isBlank(s.back())) return s;
    while (!s.empty() && ascii::isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && ascii::isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// What the parameters of a property line say about its encoding, and
// whether the strict reader needs them written otherwise to see it too.
struct Parameters {
    Encoding encoding = Encoding::Plain;
    bool rewrite = false;
    size_t head = kNone;  // the ";" or ":" after the name
    size_t colon = kNone; // where the value starts, after this ":"
};

// Where `c` stands in a short text (a parameter, a name), or kNone: a
// plain loop, without the call a search of a long text is worth.
size_t indexOf(std::string_view s, char c, size_t from = 0) {
    for (size_t i = from; i < s.size(); ++i) {
        if (s[i] == c) return i;
    }
    return kNone;
}

// One parameter as the strict reader wants it (see the rules above).
// Calls `put` with the parameter's new text, or with the item unchanged.
template <class Put> Encoding normalParameter(std::string_view item, bool &changed, Put put) {
    if (item == "ENCODING=QUOTED-PRINTABLE") { // as nearly every writer puts it
        put(item);
        return Encoding::QuotedPrintable;
    }
    const size_t equals = indexOf(item, '=');
    if (equals == kNone) {
        // (Most items are types, "WORK" or "VOICE": the lengths of the
        // three words turn them away before any comparison.)
        if (item.size() != 1 && item.size() != 6 && item.size() != 16) {
            put(item);
            return Encoding::Plain;
        }
        if (sameWord(item, "QUOTED-PRINTABLE")) {
            changed = true;
            put("ENCODING=QUOTED-PRINTABLE");
            return Encoding::QuotedPrintable;
        }
        if (sameWord(item, "BASE64") || sameWord(item, "B")) {
            changed = true;
            put("ENCODING=BASE64");
            return Encoding::Base64;
        }
        put(item);
        return Encoding::Plain;
    }
    if (!sameWord(trimmed(item.substr(0, equals)), "ENCODING")) {
        put(item);
        return Encoding::Plain;
    }
    const std::string_view value = trimmed(item.substr(equals + 1));
    if (sameWord(value, "B")) {
        changed = true;
        put("ENCODING=BASE64");
        return Encoding::Base64;
    }
    if (sameWord(value, "QUOTEDPRINTABLE") || sameWord(value, "QP")) {
        changed = true;
        put("ENCODING=QUOTED-PRINTABLE");
        return Encoding::QuotedPrintable;
    }
    put(item);
    if (sameWord(value, "QUOTED-PRINTABLE")) return Encoding::QuotedPrintable;
    if (sameWord(value, "BASE64")) return Encoding::Base64;
    return Encoding::Plain;
}

// What ends a parameter item, or splits one: a table, as every parameter
// of every line goes through it.
struct ParameterStops {
    bool stop[256];
};
constexpr ParameterStops parameterStops() {
    ParameterStops t{};
    t.stop[static_cast<unsigned char>(';')] = true;
    t.stop[static_cast<unsigned char>(':')] = true;
    t.stop[static_cast<unsigned char>(',')] = true;
    return t;
}
constexpr ParameterStops kParameterStops = parameterStops();

// Walks the parameters of a property line from `i`, the ";" or ":" after
// its name: each item between ";" (and a "NAME=value" after a "," in one,
// as in "PARCEL,ENCODING=..."), with the text each should have.
// `put(text)` gets them in order. The bytes are looked at one by one, as
// every line of every card passes through here; a search function called
// for each short item, or for each byte (find_first_of), costs more than
// the rest of the scan.
template <class Put> Parameters walkParameters(std::string_view line, size_t i, Put put) {
    Parameters p;
    p.head = i;
    while (i < line.size() && line[i] == ';') {
        const size_t start = ++i;
        bool comma = false;
        for (; i < line.size(); ++i) {
            const char c = line[i];
            if (!kParameterStops.stop[static_cast<unsigned char>(c)]) continue;
            if (c != ',') break;
            comma = true;
        }
        std::string_view item = line.substr(start, i - start);
        if (!comma) {
            const Encoding e = normalParameter(trimmed(item), p.rewrite, put);
            if (e != Encoding::Plain) p.encoding = e;
            continue;
        }
        // Split off every ",NAME=value" that a comma joined to the item.
        for (;;) {
            size_t comma = kNone;
            for (size_t c = indexOf(item, ','); c != kNone; c = indexOf(item, ',', c + 1)) {
                const size_t equals = indexOf(item, '=', c);
                const size_t next = indexOf(item, ',', c + 1);
                if (equals != kNone && (next == kNone || equals < next) &&
                    indexOf(item.substr(0, c), '=') == kNone) {
                    comma = c;
                    break;
                }
            }
            const std::string_view head = comma == kNone ? item : item.substr(0, comma);
            const Encoding e = normalParameter(trimmed(head), p.rewrite, put);
            if (e != Encoding::Plain) p.encoding = e;
            if (comma == kNone) break;
            p.rewrite = true;
            item = item.substr(comma + 1);
        }
    }
    p.colon = i < line.size() && line[i] == ':' ? i : kNone;
    return p;
}

#if defined(__SSE2__)
// Bytes up to " " (unsigned): a signed compare with the high bit turned.
__m128i upToBlank(__m128i v) {
    return _mm_cmplt_epi8(_mm_xor_si128(v, _mm_set1_epi8(static_cast<char>(0x80))),
                          _mm_set1_epi8(static_cast<char>(0x21 ^ 0x80)));
}

// Of sixteen bytes, those that end a name (as scanPropertyName reads it):
// a blank or control byte, ":", ";", "=" or DEL. (":" and ";" differ in
// their lowest bit only.)
unsigned nameStops(__m128i v) {
    auto eq = [](__m128i x, char c) { return _mm_cmpeq_epi8(x, _mm_set1_epi8(c)); };
    const __m128i colons = eq(_mm_or_si128(v, _mm_set1_epi8(1)), ';');
    return static_cast<unsigned>(_mm_movemask_epi8(
        _mm_or_si128(_mm_or_si128(upToBlank(v), colons), _mm_or_si128(eq(v, '='), eq(v, 0x7F)))));
}

// Where a name that ends at `end` starts: after its group's last ".".
// `dots` has a bit for each "." of the line's first bytes.
unsigned nameStart(uint32_t dots, unsigned end) {
    dots &= (1u << end) - 1u;
    return dots == 0 ? 0 : 32u - static_cast<unsigned>(__builtin_clz(dots));
}
unsigned nameStart(__m128i v, unsigned end) {
    return nameStart(
        static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('.')))), end);
}

// The parameters of a head, item by item up to the next ";" or to the
// ":": bit k of the masks stands for the byte at base + k, and the items
// run from `from` to `colon` (below 64). Each is a word without a "B"
// (which every bare encoding word holds), a "NAME=value" whose name is
// not ENCODING, or ENCODING=QUOTED-PRINTABLE or BASE64 as the strict
// reader wants them, which sets *encoding. False for any other item: the
// reading byte by byte decides those heads.
[[gnu::noinline]] bool readItems(const char *base, size_t from, size_t colon, uint64_t semicolons,
                                 uint64_t equals, uint64_t bees, Encoding *encoding) {
    auto below = [](size_t k) { return (uint64_t{1} << k) - 1u; };
    for (size_t start = from; start <= colon;) {
        const uint64_t later = semicolons & ~below(start);
        const size_t stop = later != 0 ? static_cast<size_t>(__builtin_ctzll(later)) : colon;
        const uint64_t item = below(stop) & ~below(start);
        if ((equals & item) == 0) {
            if ((bees & item) != 0) return false;
        } else {
            const auto sign = static_cast<size_t>(__builtin_ctzll(equals & item));
            if (sign - start == 8 && sameWord({base + start, 8}, "ENCODING")) {
                const std::string_view value(base + sign + 1, stop - sign - 1);
                if (value == "QUOTED-PRINTABLE")
                    *encoding = Encoding::QuotedPrintable;
                else if (value == "BASE64")
                    *encoding = Encoding::Base64;
                else
                    return false;
            }
        }
        start = stop + 1;
    }
    return true;
}

// The head most property lines have, read sixteen bytes at a time: a name
// (and group) ended by ":" or ";", then up to 64 bytes of parameters
// without "," or a blank, each of them a word without a "B" (which every
// bare encoding word holds), a "NAME=value" whose name is not ENCODING,
// or ENCODING=QUOTED-PRINTABLE or BASE64 as the strict reader wants them.
// So the parameters need no rewriting. Bytes up to `readable` may be
// loaded; those past the line count for nothing. False for any other
// head: the reading byte by byte below decides it.
bool quickHead(std::string_view line, const char *readable, std::string_view *name, Parameters *p) {
    const char *s = line.data();
    const size_t n = line.size();
    auto eq = [](__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
    auto mask = [](__m128i m) { return static_cast<unsigned>(_mm_movemask_epi8(m)); };
    auto inLine = [n](size_t at) { return n - at >= 16 ? 0xFFFFu : (1u << (n - at)) - 1u; };
    if (readable - s < 16) return false;
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s));
    const unsigned stops = nameStops(v) | (~inLine(0) & 0xFFFFu);
    // (A name of sixteen bytes or more is left to the reading below.)
    const unsigned nameEnd = static_cast<unsigned>(__builtin_ctz(stops | 0x10000u));
    if (nameEnd == 0 || nameEnd >= n || nameEnd == 16) return false;
    const unsigned start = nameStart(v, nameEnd);
    if (start == nameEnd || (s[nameEnd] != ':' && s[nameEnd] != ';')) return false;
    *name = line.substr(start, nameEnd - start);
    *p = Parameters{};
    p->head = nameEnd;
    if (s[nameEnd] == ':') {
        p->colon = nameEnd;
        return true;
    }
    // The parameters' bytes as masks, bit k for the byte at from + k.
    const size_t from = nameEnd + 1;
    uint64_t semicolons = 0;
    uint64_t equals = 0;
    uint64_t bees = 0;
    for (size_t at = from; at < n && at - from < 64; at += 16) {
        if (readable - (s + at) < 16) return false;
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + at));
        const unsigned valid = inLine(at);
        const unsigned colon = mask(eq(w, ':')) & valid;
        const unsigned before = colon == 0 ? valid : (colon & (0u - colon)) - 1u;
        const unsigned odd =
            mask(_mm_or_si128(eq(w, ','), _mm_or_si128(eq(w, ' '), eq(w, '\t')))) & before;
        if (odd != 0) return false;
        const unsigned shift = static_cast<unsigned>(at - from);
        semicolons |= static_cast<uint64_t>(mask(eq(w, ';')) & before) << shift;
        equals |= static_cast<uint64_t>(mask(eq(w, '=')) & before) << shift;
        bees |= static_cast<uint64_t>(mask(_mm_or_si128(eq(w, 'B'), eq(w, 'b'))) & before) << shift;
        if (colon == 0) continue;
        p->colon = at + static_cast<unsigned>(__builtin_ctz(colon));
        if ((equals | bees) == 0) return true; // types only: "WORK;VOICE"
        return readItems(s + from, 0, p->colon - from, semicolons, equals, bees, &p->encoding);
    }
    return false;
}
#else
bool quickHead(std::string_view, const char *, std::string_view *, Parameters *) { return false; }
#endif

// The start of a property line, read in one pass: true for the shape
// hasPropertyShape sees, with the name (without its group) in *name and
// what the parameters say in *p. `readable`: how far bytes from the line
// on may be loaded.
bool propertyHead(std::string_view line, const char *readable, std::string_view *name,
                  Parameters *p) {
    if (quickHead(line, readable, name, p)) return true;
    size_t nameStart = 0;
    size_t i = scanPropertyName(line, &nameStart);
    if (i == nameStart) return false;
    *name = line.substr(nameStart, i - nameStart);
    while (i < line.size() && ascii::isBlank(line[i]))
        ++i;
    if (i == line.size() || (line[i] != ';' && line[i] != ':')) return false;
    *p = walkParameters(line, i, [](std::string_view) {});
    return p->colon != kNone;
}

// A line that opens a card: BEGIN:VCARD in any case, blanks allowed around
// its words. Byte-order marks before it and NUL bytes anywhere in it are
// what concatenated and padded files leave there; the card scan and the
// search for the next card must agree on such a line, or a card that one
// of them cuts off there is lost to the other as junk.
bool opensCard(std::string_view line) {
    if (line == "BEGIN:VCARD") return true; // as most writers put it
    size_t i = 0;
    auto at = [&]() -> char {
        while (i < line.size() && line[i] == '\0')
            ++i;
        return i < line.size() ? line[i] : '\0';
    };
    while (at() != '\0' && line.substr(i, kByteOrderMark.size()) == kByteOrderMark)
        i += kByteOrderMark.size();
    auto blanks = [&] {
        while (ascii::isBlank(at()))
            ++i;
    };
    auto word = [&](std::string_view w) {
        for (char c : w) {
            if (ascii::upper(at()) != c) return false;
            ++i;
        }
        return true;
    };
    blanks();
    if (!word("BEGIN")) return false;
    blanks();
    if (at() != ':') return false;
    ++i;
    blanks();
    if (!word("VCARD")) return false;
    blanks();
    return i == line.size();
}

// Tests on each line's first and last bytes, without a branch: which way
// they go changes from line to line, so a branch is guessed wrong often.
// foldCase(c) equals a lower-case letter exactly when c is that letter in
// either case; both() and either() make both tests, none skipping the other.
char foldCase(char c) { return static_cast<char>(c | 0x20); }
bool both(bool a, bool b) { return a & b; }
bool either(bool a, bool b) { return a | b; }
bool isSpaceOrTab(char c) { return either(c == ' ', c == '\t'); }

// Cuts the line just read before a BEGIN:VCARD that ends it (see nextLine).
void splitJoinedBegin(LineCursor &cursor, Line &line) {
    constexpr std::string_view kBegin = "BEGIN:VCARD";
    std::string_view text = line.text;
    while (!text.empty() && ascii::isBlank(text.back()))
        text.remove_suffix(1);
    if (text.size() <= kBegin.size() || ascii::upper(text.back()) != 'D' ||
        !sameWord(text.substr(text.size() - kBegin.size()), kBegin))
        return;
    size_t at = text.size() - kBegin.size();
    for (;;) {
        if (at > 0 && text[at - 1] == '\0') {
            --at;
        } else if (at >= kByteOrderMark.size() &&
                   text.substr(at - kByteOrderMark.size(), kByteOrderMark.size()) ==
                       kByteOrderMark) {
            at -= kByteOrderMark.size();
        } else {
            break;
        }
    }
    // (A group before BEGIN, "A.BEGIN:VCARD", is no file's end: such a
    // line opens no card.)
    if (isBlankLine(text.substr(0, at)) || text[at - 1] == '.') return;
    line.text = line.text.substr(0, at);
    line.nul = line.nul && line.text.find('\0') != kNone;
    line.end = line.start + at;
    cursor.resume(line, line.end);
}

// The next line, where a file that ends without a line break, joined to
// one that starts a card ("END:VCARDBEGIN:VCARD", "ADRBEGIN:VCARD", a
// byte-order mark between), makes two: the line ends before the BEGIN,
// which is read next as a line of its own.
inline bool nextLine(LineCursor &cursor, Line &line) {
    if (!cursor.next(line)) return false;
    // (Most lines end in neither a blank nor a "D", or are too short to
    // hold more than a BEGIN:VCARD: no BEGIN ends them.)
    const std::string_view text = line.text;
    if (text.size() > std::string_view("BEGIN:VCARD").size() &&
        either(foldCase(text.back()) == 'd', isSpaceOrTab(text.back())))
        splitJoinedBegin(cursor, line);
    return true;
}

// Where the line break that ends right before `at` in `base` starts (CR
// LF, LF or CR), or kNone: a line joined to the one before goes there.
size_t breakBefore(const char *base, size_t at) {
    if (at > 0 && base[at - 1] == '\n') return at >= 2 && base[at - 2] == '\r' ? at - 2 : at - 1;
    if (at > 0 && base[at - 1] == '\r') return at - 1;
    return kNone;
}

bool isHex(char c) { return ascii::hexValue(c) >= 0; }
bool isLowerHex(char c) { return c >= 'a' && c <= 'f'; }

// What the quoted-printable text needs: lower-case digits raised, "="
// that starts no escape written as "=3D". A final "=" is a soft break.
struct QuotedPrintableFaults {
    bool lowerCase = false;
    bool looseEquals = false;
    bool highByte = false; // an escape of a byte above 0x7F: no fault, but 8-bit text
    bool any() const { return lowerCase || looseEquals; }
};

QuotedPrintableFaults quotedPrintableFaults(std::string_view text) {
    QuotedPrintableFaults f;
    const char *s = text.data();
    const size_t n = text.size();
    size_t from = 0; // where the next escape may start
    // Looks at the "=" at i; false at a soft break, which ends the text.
    auto look = [&](size_t i) {
        if (i < from) return true; // within an escape already read
        if (i + 1 == n) return false;
        if (i + 2 < n && isHex(s[i + 1]) && isHex(s[i + 2])) {
            f.lowerCase = f.lowerCase || isLowerHex(s[i + 1]) || isLowerHex(s[i + 2]);
            f.highByte = f.highByte || ascii::hexValue(s[i + 1]) >= 8;
            from = i + 3;
        } else {
            f.looseEquals = true;
            from = i + 1;
        }
        return true;
    };
    size_t i = 0;
#if defined(__SSE2__)
    // Sixteen bytes at a time: a value holds a few escapes in many bytes,
    // and a search call for each costs more than the bytes between them.
    // The last bytes are read in the sixteen that end the text, less those
    // read already.
    const __m128i equals = _mm_set1_epi8('=');
    auto block = [&](size_t at, size_t unread) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + at));
        auto m = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, equals)));
        for (m &= ~0u << (unread - at); m != 0; m &= m - 1) {
            if (!look(at + static_cast<unsigned>(__builtin_ctz(m)))) return false;
        }
        return true;
    };
    if (n >= 16) {
        for (; n - i >= 16; i += 16) {
            if (!block(i, i)) return f;
        }
        if (i < n) block(n - 16, i);
        return f;
    }
#endif
    for (; i < n; ++i) {
        if (s[i] == '=' && !look(i)) return f;
    }
    return f;
}

bool isBase64Data(std::string_view line) {
    if (isBlankLine(line)) return false;
    for (char c : line) {
        if (!ascii::isAlnum(c) && c != '+' && c != '/' && c != '=' && !ascii::isBlank(c))
            return false;
    }
    return true;
}

// A property name the context knows, or an extension.
bool isKnownName(VCardContext *context, std::string_view name) {
    char word[64];
    if (name.size() >= sizeof word) return false;
    std::memcpy(word, name.data(), name.size());
    word[name.size()] = '\0';
    int32_t code = 0;
    return VCARD_identifyToken(context, word, 0x3200, &code) == 0 && code >= 0x3200 &&
           code <= 0x32FF;
}

} // namespace

bool CardScanner::put(std::string_view piece) { return repaired_.append(piece); }

// The card's line breaks are listed as they go by: those of the text in
// place, then, once the card is rebuilt, those of the copy (its start is
// the original text, whose breaks are listed already; every line written
// after that ends in CR LF). No room for the list costs only the search the
// parse then makes.
inline void CardScanner::noteBreak(const Line &line) {
    const size_t at = line.start + line.text.size();
    if (!copying_ && at < line.end) breaksKnown_ = breaksKnown_ && breaks_.push(at - cardStart_);
}

bool CardScanner::endLine() {
    if (!put("\r\n")) return false;
    breaksKnown_ = breaksKnown_ && breaks_.push(repaired_.length - 2);
    return true;
}

bool CardScanner::putLine(std::string_view line) { return put(line) && endLine(); }

// From here on the card is rebuilt: what it had so far goes in as it was.
bool CardScanner::copyUpTo(size_t offset) {
    if (copying_) return true;
    copying_ = true;
    repaired_.length = 0;
    breaks_.truncate(offset - cardStart_);
    return put(std::string_view(text_ + cardStart_, offset - cardStart_));
}

#if defined(__SSE2__)
namespace {

// For each name length below 32, the low five bits of the first letters
// of BEGIN, END and AGENT of that length.
constexpr uint32_t kKeywordLeads[32] = {
    0, 0, 0, 1u << ('e' & 31), 0, 1u << ('a' & 31) | 1u << ('b' & 31)};

// A name (shorter than 32 bytes) that may be BEGIN, END or AGENT, which
// change what the lines after them are: length and first letter tell the
// others at once. (A byte that shares its low five bits with one of those
// letters counts as it, which only sends its line the long way.)
bool mayBeKeyword(std::string_view name) {
    const unsigned lead = static_cast<unsigned char>(name.front()) & 31u;
    return ((kKeywordLeads[name.size() & 31] >> lead) & 1u) != 0;
}

// What the line at `s` is, when it is one the card's loop would only keep
// (or join), read in one pass over its first 32 bytes (64 for a long head)
// for its break and its start together: what LineCursor and quickHead
// find apart. Such a line holds no NUL or other control byte but its
// break, and cannot open a card or end in one ("BEGIN:VCARD" joined to
// it); it is
//  - after no soft break, a property whose name cannot be BEGIN, END or
//    AGENT, with parameters that name no encoding and need no rewriting
//    (Ordinary::Property), or that name quoted-printable as the strict
//    reader wants it (Ordinary::Coded: its value, from *value on, is
//    looked at); parameters holding an "=" or a "B" are read by
//    readItems;
//  - after no soft break, an indented line that follows no BEGIN or END
//    line and is in no quoted-printable value (Ordinary::Continued), or
//    one in a quoted-printable value, after a soft break or not
//    (Ordinary::ContinuedQuoted: its escapes are looked at);
//  - after a soft break, a line neither indented nor shaped as a property
//    (Ordinary::Joined: joined to the value it continues);
//  - an empty line, kept, which changes nothing (Ordinary::Empty: some
//    writers put one between properties, or after a photo; ordinaryRun
//    looks for it where none of the others stands).
// None for every other line, and near the text's end, where the loads
// would pass it: the long way decides those. Else *length is the line's
// without its break, *next where the line after it starts, and *high
// whether it holds 8-bit bytes.
[[gnu::always_inline]] inline CardScanner::Ordinary
classifyLine(const char *s, const char *end, bool continuable, bool quotedPrintable, bool softBreak,
             size_t *length, size_t *next, bool *high, size_t *value) {
    using Ordinary = CardScanner::Ordinary;
    if (end - s < 64) return Ordinary::None;
    auto eq = [](__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
    auto mask = [](__m128i m) { return static_cast<uint32_t>(_mm_movemask_epi8(m)); };
    auto both32 = [&](__m128i x, __m128i y) { return mask(x) | mask(y) << 16; };
    // Control bytes: below 14, high bytes (negative) taken out by their mask.
    const __m128i fourteen = _mm_set1_epi8(14);
    auto controlsIn = [&](__m128i x, __m128i y, uint32_t highMask) {
        return both32(_mm_cmplt_epi8(x, fourteen), _mm_cmplt_epi8(y, fourteen)) & ~highMask;
    };
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + 16));
    uint32_t highMask = both32(a, b);
    uint32_t controls = controlsIn(a, b, highMask);
    Ordinary kind = Ordinary::Property;
    // The name, ended by ":" or ";" within the first sixteen bytes (or,
    // for a property, 32: see below).
    unsigned nameEnd = static_cast<unsigned>(__builtin_ctz(nameStops(a) | 0x10000u));
    if (isSpaceOrTab(s[0])) {
        if (quotedPrintable) {
            kind = Ordinary::ContinuedQuoted;
        } else {
            if (!continuable || softBreak) return Ordinary::None;
            kind = Ordinary::Continued;
        }
    } else if (softBreak) {
        // No property's shape: the first word is empty (";;Main St", as
        // an address goes on), or what stops it is neither ":" nor ";",
        // nor blanks before one (and not the break, see below).
        if (nameEnd == 16 || either(foldCase(s[0]) == 'b', s[0] == kByteOrderMark[0]))
            return Ordinary::None;
        unsigned stop = nameEnd;
        while (stop < 16 && isSpaceOrTab(s[stop]))
            ++stop;
        if (nameEnd != 0 && (stop == 16 || s[stop] == ':' || s[stop] == ';')) return Ordinary::None;
        kind = Ordinary::Joined;
    } else {
        // (Names of sixteen bytes or more, as extensions have them, are
        // read on into the next sixteen.)
        unsigned start = 0;
        if (nameEnd < 16) {
            start = nameStart(a, nameEnd);
        } else {
            nameEnd = 16 + static_cast<unsigned>(__builtin_ctz(nameStops(b) | 0x10000u));
            if (nameEnd == 32) return Ordinary::None;
            start = nameStart(both32(eq(a, '.'), eq(b, '.')), nameEnd);
        }
        if (nameEnd == 0 || (s[nameEnd] != ':' && s[nameEnd] != ';')) return Ordinary::None;
        // (Only a name BEGIN, or a byte-order mark, can open a card here.)
        if (start == nameEnd || mayBeKeyword(std::string_view(s + start, nameEnd - start)) ||
            s[0] == kByteOrderMark[0])
            return Ordinary::None;
        if (s[nameEnd] == ';') {
            // Parameters up to a ":" in the first 32 bytes, or else in the
            // 32 after them, before the break, with no blank or "," in
            // them; those with an "=" or a "B" are read item by item.
            const uint64_t after = ~((uint64_t{2} << nameEnd) - 1u);
            uint64_t colons = both32(eq(a, ':'), eq(b, ':')) & after;
            const bool wide = colons == 0;
            __m128i c = a;
            __m128i d = b;
            if (wide) {
                // (Most of these name a charset and an encoding.)
                c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + 32));
                d = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + 48));
                colons = static_cast<uint64_t>(both32(eq(c, ':'), eq(d, ':'))) << 32;
            }
            const uint64_t before = (colons & (0u - colons)) - 1u;
            const __m128i lower = _mm_set1_epi8(0x20);
            auto hard = [&](__m128i v) { return _mm_or_si128(upToBlank(v), eq(v, ',')); };
            auto special = [&](__m128i v) {
                return _mm_or_si128(hard(v),
                                    _mm_or_si128(eq(_mm_or_si128(v, lower), 'b'), eq(v, '=')));
            };
            auto in = [&](auto bytes) {
                uint64_t m = before < 0xFFFFu ? mask(bytes(a)) : both32(bytes(a), bytes(b));
                if (wide) m |= static_cast<uint64_t>(both32(bytes(c), bytes(d))) << 32;
                return m & after & before;
            };
            if (colons == 0) return Ordinary::None;
            if (in(special) != 0) {
                if (in(hard) != 0) return Ordinary::None;
                const auto colon = static_cast<size_t>(__builtin_ctzll(colons));
                Encoding e = Encoding::Plain;
                if (!readItems(s, nameEnd + 1, colon, in([&](__m128i v) { return eq(v, ';'); }),
                               in([&](__m128i v) { return eq(v, '='); }),
                               in([&](__m128i v) { return eq(_mm_or_si128(v, lower), 'b'); }),
                               &e) ||
                    e == Encoding::Base64)
                    return Ordinary::None;
                if (e == Encoding::QuotedPrintable) {
                    kind = Ordinary::Coded;
                    *value = colon + 1;
                }
            }
        }
    }
    // The break: the first control byte must be it.
    size_t size = 0;
    uint32_t highBits = 0;
    for (const char *p = s;;) {
        if (controls != 0) {
            const unsigned k = static_cast<unsigned>(__builtin_ctz(controls));
            if (p[k] != '\n' && p[k] != '\r') return Ordinary::None;
            size = static_cast<size_t>(p - s) + k;
            highBits |= highMask & ((1u << k) - 1u);
            break;
        }
        highBits |= highMask;
        p += 32;
        if (end - p < 33) return Ordinary::None;
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16));
        highMask = both32(x, y);
        controls = controlsIn(x, y, highMask);
    }
    constexpr std::string_view kBegin = "BEGIN:VCARD";
    if (size == 0) return Ordinary::None; // (see ordinaryRun)
    const char last = s[size - 1];
    if (isSpaceOrTab(last) ||
        (foldCase(last) == 'd' && size >= kBegin.size() &&
         sameWord(std::string_view(s + size - kBegin.size(), kBegin.size()), kBegin)))
        return Ordinary::None;
    *length = size;
    *next = size + (s[size] == '\r' && s[size + 1] == '\n' ? 2 : 1);
    *high = highBits != 0;
    return kind;
}

} // namespace

// The ordinary lines that follow, as many as follow each other, each
// read as the card's loop would read it: kept (in place, its break
// listed, or written into the card's copy), or joined in place after a
// soft break. One with quoted-printable faults to mend is left to the
// loop, unread, or, when it is to be joined, handed back read; so is one
// to join into the card's copy. The last line read is left in `line`.
// They are most of a card's lines: taking each through the card's loop
// cost a tenth of the whole scan.
CardScanner::Run CardScanner::ordinaryRun(bool afterKeyword, bool quotedPrintable, bool softBreak,
                                          Reporter &report, Line &line) {
    Run run;
    run.softBreak = softBreak;
    // (An indented line is kept as it stands unless it follows a BEGIN or
    // END line or continues a quoted-printable value.)
    bool continuable = both(!afterKeyword, !quotedPrintable);
    size_t at = cursor_.offset();
    size_t start = at;
    // (classifyLine sets these for an ordinary line only: after the loop
    // they are the last one's.)
    size_t length = 0;
    size_t next = 0;
    bool high = false;
    size_t value = 0; // where a Coded line's value starts
    uint64_t count = 0;
    // Whether quoted-printable text needs no mending (the 8-bit bytes its
    // escapes stand for are marked either way, as the loop marks them).
    auto unmended = [&run](std::string_view value) {
        const QuotedPrintableFaults f = quotedPrintableFaults(value);
        run.eightBit |= f.highByte;
        return !f.any();
    };
    for (;;) {
        Ordinary kind = classifyLine(text_ + at, end_, continuable, quotedPrintable, run.softBreak,
                                     &length, &next, &high, &value);
        if (kind == Ordinary::None) {
            const char *s = text_ + at;
            if (end_ - s < 2 || (s[0] != '\r' && s[0] != '\n')) break;
            kind = Ordinary::Empty;
            length = 0;
            next = s[0] == '\r' && s[1] == '\n' ? 2 : 1;
            high = false;
        }
        const std::string_view text(text_ + at, length);
        if (kind == Ordinary::ContinuedQuoted) {
            // Kept as it stands when its escapes need no mending (it is
            // not blank: it ends in no blank).
            if (!unmended(text)) break;
            run.softBreak = text.back() == '=';
            kind = Ordinary::Continued;
        }
        bool coded = false; // a property whose value is quoted-printable
        if (kind == Ordinary::Coded) {
            // As the card's loop reads it: a quoted-printable value
            // without faults.
            if (!unmended(text.substr(value))) break;
            coded = true;
            kind = Ordinary::Property;
        }
        run.eightBit |= high;
        start = at;
        at += next;
        ++count;
        if (kind == Ordinary::Joined) {
            // Joined to the line before, whose break stands right before
            // it (see the loop's join).
            const size_t joinAt = breakBefore(text_ + cardStart_, start - cardStart_);
            if (!unmended(text) || copying_ || joinAt == kNone) {
                run.joined = true;
                break;
            }
            report(cursor_.number() + count - 1, VI_REPORT_REPAIRED, "%s", kJoinedSoftBreak);
            breaksKnown_ = breaksKnown_ && breaks_.push(start + length - cardStart_);
            if (!joins_.push(joinAt)) {
                run.ok = false;
                break;
            }
            run.softBreak = text.back() == '=';
            continue;
        }
        if (copying_) {
            if (!putLine(text)) {
                run.ok = false;
                break;
            }
        } else {
            breaksKnown_ = breaksKnown_ && breaks_.push(start + length - cardStart_);
        }
        if (kind == Ordinary::Property) {
            run.property = true;
            run.quotedPrintable = quotedPrintable = coded;
            run.softBreak = coded && text.back() == '=';
            continuable = !coded;
        }
    }
    if (count == 0) return run;
    line.text = std::string_view(text_ + start, length);
    line.number = cursor_.number() + count - 1;
    line.start = start;
    line.end = at;
    line.nul = false;
    line.eightBit = high;
    cursor_.passed(at, count);
    return run;
}
#else
CardScanner::Run CardScanner::ordinaryRun(bool, bool, bool softBreak, Reporter &, Line &) {
    Run run;
    run.softBreak = softBreak;
    return run;
}
#endif

// The line at the cursor, read into `line`, when it is `text` itself (in
// these capitals) ended by CR LF or LF, with as much text after its start as
// ordinary lines need: the BEGIN and END lines most writers write, which
// need no more reading than that.
bool CardScanner::exactLine(std::string_view text, Line &line) {
    const size_t at = cursor_.offset();
    const char *s = text_ + at;
    if (end_ - s < 64 || std::memcmp(s, text.data(), text.size()) != 0) return false;
    const char *after = s + text.size();
    const size_t breakLength = after[0] == '\n' ? 1 : after[0] == '\r' && after[1] == '\n' ? 2 : 0;
    if (breakLength == 0) return false;
    line.text = std::string_view(s, text.size());
    line.number = cursor_.number();
    line.start = at;
    line.end = at + text.size() + breakLength;
    line.nul = false;
    line.eightBit = false;
    cursor_.passed(line.end);
    return true;
}

bool CardScanner::findBegin(Reporter &report, Line &begin) {
    if (exactLine("BEGIN:VCARD", begin)) return true;
    uint64_t firstJunk = 0;
    uint64_t junk = 0;
    auto passedOver = [&] {
        if (junk == 0) return;
        report(firstJunk, VI_REPORT_NOTE, "passed over %llu line%s of text outside any card",
               static_cast<unsigned long long>(junk), junk == 1 ? "" : "s");
        junkLines_ += junk;
    };
    Line line;
    while (nextLine(cursor_, line)) {
        // The card starts at its BEGIN: the strict reader takes no line
        // that starts with a blank (a file joined to one that ends in a
        // blank leaves one there) for one.
        std::string_view text = line.text;
        for (;;) {
            if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark)
                text.remove_prefix(kByteOrderMark.size());
            else if (!text.empty() && ascii::isBlank(text.front()))
                text.remove_prefix(1);
            else
                break;
        }
        if (opensCard(line.text)) {
            passedOver();
            begin = line;
            begin.start += static_cast<size_t>(text.data() - line.text.data());
            begin.text = text;
            return true;
        }
        if (text.find_first_not_of(std::string_view(" \t\0", 3)) == kNone) continue;
        if (junk++ == 0) firstJunk = line.number;
    }
    passedOver();
    return false;
}

CardScanner::Step CardScanner::next(VCardContext *context, Reporter &report, CardText &card) {
    const Mark saved = mark();
    Line begin;
    if (!findBegin(report, begin)) return Step::End;
    copying_ = false;
    cardStart_ = begin.start;
    card.firstLine = begin.number;
    card.at = begin.start;
    breaks_.clear();
    joins_.clear();
    breaksKnown_ = true;
    noteBreak(begin);

    vcal::TextBuffer scratch;    // one line's repaired form
    vcal::TextBuffer parameters; // a property's name and parameters, rewritten
    bool ok = true;
    if (const auto nuls = begin.nul ? std::count(begin.text.begin(), begin.text.end(), '\0') : 0;
        nuls > 0) {
        copying_ = true;
        repaired_.length = 0;
        breaks_.clear();
        ok = put("BEGIN:VCARD") && endLine();
        report(begin.number, VI_REPORT_REPAIRED, "removed %llu NUL byte%s",
               static_cast<unsigned long long>(nuls), nuls == 1 ? "" : "s");
    }
    // Writes a line: as it stands (nothing to do while the card is used in
    // place), or rebuilt from pieces.
    auto keep = [&](const Line &line) {
        if (copying_) ok = ok && putLine(line.text);
    };
    auto rebuild = [&](const Line &line, std::initializer_list<std::string_view> pieces) {
        ok = ok && copyUpTo(line.start);
        for (std::string_view piece : pieces)
            ok = ok && put(piece);
        ok = ok && endLine();
    };
    // Joins the line to the one before it, as a blank after the break
    // between them would: the parse is told so (CardText::joins), and the
    // line is written as it stands, or as `text` when that differs. Where
    // no break stands right before the line (it was cut from a longer
    // one), the blank is written.
    auto join = [&](const Line &line, std::string_view text, bool changed) {
        const char *base = copying_ ? repaired_.text : text_ + cardStart_;
        size_t at = copying_ ? repaired_.length : line.start - cardStart_;
        if (changed && !copying_) {
            ok = ok && copyUpTo(line.start);
            base = repaired_.text;
            at = repaired_.length;
        }
        if (!ok) return;
        const size_t joinAt = breakBefore(base, at);
        if (joinAt == kNone) {
            rebuild(line, {" ", text});
            return;
        }
        ok = joins_.push(joinAt);
        if (changed || copying_) rebuild(line, {text});
    };
    // The text with its quoted-printable faults mended, in scratch.
    auto mended = [&](std::string_view text) {
        scratch.length = 0;
        size_t run = 0; // start of the text not yet appended
        for (size_t i = text.find('='); ok && i != kNone && i + 1 < text.size();
             i = text.find('=', i + 1)) {
            char escape[3] = {'=', '3', 'D'};
            size_t consumed = 1;
            if (i + 2 < text.size() && isHex(text[i + 1]) && isHex(text[i + 2])) {
                escape[1] = ascii::upper(text[i + 1]);
                escape[2] = ascii::upper(text[i + 2]);
                consumed = 3;
            }
            const std::string_view pieces[2] = {text.substr(run, i - run),
                                                std::string_view(escape, 3)};
            ok = scratch.append(pieces, 2);
            run = i + consumed;
            i += consumed - 1;
        }
        const std::string_view tail = text.substr(run);
        ok = ok && scratch.append(&tail, 1);
        return ok ? std::string_view(scratch.text != nullptr ? scratch.text : "", scratch.length)
                  : std::string_view();
    };
    auto reportQuotedPrintable = [&](const Line &line, QuotedPrintableFaults f) {
        if (f.lowerCase)
            report(line.number, VI_REPORT_REPAIRED,
                   "read quoted-printable escapes written in lower case");
        if (f.looseEquals)
            report(line.number, VI_REPORT_REPAIRED,
                   "read an \"=\" that starts no quoted-printable escape as a plain \"=\"");
    };

    int depth = 1;
    Encoding encoding = Encoding::Plain;
    bool softBreak = false;    // the value so far ends in a quoted-printable soft break
    bool agentIsEmpty = false; // the last property is AGENT without a value
    bool base64Joined = false; // already reported for this property
    bool afterKeyword = true;  // the last line kept is a BEGIN or END line
    bool ended = false;
    bool nextCardFound = false;
    bool eightBit = false; // a value may hold 8-bit text once read
    size_t cardEnd = 0;
    vcal::TextBuffer withoutNul;
    Line line;
    // A line after a soft break, not indented, that starts no property
    // the context knows: it continues the value.
    auto joinSoftBreak = [&](const Line &line, std::string_view text, bool changed) {
        report(line.number, VI_REPORT_REPAIRED, "%s", kJoinedSoftBreak);
        const QuotedPrintableFaults f = quotedPrintableFaults(text);
        eightBit = eightBit || f.highByte;
        if (f.any()) reportQuotedPrintable(line, f);
        join(line, f.any() ? mended(text) : text, changed || f.any());
        softBreak = text.back() == '=';
    };
    // What a BEGIN or END line (kept) leaves; true when it ends the card.
    auto keywordLine = [&](bool begins, const Line &line) {
        encoding = Encoding::Plain;
        softBreak = agentIsEmpty = false;
        afterKeyword = true;
        depth += begins ? 1 : -1;
        if (depth > 0) return false;
        ended = true;
        cardEnd = line.end;
        return true;
    };
    while (ok) {
        const Run run = ordinaryRun(afterKeyword, encoding == Encoding::QuotedPrintable, softBreak,
                                    report, line);
        eightBit |= run.eightBit;
        softBreak = run.softBreak;
        if (run.property) {
            afterKeyword = false;
            encoding = run.quotedPrintable ? Encoding::QuotedPrintable : Encoding::Plain;
            agentIsEmpty = base64Joined = false;
        }
        if (!run.ok) {
            ok = false;
            break;
        }
        if (run.joined) {
            noteBreak(line);
            joinSoftBreak(line, line.text, false);
            continue;
        }
        // (The line after a run is no ordinary line. Most are the card's
        // END as writers put it, which is kept as it stands; the long way
        // reads the others.)
        if (exactLine("END:VCARD", line)) {
            noteBreak(line);
            keep(line);
            if (keywordLine(false, line)) break;
            continue;
        }
        if (!nextLine(cursor_, line)) break;
        noteBreak(line);
        eightBit |= line.eightBit;
        std::string_view text = line.text;
        bool changed = false;
        size_t nuls = 0;
        if (line.nul) {
            withoutNul.length = 0;
            for (size_t at = 0; at < text.size() && ok;) {
                size_t stop = text.find('\0', at);
                if (stop == kNone) stop = text.size();
                const std::string_view piece = text.substr(at, stop - at);
                ok = withoutNul.append(&piece, 1);
                nuls += stop < text.size() ? 1 : 0;
                at = stop + 1;
            }
            if (!ok) break;
            text = std::string_view(withoutNul.text, withoutNul.length);
            changed = true;
        }
        // (Only a line that starts with "B", or a byte-order mark, can
        // open a card: most lines are passed without a look further.)
        if (!agentIsEmpty && !text.empty() &&
            either(foldCase(text.front()) == 'b', text.front() == kByteOrderMark[0]) &&
            opensCard(text)) {
            // The next card's BEGIN: its lines (and their repairs) are that
            // card's.
            cursor_.rewind(line);
            nextCardFound = true;
            report(card.firstLine, VI_REPORT_REPAIRED,
                   "the card has no END:VCARD before the next card on line %llu; read as "
                   "ending there",
                   static_cast<unsigned long long>(line.number));
            break;
        }
        if (nuls > 0)
            report(line.number, VI_REPORT_REPAIRED, "removed %llu NUL byte%s",
                   static_cast<unsigned long long>(nuls), nuls == 1 ? "" : "s");
        // Writes the line as it now stands.
        auto keepText = [&] {
            if (changed)
                rebuild(line, {text});
            else
                keep(line);
        };
        if (text.empty() || isSpaceOrTab(text.front())) {
            // A blank line keeps a soft break open: some writers put one
            // between the pieces of a value.
            const bool blank = isBlankLine(text);
            if (afterKeyword && !text.empty()) {
                // Indented text after BEGIN or END continues no property:
                // the strict reader would add it to the component's name.
                if (!blank)
                    report(line.number, VI_REPORT_LOST,
                           "dropped an indented line that continues no property");
                ok = copyUpTo(line.start);
                continue;
            }
            if (!blank && encoding == Encoding::QuotedPrintable) {
                const QuotedPrintableFaults f = quotedPrintableFaults(text);
                eightBit = eightBit || f.highByte;
                softBreak = text.back() == '=';
                if (f.any()) {
                    reportQuotedPrintable(line, f);
                    rebuild(line, {mended(text)});
                    continue;
                }
            }
            keepText();
            continue;
        }
        std::string_view name;
        Parameters p;
        const bool shaped =
            propertyHead(text, changed ? text.data() + text.size() : end_, &name, &p);
        // The strict reader takes any line named BEGIN or END, parameters
        // or not, for one, and the first value after BEGIN for the name.
        // (Length and first letter together turn away nearly every name
        // at once: a test that stops at the length alone guesses wrong on
        // most lines, as names of every length follow each other.)
        const char lead = shaped ? foldCase(name.front()) : '\0';
        const bool ungrouped = shaped && name.data() == text.data();
        const bool begins =
            ungrouped && both(name.size() == 5, lead == 'b') && sameWord(name, "BEGIN");
        if (begins || (ungrouped && both(name.size() == 3, lead == 'e') && sameWord(name, "END"))) {
            const size_t colon = p.colon;
            // The strict reader names the component with the whole value
            // (commas and semicolons do not split it there): what follows
            // the name's own letters goes, or a name no writer can write
            // back would stand in the tree.
            const std::string_view value = trimmed(text.substr(colon + 1));
            size_t nameLength = 0;
            while (nameLength < value.size() &&
                   (ascii::isAlnum(value[nameLength]) || value[nameLength] == '-'))
                ++nameLength;
            const std::string_view component = value.substr(0, nameLength);
            if (begins && component.empty()) {
                report(line.number, VI_REPORT_LOST,
                       "dropped a BEGIN line without a component name");
                ok = copyUpTo(line.start);
                continue;
            }
            if (nameLength < value.size()) {
                report(line.number, begins ? VI_REPORT_LOST : VI_REPORT_REPAIRED,
                       "read \"%.*s\" as %s:%.*s", static_cast<int>(colon), text.data(),
                       begins ? "BEGIN" : "END", static_cast<int>(component.size()),
                       component.data());
                rebuild(line, {begins ? "BEGIN:" : "END:", component});
            } else if (p.head != colon) {
                report(line.number, VI_REPORT_REPAIRED, "read \"%.*s\" without its parameters",
                       static_cast<int>(colon), text.data());
                rebuild(line, {begins ? "BEGIN:" : "END:", component});
            } else {
                keepText();
            }
            if (keywordLine(begins, line)) break;
            continue;
        }
        if (softBreak && !(shaped && isKnownName(context, name))) {
            joinSoftBreak(line, text, changed);
            continue;
        }
        if (encoding == Encoding::Base64 && !shaped && isBase64Data(text)) {
            if (!base64Joined)
                report(line.number, VI_REPORT_REPAIRED,
                       "joined base64 data that was not indented with the value before it");
            base64Joined = true;
            join(line, text, changed);
            continue;
        }
        if (!shaped) {
            const size_t shown = text.size() < 40 ? text.size() : 40;
            report(line.number, VI_REPORT_LOST, "dropped a line that is no property: \"%.*s%s\"",
                   static_cast<int>(shown), text.data(), text.size() > shown ? "..." : "");
            ok = copyUpTo(line.start);
            continue;
        }
        afterKeyword = false;
        encoding = p.encoding;
        softBreak = both(encoding == Encoding::QuotedPrintable, text.back() == '=');
        base64Joined = false;
        const std::string_view value = p.colon != kNone ? text.substr(p.colon + 1) : "";
        agentIsEmpty =
            both(name.size() == 5, lead == 'a') && sameWord(name, "AGENT") && isBlankLine(value);
        const QuotedPrintableFaults f = encoding == Encoding::QuotedPrintable
                                            ? quotedPrintableFaults(value)
                                            : QuotedPrintableFaults{};
        eightBit |= f.highByte;
        if (either(p.colon == kNone, both(!p.rewrite, !f.any()))) {
            keepText();
            continue;
        }
        if (f.any()) reportQuotedPrintable(line, f);
        const std::string_view body = f.any() ? mended(value) : value;
        if (!p.rewrite) {
            rebuild(line, {text.substr(0, p.colon + 1), body});
            continue;
        }
        // The name, then each parameter as the strict reader wants it.
        parameters.length = 0;
        const size_t nameEnd = p.head;
        std::string_view piece = text.substr(0, nameEnd);
        ok = ok && parameters.append(&piece, 1);
        walkParameters(text, nameEnd, [&](std::string_view item) {
            const std::string_view pieces[2] = {";", item};
            ok = ok && parameters.append(pieces, 2);
        });
        report(line.number, VI_REPORT_REPAIRED, "wrote the parameters \"%.*s\" as \"%.*s\"",
               static_cast<int>(p.colon - nameEnd), text.data() + nameEnd,
               static_cast<int>(parameters.length - nameEnd), parameters.text + nameEnd);
        rebuild(line, {std::string_view(parameters.text, parameters.length), ":", body});
    }
    if (ok && !ended) {
        // Cut short: by the next card (which stays unread) or by the end.
        ok = copyUpTo(nextCardFound ? line.start : cursor_.offset());
        if (ok && softBreak && !nextCardFound) {
            // The last value ends in "=": nothing follows to continue it.
            while (repaired_.length > 0 && (repaired_.text[repaired_.length - 1] == '\r' ||
                                            repaired_.text[repaired_.length - 1] == '\n'))
                --repaired_.length;
            if (repaired_.length > 0 && repaired_.text[repaired_.length - 1] == '=')
                --repaired_.length;
            breaks_.truncate(repaired_.length);
            ok = endLine();
            report(line.number, VI_REPORT_REPAIRED,
                   "dropped the soft line break \"=\" that ends the text");
        }
        if (!nextCardFound)
            report(card.firstLine, VI_REPORT_REPAIRED,
                   "the card has no END:VCARD; kept what the text holds of it");
        if (ok && repaired_.length > 0 && repaired_.text[repaired_.length - 1] != '\n')
            ok = endLine();
        for (; ok && depth > 0; --depth)
            ok = put("END:VCARD") && endLine();
    }
    // The strict reader scans its last line up to a line break or a NUL,
    // past the count it is given. A card whose END shares its line with
    // the next card is handed out in a copy, which ends in a NUL; one that
    // ends the caller's text (which need not have a NUL) is given to the
    // import without its last break (see CardText).
    const bool endsInBreak =
        cardEnd > cardStart_ && (text_[cardEnd - 1] == '\n' || text_[cardEnd - 1] == '\r');
    if (ok && ended && !endsInBreak) ok = copyUpTo(cardEnd);
    size_t lastBreak = 0;
    if (ended && endsInBreak && cursor_.atEnd() && !copying_)
        lastBreak =
            cardEnd - cardStart_ >= 2 && text_[cardEnd - 1] == '\n' && text_[cardEnd - 2] == '\r'
                ? 2
                : 1;
    if (!ok) {
        reset(saved);
        return Step::NoMemory;
    }
    card.eightBit = eightBit;
    card.breaks = nullptr;
    card.breakCount = 0;
    if (copying_) {
        card.text = repaired_.text;
        card.length = repaired_.length;
    } else {
        card.text = text_ + cardStart_;
        card.length = cardEnd - cardStart_;
    }
    card.importLength = card.length - lastBreak;
    if (breaksKnown_) {
        card.breaks = breaks_.data();
        card.breakCount = breaks_.size();
    }
    card.joins = joins_.data();
    card.joinCount = joins_.size();
    // The next card's lines, while this one is imported (most cards are
    // shorter than this), each asked for once. It pays where memory is
    // slow to answer, as when other work shares it; after a card of a few
    // lines the requests cost more than they save.
    const size_t ahead =
        std::min(cursor_.offset() + kPrefetchAhead, static_cast<size_t>(end_ - text_));
    if (card.length >= kPrefetchAfter && ahead > prefetched_) {
        platform::prefetchText(text_ + std::max(prefetched_, cursor_.offset()), text_ + ahead);
        prefetched_ = ahead;
    }
    return Step::Card;
}

} // namespace interop
