// A text in memory as the vCalendar reader's byte source: one byte per
// call, then NULs once the text is used up (the reader stops at a NUL).
#pragma once

#include <cstddef>
#include <cstdint>

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
