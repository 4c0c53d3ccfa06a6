// The transfer encodings over any bytes: each decoder accepts anything,
// and what an encoder writes decodes back to what it was given.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "versit_core.h"

namespace {

// The encoded text less its soft line breaks, as the parser reads it.
std::string withoutSoftBreaks(const char *encoded) {
    std::string s = encoded;
    for (size_t at = s.find("=\r\n "); at != std::string::npos; at = s.find("=\r\n ", at))
        s.erase(at, 4);
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    const int32_t column = static_cast<int8_t>(data[0]) * 3;
    const std::string bytes(reinterpret_cast<const char *>(data) + 1, size - 1);
    const char *text = bytes.c_str(); // up to the first NUL

    char *out = nullptr;
    int32_t count = 0;
    VLIB_convertFromBase64(text, &count, &out);
    check(out != nullptr && count >= 0 && out[count] == '\0');
    std::free(out);

    char *encoded = nullptr;
    check(VLIB_convertToBase64(bytes.data(), static_cast<int32_t>(bytes.size()), &encoded) == 0);
    check(VLIB_convertFromBase64(encoded, &count, &out) == 0);
    check(static_cast<size_t>(count) == bytes.size() &&
          std::memcmp(out, bytes.data(), bytes.size()) == 0);
    std::free(out);
    std::free(encoded);

    VLIB_convertFromQuotedPrintable(text, &out);
    check(out != nullptr && std::strlen(out) <= std::strlen(text));
    std::free(out);

    int32_t qpColumn = column;
    check(VLIB_convertToQuotedPrintable(text, &encoded, &qpColumn) == 0);
    check(VLIB_convertFromQuotedPrintable(withoutSoftBreaks(encoded).c_str(), &out) == 0);
    check(std::strcmp(out, text) == 0);
    std::free(out);
    std::free(encoded);

    int32_t escapeColumn = column;
    check(VLIB_convertToEscapedString(text, &encoded, &escapeColumn) == 0);
    const size_t length = std::strlen(encoded);
    check(length >= 2 && encoded[0] == '"' && encoded[length - 1] == '"');
    std::free(encoded);
    return 0;
}
