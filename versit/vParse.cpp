// The text parser: versit text (content lines between BEGIN and END) into a
// component tree. It only splits, unfolds, decodes and links; every type
// code stays at its not-identified value for the layers above to settle.
//
// Decisions this file settles:
// - Running out of memory ends the parse at once and hands out nothing: the
//   tree built so far is released, the result is VLIB_ERR_NO_MEMORY, and
//   the remaining count and rest pointer say that nothing was read, so the
//   same call can be tried again. A half tree returned with that code would
//   look like a card that simply lacks properties. (The one exception is
//   the decoding of a value: the decoders fail only for want of memory, and
//   such a failure is the value's decoding failure, reported with the
//   running codes VLIB_ERR_BAD_QUOTED_PRINTABLE or VLIB_ERR_BAD_BASE64_VALUE
//   while parsing goes on.)
// - A logical line that is empty once unfolded (a lone "=" before a line
//   break leaves nothing) is the only line that yields no property: as the
//   first line it gives VLIB_ERR_NO_NAME, inside a component
//   VLIB_ERR_LINE_WITHOUT_NAME. A line with an empty name before its colon
//   still yields a property, named "".
// - Nesting is followed without recursion, but no deeper than kMaxDepth
//   components: a BEGIN below that is a nested component that cannot be
//   built. The running result becomes VLIB_ERR_NESTED_COMPONENT and the
//   lines up to its matching END are passed over, so the text that follows
//   is read as it would be had the component been built. Real cards and
//   calendars nest three or four deep; the bound keeps every recursive walk
//   over a parsed tree (copies, checks in the layers above) within any
//   thread's stack, whatever the text.
// - A parameter written as a name and "=" with nothing after it has no
//   value (VLIB_ERR_EMPTY_PARAMETER); a property line ending in its colon
//   has one empty value, so it is written back with its colon.
// - Unescaping leaves a backslash at the very end of a value as it is, and
//   sets dataSize to the unescaped text's length plus one.
// - Names keep their backslashes: a backslash only stops the character
//   after it from ending the name.
#include "versit/vParse.h"

#include <cstdlib>
#include <cstring>
#include <string_view>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/ascii.h"
#include "platform/calapi.h"
#include "platform/copy.h"
#include "versit/encoding.h"
#include "versit/vMemory.h"
#include "versit/vRecords.h"

namespace {

constexpr int32_t kMaxDepth = 100;

// Value-splitting modes.
constexpr int32_t kModeTrim = 0x01;
constexpr int32_t kModeKeepColons = 0x02;
constexpr int32_t kModeQuotedPrintable = 0x10;
constexpr int32_t kModeBase64 = 0x20;

constexpr int32_t kNoDecode = VLIB_PARSE_NO_DECODE;
constexpr int32_t kOnePropertyPerValue = VLIB_PARSE_SPLIT_VALUES;
constexpr int32_t kNoCommaSplit = VLIB_PARSE_NO_COMMA_SPLIT;
constexpr int32_t kKeepRules = VLIB_PARSE_KEEP_RULES;

using ascii::isBlank;
using ascii::isBreak;

// The bytes at which a scan stops: the NUL that ends every text and up to
// five others. Names, parameters and most values are a few bytes each, too
// short for strcspn to earn back what it spends on setting up each call;
// a photo's value is thousands.
struct Stops {
    bool at[256] = {};
    // Each byte sixteen times over, ready to be compared with a block.
    alignas(16) char bytes[5][16] = {};
    constexpr explicit Stops(const char *list) {
        at[0] = true;
        for (auto &row : bytes) {
            const char b = *list != '\0' ? *list++ : '\0'; // the NUL again when fewer
            for (char &c : row)
                c = b;
            at[static_cast<unsigned char>(b)] = true;
        }
    }
};
constexpr Stops kNameStops(":;\\");
constexpr Stops kItemStops(":;=\\");
// Indexed by [a comma ends a value][a colon or semicolon ends a value].
constexpr Stops kValueStops[2][2] = {
    {Stops("\"\\"), Stops("\"\\:;")},
    {Stops("\"\\,"), Stops("\"\\,:;")},
};

// Index of the first byte from `i` on that is in `stops`. `end`: the first
// byte that may not be read, at the earliest the one after the text's NUL.
// A line of the reader has zeros after its NUL (kLinePad), so that its
// last bytes too are looked at sixteen at a time.
size_t spanTo(const char *text, size_t i, const char *end, const Stops &stops) {
    const auto *bytes = reinterpret_cast<const unsigned char *>(text);
#if defined(__SSE2__)
    if (end - (text + i) >= 16) {
        const __m128i nul = _mm_setzero_si128();
        const auto row = [&](int n) {
            return _mm_load_si128(reinterpret_cast<const __m128i *>(stops.bytes[n]));
        };
        const __m128i b0 = row(0);
        const __m128i b1 = row(1);
        const __m128i b2 = row(2);
        const __m128i b3 = row(3);
        const __m128i b4 = row(4);
        do {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + i));
            const __m128i hit = _mm_or_si128(
                _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, nul), _mm_cmpeq_epi8(v, b0)),
                             _mm_or_si128(_mm_cmpeq_epi8(v, b1), _mm_cmpeq_epi8(v, b2))),
                _mm_or_si128(_mm_cmpeq_epi8(v, b3), _mm_cmpeq_epi8(v, b4)));
            const int mask = _mm_movemask_epi8(hit);
            if (mask != 0)
                return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
            i += 16;
        } while (end - (text + i) >= 16);
    }
