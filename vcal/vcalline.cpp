// Reading logical lines of a vCalendar stream, and what a line's start and
// parameters say.
#include "vcal/vcalline.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "diag/errlog.h"
#include "vcal/vcalmsg.h"
#include "vcal/vcalprop.h"

namespace {

using vcal::upper;

constexpr size_t kFirstCapacity = 128;

// Bytes that are simply stored: everything but the line ends and the two
// end-of-stream marks.
struct OrdinaryBytes {
    bool is[256] = {};
    constexpr OrdinaryBytes() {
        for (int c = 0; c < 256; ++c)
            is[c] = c != 0 && c != 255 && c != '\r' && c != '\n';
    }
};
constexpr OrdinaryBytes kOrdinary;

// Where `text` goes on after `word` when it starts with it, without
// regard to case, else null; the end of `text` is its NUL. `kCapitals`:
// the word is written in capitals, and only the text's letters are raised.
template <bool kCapitals> const char *afterWord(const char *text, const char *word) {
    for (; *word != '\0'; ++word, ++text) {
        if (upper(*text) != (kCapitals ? *word : upper(*word))) return nullptr;
    }
    return text;
}

// Whether `text` starts with `word`, which is written in capitals,
// without regard to the case of `text`.
bool startsWith(std::string_view text, std::string_view word) {
    if (text.size() < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
        if (upper(text[i]) != word[i]) return false;
    }
    return true;
}

// The keyword table's identifiers grouped by their first two characters
// (the second a capital or "-"), each group in table order, so that a line
// is compared only with the few keywords that can match and the first
// match is still the table's first.
constexpr int secondIndex(char c) { return c == '-' ? 26 : c >= 'A' && c <= 'Z' ? c - 'A' : -1; }

struct KeywordIndex {
    static constexpr int kGroups = 26 * 27;
    uint8_t ids[VCAL_PROPERTY_COUNT] = {};
    uint8_t first[kGroups + 1] = {};              // group G: ids[first[G]] up to ids[first[G + 1]]
    uint8_t length[VCAL_PROPERTY_COUNT + 1] = {}; // of each identifier's keyword
    constexpr KeywordIndex() {
        for (uint8_t id = 1; id <= VCAL_PROPERTY_COUNT; ++id) {
            while (vcal::kProperties[id].keyword[length[id]] != '\0')
                ++length[id];
        }
        uint8_t n = 0;
        for (int group = 0; group < kGroups; ++group) {
            first[group] = n;
            for (uint8_t id = 1; id <= VCAL_PROPERTY_COUNT; ++id) {
                const char *k = vcal::kProperties[id].keyword;
                if (k[0] - 'A' == group / 27 && secondIndex(k[1]) == group % 27) ids[n++] = id;
            }
        }
        first[kGroups] = n;
    }
};
constexpr KeywordIndex kKeywords;
static_assert(kKeywords.first[KeywordIndex::kGroups] == VCAL_PROPERTY_COUNT,
              "every keyword starts with a capital and a capital or a hyphen");

constexpr bool inCapitals() {
    for (uint8_t id = 1; id <= VCAL_PROPERTY_COUNT; ++id) {
        for (const char *k = vcal::kProperties[id].keyword; *k != '\0'; ++k) {
            if (upper(*k) != *k) return false;
        }
    }
    return true;
}
static_assert(inCapitals(), "the keyword lookup raises only the line's letters");

// Each keyword in sixteen bytes, NULs after it, and the mask of its own
// bytes: a line with sixteen bytes left is compared with a keyword in one
// step rather than letter by letter.
struct WideKeywords {
    char bytes[VCAL_PROPERTY_COUNT + 1][16] = {};
    uint16_t mask[VCAL_PROPERTY_COUNT + 1] = {};
    constexpr WideKeywords() {
        for (uint8_t id = 1; id <= VCAL_PROPERTY_COUNT; ++id) {
            for (uint8_t i = 0; i < kKeywords.length[id] && i < 16; ++i)
                bytes[id][i] = vcal::kProperties[id].keyword[i];
            mask[id] = static_cast<uint16_t>((1u << kKeywords.length[id]) - 1u);
        }
    }
};
constexpr WideKeywords kWideKeywords;

constexpr bool fitSixteen() {
    for (uint8_t id = 1; id <= VCAL_PROPERTY_COUNT; ++id) {
        if (kKeywords.length[id] > 16) return false;
    }
    return true;
}
static_assert(fitSixteen(), "every keyword is compared in sixteen bytes");

// The group of keywords a line's first two characters (`p`, blanks
// passed) select, or -1 when none can match.
int keywordGroup(const char *p) {
    const char first = upper(*p);
    if (first < 'A' || first > 'Z') return -1;
    const int second = secondIndex(upper(p[1]));
    if (second < 0) return -1;
    return (first - 'A') * 27 + second;
}

// The first keyword of `group` that `p` starts with, letter by letter.
uint16_t keywordOf(const char *p, int group) {
    for (int i = kKeywords.first[group]; i < kKeywords.first[group + 1]; ++i) {
        // Keywords are written in capitals: only the line's side is raised.
        // (A line shorter than the keyword stops the loop at its NUL.)
        const uint8_t id = kKeywords.ids[i];
        const char *k = vcal::kProperties[id].keyword;
        const size_t n = kKeywords.length[id];
        size_t j = 2;
        while (j < n && upper(p[j]) == k[j])
            ++j;
        if (j == n) return id;
    }
    return 0;
}

const char *skipBlanks(const char *p) {
    while (*p == ' ' || *p == '\t')
        ++p;
    return p;
}

template <bool kCapitals>
bool isWordInTheString(const char *line, const char *word1, const char *word2) {
    if (line == nullptr || word1 == nullptr || word1[0] == '\0') return false;
    const char *p = afterWord<kCapitals>(skipBlanks(line), word1);
    if (p == nullptr) return false;
    if (word2 == nullptr) return true;
    while (*p != '\0' && *p != '\r' && !vcal::isLetter(*p))
        ++p;
    return afterWord<kCapitals>(p, word2) != nullptr;
}

} // namespace

