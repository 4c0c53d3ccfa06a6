// Character classes of ASCII bytes, the same in every locale. Keywords,
// digits and separators of versit text are ASCII; <cctype> follows the
// locale and is undefined for the negative chars that 8-bit text brings.
#pragma once

namespace ascii {

constexpr bool isBlank(char c) { return c == ' ' || c == '\t'; }
constexpr bool isBreak(char c) { return c == '\r' || c == '\n'; }
// The end of a line held in a NUL-terminated text.
constexpr bool isLineEnd(char c) { return c == '\0' || isBreak(c); }
// Blank, break, vertical tab or form feed: what strtol skips.
constexpr bool isSpace(char c) { return isBlank(c) || isBreak(c) || c == '\v' || c == '\f'; }
constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
constexpr bool isAlnum(char c) { return isLetter(c) || isDigit(c); }
// The value of a hexadecimal digit of either case, or -1.
constexpr int hexValue(char c) {
    return isDigit(c)             ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}
constexpr char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
constexpr unsigned char lower(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}
// Two NUL-terminated texts the same but for the case of their letters:
// what a case-blind comparison calls equal.
constexpr bool sameCaseless(const char *a, const char *b) {
    for (;; ++a, ++b) {
        const auto x = static_cast<unsigned char>(*a);
        const auto y = static_cast<unsigned char>(*b);
        if (x != y && lower(x) != lower(y)) return false;
        if (x == 0) return true;
    }
}

} // namespace ascii
