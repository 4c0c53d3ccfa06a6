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
    // The lines of a text, without their CR LF.
    static std::vector<std::string> lines(const std::string &text) {
        std::vector<std::string> out;
        for (size_t at = 0; at < text.size();) {
            size_t end = text.find("\r\n", at);
            if (end == std::string::npos) end = text.size();
            out.push_back(text.substr(at, end - at));
            at = end + 2;
        }
        return out;
    }
    std::vector<std::string> errorLines() const { return lines(errors); }
    std::vector<std::string> warningLines() const { return lines(warnings); }
};

inline void read(Reading &r, ByteSource &source, vCalProgressFct progress = nullptr,
                 uint32_t *lineCount = nullptr) {
    char *errors = nullptr;
    char *warnings = nullptr;
    r.rc = vCal_ParseTreeFromStreamGet(&r.tree, &source, ByteSource::next, &errors, &warnings,
                                       progress, lineCount, &r.versionOk, r.version, 0);
    r.hadErrors = errors != nullptr;
    r.hadWarnings = warnings != nullptr;
    if (errors != nullptr) r.errors = errors;
    if (warnings != nullptr) r.warnings = warnings;
    std::free(errors);
    std::free(warnings);
}

inline void read(Reading &r, const std::string &text) {
    ByteSource source{text};
    read(r, source);
}

} // namespace vcaltest
