#include "interop/recover/lines.h"

#include <cstring>

#include "platform/ascii.h"

namespace interop {

size_t LineCursor::next(size_t &found, char c) const {
    if (searched_ && found >= at_) return found;
    const void *p = std::memchr(text_ + at_, c, length_ - at_);
    found = p != nullptr ? static_cast<size_t>(static_cast<const char *>(p) - text_) : length_;
    return found;
}

bool LineCursor::next(Line &line) {
    if (at_ >= length_) return false;
    const size_t lf = next(lf_, '\n');
    const size_t cr = next(cr_, '\r');
    const size_t nul = next(nul_, '\0');
    searched_ = true;
    size_t stop = lf;
    size_t breakLength = lf < length_ ? 1 : 0;
    if (cr < lf) {
        stop = cr;
        breakLength = cr + 1 < length_ && text_[cr + 1] == '\n' ? 2 : 1;
    }
    line.text = std::string_view(text_ + at_, stop - at_);
    line.number = ++number_;
    line.start = at_;
    line.nul = nul < stop;
    at_ = stop + breakLength;
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

} // namespace interop
