#include "interop/recover/lines.h"

#include <cstring>

#include "platform/ascii.h"

namespace interop {

bool LineCursor::next(Line &line) {
    if (at_ >= length_) return false;
    const char *begin = text_ + at_;
    const size_t left = length_ - at_;
    // Lines end at LF nearly always: one memchr finds it; a lone CR
    // before it is rare and found by a second look.
    const void *lf = std::memchr(begin, '\n', left);
    size_t stop = lf != nullptr ? static_cast<size_t>(static_cast<const char *>(lf) - begin) : left;
    const void *cr = std::memchr(begin, '\r', stop);
    size_t breakLength = stop < left ? 1 : 0;
    if (cr != nullptr) {
        const size_t at = static_cast<size_t>(static_cast<const char *>(cr) - begin);
        breakLength = at + 1 < left && begin[at + 1] == '\n' ? 2 : 1;
        stop = at;
    }
    line.text = std::string_view(begin, stop);
    line.number = ++number_;
    line.start = at_;
    at_ += stop + breakLength;
    line.end = at_;
    return true;
}

bool isKeywordLine(std::string_view line, std::string_view keyword, std::string_view *rest) {
    size_t i = 0;
    while (i < line.size() && ascii::isBlank(line[i]))
        ++i;
    if (line.size() - i < keyword.size() || !sameWord(line.substr(i, keyword.size()), keyword))
        return false;
    i += keyword.size();
    while (i < line.size() && ascii::isBlank(line[i]))
        ++i;
    if (i == line.size() || line[i] != ':') return false;
    ++i;
    if (rest != nullptr) {
        std::string_view value = line.substr(i);
        while (!value.empty() && ascii::isBlank(value.front()))
            value.remove_prefix(1);
        while (!value.empty() && ascii::isBlank(value.back()))
            value.remove_suffix(1);
        *rest = value;
    }
    return true;
}

bool hasPropertyShape(std::string_view line, std::string_view *name) {
    size_t i = 0;
    size_t nameStart = 0;
    // Writers use more than letters, digits and "-" in names
    // ("X-messaging/aim-All"); what no name holds is a blank, "=", or the
    // delimiters.
    auto isNameChar = [](char c) {
        return c > ' ' && c != ':' && c != ';' && c != '=' && c != '.' && c != 0x7F;
    };
    while (i < line.size() && (isNameChar(line[i]) || line[i] == '.')) {
        if (line[i] == '.') nameStart = i + 1;
        ++i;
    }
    if (i == nameStart) return false;
    const std::string_view found = line.substr(nameStart, i - nameStart);
    while (i < line.size() && ascii::isBlank(line[i]))
        ++i;
    if (i == line.size()) return false;
    if (line[i] == ';') {
        if (line.find(':', i) == std::string_view::npos) return false;
    } else if (line[i] != ':') {
        return false;
    }
    if (name != nullptr) *name = found;
    return true;
}

bool isBlankLine(std::string_view line) {
    for (char c : line) {
        if (!ascii::isBlank(c)) return false;
    }
    return true;
}

bool sameWord(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (ascii::upper(a[i]) != ascii::upper(b[i])) return false;
    }
    return true;
}

} // namespace interop
