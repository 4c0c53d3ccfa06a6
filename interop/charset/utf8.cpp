#include "interop/charset/utf8.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/ascii.h"
#include "platform/charset.h"

namespace interop {

namespace {

// The eight bytes from p are all ASCII.
bool asciiWord(const char *p) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return (word & 0x8080808080808080ull) == 0;
}

} // namespace

// The last bytes are read where the text ends (some of them again): a
// value is a few dozen bytes, and a byte-by-byte tail costs as much as the
// rest.
bool hasEightBitBytes(const char *text, size_t length) {
#if defined(__SSE2__)
    // A whole text comes here too: 64 bytes between tests.
    if (length >= 64) {
        auto load = [text](size_t at) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + at));
        };
        size_t i = 0;
        for (; length - i >= 64; i += 64) {
            const __m128i any = _mm_or_si128(_mm_or_si128(load(i), load(i + 16)),
                                             _mm_or_si128(load(i + 32), load(i + 48)));
            if (_mm_movemask_epi8(any) != 0) return true;
        }
        return i < length && _mm_movemask_epi8(_mm_or_si128(
                                 _mm_or_si128(load(length - 64), load(length - 48)),
                                 _mm_or_si128(load(length - 32), load(length - 16)))) != 0;
    }
#endif
    if (length < 8) {
        for (size_t i = 0; i < length; ++i) {
            if ((static_cast<unsigned char>(text[i]) & 0x80) != 0) return true;
        }
        return false;
    }
    for (size_t i = 0; i + 8 < length; i += 8) {
        if (!asciiWord(text + i)) return true;
    }
    return !asciiWord(text + length - 8);
}

namespace {

// Windows-1252 bytes 0x80 to 0x9F; the five it leaves undefined are read
// as the C1 controls of the same value, as Windows itself does.
constexpr uint16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

size_t putUtf8(char *out, uint32_t c) {
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
}

Decoding fromWindows1252(const char *text, size_t length, char **out, size_t *outLength) {
    char *buffer = static_cast<char *>(std::malloc(length * 3 + 1));
    if (buffer == nullptr) return Decoding::NoMemory;
    size_t n = 0;
    for (size_t i = 0; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const uint32_t c = byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : byte;
        n += putUtf8(buffer + n, c);
    }
    buffer[n] = '\0';
    *out = buffer;
    *outLength = n;
    return Decoding::Guessed;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (ascii::upper(a[i]) != ascii::upper(b[i])) return false;
    }
    return true;
}

// Names files use for charsets under another name than the system's.
struct Alias {
    std::string_view written;
    const char *system;
};
constexpr Alias kAliases[] = {
    {"UTF8", "UTF-8"},          {"ASCII", "US-ASCII"},      {"LATIN1", "ISO-8859-1"},
    {"CHINESE", "GBK"},         {"GB2312", "GBK"},          {"SJIS", "SHIFT_JIS"},
    {"CP1250", "WINDOWS-1250"}, {"CP1251", "WINDOWS-1251"}, {"CP1252", "WINDOWS-1252"},
    {"CP1253", "WINDOWS-1253"}, {"CP1254", "WINDOWS-1254"}, {"CP1255", "WINDOWS-1255"},
    {"CP1256", "WINDOWS-1256"}, {"CP1257", "WINDOWS-1257"}, {"CP1258", "WINDOWS-1258"},
};

const char *systemName(const char *written) {
    const std::string_view name(written); // measured once, not once an alias
    for (const Alias &a : kAliases) {
        if (equalsIgnoringCase(a.written, name)) return a.system;
    }
    return written;
}

} // namespace

size_t utf8SequenceLength(const char *text, size_t length) {
    const auto *p = reinterpret_cast<const unsigned char *>(text);
    if (length == 0) return 0;
    const unsigned char c = p[0];
    if (c < 0x80) return 1;
    size_t extra = 0;
    uint32_t lowest = 0;
    uint32_t value = 0;
    if ((c & 0xE0) == 0xC0) {
        extra = 1, lowest = 0x80, value = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        extra = 2, lowest = 0x800, value = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        extra = 3, lowest = 0x10000, value = c & 0x07;
    } else {
        return 0;
    }
    if (length <= extra) return 0;
    for (size_t k = 1; k <= extra; ++k) {
        if ((p[k] & 0xC0) != 0x80) return 0;
        value = (value << 6) | (p[k] & 0x3F);
    }
    if (value < lowest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    return extra + 1;
}

bool isUtf8(const char *text, size_t length) {
    for (size_t i = 0; i < length;) {
        if (length - i >= 8 && asciiWord(text + i)) { // most of any text
            i += 8;
            continue;
        }
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        const size_t n = utf8SequenceLength(text + i, length - i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

bool namesUtf8(const char *name) {
    if (std::strcmp(name, "UTF-8") == 0) return true; // as nearly every writer puts it
    const char *system = systemName(name);
    return equalsIgnoringCase(system, "UTF-8") || equalsIgnoringCase(system, "US-ASCII");
}

Decoding decodeToUtf8(const char *charset, const char *text, size_t length, char **out,
                      size_t *outLength, bool *unknownCharset) {
    *out = nullptr;
    *outLength = 0;
    *unknownCharset = false;
    bool eightBit = false;
    for (size_t i = 0; i < length && !eightBit; ++i)
        eightBit = (static_cast<unsigned char>(text[i]) & 0x80) != 0;
    if (!eightBit) return Decoding::Unchanged;
    const bool declared = charset != nullptr && charset[0] != '\0';
    if (declared && !namesUtf8(charset)) {
        switch (charset::toUtf8(systemName(charset), text, length, out, outLength)) {
        case charset::Outcome::Converted:
            return Decoding::Converted;
        case charset::Outcome::Replaced:
            return Decoding::Replaced;
        case charset::Outcome::NoMemory:
            return Decoding::NoMemory;
        case charset::Outcome::UnknownCharset:
            *unknownCharset = true;
            break;
        }
    }
    if (isUtf8(text, length)) return Decoding::Unchanged;
    return fromWindows1252(text, length, out, outLength);
}

} // namespace interop