#else
    (void)end;
#endif
    while (!stops.at[bytes[i]])
        ++i;
    return i;
}

// As spanTo, a backslash making the byte after it ordinary.
size_t scanTo(const char *text, size_t i, const char *end, const Stops &stops) {
    for (;;) {
        i = spanTo(text, i, end, stops);
        if (text[i] != '\\') return i;
        i += text[i + 1] != '\0' ? 2 : 1;
    }
}

// `word` in capitals. Most names differ from it in their first letter,
// which is looked at before the call.
bool nameIs(const char *name, const char *word) {
    return ascii::upper(name[0]) == word[0] && calapi::strcasecmp(name, word) == 0;
}

bool isRuleName(const char *name) { return nameIs(name, "RRULE") || nameIs(name, "EXRULE"); }

// ------------------------------------------------------------------------
// Values

// A value record taking over `data`, which holds dataSize bytes and a NUL
// after them; `data` is released when the record cannot be had. (Both
// marked inline: every value passes here, and without the hint the
// compiler keeps them out of line.)
inline vValue *adoptValue(char *data, size_t dataSize, int32_t encoding) {
    auto *value = static_cast<vValue *>(vmem::allocateRecord(vmem::Record::Value, sizeof(vValue)));
    if (value == nullptr) {
        vmem::release(data);
        vrec::logNoCore("VLIB_new_vValue()");
        return nullptr;
    }
    value->data = data;
    value->dataType = VLIB_DATATYPE_UNRESOLVED;
    value->encoding = encoding;
    value->dataSize = static_cast<int32_t>(dataSize);
    value->next = nullptr;
    return value;
}

// Text as a value made from a string: dataSize counts the text's NUL, and
// the record's extra NUL follows that.
inline vValue *newTextValue(const char *text, size_t length) {
    auto *data = static_cast<char *>(vmem::allocate(length + 2));
    if (data == nullptr) {
        vrec::logNoCore("VLIB_new_vValue()");
        return nullptr;
    }
    platform::copyBytes(data, text, length);
    data[length] = '\0';
    data[length + 1] = '\0';
    return adoptValue(data, length + 1, 0);
}

// Quotes dropped, \n and \N made CR LF, any other escaped character kept
// without its backslash.
void unescape(vValue *value) {
    char *text = value->data;
    const size_t length = std::strlen(text);
    size_t w = 0;
    for (size_t r = 0; r < length; ++r) {
        const char c = text[r];
        if (c == '"') continue;
        if (c == '\\' && r + 1 < length) {
            const char escaped = text[++r];
            if (escaped == 'n' || escaped == 'N') {
                text[w++] = '\r';
                text[w++] = '\n';
            } else {
                text[w++] = escaped;
            }
            continue;
        }
        text[w++] = c;
    }
    text[w] = '\0';
    text[w + 1] = '\0'; // within the buffer: w is at most the old length
    value->dataSize = static_cast<int32_t>(w + 1);
    value->encoding = VLIB_ENCODING_UNESCAPED;
}

struct ValueChain {
    vValue *head = nullptr;
    vValue **link = &head;
    void append(vValue *value) {
        *link = value;
        link = &value->next;
    }
};

// What a value's text becomes: decoded as the mode asks, or kept.
enum class ValueForm { Text, QuotedPrintable, Base64 };

ValueForm valueForm(int32_t mode, int32_t flags) {
    if ((flags & kNoDecode) != 0) return ValueForm::Text;
    if ((mode & kModeQuotedPrintable) != 0) return ValueForm::QuotedPrintable;
    if ((mode & kModeBase64) != 0) return ValueForm::Base64;
    return ValueForm::Text;
}

// The bytes the block of a value of `length` characters is given.
size_t valueCapacity(ValueForm form, size_t length) {
    return form == ValueForm::Base64 ? venc::base64DecodeCapacity(length) : length + 2;
}

