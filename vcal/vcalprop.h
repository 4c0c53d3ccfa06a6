// The vCalendar property vocabulary: keywords in identifier order, the flag
// slot each one sets, whether it may repeat, which text its messages go to,
// how its value is checked, and what an item takes from it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "versit_vcal.h"

namespace vcal {

// How a property line's value is checked (vcalcheck.cpp).
enum class ValueCheck : uint8_t {
    Free,       // no slot, no check, always accepted (EXNUM)
    Unchecked,  // the duplicate rule only, not even a ":"
    Text,       // a ":" must introduce the value
    DateTime,   // one date-time
    Alarm,      // run time; snooze duration; repeat count
    Categories, // words of the category list
    Class,      // one word of the class list
    Status,     // one word of the status list
    Priority,   // one run of letters and digits
    Number,     // one run of digits
    DateList,   // date-times separated by ";"
    Zone,       // [+-]hh[:mm]
    Daylight,   // FALSE, or TRUE;offset;start;end;standard;daylight
    Rule,       // a recurrence rule
    Version,    // checked by the reader at calendar level; nothing inside an entity
};

// What an event or to-do takes from a property line, and into which kind
// of PropertyParam field (vcalitem.cpp).
enum class Extract : uint8_t {
    None,     // nothing: the calendar's lines, TRANSP, X-, the rules, the rest
    Time,     // one date-time, into a CalapiTime
    Alarm,    // an alarm's run time, into a CalapiTime
    Text,     // the value, decoded, joined by CR LF to the text already there
    Dates,    // a chain of date-times, replacing the one behind a TimeNode
    Category, // the client's category code, 16 bits
    Class,    // the client's class code, 32 bits
    Priority, // 32 bits
    Number,   // 32 bits
    Status,   // the status word, into the 16-byte status
};

constexpr uint8_t kNoSlot = 0xFF;

struct PropertyInfo {
    const char *keyword;
    uint8_t slot;
    bool repeats; // a second line in one entity is not a duplicate
    bool warns;   // its messages go to the warning text
    ValueCheck check;
    Extract extract = Extract::None;
    uint16_t field = 0;            // offset in PropertyParam
    const char *failure = nullptr; // logged when its extraction fails
};

// Indexed by identifier: the identifiers are the positions, so the order
// is part of the format. Lines are matched against the keywords in this
// order by prefix, first match wins ("X-" last takes every extension).
// RELATED-TO gets the ":" check of the other free texts. Entry 0 stands
// for an unknown line; the empty entry after "X-" ends the table.
inline constexpr PropertyInfo kProperties[VCAL_PROPERTY_COUNT + 2] = {
    {"", kNoSlot, true, false, ValueCheck::Free},
    {"AALARM", VCAL_SLOT_AALARM, false, false, ValueCheck::Alarm, Extract::Alarm,
     offsetof(PropertyParam, audioAlarmTime), "ChangeFormatPTreeToKRec: GetAlarmFromStr 1"},
    {"ATTACH", VCAL_SLOT_ATTACH, true, false, ValueCheck::Text, Extract::Text,
     offsetof(PropertyParam, attachment),
     "ChangeFormatPTreeToKRec: vCal_mallocCopy2ndStrValueInFirst_QP 1"},
    {"ATTENDEE", VCAL_SLOT_ATTENDEE, true, false, ValueCheck::Text, Extract::Text,
     offsetof(PropertyParam, attendee),
     "ChangeFormatPTreeToKRec: vCal_mallocCopy2ndStrValueInFirst_QP 2"},
    {"CATEGORIES", VCAL_SLOT_CATEGORIES, false, false, ValueCheck::Categories, Extract::Category,
     offsetof(PropertyParam, category), "ChangeFormatPTreeToKRec: GetCategories"},
    {"CLASS", VCAL_SLOT_CLASS, false, false, ValueCheck::Class, Extract::Class,
     offsetof(PropertyParam, classCode), "ChangeFormatPTreeToKRec: GetCLass"},
    {"COMPLETED", VCAL_SLOT_COMPLETED, false, false, ValueCheck::DateTime, Extract::Time,
     offsetof(PropertyParam, completedTime), "ChangeFormatPTreeToKRec: GetCalapiTimeFromStr 1"},
    {"DALARM", VCAL_SLOT_DALARM, false, false, ValueCheck::Alarm, Extract::Alarm,
     offsetof(PropertyParam, displayAlarmTime), "ChangeFormatPTreeToKRec: GetAlarmFromStr 2"},
    {"DAYLIGHT", VCAL_SLOT_DAYLIGHT, false, true, ValueCheck::Daylight},
    {"DCREATED", VCAL_SLOT_DCREATED, false, true, ValueCheck::DateTime, Extract::Time,
     offsetof(PropertyParam, createdTime), "ChangeFormatPTreeToKRec: GetCalapiTimeFromStr 2"},
    {"DESCRIPTION", VCAL_SLOT_DESCRIPTION, false, false, ValueCheck::Text, Extract::Text,
     offsetof(PropertyParam, description),
     "ChangeFormatPTreeToKRec: vCal_mallocCopy2ndStrValueInFirst_QP 3"},
    {"DUE", VCAL_SLOT_DUE, false, false, ValueCheck::DateTime, Extract::Time,
     offsetof(PropertyParam, dueTime), "ChangeFormatPTreeToKRec: GetCalapiTimeFromStr 3"},
    {"DTEND", VCAL_SLOT_DTEND, false, false, ValueCheck::DateTime, Extract::Time,
     offsetof(PropertyParam, endTime), "ChangeFormatPTreeToKRec: GetCalapiTimeFromStr 4"},
    {"DTSTART", VCAL_SLOT_DTSTART, false, false, ValueCheck::DateTime, Extract::Time,
     offsetof(PropertyParam, startTime), "ChangeFormatPTreeToKRec: GetCalapiTimeFromStr 5"},
    {"EXDATE", VCAL_SLOT_EXDATE, false, false, ValueCheck::DateList, Extract::Dates,
     offsetof(PropertyParam, exceptionDates),
     "ChangeFormatPTreeToKRec: GetMultiCalapiTimeFromStr 1"},
    {"EXNUM", kNoSlot, true, true, ValueCheck::Free},
    {"GEO", VCAL_SLOT_GEO, false, true, ValueCheck::Unchecked},
    {"LAST-MODIFIED", VCAL_SLOT_LAST_MODIFIED, false, true, ValueCheck::Unchecked},
    {"LOCATION", VCAL_SLOT_LOCATION, false, false, ValueCheck::Text, Extract::Text,
     offsetof(PropertyParam, location),
     "ChangeFormatPTreeToKRec: vCal_mallocCopy2ndStrValueInFirst_QP 4"},
    {"MALARM", VCAL_SLOT_MALARM, false, true, ValueCheck::Unchecked},
    {"PALARM", VCAL_SLOT_PALARM, false, true, ValueCheck::Unchecked},
    {"PRIORITY", VCAL_SLOT_PRIORITY, false, false, ValueCheck::Priority, Extract::Priority,
     offsetof(PropertyParam, priority), "ChangeFormatPTreeToKRec: GetPriorityFromStr"},
    {"PRODID", VCAL_SLOT_PRODID, false, true, ValueCheck::Text},
    {"RDATE", VCAL_SLOT_RDATE, false, false, ValueCheck::DateList, Extract::Dates,
     offsetof(PropertyParam, recurrenceDates),
     "ChangeFormatPTreeToKRec: GetMultiCalapiTimeFromStr 2"},
    {"RELATED-TO", VCAL_SLOT_RELATED_TO, false, false, ValueCheck::Text, Extract::Text,
     offsetof(PropertyParam, relatedTo),
     "ChangeFormatPTreeToKRec: vCal_mallocCopy2ndStrValueInFirst_QP 5"},
    {"RESOURCES", VCAL_SLOT_RESOURCES, false, false, ValueCheck::Text, Extract::Text,
     offsetof(PropertyParam, resources),
     "ChangeFormatPTreeToKRec: vCal_mallocCopy2ndStrValueInFirst_QP 6"},
    {"RNUM", VCAL_SLOT_RNUM, false, true, ValueCheck::Number, Extract::Number,
     offsetof(PropertyParam, recurrenceCount), "ChangeFormatPTreeToKRec: GetNumberFromStr"},
    {"RRULE", VCAL_SLOT_RRULE, false, false, ValueCheck::Rule},
    {"SEQUENCE", VCAL_SLOT_SEQUENCE, false, true, ValueCheck::Unchecked},
    {"STATUS", VCAL_SLOT_STATUS, false, false, ValueCheck::Status, Extract::Status,
     offsetof(PropertyParam, status), "ChangeFormatPTreeToKRec: GetStatus"},
    {"SUMMARY", VCAL_SLOT_SUMMARY, false, false, ValueCheck::Text, Extract::Text,
     offsetof(PropertyParam, summary),
     "ChangeFormatPTreeToKRec: vCal_mallocCopy2ndStrValueInFirst_QP 7"},
    {"TRANSP", VCAL_SLOT_TRANSP, false, false, ValueCheck::Unchecked},
    {"TZ", VCAL_SLOT_TZ, false, false, ValueCheck::Zone},
    {"UID", VCAL_SLOT_UID, false, true, ValueCheck::Text},
    {"URL", VCAL_SLOT_URL, false, true, ValueCheck::Unchecked},
    {"VERSION", VCAL_SLOT_VERSION, false, true, ValueCheck::Version},
    {"EXRULE", VCAL_SLOT_EXRULE, false, false, ValueCheck::Rule},
    {"X-", VCAL_SLOT_X, false, true, ValueCheck::Unchecked},
    {"", kNoSlot, true, false, ValueCheck::Free},
};

static_assert(kProperties[VCAL_PROP_EXRULE].slot == VCAL_SLOT_EXRULE &&
                  kProperties[VCAL_PROP_X].slot == VCAL_SLOT_X &&
                  kProperties[VCAL_PROPERTY_COUNT + 1].keyword[0] == '\0',
              "identifiers are table positions");

inline const PropertyInfo &propertyInfo(uint32_t id) {
    return kProperties[id <= VCAL_PROPERTY_COUNT ? id : 0];
}

} // namespace vcal
