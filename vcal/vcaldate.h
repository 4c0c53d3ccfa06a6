// vCalendar date-time texts: the conversion shared by the value checks
// (which report faults as messages) and vCal_ConvertDateStrToMinute (which
// logs them).
#pragma once

#include <cstdint>

namespace vcal {

// Converts a date-time text as vCal_ConvertDateStrToMinute does, without
// logging. Returns 0 or its result code; *failure (when given) receives the
// log message of a failure.
int32_t parseDateTime(const char *text, uint32_t *minutes, const int32_t *zone,
                      const char **failure);

} // namespace vcal
