// Values in any charset as UTF-8: the declared charset when there is one
// the system knows, else UTF-8 when the bytes are valid UTF-8, else
// Windows-1252, the charset 8-bit text without a label nearly always is.
#pragma once

#include <cstddef>
#include <cstdint>

namespace interop {

// What decoding did to a value.
enum class Decoding : uint8_t {
    Unchanged, // ASCII or UTF-8 already (as declared, or valid without a label)
    Converted, // from the declared charset
    Guessed,   // no usable label and not UTF-8: read as Windows-1252
    Replaced,  // bytes invalid in the declared charset became U+FFFD (loss)
    NoMemory,
};

// True when a byte of the text has its high bit set. Eight bytes at a
// time, or 64 where the processor has the vectors: every value of every
// card, and every text read, passes through here, and nearly all of them
// are ASCII.
bool hasEightBitBytes(const char *text, size_t length);

// The length of the valid UTF-8 sequence `text` starts with (1 for
// ASCII), or 0 when it starts none (a stray byte, an overlong form, a
// surrogate, a code point past U+10FFFF, a cut sequence).
size_t utf8SequenceLength(const char *text, size_t length);

// True for bytes that form valid UTF-8 (no overlong forms, no surrogates).
bool isUtf8(const char *text, size_t length);

// True when `name` (a CHARSET value, any case) names UTF-8 or US-ASCII.
bool namesUtf8(const char *name);

// Decodes `length` bytes declared to be in `charset` (null or "" for none)
// into *out, a malloc'ed NUL-terminated UTF-8 text of *outLength bytes,
// when the outcome is Converted, Guessed or Replaced; *out stays null when
// the bytes are left as they are. *unknownCharset is set when the declared
// charset was one nobody knows (the value was then read as undeclared).
Decoding decodeToUtf8(const char *charset, const char *text, size_t length, char **out,
                      size_t *outLength, bool *unknownCharset);

} // namespace interop
