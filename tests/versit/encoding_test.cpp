// The three transfer encodings: exact output, columns, folding, what the
// decoders skip or drop.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "versit_core.h"

namespace {

std::string take(char *text) {
    std::string s = text != nullptr ? text : "(null)";
    std::free(text);
    return s;
}

// Each row: a text, the bytes it decodes to and the result; a text the
// encoder writes for those bytes is marked.
TEST(Base64, EncodingAndDecoding) {
    struct Case {
        const char *text;
        std::string bytes;
        int32_t result;
        bool written;
    } cases[] = {
        {"TWFu", "Man", 0, true},
        {"TWE=", "Ma", 0, true},
        {"TQ==", "M", 0, true},
        {"", "", 0, true},
        {"AP/+EA==", std::string("\0\xff\xfe\x10", 4), 0, true},
        {"TW\r\n Fu", "Man", VLIB_ERR_BAD_BASE64, false},
        {"TWE=TWFu", "Ma", 0, false}, // the first "=" ends the text
        {"TWF", "Ma", 0, false},      // an incomplete byte is dropped
        {"T", "", 0, false},
        {"TW*Fu", "Man", VLIB_ERR_BAD_BASE64, false},
        {"\xd4\xd7\xc6\xf5", "Man", 0, false}, // only the low seven bits count
        {"TQ\xbd\xbd", "M", 0, false}          // 0xBD is an "=" too
    };
    for (const Case &c : cases) {
        char *out = nullptr;
        int32_t count = -1;
        EXPECT_EQ(VLIB_convertFromBase64(c.text, &count, &out), c.result) << c.text;
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(std::string(out, static_cast<size_t>(count)), c.bytes) << c.text;
        EXPECT_EQ(out[count], '\0') << "NUL-terminated after the last byte";
        std::free(out);
        if (!c.written) continue;
        ASSERT_EQ(VLIB_convertToBase64(c.bytes.data(), static_cast<int32_t>(c.bytes.size()), &out),
                  0);
        EXPECT_EQ(take(out), c.text);
    }
    char *out = reinterpret_cast<char *>(1);
    EXPECT_EQ(VLIB_convertToBase64("abc", -3, &out), 0);
    EXPECT_EQ(take(out), "") << "a count below 1 gives the empty text";
    EXPECT_EQ(VLIB_convertToBase64(nullptr, 3, &out), VLIB_ERR_NULL_ARGUMENT);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(VLIB_convertToBase64("abc", 3, nullptr), VLIB_ERR_NULL_ARGUMENT);
    int32_t count = 5;
    EXPECT_EQ(VLIB_convertFromBase64(nullptr, &count, &out), VLIB_ERR_NULL_ARGUMENT);
    EXPECT_EQ(VLIB_convertFromBase64("TQ==", nullptr, &out), VLIB_ERR_NULL_ARGUMENT);
}

// The codecs one character at a time, as the format defines them.
std::string encodedByHand(const std::string &bytes) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
        unsigned long group = 0;
        for (size_t k = 0; k < 3; ++k)
            group = group << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (size_t k = 0; k < 4; ++k)
            text += k <= n ? alphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
    return text;
}

std::string decodedByHand(const std::string &text, bool *skipped) {
    std::string bytes;
    unsigned long bits = 0;
    int pending = 0;
    *skipped = false;
    for (const char c : text) {
        const char low = static_cast<char>(c & 0x7F);
        if (low == '=') break;
        int sextet = -1;
        if (low >= 'A' && low <= 'Z') sextet = low - 'A';
        if (low >= 'a' && low <= 'z') sextet = low - 'a' + 26;
        if (low >= '0' && low <= '9') sextet = low - '0' + 52;
        if (low == '+') sextet = 62;
        if (low == '/') sextet = 63;
        if (sextet < 0) {
            *skipped = true;
            continue;
        }
        bits = (bits << 6 | static_cast<unsigned long>(sextet)) & 0xFFFFFF;
        pending += 6;
        if (pending >= 8) {
            pending -= 8;
            bytes += static_cast<char>((bits >> pending) & 0xFF);
        }
    }
    return bytes;
}

