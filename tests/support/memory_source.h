// A text in memory as the vCalendar reader's byte source: one byte per
// call, then NULs once the text is used up (the reader stops at a NUL).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "versit_vcal.h"

struct MemorySource {
    const uint8_t *at;
    const uint8_t *end;

    MemorySource(const void *text, size_t size)
        : at(static_cast<const uint8_t *>(text)), end(at + size) {}

    static int32_t next(void *stream, uint8_t *byte) {
        auto *s = static_cast<MemorySource *>(stream);
        *byte = s->at < s->end ? *s->at++ : 0;
        return 0;
    }
};

// The tree the reader makes of a text in memory (null when it makes none)
// and, when asked, the reader's result; its messages are dropped.
inline ParseTreeHandle *readTree(const void *text, size_t size, int32_t *result = nullptr) {
    MemorySource source(text, size);
    ParseTreeHandle *tree = nullptr;
    char *errors = nullptr;
    char *warnings = nullptr;
    uint8_t versionOk = 0;
    char version[9];
    const int32_t rc =
        vCal_ParseTreeFromStreamGet(&tree, &source, MemorySource::next, &errors, &warnings, nullptr,
                                    nullptr, &versionOk, version, 0);
    if (result != nullptr) *result = rc;
    std::free(errors);
    std::free(warnings);
    return tree;
}