// Writes the value of `raw` into `out` (valueCapacity bytes), which may be
// `raw` itself or lie before it: the decoders read each character before
// they write what comes of it, and never write more than they have read.
// Returns the value's dataSize; texts count their NUL, and a second NUL
// follows. Characters outside the BASE64 alphabet are skipped; what
// decodes is kept.
size_t writeValue(ValueForm form, const char *raw, size_t length, char *out) {
    switch (form) {
    case ValueForm::QuotedPrintable: {
        const size_t size = venc::qpDecode(raw, length, out) + 1;
        out[size] = '\0';
        return size;
    }
    case ValueForm::Base64: {
        bool skipped = false;
        return venc::base64Decode(raw, length, reinterpret_cast<unsigned char *>(out), &skipped);
    }
    case ValueForm::Text:
        break;
    }
    std::memmove(out, raw, length);
    out[length] = '\0';
    out[length + 1] = '\0';
    return length + 1;
}

constexpr int32_t encodingOf(ValueForm form) {
    return form == ValueForm::QuotedPrintable ? VLIB_ENCODING_QUOTED_PRINTABLE
           : form == ValueForm::Base64        ? VLIB_ENCODING_BASE64
                                              : 0;
}

// One value's text decoded as the mode asks. Null with `code` set: a
// decoding failure (the split ends) or VLIB_ERR_NO_MEMORY (the parse ends).
vValue *makeValue(const char *raw, size_t length, int32_t mode, int32_t flags, int32_t *code) {
    const ValueForm form = valueForm(mode, flags);
    if (form == ValueForm::Text) {
        vValue *value = newTextValue(raw, length); // most values: the copy kept short
        if (value == nullptr) *code = VLIB_ERR_NO_MEMORY;
        return value;
    }
    auto *data = static_cast<char *>(vmem::allocate(valueCapacity(form, length)));
    if (data == nullptr) {
        // The decoders fail only for want of memory: that is the value's
        // decoding failure, and the parse goes on.
        const bool qp = form == ValueForm::QuotedPrintable;
        vrec::logNoCore(qp ? "VLIB_convertFromQuotedPrintable()" : "VLIB_convertToBase64()");
        *code = qp ? VLIB_ERR_BAD_QUOTED_PRINTABLE : VLIB_ERR_BAD_BASE64_VALUE;
        return nullptr;
    }
    vValue *value = adoptValue(data, writeValue(form, raw, length, data), encodingOf(form));
    if (value == nullptr) *code = VLIB_ERR_NO_MEMORY;
    return value;
}

// SplitValues: the values of `text` (NUL-terminated; `textEnd` as `end` of
// spanTo) in text order, into `values`; `used` gets the index of the
// delimiter that ended the last value. Returns 0, a decoding failure (the
// values before it are kept) or VLIB_ERR_NO_MEMORY.
int32_t SplitValues(const char *text, const char *textEnd, int32_t mode, int32_t flags,
                    ValueChain &values, size_t *used) {
    const Stops &stops = kValueStops[(flags & kNoCommaSplit) == 0][(mode & kModeKeepColons) == 0];
    bool quoted = false; // a quote has been seen: this value and all later are unescaped
    bool first = true;
    size_t i = 0;
    int32_t code = 0;
    for (;;) {
        while (isBlank(text[i]))
            ++i;
        const size_t start = i;
        bool inQuotes = false;
        for (;;) {
            i = spanTo(text, i, textEnd, stops);
            const char c = text[i];
            if (c == '\0') break;
            if (c == '"') {
                inQuotes = !inQuotes;
                quoted = true;
                ++i;
            } else if (c == '\\') {
                i += text[i + 1] != '\0' ? 2 : 1;
            } else if (inQuotes) {
                ++i;
            } else {
                break; // a delimiter
            }
        }
        size_t end = i;
        if ((mode & kModeTrim) != 0) {
            while (end > start && isBlank(text[end - 1]))
                --end;
            // "X=" names a parameter without giving it a value.
            if (first && end == start && text[i] != ',') break;
        }
        vValue *value = makeValue(text + start, end - start, mode, flags, &code);
        if (value == nullptr) break;
        if (quoted && value->encoding == 0) unescape(value);
        values.append(value);
        if (text[i] != ',') break;
        ++i;
        first = false;
    }
    *used = i;
    return code;
}

// ------------------------------------------------------------------------
// Parameters

void trim(const char *text, size_t *begin, size_t *end) {
    while (*begin < *end && isBlank(text[*begin]))
        ++*begin;
    while (*end > *begin && isBlank(text[*end - 1]))
        --*end;
}

bool isEncodingName(const char *name, size_t length) {
    constexpr std::string_view kName = "ENCODING";
    if (length != kName.size()) return false;
    for (size_t i = 0; i < length; ++i) {
        if (ascii::upper(name[i]) != kName[i]) return false;
    }
    return true;
}

