// BASE64, QUOTED-PRINTABLE and escaped text: the exported converters, which
// hand out malloc'ed text, and the byte-level codecs behind them.
#include "versit/encoding.h"

#include <array>
#include <cstdlib>
#include <cstring>

#include "versit_core.h"

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
    while (i < length) {
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
