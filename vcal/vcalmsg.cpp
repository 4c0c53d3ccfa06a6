// The reader's 26 messages and the error and warning texts they go to.
#include "vcal/vcalmsg.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "diag/errlog.h"
#include "vcal/vcalprop.h"
#include "versit_vcal.h"

namespace {

enum class Form : uint8_t { Line, LineAndNumber, Fixed };

struct MessageText {
    Form form;
    const char *text;
};

// Indexed by message number.
constexpr MessageText kMessages[] = {
    {Form::Fixed, ""},
    {Form::Line, "cannot recover from previous errors"},
    {Form::Line, "Date or Time value is not valid"},
    {Form::LineAndNumber, "missing Date and Time value, number"},
    {Form::Line, "duplicate property"},
    {Form::Line, "no VEVENT or VTODO in VCALENDAR"},
    {Form::LineAndNumber, "illegal character at position"},
    {Form::LineAndNumber, "illegal white space at position"},
    {Form::Line, "some property values are missing or in wrong order"},
    {Form::Line, "end date and time is missing; can't create VEVENT"},
    {Form::Line, "start date and time is missing; can't create VEVENT"},
    {Form::LineAndNumber, "missing property value at position"},
    {Form::Fixed, "Warning: \"VERSION\" property is missing"},
    {Form::Line, "VEVENT or VTODO properties inside VCALENDAR properties"},
    {Form::Line, "VCALENDAR properties inside VEVENT properties"},
    {Form::Line, "VCALENDAR properties inside VTODO properties"},
    {Form::Line, "property value is not valid"},
    {Form::Line, "missing or misplaced ':'"},
    {Form::Line, "recurrence rule is not valid"},
    {Form::Line, "Run Time is not valid"},
    {Form::Line, "TimeZone is not valid"},
    {Form::Line, "unknown BEGIN"},
    {Form::Line, "unknown property"},
    {Form::Line, "VERSION not valid"},
    {Form::Line, "\"END:VEVENT\" expected"},
    {Form::Line, "\"END:VTODO\" expected"},
    {Form::Line, "year is outside of system range (1991-2037)"},
};
static_assert(sizeof kMessages / sizeof kMessages[0] == 27, "26 messages");

constexpr size_t kFirstCapacity = 256;

} // namespace

namespace vcal {

TextBuffer::~TextBuffer() { std::free(text); }

bool TextBuffer::grow(size_t needed) {
    const size_t grown = grownCapacity(capacity, kFirstCapacity, needed);
    void *bigger = std::realloc(text, grown);
    if (bigger == nullptr) return false;
    text = static_cast<char *>(bigger);
    capacity = grown;
    return true;
}

char *TextBuffer::release() {
    char *out = text;
    text = nullptr;
    length = capacity = 0;
    return out;
}

namespace {

// Whether a message with this code goes to the warning text (when there
// is one).
bool isWarningCode(uint16_t code) {
    if (code >= 1 && code <= VCAL_PROPERTY_COUNT) return kProperties[code].warns;
    switch (code) {
    case kCodeCalendarForm:
    case kCodeEventForm:
    case kCodeTodoForm:
    case kCodeUnknownLine:
    case kCodeOtherWarning:
        return true;
    default:
        return false;
    }
}

} // namespace

void vCal_FormatMessage(char *buffer, uint32_t number, const uint32_t *line,
                        const int32_t *position) {
    if (buffer == nullptr || number < 1 || number > 26) return;
    const MessageText &m = kMessages[number];
    const unsigned long lineNumber = line != nullptr ? *line : 0;
    switch (m.form) {
    case Form::Fixed:
        std::snprintf(buffer, kMessageSize, "%s", m.text);
        break;
    case Form::Line:
        std::snprintf(buffer, kMessageSize, " %lu: %s", lineNumber, m.text);
        break;
    case Form::LineAndNumber:
        std::snprintf(buffer, kMessageSize, " %lu: %s %d", lineNumber, m.text,
                      position != nullptr ? static_cast<int>(*position) : 0);
        break;
    }
}

int32_t vCal_AppendErrMesg(TextBuffer *errors, TextBuffer *warnings, uint16_t code,
                           const char *message, std::string_view quotedLine) {
    if (errors == nullptr || message == nullptr) {
        WriteErrLog(2, VCAL_ERR_NULL_ARGUMENT, "vCal_AppendErrMesg (nullptr)");
        return VCAL_ERR_NULL_ARGUMENT;
    }
    const bool warning = warnings != nullptr && isWarningCode(code);
    TextBuffer &target = warning ? *warnings : *errors;
    std::string_view prefix;
    if (message[0] == ' ') prefix = warning ? "Warning, line" : "Error, line";
    const std::string_view pieces[] = {prefix,
                                       message,
                                       quotedLine.empty() ? "" : " in \"",
                                       quotedLine,
                                       quotedLine.empty() ? "" : "\"",
                                       "\r\n"};
    if (!target.append(pieces, sizeof pieces / sizeof pieces[0])) {
        WriteErrLog(2, VCAL_ERR_NO_MEMORY, "vCal_AppendErrMesg (malloc)");
        return VCAL_ERR_NO_MEMORY;
    }
    return 0;
}

} // namespace vcal