// The items of `text` (`textEnd` as `end` of spanTo) up to the first
// delimiter that is not a semicolon, each put at the head of `list`. False
// when memory runs out (the list is then released). `encoding`, when
// asked for, gets the parameter named ENCODING that the list holds first
// (the last in the text), or null: the property's encoding is known
// without a search of the list.
bool parseParameters(char *text, const char *textEnd, int32_t flags, vParameter **list,
                     size_t *consumed, int32_t *running, const vParameter **encoding = nullptr) {
    vrec::ChainGuard<vParameter> built(nullptr);
    size_t i = 0;
    while (text[i] != '\0') {
        const size_t itemStart = i;
        i = scanTo(text, i, textEnd, kItemStops);
        size_t begin = itemStart;
        size_t end = i;
        trim(text, &begin, &end);
        vParameter *parameter = nullptr;
        if (text[i] == '=') {
            parameter = vrec::newParameter(VLIB_PARAMETER_NAMED, text + begin, end - begin, nullptr,
                                           nullptr);
            if (parameter == nullptr) return false;
            parameter->next = built.release();
            built.reset(parameter);
            if (encoding != nullptr && isEncodingName(text + begin, end - begin))
                *encoding = parameter;
            ValueChain values;
            size_t used = 0;
            const int32_t code =
                SplitValues(text + i + 1, textEnd, kModeTrim, flags, values, &used);
            parameter->valueList = values.head;
            if (code == VLIB_ERR_NO_MEMORY) return false;
            if (values.head == nullptr) *running = VLIB_ERR_EMPTY_PARAMETER;
            i += 1 + used;
        } else {
            vValue *word = newTextValue(text + begin, end - begin);
            if (word == nullptr) return false;
            parameter = vrec::newParameter(VLIB_PARAMETER_BARE, "", 0, word, nullptr);
            if (parameter == nullptr) {
                vrec::releaseChain(word);
                return false;
            }
            parameter->next = built.release();
            built.reset(parameter);
        }
        if (text[i] != ';') break;
        ++i;
    }
    *consumed = i;
    *list = built.release();
    return true;
}

// ------------------------------------------------------------------------
// Lines

// Zeros kept after a line's NUL, read but never used by the scans.
constexpr size_t kLinePad = 16;

// Where a content line's name ends: `delimiter` at the colon, semicolon or
// NUL that ended it, `end` after its last character that is not a blank.
struct NameSpan {
    size_t end;
    size_t delimiter;
};

NameSpan scanName(const char *line, const char *lineEnd) {
    const size_t delimiter = scanTo(line, 0, lineEnd, kNameStops);
    size_t end = delimiter;
    while (end > 0 && isBlank(line[end - 1]))
        --end;
    return {end, delimiter};
}

// The cursor over the caller's text: never past its NUL, never past the
// count the caller allowed.
struct Input {
    const char *at;
    int32_t remaining;
};

enum class Read { Line, End, NoMemory };

// ReadLogicalLine, into one buffer that lives as long as the parse and
// grows as lines need: one allocation per parse rather than per line.
class LineReader {
  public:
    explicit LineReader(const vparse::KnownBreaks *breaks) : breaks_(breaks) {}
    LineReader(const LineReader &) = delete;
    LineReader &operator=(const LineReader &) = delete;
    ~LineReader() { std::free(buffer_); }

    Read ReadLogicalLine(Input &in);
    char *line() const { return buffer_; }
    size_t length() const { return length_; }
    // The buffer, handed over with the line in it; the next line gets a
    // new one.
    char *takeBuffer() {
        char *buffer = buffer_;
        buffer_ = nullptr;
        capacity_ = 0;
        length_ = 0;
        return buffer;
    }
    // The first byte past the zeros that follow the line's NUL.
    const char *end() const { return buffer_ + length_ + 1 + kLinePad; }

  private:
    bool reserve(size_t size);
    void unfold(const char *begin, const char *end, size_t firstBreak);
    const char *knownBreak(const char *p, size_t &index) const;
    bool joined(const char *lineBreak);
    const char *findBreak(const char *p, const char *limit, size_t &index) const;

    const vparse::KnownBreaks *breaks_;
    size_t nextBreak_ = 0; // the first known break not passed yet
    size_t nextJoin_ = 0;  // the first joined break not passed yet
    char *buffer_ = nullptr;
    size_t capacity_ = 0;
    size_t length_ = 0;
};

bool LineReader::reserve(size_t size) {
    size += kLinePad;
    if (buffer_ != nullptr && size <= capacity_) return true;
    size_t capacity = capacity_ < 1024 ? 1024 : capacity_;
    while (capacity < size)
        capacity *= 2;
    void *grown = std::realloc(buffer_, capacity);
    if (grown == nullptr) return false;
    buffer_ = static_cast<char *>(grown);
    capacity_ = capacity;
    return true;
}