VERSIT_API int32_t vCal_IsWordInTheString(const char *line, const char *word1, const char *word2) {
    return isWordInTheString<false>(line, word1, word2) ? 1 : 0;
}

namespace vcal {

bool isWordLine(const char *line, const char *word1, const char *word2) {
    return isWordInTheString<true>(line, word1, word2);
}

LineEncoding lineEncoding(const char *line, size_t length) {
    std::string_view rest(line, length);
    size_t semicolon = rest.find(';');
    while (semicolon != std::string_view::npos) {
        rest.remove_prefix(semicolon + 1);
        semicolon = rest.find(';');
        const std::string_view parameter = rest.substr(0, semicolon);
        if (!startsWith(parameter, "ENCODING")) continue;
        const size_t equals = parameter.find('=');
        if (equals == std::string_view::npos) return LineEncoding::None;
        const std::string_view value = parameter.substr(equals + 1);
        if (startsWith(value, "QUOTED-PRINTABLE")) return LineEncoding::QuotedPrintable;
        if (startsWith(value, "BASE64")) return LineEncoding::Base64;
        if (startsWith(value, "8-BIT")) return LineEncoding::EightBit;
        return LineEncoding::None;
    }
    return LineEncoding::None;
}

uint16_t vCal_LookupPropertyKeyword(const char *line) {
    if (line == nullptr) return 0;
    const char *p = skipBlanks(line);
    const int group = keywordGroup(p);
    return group < 0 ? 0 : keywordOf(p, group);
}

uint16_t vCal_LookupPropertyKeyword(const char *line, size_t length) {
    if (line == nullptr) return 0;
    const char *p = skipBlanks(line);
    const int group = keywordGroup(p);
    if (group < 0) return 0;
#if defined(__SSE2__)
    if (line + length - p >= 16) {
        // The sixteen bytes with their small letters raised (bytes from
        // 0x80 up read as negative: no letters), then each keyword of the
        // group compared over its own bytes.
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i small = _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8('a' - 1)),
                                            _mm_cmplt_epi8(v, _mm_set1_epi8('z' + 1)));
        v = _mm_andnot_si128(_mm_and_si128(small, _mm_set1_epi8('a' - 'A')), v);
        for (int i = kKeywords.first[group]; i < kKeywords.first[group + 1]; ++i) {
            const uint8_t id = kKeywords.ids[i];
            const __m128i k =
                _mm_loadu_si128(reinterpret_cast<const __m128i *>(kWideKeywords.bytes[id]));
            const auto same = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, k)));
            if ((same & kWideKeywords.mask[id]) == kWideKeywords.mask[id]) return id;
        }
        return 0;
    }
