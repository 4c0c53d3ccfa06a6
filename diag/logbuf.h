// A bounded text buffer for building log records: appends past its room
// are cut, never overrun, and the NUL is always kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

struct LogBuffer {
    char *data;
    size_t room; // bytes available, the NUL included
    size_t length = 0;

    LogBuffer(char *buffer, size_t size) : data(buffer), room(buffer != nullptr ? size : 0) {
        if (room > 0) data[0] = '\0';
    }

    size_t left() const { return room > length + 1 ? room - length - 1 : 0; }

    void append(const char *text, size_t n) {
        if (n > left()) n = left();
        std::memcpy(data + length, text, n);
        length += n;
        data[length] = '\0';
    }
    void append(const char *text) { append(text, std::strlen(text)); }
    void append(char c) { append(&c, 1); }
    void repeat(char c, size_t n) {
        while (n-- > 0 && left() > 0)
            append(c);
    }

    // Digits are produced last first and then turned around in place.
    void appendUnsigned(uint32_t value, uint32_t base) {
        char digits[40];
        size_t n = 0;
        do {
            digits[n++] = "0123456789ABCDEF"[value % base];
            value /= base;
        } while (value != 0);
        reverse(digits, n);
        append(digits, n);
    }
    void appendSigned(int32_t value) {
        if (value < 0) append('-');
        appendUnsigned(value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value),
                       10);
    }
    // Exactly `width` upper-case hex digits, filled with leading zeros.
    void appendHex(uint32_t value, size_t width) {
        char digits[8];
        for (size_t i = 0; i < width && i < sizeof digits; ++i) {
            digits[i] = "0123456789ABCDEF"[value & 0xF];
            value >>= 4;
        }
        reverse(digits, width);
        append(digits, width);
    }

    // Ends the record with a line feed even when the text filled the room:
    // a record always ends its last line.
    void endLine() {
        if (left() == 0 && length > 0)
            data[length - 1] = '\n';
        else
            append('\n');
    }

  private:
    static void reverse(char *s, size_t n) {
        for (size_t i = 0, j = n; i + 1 < j; ++i, --j) {
            const char t = s[i];
            s[i] = s[j - 1];
            s[j - 1] = t;
        }
    }
};