// The first line break from p on (p is never the LF of a CR LF pair) as
// the caller's list has it, or null where the list does not reach. `index`
// is where in the list to look from; it moves on past the breaks before p.
const char *LineReader::knownBreak(const char *p, size_t &index) const {
    if (breaks_ == nullptr) return nullptr;
    const auto at = static_cast<size_t>(p - breaks_->text);
    while (index < breaks_->count && breaks_->offsets[index] < at)
        ++index;
    return index < breaks_->count ? breaks_->text + breaks_->offsets[index] : nullptr;
}

// Whether the caller joins the line after the break at `lineBreak` to
// the line before it. Breaks are asked for in ascending order.
bool LineReader::joined(const char *lineBreak) {
    if (breaks_ == nullptr || nextJoin_ >= breaks_->joinCount) return false;
    const auto at = static_cast<size_t>(lineBreak - breaks_->text);
    while (nextJoin_ < breaks_->joinCount && breaks_->joins[nextJoin_] < at)
        ++nextJoin_;
    return nextJoin_ < breaks_->joinCount && breaks_->joins[nextJoin_] == at;
}

// The first CR or LF in [p, limit), or NUL when `kNul`; else `limit`.
template <bool kNul> const char *breakIn(const char *p, const char *limit) {
#if defined(__SSE2__)
    // Sixteen bytes at a time while none of them ends the line: a line is
    // some forty bytes, a card's photo thousands.
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i nul = kNul ? _mm_setzero_si128() : cr;
    while (limit - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i ends = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)), _mm_cmpeq_epi8(v, nul));
        const int mask = _mm_movemask_epi8(ends);
        if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
        p += 16;
    }
#endif
    while (p < limit && !isBreak(*p) && !(kNul && *p == '\0'))
        ++p;
    return p;
}

// The first CR, LF or NUL from p on, or `limit` when there is none before
// it.
const char *LineReader::findBreak(const char *p, const char *limit, size_t &index) const {
    const char *known = knownBreak(p, index);
    return known != nullptr ? known : breakIn<true>(p, limit);
}

Read LineReader::ReadLogicalLine(Input &in) {
    const char *const begin = in.at;
    const char *p = begin;
    const char *const limit = begin + (in.remaining > 0 ? in.remaining : 0);
    while (p < limit && (isBlank(*p) || isBreak(*p)))
        ++p;
    if (p >= limit || *p == '\0') {
        in.remaining -= static_cast<int32_t>(p - begin);
        in.at = p;
        return Read::End;
    }
    const char *const contentStart = p;
    const char *contentEnd = nullptr;
    bool folded = false;
    const size_t firstBreak = nextBreak_;
    for (;;) {
        p = findBreak(p, limit, nextBreak_);
        if (p >= limit || *p == '\0') {
            if (p > limit) p = limit;
            contentEnd = p;
            break;
        }
        const char *const lineBreak = p++;
        if (*lineBreak == '\r' && p < limit && *p == '\n') ++p;
        // A break followed by a blank or another break continues the line,
        // as does one the caller joins.
        if (p < limit && (isBlank(*p) || isBreak(*p) || joined(lineBreak))) {
            folded = true;
            continue;
        }
        contentEnd = lineBreak;
        break;
    }
    if (!reserve(static_cast<size_t>(p - begin) + 1)) return Read::NoMemory;
    if (!folded && contentStart == begin) {
        // One physical line: copy it, less an "=" right before its break.
        size_t n = static_cast<size_t>(contentEnd - contentStart);
        if (contentEnd != p && n > 0 && contentEnd[-1] == '=') --n;
        platform::copyBytes(buffer_, contentStart, n);
        length_ = n;
    } else {
        unfold(begin, p, firstBreak);
    }
    std::memset(buffer_ + length_, 0, 1 + kLinePad);
    in.remaining -= static_cast<int32_t>(p - begin);
    in.at = p;
    return Read::Line;
}

// Everything read, the skipped lead included, less every "=" right before a
// line break, every CR and LF, and the first blank after each line break.
void LineReader::unfold(const char *begin, const char *end, size_t firstBreak) {
    size_t out = 0;
    size_t index = firstBreak;
    bool afterBreak = false;
    const char *p = begin;
    while (p < end) {
        if (isBreak(*p)) {
            afterBreak = true;
            ++p;
            continue;
        }
        const char *runEnd = knownBreak(p, index);
        if (runEnd != nullptr) {
            if (runEnd > end) runEnd = end;
        } else {
            runEnd = breakIn<false>(p, end);
        }
        const char *runStart = p;
        p = runEnd;
        // Judged against the text as read: in "==" CR LF only the second goes.
        if (runEnd < end && runEnd[-1] == '=') --runEnd;
        if (runStart == runEnd) continue; // nothing left: a break is still pending
        if (afterBreak && isBlank(*runStart)) ++runStart;
        afterBreak = false;
        platform::copyBytes(buffer_ + out, runStart, static_cast<size_t>(runEnd - runStart));
        out += static_cast<size_t>(runEnd - runStart);
    }
    length_ = out;
}