#else
    static_cast<void>(length); // (letter by letter only)
#endif
    return keywordOf(p, group);
}

bool isBlankLine(const char *line) {
    for (; *line != '\0'; ++line) {
        if (*line != ' ' && *line != '\t' && *line != '\r' && *line != '\n') return false;
    }
    return true;
}

int32_t memoryNextByte(void *stream, uint8_t *byte) {
    auto *text = static_cast<MemoryStream *>(stream);
    if (text->at == text->end && (text->more == nullptr || !text->more(*text))) {
        *byte = 0;
        return 0;
    }
    *byte = static_cast<uint8_t>(*text->at++);
    return 0;
}

LineReader::~LineReader() { std::free(buffer_); }

int32_t LineReader::fetch(uint8_t &byte) {
    const int32_t rc = get_(stream_, &byte);
    if (rc != 0) WriteErrLog(2, rc, "vCal_GetALineFromStream: vCalStreamNextByteGet");
    return rc;
}

// The buffer at least doubles (grownCapacity), so a long line is copied a
// constant number of times in all.
bool LineReader::grow(size_t more) {
    const size_t grown = grownCapacity(capacity_, kFirstCapacity, length_ + more + 1);
    void *bigger = std::realloc(buffer_, grown);
    if (bigger == nullptr) {
        WriteErrLog(2, VCAL_ERR_NO_MEMORY,
                    capacity_ == 0 ? "vCal_GetALineFromStream (malloc) 1"
                                   : "vCal_GetALineFromStream (malloc) 2");
        return false;
    }
    buffer_ = static_cast<char *>(bigger);
    capacity_ = grown;
    return true;
}

// A new line starts empty; the room a long line took is given back rather
// than held while the lines after it are read.
void LineReader::startLine() {
    length_ = 0;
    if (capacity_ <= TextBuffer::kLong) return;
    if (void *smaller = std::realloc(buffer_, kFirstCapacity)) {
        buffer_ = static_cast<char *>(smaller);
        capacity_ = kFirstCapacity;
    }
}

// Whether the text, which ends in CR LF, ends in a quoted-printable soft
// break. The parameters that declare the encoding end at the line's first
// ":"; until it has been read they are not complete, and an "=" at a line
// end before it is an ordinary line end. The search goes on where it
// stopped (the text before the final "=" CR LF stays as it is), and the
// encoding is worked out once per line, so a line with many soft breaks
// costs no more than its length.
bool LineReader::softBreak() {
    if (length_ < 3 || buffer_[length_ - 3] != '=') return false;
    if (!colonFound_) {
        const size_t limit = length_ - 3;
        const void *colon = colonSearch_ < limit
                                ? std::memchr(buffer_ + colonSearch_, ':', limit - colonSearch_)
                                : nullptr;
        if (colon == nullptr) {
            colonSearch_ = limit;
            return false;
        }
        colonFound_ = true;
        const auto end = static_cast<size_t>(static_cast<const char *>(colon) - buffer_);
        quotedPrintable_ = lineEncoding(buffer_, end) == LineEncoding::QuotedPrintable;
    }
    return quotedPrintable_;
}

