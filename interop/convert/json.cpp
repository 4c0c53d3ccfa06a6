#include "interop/convert/json.h"

namespace interop::convert {

namespace {

// Length of the valid UTF-8 sequence at text[i], or 0 for a bad byte.
size_t validSequence(std::string_view text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t length;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;  // overlong
        if (lead == 0xED) high = 0x9F; // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    if (byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (size_t k = 2; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    }
    return length;
}

} // namespace

bool appendJsonString(vcal::TextBuffer &out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string_view quote = "\"";
    if (!out.append(&quote, 1)) return false;
    size_t start = 0;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        char escape[7] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15], 0};
        std::string_view replacement;
        size_t length = 1;
        if (c == '"' || c == '\\') {
            escape[1] = static_cast<char>(c);
            replacement = std::string_view(escape, 2);
        } else if (c == '\n') {
            replacement = "\\n";
        } else if (c == '\r') {
            replacement = "\\r";
        } else if (c == '\t') {
            replacement = "\\t";
        } else if (c < 0x20) {
            replacement = std::string_view(escape, 6);
        } else if (c >= 0x80) {
            length = validSequence(text, i);
            if (length == 0) {
                replacement = "\xEF\xBF\xBD";
                length = 1;
            }
        }
        if (replacement.empty()) {
            i += length;
            continue;
        }
        const std::string_view pieces[2] = {text.substr(start, i - start), replacement};
        if (!out.append(pieces, 2)) return false;
        i += length;
        start = i;
    }
    const std::string_view pieces[2] = {text.substr(start), quote};
    return out.append(pieces, 2);
}

} // namespace interop::convert