// ------------------------------------------------------------------------
// The parse

// A value at least this long that is all the rest of its line (a photo,
// a long note) is decoded or moved into the line's own buffer, which the
// value then takes over: the text and the value are not held at once. A
// shorter one is copied, so that the next line finds the buffer in place.
constexpr size_t kDecodeInPlaceFrom = 32768;
// The name is kept aside meanwhile, when it is no longer than this.
constexpr size_t kNameAsideMax = 256;

struct Parser {
    Parser(Input input, int32_t parseFlags, const vparse::KnownBreaks *breaks)
        : in(input), flags(parseFlags), reader(breaks) {}
    Input in;
    int32_t flags;
    int32_t running = 0;
    bool outOfMemory = false;
    LineReader reader;
    char nameAside[kNameAsideMax]; // a name while its line's buffer is given away
};

// The line's only value, its `length` bytes at `raw` in the reader's
// buffer, made as makeValue makes it but at the buffer's start, and handed
// to a new value with the buffer. Null when memory ran out.
vValue *makeInPlace(LineReader &reader, const char *raw, size_t length, int32_t mode,
                    int32_t flags) {
    const ValueForm form = valueForm(mode, flags);
    const size_t size = writeValue(form, raw, length, reader.line());
    char *data = reader.takeBuffer();
    if (void *smaller = std::realloc(data, valueCapacity(form, length)))
        data = static_cast<char *>(smaller);
    return adoptValue(data, size, encodingOf(form));
}

// Where the value from `text` on is, when it is one for makeInPlace:
// all the rest of the line (no delimiter, quote or backslash before its
// end), long enough, with a name short enough to be set aside. A length
// of 0 when it is not. (Out of line: few lines come here.)
struct Span {
    size_t start;
    size_t length;
};
#if defined(__GNUC__)
__attribute__((noinline))
#endif
Span inPlaceValue(const Parser &ps, size_t nameEnd, const char *text, int32_t flags) {
    if (nameEnd >= kNameAsideMax) return {0, 0};
    size_t i = 0;
    while (isBlank(text[i]))
        ++i;
    const size_t stop =
        spanTo(text, i, ps.reader.end(), kValueStops[(flags & kNoCommaSplit) == 0][0]);
    if (text[stop] != '\0' || stop - i < kDecodeInPlaceFrom) return {0, 0};
    return {i, stop - i};
}

