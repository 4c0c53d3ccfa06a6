// BASE64, QUOTED-PRINTABLE and escaped text: the exported converters, which
// hand out malloc'ed text, and the byte-level codecs behind them.
#include "versit/encoding.h"

#include <array>
#include <cstdlib>
#include <cstring>

#include "versit_core.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define VENC_SSSE3 1
#include <immintrin.h>
#endif

namespace {

constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Sextet of each 7-bit character, -1 outside the alphabet.
constexpr std::array<int, 128> makeBase64Table() {
    std::array<int, 128> table{};
    for (int &t : table)
        t = -1;
    for (int i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(kBase64Alphabet[i])] = i;
    return table;
}
constexpr std::array<int, 128> kBase64Table = makeBase64Table();

// The same for each place of a group of four, over every byte (the high
// bit dropped), the sextet already shifted to its place: a group is the OR
// of four entries, and kNotInAlphabet, above its 24 bits, marks a
// character outside the alphabet.
constexpr uint32_t kNotInAlphabet = uint32_t{1} << 24;
struct Base64Places {
    uint32_t place[4][256];
};
constexpr Base64Places makeBase64Places() {
    Base64Places p{};
    for (unsigned k = 0; k < 4; ++k) {
        for (unsigned c = 0; c < 256; ++c) {
            const int sextet = kBase64Table[c & 0x7F];
            p.place[k][c] =
                sextet < 0 ? kNotInAlphabet : static_cast<uint32_t>(sextet) << (18 - 6 * k);
        }
    }
    return p;
}
constexpr Base64Places kBase64Places = makeBase64Places();

// The two characters of every twelve bits, for encoding a group of three
// bytes with two lookups.
struct Base64Pairs {
    char pair[4096][2];
};
constexpr Base64Pairs makeBase64Pairs() {
    Base64Pairs p{};
    for (unsigned v = 0; v < 4096; ++v) {
        p.pair[v][0] = kBase64Alphabet[v >> 6];
        p.pair[v][1] = kBase64Alphabet[v & 0x3F];
    }
    return p;
}
constexpr Base64Pairs kBase64Pairs = makeBase64Pairs();

#if defined(VENC_SSSE3)
// A quarter of a card file can be photos: sixteen characters at a time
// where the processor can shuffle bytes (every x86 processor of the last
// fifteen years, but not the baseline the library is built for), the
// tables above for the rest. Each block gives exactly what the table loops
// give for it.
bool haveSsse3() {
    static const bool have = __builtin_cpu_supports("ssse3") != 0;
    return have;
}

// Bytes added lane by lane, as _mm_add_epi8 adds them.
__attribute__((target("ssse3"), always_inline)) inline __m128i addBytes(__m128i a, __m128i b) {
    return reinterpret_cast<__m128i>(reinterpret_cast<__v16qu>(a) + reinterpret_cast<__v16qu>(b));
}

// Twelve bytes of `bytes` as sixteen characters; reads sixteen bytes.
__attribute__((target("ssse3"), always_inline)) inline void encodeBlock(const unsigned char *bytes,
                                                                        char *out) {
    const __m128i in =
        _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes)),
                         _mm_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10));
    // In each 32-bit lane the 16-bit words are b0b1 and b1b2: the four
    // sextets are moved to a byte each by a multiplication per word.
    const __m128i first =
        _mm_mulhi_epu16(_mm_and_si128(in, _mm_set1_epi32(0x0FC0FC00)), _mm_set1_epi32(0x04000040));
    const __m128i second =
        _mm_mullo_epi16(_mm_and_si128(in, _mm_set1_epi32(0x003F03F0)), _mm_set1_epi32(0x01000010));
    const __m128i sextets = _mm_or_si128(first, second);
    // The distance from a sextet to its character, by its range: 0-25,
    // 26-51, 52-61, 62, 63 (index 13, 0, 1-10, 11, 12).
    __m128i range = _mm_subs_epu8(sextets, _mm_set1_epi8(51));
    range = _mm_or_si128(
        range, _mm_and_si128(_mm_cmpgt_epi8(_mm_set1_epi8(26), sextets), _mm_set1_epi8(13)));
    const __m128i shift =
        _mm_setr_epi8(71, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 65, 0, 0);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out),
                     addBytes(sextets, _mm_shuffle_epi8(shift, range)));
}