// Long texts go by in blocks where the processor allows: every length
// around a block's, every byte value, and every byte that stops a block at
// every place of one.
TEST(Base64, LongTextsAsOneCharacterAtATime) {
    std::string bytes;
    for (unsigned i = 0; i < 100; ++i)
        bytes += static_cast<char>((i * 167u + 13u) & 0xFF);
    for (size_t n = 0; n <= bytes.size(); ++n) {
        const std::string part = bytes.substr(0, n);
        char *out = nullptr;
        ASSERT_EQ(VLIB_convertToBase64(part.data(), static_cast<int32_t>(n), &out), 0);
        const std::string text = take(out);
        ASSERT_EQ(text, encodedByHand(part)) << n << " bytes";
        int32_t count = -1;
        ASSERT_EQ(VLIB_convertFromBase64(text.c_str(), &count, &out), 0);
        EXPECT_EQ(std::string(out, static_cast<size_t>(count)), part) << n << " bytes";
        std::free(out);
    }
    const std::string text = encodedByHand(bytes).substr(0, 52);
    for (size_t at = 0; at < text.size(); ++at) {
        for (unsigned c = 1; c < 256; ++c) {
            std::string changed = text;
            changed[at] = static_cast<char>(c);
            bool skipped = false;
            const std::string expected = decodedByHand(changed, &skipped);
            char *out = nullptr;
            int32_t count = -1;
            ASSERT_EQ(VLIB_convertFromBase64(changed.c_str(), &count, &out),
                      skipped ? VLIB_ERR_BAD_BASE64 : 0);
            EXPECT_EQ(std::string(out, static_cast<size_t>(count)), expected)
                << "byte " << c << " at " << at;
            std::free(out);
        }
    }
}

TEST(QuotedPrintable, EncodingKeepsTheColumn) {
    const std::string letters80(80, 'x');
    struct Case {
        std::string text;
        int32_t column;
        std::string encoded;
        int32_t columnAfter;
    } cases[] = {{"a=b", 0, "a=3Db", 5},
                 {"~", 0, "=7E", 3},
                 {"a b ", 10, "a b ", 14}, // blanks are never encoded
                 {"\r\n\t\x7f\x80\xff", 0, "=0D=0A=09=7F=80=FF", 18},
                 {"", 33, "", 33},
                 {letters80, 0, std::string(72, 'x') + "=\r\n " + std::string(8, 'x'), 9},
                 // The byte that reaches column 72 is followed by the break, even last.
                 {std::string(72, 'x'), 0, std::string(72, 'x') + "=\r\n ", 1},
                 {"ab", 70, "ab=\r\n ", 1},
                 {"abc", 70, "ab=\r\n c", 2},
                 {"=", 70, "=3D=\r\n ", 1}, // an escape counts 3 and may pass 72
                 {"x", 500, "x=\r\n ", 1}};
    for (const Case &c : cases) {
        char *out = nullptr;
        int32_t column = c.column;
        ASSERT_EQ(VLIB_convertToQuotedPrintable(c.text.c_str(), &out, &column), 0);
        EXPECT_EQ(take(out), c.encoded) << c.text;
        EXPECT_EQ(column, c.columnAfter) << c.text;
    }
    char *out = nullptr;
    EXPECT_EQ(VLIB_convertToQuotedPrintable("a=b", &out, nullptr), 0);
    EXPECT_EQ(take(out), "a=3Db");
    EXPECT_EQ(VLIB_convertToQuotedPrintable(nullptr, &out, nullptr), VLIB_ERR_NULL_ARGUMENT);
}

TEST(EscapedString, Encoding) {
    struct Case {
        const char *text;
        int32_t column;
        const char *escaped;
        int32_t columnAfter;
    } cases[] = {{"a;b\r\nc", 0, "\"a\\;b\\nc\"", 1},
                 {"", 0, "\"\"", 1},
                 {"\",:;\\", 5, "\"\\\"\\,\\:\\;\\\\\"", 6},
                 {"a\n\nb", 0, "\"a\\nb\"", 1}, // a pair of breaks is written once
                 {"a\r\n\r\nb", 0, "\"a\\n\\nb\"", 1},
                 {"a\rb", 0, "\"a\\nb\"", 1},
                 // Past column 71 the text starts on a folded line.
                 {"ab", 71, "\"ab\"", 72},
                 {"ab", 72, "\"\r\n ab\"", 1},
                 {"", 90, "\"\"", 91}};
    for (const Case &c : cases) {
        char *out = nullptr;
        int32_t column = c.column;
        ASSERT_EQ(VLIB_convertToEscapedString(c.text, &out, &column), 0);
        EXPECT_EQ(take(out), c.escaped) << c.text;
        EXPECT_EQ(column, c.columnAfter) << c.text;
    }
}

} // namespace