// ParsePropertyLine over the reader's current line. Null either when the
// line is empty (no property) or when memory ran out (outOfMemory set).
vProperty *ParsePropertyLine(Parser &ps) {
    char *line = ps.reader.line();
    if (ps.reader.length() == 0) return nullptr;
    const char *const end = ps.reader.end();
    const NameSpan name = scanName(line, end);
    const char delimiter = line[name.delimiter];
    line[name.end] = '\0'; // the line is ours; the delimiter is remembered
    // The property's record is made after its parameters and values: the
    // generator walks a parsed tree from the last line back to the first,
    // and with each property's records lying below the next one's and
    // above its own parameters, that walk moves steadily down through
    // memory, which the processor fetches ahead of it.
    vrec::ChainGuard<vParameter> parameters(nullptr);
    size_t at = name.delimiter;
    // The encoding, as VLIB_getPropertyEncoding would resolve it, which
    // the property takes over: the default without an ENCODING parameter
    // (most lines have no parameters at all).
    int32_t encoding = VLIB_ENCODING_DEFAULT;
    if (delimiter == ';') {
        size_t consumed = 0;
        vParameter *list = nullptr;
        const vParameter *named = nullptr;
        if (!parseParameters(line + at + 1, end, ps.flags, &list, &consumed, &ps.running, &named)) {
            ps.outOfMemory = true;
            return nullptr;
        }
        parameters.reset(list);
        at += 1 + consumed;
        if (named != nullptr && named->valueList != nullptr && named->valueList->data != nullptr)
            encoding = VLIB_identifyToken(named->valueList->data, VLIB_CLASS_ENCODING);
    }
    vrec::ChainGuard<vValue> values(nullptr);
    const bool atColon = delimiter == ':' || (delimiter == ';' && line[at] == ':');
    bool aside = false;
    if (atColon) {
        int32_t mode = kModeKeepColons;
        if (encoding == VLIB_ENCODING_QUOTED_PRINTABLE) mode |= kModeQuotedPrintable;
        if (encoding == VLIB_ENCODING_BASE64) mode |= kModeBase64;
        int32_t flags = ps.flags;
        if ((flags & kKeepRules) != 0 && isRuleName(line)) flags |= kNoCommaSplit;
        ValueChain chain;
        int32_t code = 0;
        const char *text = line + at + 1;
        const Span inPlace = ps.reader.length() >= kDecodeInPlaceFrom
                                 ? inPlaceValue(ps, name.end, text, flags)
                                 : Span{0, 0};
        if (inPlace.length != 0) {
            std::memcpy(ps.nameAside, line, name.end + 1);
            aside = true; // the buffer goes with the value
            vValue *value =
                makeInPlace(ps.reader, text + inPlace.start, inPlace.length, mode, flags);
            if (value != nullptr)
                chain.append(value);
            else
                code = VLIB_ERR_NO_MEMORY;
        } else {
            size_t used = 0;
            code = SplitValues(text, end, mode, flags, chain, &used);
        }
        values.reset(chain.head);
        if (code == VLIB_ERR_NO_MEMORY) {
            ps.outOfMemory = true;
            return nullptr;
        }
        if (code != 0) ps.running = code;
    } else {
        ps.running = VLIB_ERR_NO_COLON;
    }
    // (The name's length is known: it ends where the scan of it stopped.)
    vProperty *property = vrec::newProperty(VLIB_PROPERTY_UNIDENTIFIED, aside ? ps.nameAside : line,
                                            name.end, nullptr, nullptr, nullptr);
    if (property == nullptr) {
        ps.outOfMemory = true;
        return nullptr;
    }
    // Attached as they are: the parameters' parent links stay null.
    property->parameterList = parameters.release();
    property->valueList = values.release();
    property->encoding = encoding;
    return property;
}

// Links a parsed property into `component`; with flag 0x04 a property of
// several values becomes one copy per value, each added in text order.
bool addProperty(Parser &ps, vComponent *component, vProperty *property) {
    const bool split = (ps.flags & kOnePropertyPerValue) != 0 && property->valueList != nullptr &&
                       property->valueList->next != nullptr &&
                       !((ps.flags & kKeepRules) != 0 && isRuleName(property->name));
    if (!split) {
        VLIB_add_vComponent_property(component, property);
        return true;
    }
    vrec::ChainGuard<vProperty> original(property);
    vrec::ChainGuard<vValue> values(property->valueList);
    property->valueList = nullptr;
    while (values.get() != nullptr) {
        vProperty *copy = VLIB_dup_vProperty(property);
        if (copy == nullptr) return false;
        vValue *value = values.release();
        values.reset(value->next);
        value->next = nullptr;
        copy->valueList = value;
        VLIB_add_vComponent_property(component, copy);
    }
    return true;
}

// A component named after the BEGIN line's first value ("" when it has
// none, which the running result then reports).
vComponent *newComponent(Parser &ps, const vProperty *begin) {
    const char *name = "";
    if (begin->valueList != nullptr)
        name = begin->valueList->data;
    else
        ps.running = VLIB_ERR_BEGIN_WITHOUT_NAME;
    vComponent *component =
        VLIB_new_vComponent(VLIB_COMPONENT_UNIDENTIFIED, name, nullptr, nullptr, nullptr);
    if (component == nullptr) ps.outOfMemory = true;
    return component;
}

// Passes over the lines of a component that is not built, up to its own
// END. False when memory ran out.
bool skipComponent(Parser &ps) {
    int depth = 1;
    for (;;) {
        const Read read = ps.reader.ReadLogicalLine(ps.in);
        if (read == Read::NoMemory) return false;
        if (read == Read::End) return true;
        char *line = ps.reader.line();
        const NameSpan name = scanName(line, ps.reader.end());
        line[name.end] = '\0';
        if (nameIs(line, "BEGIN")) ++depth;
        if (nameIs(line, "END") && --depth == 0) return true;
    }
}

// An END line whose name the colon follows can meet no problem that the
// running result would report (no parameters, nothing to decode), so it
// is recognised without building its property.
bool isPlainEnd(const char *line, const char *end) {
    if (ascii::upper(line[0]) != 'E') return false; // most lines, at once
    const NameSpan name = scanName(line, end);
    return name.end == 3 && line[name.delimiter] == ':' && calapi::strncasecmp(line, "END", 3) == 0;
}

