// Checking property lines while a vCalendar is read: the duplicate rule,
// the value checks, the VERSION check, the form of BEGIN and END lines and
// the checks of whole blocks.
#pragma once

#include <cstdint>

#include "vcal/vcalmsg.h"
#include "versit_vcal.h"

namespace vcal {

// Block kinds of vCal_VerifyAllProperty.
constexpr uint16_t kBlockCalendar = 1;
constexpr uint16_t kBlockEvent = 2;
constexpr uint16_t kBlockTodo = 3;

// Applies the duplicate rule and the value check of the node's property,
// sets the property's slot in `flags` (and slot 0 on refusal). Returns 1
// when the line is accepted, 0 when it is refused. `message`
// (kMessageSize bytes) is cleared first and receives the message of
// the last fault found, which an accepted line may have too.
int32_t vCal_CheckPropertyValue(const PropertyNode *node, PropertyFlags *flags, char *message,
                                uint32_t lineNumber);

// The calendar-level VERSION check: copies the value (at most 8
// characters) to `version` (9 bytes) and returns 0 when it is "1.0";
// otherwise formats a message and returns VCAL_ERR_BAD_VERSION for another
// value, VCAL_ERR_NO_VALUE for none.
int32_t vCal_CheckVersion(const char *line, char *message, uint32_t lineNumber, char *version);

// The form of a BEGIN or END line: 1 when it is good, else 0 with a message.
int32_t vCal_CheckBeginEndForm(const char *line, char *message, uint32_t lineNumber);

// Appends the messages of a finished block (kBlockCalendar, kBlockEvent or
// kBlockTodo) with `flags`. 0, or VCAL_ERR_NO_MEMORY.
int32_t vCal_VerifyAllProperty(const PropertyFlags *flags, TextBuffer *errors, TextBuffer *warnings,
                               uint32_t lineNumber, uint16_t kind);

} // namespace vcal
