#include "interop/convert/json.h"

#include "interop/charset/utf8.h"

namespace interop::convert {

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
            length = utf8SequenceLength(text.data() + i, text.size() - i);
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