// Sixteen characters as twelve bytes, when all are of the alphabet (a byte
// with its high bit set is left to the tables); false, writing nothing,
// otherwise.
__attribute__((target("ssse3"), always_inline)) inline bool decodeBlock(const unsigned char *text,
                                                                        unsigned char *out) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text));
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i high = _mm_and_si128(_mm_srli_epi32(v, 4), nibble);
    const __m128i low = _mm_and_si128(v, nibble);
    // By its high nibble a byte is in one of five classes (a bit each: 2,
    // 3, 4 or 6, 5 or 7, any other); by its low nibble, the classes in
    // which it is not of the alphabet. "+" and "/" are the only ones of 2.
    const __m128i classOfHigh = _mm_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10,
                                              0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10);
    const __m128i refusedByLow = _mm_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                                               0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A);
    const __m128i refused =
        _mm_and_si128(_mm_shuffle_epi8(classOfHigh, high), _mm_shuffle_epi8(refusedByLow, low));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(refused, _mm_setzero_si128())) != 0xFFFF) return false;
    // The distance from a character to its sextet, by its high nibble; "/"
    // takes the row before its own ("+" is 19 away, "/" 16).
    const __m128i distance =
        _mm_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m128i row = addBytes(high, _mm_cmpeq_epi8(v, _mm_set1_epi8('/')));
    const __m128i offset = _mm_shuffle_epi8(distance, row);
    const __m128i sextets = addBytes(v, offset);
    // Each lane's four sextets into its low 24 bits, then the three bytes
    // of every lane in order, side by side.
    const __m128i pairs = _mm_maddubs_epi16(sextets, _mm_set1_epi32(0x01400140));
    const __m128i groups = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00011000));
    const __m128i bytes = _mm_shuffle_epi8(
        groups, _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1));
    _mm_storel_epi64(reinterpret_cast<__m128i *>(out), bytes);
    const auto last = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(bytes, 8)));
    std::memcpy(out + 8, &last, 4);
    return true;
}

// Twelve bytes at a time as sixteen characters, while sixteen bytes can be
// read: how many bytes were encoded; `out` moves past their characters.
__attribute__((target("ssse3"))) size_t encodeBlocks(const unsigned char *bytes, size_t byteCount,
                                                     char *&out) {
    size_t i = 0;
    for (; i + 16 <= byteCount; i += 12, out += 16)
        encodeBlock(bytes + i, out);
    return i;
}

// Blocks of sixteen characters from `i` on, up to the first that is not
// all of the alphabet: how far that is; `count` grows by the bytes made.
__attribute__((target("ssse3"))) size_t decodeBlocks(const unsigned char *in, size_t length,
                                                     size_t i, unsigned char *out, size_t &count) {
    for (; i + 16 <= length && decodeBlock(in + i, out + count); i += 16)
        count += 12;
    return i;
}
#endif

// Upper-case hexadecimal digits only: "=3d" is not an escape.
int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void logNoCore(const char *label) { VLIB_logError(label, VLIB_ERR_NO_MEMORY, "Not enough core"); }

// malloc for a size computed in 64 bits, which may not fit a 32-bit size_t.
char *allocate(uint64_t size) {
    if (size > SIZE_MAX) return nullptr;
    return static_cast<char *>(std::malloc(static_cast<size_t>(size)));
}

// The encoders that keep a column are sized by a counting pass with the
// very rules that then fill the buffer.
template <class Encode> char *encodeTwice(Encode encode) {
    venc::CountingOut counter;
    encode(counter);
    char *buffer = allocate(uint64_t{counter.count} + 1);
    if (buffer == nullptr) return nullptr;
    venc::BufferOut writer{buffer};
    encode(writer);
    *writer.at = '\0';
    return buffer;
}

} // namespace

