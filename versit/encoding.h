// The byte-level rules of the three transfer encodings, shared by the
// exported converters (which allocate their output), the parser (which
// decodes straight into value records) and the generator (which encodes
// straight to its sink, so that printing never allocates and never fails).
#pragma once

#include <cstddef>
#include <cstdint>

namespace venc {

// A QUOTED-PRINTABLE line gets a soft break once a byte brings its column
// to this; the escaper folds before its text when the column is past it.
constexpr int32_t kQpBreakColumn = 72;
constexpr int32_t kEscapeFoldColumn = 72;

constexpr size_t base64EncodedLength(size_t byteCount) { return (byteCount + 2) / 3 * 4; }
// Writes base64EncodedLength(byteCount) characters, no NUL.
void base64Encode(const unsigned char *bytes, size_t byteCount, char *out);

// What the decoder's output buffer must hold for a text of `textLength`
// characters: every decoded byte and the NUL after the last one.
constexpr size_t base64DecodeCapacity(size_t textLength) { return textLength / 4 * 3 + 5; }
// Decodes `length` characters into `out` and NUL-terminates it. Returns the
// byte count; `skipped` tells whether characters outside the alphabet were
// passed over. `out` may be `text` or lie before it: each group of
// characters is read before its bytes are written.
size_t base64Decode(const char *text, size_t length, unsigned char *out, bool *skipped);

// Decodes `length` characters into `out` (length + 1 bytes suffice) and
// NUL-terminates it. The result never holds a NUL byte: "=00" is not
// decoded. Returns the decoded length. `out` may be `text` or lie before
// it: no byte is written before the characters it comes from are read.
size_t qpDecode(const char *text, size_t length, char *out);

inline bool isQpLiteral(unsigned char c) {
    return (c >= 0x20 && c <= 0x3C) || (c >= 0x3E && c <= 0x7D);
}

inline int32_t clampColumn(int64_t column) {
    return column > INT32_MAX ? INT32_MAX : static_cast<int32_t>(column);
}

// The encoders hand their output to `out.append(const char *, size_t)` in
// runs: a literal stretch, an escape, a soft break. A soft break or fold
// ("=" CR LF blank, CR LF blank) always comes in one append, so a sink never
// sees a CR apart from its LF. Each returns the column after the text.

template <class Out>
int32_t qpEncode(const unsigned char *text, size_t length, int32_t column, Out &out) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    int64_t at = column; // wide: a caller's column may be anything
    size_t run = 0;      // start of the literal bytes not yet appended
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = text[i];
        if (isQpLiteral(c)) {
            ++at;
        } else {
            out.append(reinterpret_cast<const char *>(text) + run, i - run);
            const char escaped[3] = {'=', kHex[c >> 4], kHex[c & 0x0F]};
            out.append(escaped, 3);
            run = i + 1;
            at += 3;
        }
        if (at >= kQpBreakColumn) {
            out.append(reinterpret_cast<const char *>(text) + run, i + 1 - run);
            out.append("=\r\n ", 4);
            run = i + 1;
            at = 1;
        }
    }
    out.append(reinterpret_cast<const char *>(text) + run, length - run);
    return clampColumn(at);
}

inline bool isLineBreak(char c) { return c == '\r' || c == '\n'; }

inline bool needsEscape(char c) {
    return c == '"' || c == ',' || c == ':' || c == ';' || c == '\\';
}

template <class Out>
int32_t escapeEncode(const char *text, size_t length, int32_t column, Out &out) {
    // The counter starts one past the caller's column (the opening quote)
    // and is not advanced by what follows: only the first character can be
    // preceded by a fold. Longer lines are the generator's to fold.
    int64_t counter = int64_t{column} + 1;
    out.append("\"", 1);
    if (length > 0 && counter > kEscapeFoldColumn) {
        out.append("\r\n ", 3);
        counter = 1;
    }
    size_t run = 0;
    for (size_t i = 0; i < length; ++i) {
        const char c = text[i];
        if (isLineBreak(c)) {
            out.append(text + run, i - run);
            out.append("\\n", 2);
            // CR LF, LF CR, CR CR and LF LF each stand for one line break.
            if (i + 1 < length && isLineBreak(text[i + 1])) ++i;
            run = i + 1;
        } else if (needsEscape(c)) {
            out.append(text + run, i - run);
            out.append("\\", 1);
            run = i; // the character itself opens the next run
        }
    }
    out.append(text + run, length - run);
    out.append("\"", 1);
    return clampColumn(counter);
}

// An Out that only counts, for sizing a buffer before the second pass.
struct CountingOut {
    size_t count = 0;
    void append(const char *, size_t n) { count += n; }
};

// An Out that copies into a buffer known to be large enough.
struct BufferOut {
    char *at;
    void append(const char *p, size_t n);
};

} // namespace venc