// Trailing white space, the final CR LF included, becomes CRs.
void LineReader::finish() {
    // Most lines end in a printable character and the CR LF.
    if (length_ >= 3 && buffer_[length_ - 1] == '\n' && buffer_[length_ - 2] == '\r') {
        const char c = buffer_[length_ - 3];
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
            buffer_[length_ - 1] = '\r';
            buffer_[length_] = '\0';
            return;
        }
    }
    for (size_t i = length_; i > 0; --i) {
        const char c = buffer_[i - 1];
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') break;
        buffer_[i - 1] = '\r';
    }
    buffer_[length_] = '\0';
}

// The first byte from `at` on that is not ordinary, or `end`.
const char *ordinaryEnd(const char *at, const char *end) {
#if defined(__SSE2__)
    // Sixteen bytes at a time while none of them ends the run.
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i nul = _mm_setzero_si128();
    const __m128i high = _mm_set1_epi8(static_cast<char>(255));
    while (end - at >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
        const __m128i stops =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)),
                         _mm_or_si128(_mm_cmpeq_epi8(v, nul), _mm_cmpeq_epi8(v, high)));
        const int mask = _mm_movemask_epi8(stops);
        if (mask != 0) return at + __builtin_ctz(static_cast<unsigned>(mask));
        at += 16;
    }
#endif
    while (at < end && kOrdinary.is[static_cast<uint8_t>(*at)])
        ++at;
    return at;
}

// next() for a text in memory: the same steps, with the bytes taken from
// the text directly rather than one call of the callback each, and every
// run of ordinary bytes stored at once. `kMade`: for a text made as it is
// read, which may have more past its end (a text given whole pays nothing
// for that).
template <bool kMade> int32_t LineReader::nextInMemory() {
    auto &text = *static_cast<MemoryStream *>(stream_);
    const char *at = text.at;
    const char *end = text.end;
    auto more = [&] {
        if (!kMade) return false;
        text.at = at;
        if (!text.more(text)) return false;
        at = text.at;
        end = text.end;
        return at < end;
    };
    auto take = [&] { return at < end || more() ? static_cast<uint8_t>(*at++) : uint8_t{0}; };
    auto leave = [&](int32_t rc) {
        text.at = at;
        return rc;
    };
    uint8_t c = lookahead_;
    lookahead_ = 0;
    if (c == 0) c = take();
    if (c == 0 || c == 255) {
        lookahead_ = c;
        return leave(VCAL_END_OF_STREAM);
    }
    startLine();
    colonSearch_ = 0;
    colonFound_ = false;
    quotedPrintable_ = false;
    firstLine_ = lineNumber_ + 1;
    start_ = kMade ? nullptr : at - 1;
    for (;;) {
        if (kOrdinary.is[c]) {
            const char *const from = at - 1;
            at = ordinaryEnd(at, end);
            const auto run = static_cast<size_t>(at - from);
            if (!reserve(run)) return leave(VCAL_ERR_NO_MEMORY);
            std::memcpy(buffer_ + length_, from, run);
            length_ += run;
            c = take();
        }
        if (c == 0 || c == 255) {
            // The end of the stream ends the line too; the next call
            // reports it.
            lookahead_ = c;
            finish();
            return leave(0);
        }
        // A line end is stored as CR LF, whatever it was.
        if (!reserve(2)) return leave(VCAL_ERR_NO_MEMORY);
        if (c == '\r') {
            buffer_[length_++] = '\r';
            c = take();
            // A bare CR ends the line without counting a line feed.
            if (c != '\n') buffer_[length_++] = '\n';
        }
        if (c == '\n') {
            ++lineNumber_;
            if (length_ == 0 || buffer_[length_ - 1] != '\r') buffer_[length_++] = '\r';
            buffer_[length_++] = '\n';
            c = take();
        }
        // The byte after the line end decides, as in next().
        for (;;) {
            if (softBreak()) {
                length_ -= 3;
                break;
            }
            if (c == '\n') {
                ++lineNumber_;
                c = take();
                continue;
            }
            if (c == ' ' || c == '\t') {
                length_ -= 2;
                break;
            }
            lookahead_ = c;
            finish();
            return leave(0);
        }
    }
}

