// The reader's messages: the 26 numbered texts, formatting one into the
// message buffer, and appending it to the error or the warning text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/copy.h"

namespace vcal {

enum Message : uint16_t {
    kMsgCannotRecover = 1,
    kMsgBadDateTime = 2,
    kMsgMissingDate = 3, // with the 1-based number of the date in its list
    kMsgDuplicate = 4,
    kMsgNoComponents = 5,
    kMsgIllegalCharacter = 6,  // with a position
    kMsgIllegalWhiteSpace = 7, // with a position
    kMsgMissingParts = 8,
    kMsgNoEnd = 9,
    kMsgNoStart = 10,
    kMsgMissingValue = 11, // with a position
    kMsgNoVersion = 12,    // fixed text, no line number
    kMsgEntityInCalendar = 13,
    kMsgCalendarInEvent = 14,
    kMsgCalendarInTodo = 15,
    kMsgBadValue = 16,
    kMsgColon = 17,
    kMsgBadRule = 18,
    kMsgBadRunTime = 19, // defined for completeness; no check raises it
    kMsgBadZone = 20,
    kMsgUnknownBegin = 21,
    kMsgUnknownProperty = 22,
    kMsgBadVersion = 23,
    kMsgEndEvent = 24,
    kMsgEndTodo = 25,
    kMsgYear = 26,
};

// Codes an appended message carries besides the property identifiers
// (1 to 37); they choose the text it goes to.
constexpr uint16_t kCodeBlock = 0;         // block checks: error
constexpr uint16_t kCodeCalendarForm = 50; // BEGIN/END VCALENDAR form: warning
constexpr uint16_t kCodeEventForm = 51;    // BEGIN/END VEVENT form: warning
constexpr uint16_t kCodeTodoForm = 52;     // BEGIN/END VTODO form: warning
constexpr uint16_t kCodeStructure = 53;    // structural errors: error
constexpr uint16_t kCodeUnknownBegin = 54; // error
constexpr uint16_t kCodeUnknownLine = 55;  // unknown property: warning
constexpr uint16_t kCodeOtherWarning = 56; // warning; not used by the reader

// Large enough for the longest message with a 10-digit line number and an
// 11-character position.
constexpr size_t kMessageSize = 128;

// The room a buffer of `capacity` bytes grows to when it needs `needed` in
// all: twice what it had (at least `first`), or, where one piece needs
// more than that, the piece and a quarter: a long line followed by a short
// one would otherwise leave the buffer twice the long line.
constexpr size_t grownCapacity(size_t capacity, size_t first, size_t needed) {
    const size_t doubled = capacity < first           ? first
                           : capacity <= SIZE_MAX / 2 ? capacity * 2
                                                      : SIZE_MAX;
    if (doubled >= needed) return doubled;
    return needed <= SIZE_MAX - needed / 4 ? needed + needed / 4 : needed;
}

// A text that grows by doubling and knows its length, so that appending a
// message never rescans or recopies what is there more than a constant
// number of times. `text` is malloc'ed and NUL-terminated once not null.
struct TextBuffer {
    char *text = nullptr;
    size_t length = 0;
    size_t capacity = 0;

    TextBuffer() = default;
    TextBuffer(const TextBuffer &) = delete;
    TextBuffer &operator=(const TextBuffer &) = delete;
    ~TextBuffer();

    // All pieces or nothing; false when memory runs out. Inline, like the
    // one-piece form: writers append many small pieces, and most fit in
    // what is already there.
    bool append(const std::string_view *pieces, size_t count) {
        size_t added = 0;
        for (size_t i = 0; i < count; ++i)
            added += pieces[i].size();
        if (length + added >= capacity && !grow(length + added + 1)) return false;
        for (size_t i = 0; i < count; ++i) {
            copy(text + length, pieces[i]);
            length += pieces[i].size();
        }
        text[length] = '\0';
        return true;
    }
    bool append(std::string_view piece) { return append(&piece, 1); }
    // Room for `more` bytes after the text, and its terminator, for a
    // writer that fills them itself through `end()` and then `close`;
    // false when memory runs out.
    bool reserve(size_t more) { return length + more < capacity || grow(length + more + 1); }
    char *end() { return text + length; }
    // Ends the text at `at`, within the room reserved.
    void close(char *at) {
        length = static_cast<size_t>(at - text);
        *at = '\0';
    }
    // Hands the text over (null when nothing was appended).
    char *release();
    // Frees the room (and the text) of a buffer kept for reuse that one
    // long piece made large: it is not held until the next long piece.
    void dropIfLong(size_t limit = kLong) {
        if (capacity > limit) std::free(release());
    }
    static constexpr size_t kLong = 65536;

  private:
    // Room for `needed` bytes in all; false when memory runs out.
    bool grow(size_t needed);
    // Short pieces are moved without a call: most are a few bytes.
    static void copy(char *to, std::string_view piece) {
        platform::copyBytes(to, piece.data(), piece.size());
    }
};

// Formats message `number` (1 to 26) into `buffer` (kMessageSize bytes) as
// " <line>: <text>" or " <line>: <text> <position or number>"; message 12
// is a fixed text. Another number leaves the buffer as it is. A null
// pointer counts as 0.
void vCal_FormatMessage(char *buffer, uint32_t number, const uint32_t *line,
                        const int32_t *position);

// Appends one formatted message as one line ending in CR LF, with
// ` in "<quotedLine>"` after it when a line is given: to the warning text when `warnings` is given
// and the code is a warning code, else to the error text. A message that starts with a blank (the
// line number) is prefixed "Warning, line" or "Error, line"; message 12 goes in as it is. 0, or
// VCAL_ERR_NO_MEMORY ("vCal_AppendErrMesg (malloc)") with both texts unchanged.
int32_t vCal_AppendErrMesg(TextBuffer *errors, TextBuffer *warnings, uint16_t code,
                           const char *message, std::string_view quotedLine = {});

} // namespace vcal
