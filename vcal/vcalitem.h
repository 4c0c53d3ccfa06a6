// Calendar item extraction: one event or to-do of a parse tree as a
// PropertyParam, with times in UTC minutes, decoded texts, the client's
// codes and the occurrence lists of its rules.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "versit_vcal.h"

namespace vcal {

// Fills `item` from the entity (a VEventNode or VTodoNode) of type 2
// (event) or 3 (to-do): initialises it, copies the entity's flags, runs
// the extractor of every property line in input order and expands RRULE
// and EXRULE from DTSTART. Local times have `zone` (local = UTC + zone
// minutes) subtracted. `daylight` is not read. The first failing step ends
// the conversion with its code; the record then holds what was converted
// so far (release it with releaseItem).
int32_t ChangeFormatPTreeToKRec(const void *entity, uint16_t type, PropertyParam *item,
                                const char *daylight, int32_t zone);

// The zone offset of the calendar-level lines from `first` on: that of
// the last TZ line, 0 without one. VCAL_ERR_NO_VALUE for a ":" without
// minute digits.
int32_t GetDayLightTZ(const PropertyNode *first, int32_t *zone);

// 1 when the converted item is one the client can take, else 0 (and
// *counter, when given, decreased). Clears the alarm flags of alarms not
// before the start, and for a to-do the DTEND, COMPLETED and DUE flags of
// times before the start; an event must end after it starts.
int32_t vCal_AcceptItem(PropertyParam *item, uint16_t *counter, uint16_t type);

// A field of a packed record chosen by its offset. Pointers to members
// would lose the packing and read misaligned fields as if aligned.
inline void *loadPointer(const void *record, size_t offset) {
    void *value = nullptr;
    std::memcpy(&value, static_cast<const char *>(record) + offset, sizeof(void *));
    return value;
}
inline void storePointer(void *record, size_t offset, const void *value) {
    std::memcpy(static_cast<char *>(record) + offset, &value, sizeof(void *));
}
template <class Number> void storeNumber(void *record, size_t offset, Number value) {
    static_assert(std::is_arithmetic<Number>::value, "a pointer goes through storePointer");
    std::memcpy(static_cast<char *>(record) + offset, &value, sizeof value);
}

// Releases what a converted record owns: texts, date chains and both
// occurrence lists.
void releaseItem(PropertyParam *item);

} // namespace vcal