int32_t LineReader::next() {
    if (get_ == memoryNextByte)
        return static_cast<MemoryStream *>(stream_)->more == nullptr ? nextInMemory<false>()
                                                                     : nextInMemory<true>();
    uint8_t c = lookahead_;
    lookahead_ = 0;
    int32_t rc = 0;
    if (c == 0 && (rc = fetch(c)) != 0) return rc;
    if (c == 0 || c == 255) {
        lookahead_ = c; // a 255 is seen again without asking the callback
        return VCAL_END_OF_STREAM;
    }
    startLine();
    colonSearch_ = 0;
    colonFound_ = false;
    quotedPrintable_ = false;
    if (!reserve()) return VCAL_ERR_NO_MEMORY;
    firstLine_ = lineNumber_ + 1;
    start_ = nullptr;
    for (;;) {
        // Every byte of a line but its end goes through this loop: the
        // buffer's state is kept in locals, out of memory the callback
        // might reach, and the callback puts each byte where it is kept if
        // it is ordinary (the buffer always has room for one more byte, the
        // terminator's).
        if (kOrdinary.is[c] && !reserve()) return VCAL_ERR_NO_MEMORY;
        char *out = buffer_ + length_;
        if (kOrdinary.is[c]) {
            *out++ = static_cast<char>(c);
            char *full = buffer_ + capacity_ - 1;
            void *const stream = stream_;
            const vCalStreamNextByteGet get = get_;
            // The room is checked once per kStep bytes, not at every one:
            // all else the loop does per byte is the call.
            constexpr size_t kStep = 8;
            bool ended = false;
            while (!ended) {
                if (static_cast<size_t>(full - out) < kStep) {
                    length_ = static_cast<size_t>(out - buffer_);
                    if (!reserve(kStep)) return VCAL_ERR_NO_MEMORY;
                    out = buffer_ + length_;
                    full = buffer_ + capacity_ - 1;
                }
#pragma GCC unroll 8
                for (size_t i = 0; i < kStep; ++i) {
                    if ((rc = get(stream, reinterpret_cast<uint8_t *>(out))) != 0) {
                        WriteErrLog(2, rc, "vCal_GetALineFromStream: vCalStreamNextByteGet");
                        return rc;
                    }
                    if (!kOrdinary.is[static_cast<uint8_t>(*out)]) {
                        ended = true;
                        break;
                    }
                    ++out;
                }
            }
            c = static_cast<uint8_t>(*out);
        }
        length_ = static_cast<size_t>(out - buffer_);
        if (c == 0 || c == 255) {
            // The end of the stream ends the line too; the next call
            // reports it.
            lookahead_ = c;
            finish();
            return 0;
        }
        if (c == '\r') {
            if (!reserve()) return VCAL_ERR_NO_MEMORY;
            buffer_[length_++] = '\r';
            if ((rc = fetch(c)) != 0) return rc;
            if (c != '\n') {
                // A bare CR ends the line without counting a line feed.
                if (!reserve()) return VCAL_ERR_NO_MEMORY;
                buffer_[length_++] = '\n';
            }
        }
        if (c == '\n') {
            ++lineNumber_;
            if (length_ == 0 || buffer_[length_ - 1] != '\r') {
                if (!reserve()) return VCAL_ERR_NO_MEMORY;
                buffer_[length_++] = '\r';
            }
            if (!reserve()) return VCAL_ERR_NO_MEMORY;
            buffer_[length_++] = '\n';
            if ((rc = fetch(c)) != 0) return rc;
        }
        // The text ends in CR LF; the byte after it decides.
        for (;;) {
            if (softBreak()) {
                length_ -= 3; // "=" CR LF: the next physical line joins directly
                break;
            }
            if (c == '\n') {
                // An empty line of a bare LF melts into this line end.
                ++lineNumber_;
                if ((rc = fetch(c)) != 0) return rc;
                continue;
            }
            if (c == ' ' || c == '\t') {
                length_ -= 2; // folding: the blank stays, the line break goes
                break;
            }
            lookahead_ = c;
            finish();
            return 0;
        }
    }
}

} // namespace vcal