namespace venc {

void BufferOut::append(const char *p, size_t n) {
    if (n == 0) return;
    std::memcpy(at, p, n);
    at += n;
}

void base64Encode(const unsigned char *bytes, size_t byteCount, char *out) {
    size_t i = 0;
#if defined(VENC_SSSE3)
    if (byteCount >= 16 && haveSsse3()) i = encodeBlocks(bytes, byteCount, out);
#endif
    for (; i + 3 <= byteCount; i += 3) {
        const uint32_t group =
            uint32_t{bytes[i]} << 16 | uint32_t{bytes[i + 1]} << 8 | bytes[i + 2];
        std::memcpy(out, kBase64Pairs.pair[group >> 12], 2);
        std::memcpy(out + 2, kBase64Pairs.pair[group & 0xFFF], 2);
        out += 4;
    }
    const size_t left = byteCount - i;
    if (left == 0) return;
    const uint32_t group = uint32_t{bytes[i]} << 16 | (left == 2 ? uint32_t{bytes[i + 1]} << 8 : 0);
    *out++ = kBase64Alphabet[group >> 18];
    *out++ = kBase64Alphabet[(group >> 12) & 0x3F];
    *out++ = left == 2 ? kBase64Alphabet[(group >> 6) & 0x3F] : '=';
    *out = '=';
}

size_t base64Decode(const char *text, size_t length, unsigned char *out, bool *skipped) {
    const auto *in = reinterpret_cast<const unsigned char *>(text);
    uint32_t bits = 0;
    int pending = 0; // bits in `bits` not yet given out
    size_t count = 0;
    bool skip = false;
    size_t i = 0;
#if defined(VENC_SSSE3)
    const bool blocks = length >= 16 && haveSsse3();
#endif
    while (i < length) {
#if defined(VENC_SSSE3)
        if (blocks && pending == 0) i = decodeBlocks(in, length, i, out, count);
#endif
        // Whole groups of four alphabet characters, the usual case, at once.
        while (pending == 0 && i + 4 <= length) {
            const uint32_t group =
                kBase64Places.place[0][in[i]] | kBase64Places.place[1][in[i + 1]] |
                kBase64Places.place[2][in[i + 2]] | kBase64Places.place[3][in[i + 3]];
            if ((group & kNotInAlphabet) != 0) break;
            out[count] = static_cast<unsigned char>(group >> 16);
            out[count + 1] = static_cast<unsigned char>(group >> 8);
            out[count + 2] = static_cast<unsigned char>(group);
            count += 3;
            i += 4;
        }
        if (i == length) break;
        // Only the low seven bits count, so a byte of 0xBD is an "=" too.
        const unsigned char ch = in[i++] & 0x7F;
        if (ch == '=') break;
        const int sextet = kBase64Table[ch];
        if (sextet < 0) {
            skip = true;
            continue;
        }
        bits = (bits << 6 | static_cast<uint32_t>(sextet)) & 0xFFFFFF;
        pending += 6;
        if (pending >= 8) {
            pending -= 8;
            out[count++] = static_cast<unsigned char>(bits >> pending);
        }
    }
    out[count] = '\0';
    *skipped = skip;
    return count;
}

size_t qpDecode(const char *text, size_t length, char *out) {
    size_t o = 0;
    size_t i = 0;
    while (i < length) {
        const void *eq = std::memchr(text + i, '=', length - i);
        const size_t stop =
            eq != nullptr ? static_cast<size_t>(static_cast<const char *>(eq) - text) : length;
        std::memmove(out + o, text + i, stop - i); // `out` may be `text`, behind it
        o += stop - i;
        i = stop;
        if (i == length) break;
        const int high = i + 2 < length ? hexValue(text[i + 1]) : -1;
        const int low = high >= 0 ? hexValue(text[i + 2]) : -1;
        const int byte = low >= 0 ? high << 4 | low : 0;
        if (byte != 0) {
            out[o++] = static_cast<char>(byte);
            i += 3;
        } else {
            // A stray "=", and "=00" (which would cut the text short), is
            // dropped; scanning goes on with the character after it, so in
            // "==41" the second "=" still opens an escape.
            i += 1;
        }
    }
    out[o] = '\0';
    return o;
}

} // namespace venc

