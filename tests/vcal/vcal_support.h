// Reading vCalendar text in tests: a byte source over a string, and one
// call of the reader with everything it hands back.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "versit_vcal.h"

namespace vcaltest {

// A field of a packed record, by value: the test macros bind references,
// which a misaligned field cannot take.
template <class T> T value(T field) { return field; }

// Delivers the text one byte per call, then 0 for ever; fails with
// `failCode` at byte `failAt` when that is set.
struct ByteSource {
    std::string text;
    size_t at = 0;
    size_t calls = 0;
    size_t failAt = SIZE_MAX;
    int32_t failCode = 0;

    static int32_t next(void *stream, uint8_t *byte) {
        auto *s = static_cast<ByteSource *>(stream);
        ++s->calls;
        if (s->at == s->failAt) return s->failCode;
        *byte = s->at < s->text.size() ? static_cast<uint8_t>(s->text[s->at]) : 0;
        if (s->at < s->text.size()) ++s->at;
        return 0;
    }
};

struct Reading {
    int32_t rc = 0;
    ParseTreeHandle *tree = nullptr;
    std::string errors;
    std::string warnings;
    bool hadErrors = false;   // an error text was handed out
    bool hadWarnings = false; // a warning text was handed out
    uint8_t versionOk = 9;
    char version[9] = {};

    Reading() = default;
    Reading(const Reading &) = delete;
    Reading &operator=(const Reading &) = delete;
    ~Reading() {
        if (tree != nullptr) vCal_DestroyParseTree(&tree);
    }
};

// The texts a reading handed out, kept in `r` and freed.
inline void keepTexts(Reading &r, char *errors, char *warnings) {
    r.hadErrors = errors != nullptr;
    r.hadWarnings = warnings != nullptr;
    if (errors != nullptr) r.errors = errors;
    if (warnings != nullptr) r.warnings = warnings;
    std::free(errors);
    std::free(warnings);
}

inline void read(Reading &r, ByteSource &source) {
    char *errors = nullptr;
    char *warnings = nullptr;
    r.rc = vCal_ParseTreeFromStreamGet(&r.tree, &source, ByteSource::next, &errors, &warnings,
                                       nullptr, nullptr, &r.versionOk, r.version, 0);
    keepTexts(r, errors, warnings);
}

// "a|b" as "a\r\nb\r\n": tables write a stream's lines joined by "|".
inline std::string crlf(const std::string &barred) {
    std::string out;
    for (char c : barred)
        out += c == '|' ? std::string("\r\n") : std::string(1, c);
    return barred.empty() ? out : out + "\r\n";
}

inline void read(Reading &r, const std::string &text) {
    ByteSource source{text};
    read(r, source);
}

} // namespace vcaltest