// ParseComponentBody for `root` and, without recursion, for every
// component nested in it: `current` climbs back through the parent links.
// False when memory ran out.
bool ParseComponentBody(Parser &ps, vComponent *root) {
    vComponent *current = root;
    int depth = 1;
    for (;;) {
        const Read read = ps.reader.ReadLogicalLine(ps.in);
        if (read == Read::NoMemory) return false;
        if (read == Read::End) return true; // a missing END is no error
        if (isPlainEnd(ps.reader.line(), ps.reader.end())) {
            if (current == root) return true;
            current = current->parent;
            --depth;
            continue;
        }
        vProperty *property = ParsePropertyLine(ps);
        if (property == nullptr) {
            if (ps.outOfMemory) return false;
            ps.running = VLIB_ERR_LINE_WITHOUT_NAME;
            continue;
        }
        vrec::ChainGuard<vProperty> guard(property);
        if (nameIs(property->name, "END")) {
            if (current == root) return true;
            current = current->parent;
            --depth;
        } else if (nameIs(property->name, "BEGIN")) {
            if (depth >= kMaxDepth) {
                ps.running = VLIB_ERR_NESTED_COMPONENT;
                if (!skipComponent(ps)) return false;
                continue;
            }
            vComponent *child = newComponent(ps, property);
            if (child == nullptr) return false;
            VLIB_add_vComponent_subcomponent(current, child);
            current = child;
            ++depth;
        } else if (!addProperty(ps, current, guard.release())) {
            return false;
        }
    }
}

// Builds one outermost component; the input is advanced past what was read.
int32_t buildComponent(Parser &ps, vComponent **out) {
    const Read read = ps.reader.ReadLogicalLine(ps.in);
    if (read == Read::NoMemory) return VLIB_ERR_NO_MEMORY;
    if (read == Read::End) return VLIB_ERR_NO_BEGIN;
    vrec::ChainGuard<vProperty> first(ParsePropertyLine(ps));
    if (ps.outOfMemory) return VLIB_ERR_NO_MEMORY;
    if (first.get() == nullptr) return VLIB_ERR_NO_NAME;
    if (!nameIs(first.get()->name, "BEGIN")) return VLIB_ERR_NO_BEGIN;
    vrec::ChainGuard<vComponent> root(newComponent(ps, first.get()));
    if (root.get() == nullptr) return VLIB_ERR_NO_MEMORY;
    if (!ParseComponentBody(ps, root.get())) return VLIB_ERR_NO_MEMORY;
    *out = root.release();
    return ps.running;
}

} // namespace

int32_t vparse::buildComponentFromBuffer(vComponent **componentOut, const char *buffer,
                                         int32_t flags, int32_t *remainingInOut, char **restOut,
                                         const KnownBreaks *breaks) {
    if (componentOut == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    *componentOut = nullptr;
    if (buffer == nullptr || remainingInOut == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    if (*remainingInOut < 1) {
        *remainingInOut = 0;
        if (restOut != nullptr) *restOut = nullptr;
        return VLIB_ERR_NO_BEGIN;
    }
    Parser ps({buffer, *remainingInOut}, flags, breaks);
    const int32_t result = buildComponent(ps, componentOut);
    if (result == VLIB_ERR_NO_MEMORY) {
        // Nothing handed out, nothing read: the call can be made again.
        if (restOut != nullptr) *restOut = const_cast<char *>(buffer);
        return result;
    }
    *remainingInOut = ps.in.remaining;
    if (restOut != nullptr) {
        const bool done = ps.in.remaining < 0 || *ps.in.at == '\0';
        *restOut = done ? nullptr : const_cast<char *>(ps.in.at);
    }
    return result;
}

extern "C" {

VERSIT_API int32_t VLIB_buildComponentFromBuffer(vComponent **componentOut, const char *buffer,
                                                 int32_t flags, int32_t *remainingInOut,
                                                 char **restOut) {
    return vparse::buildComponentFromBuffer(componentOut, buffer, flags, remainingInOut, restOut,
                                            nullptr);
}

// The text is changed while it is read (a NUL borrowed after each name)
// and restored before the call returns.
VERSIT_API int32_t VLIB_getParameterList(vParameter **listOut, int32_t *resultInOut, char *text,
                                         int32_t *consumedOut, int32_t flags) {
    if (listOut == nullptr || resultInOut == nullptr || text == nullptr || consumedOut == nullptr)
        return VLIB_ERR_NULL_ARGUMENT;
    *listOut = nullptr;
    size_t consumed = 0;
    if (!parseParameters(text, text + std::strlen(text) + 1, flags, listOut, &consumed,
                         resultInOut)) {
        *consumedOut = 0;
        *resultInOut = VLIB_ERR_NO_MEMORY;
        return VLIB_ERR_NO_MEMORY;
    }
    *consumedOut = static_cast<int32_t>(consumed);
    return *resultInOut;
}

} // extern "C"