extern "C" {

// A negative or zero byte count gives the empty text. The buffer has the
// historical size, (count * 4) / 3 + 5 bytes, a little more than needed.
VERSIT_API int32_t VLIB_convertToBase64(const void *data, int32_t byteCount, char **out) {
    if (out == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    *out = nullptr;
    const size_t count = byteCount > 0 ? static_cast<size_t>(byteCount) : 0;
    if (data == nullptr && count > 0) return VLIB_ERR_NULL_ARGUMENT;
    char *buffer = allocate(uint64_t{count} * 4 / 3 + 5);
    if (buffer == nullptr) {
        logNoCore("VLIB_convertToBase64()");
        return VLIB_ERR_NO_MEMORY;
    }
    venc::base64Encode(static_cast<const unsigned char *>(data), count, buffer);
    buffer[venc::base64EncodedLength(count)] = '\0';
    *out = buffer;
    return 0;
}

VERSIT_API int32_t VLIB_convertFromBase64(const char *text, int32_t *byteCount, char **out) {
    if (out == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    *out = nullptr;
    if (text == nullptr || byteCount == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    *byteCount = 0;
    const size_t length = std::strlen(text);
    char *buffer = allocate(venc::base64DecodeCapacity(length));
    if (buffer == nullptr) {
        // Reported under the encoder's label, as it always has been.
        logNoCore("VLIB_convertToBase64()");
        return VLIB_ERR_NO_MEMORY;
    }
    bool skipped = false;
    const size_t count =
        venc::base64Decode(text, length, reinterpret_cast<unsigned char *>(buffer), &skipped);
    *byteCount = static_cast<int32_t>(count);
    *out = buffer;
    return skipped ? VLIB_ERR_BAD_BASE64 : 0;
}

// A null column pointer starts at column 0 and reports nothing back.
VERSIT_API int32_t VLIB_convertToQuotedPrintable(const char *text, char **out, int32_t *column) {
    if (out == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    *out = nullptr;
    if (text == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    const int32_t start = column != nullptr ? *column : 0;
    const size_t length = std::strlen(text);
    const auto *bytes = reinterpret_cast<const unsigned char *>(text);
    int32_t end = start;
    char *buffer =
        encodeTwice([&](auto &sink) { end = venc::qpEncode(bytes, length, start, sink); });
    if (buffer == nullptr) {
        logNoCore("VLIB_convertToQuotedPrintable()");
        return VLIB_ERR_NO_MEMORY;
    }
    if (column != nullptr) *column = end;
    *out = buffer;
    return 0;
}

VERSIT_API int32_t VLIB_convertFromQuotedPrintable(const char *text, char **out) {
    if (out == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    *out = nullptr;
    if (text == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    const size_t length = std::strlen(text);
    char *buffer = allocate(uint64_t{length} + 1);
    if (buffer == nullptr) {
        logNoCore("VLIB_convertFromQuotedPrintable()");
        return VLIB_ERR_NO_MEMORY;
    }
    venc::qpDecode(text, length, buffer);
    *out = buffer;
    return 0;
}

// Not logged when memory runs out, unlike the other converters.
VERSIT_API int32_t VLIB_convertToEscapedString(const char *text, char **out, int32_t *column) {
    if (out == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    *out = nullptr;
    if (text == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    const int32_t start = column != nullptr ? *column : 0;
    const size_t length = std::strlen(text);
    int32_t end = start;
    char *buffer =
        encodeTwice([&](auto &sink) { end = venc::escapeEncode(text, length, start, sink); });
    if (buffer == nullptr) return VLIB_ERR_NO_MEMORY;
    if (column != nullptr) *column = end;
    *out = buffer;
    return 0;
}

} // extern "C"
