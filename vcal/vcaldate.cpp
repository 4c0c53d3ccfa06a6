// Date and time texts to CalapiTime minutes, and the original date text of
// a property line. Calendar dates become day numbers through the date
// library only.
#include "vcal/vcaldate.h"

#include <cstring>

#include "date/kldate.h"
#include "diag/errlog.h"
#include "platform/ascii.h"
#include "versit_vcal.h"

namespace {

constexpr uint32_t kMinutesPerDay = 1440;

using ascii::isDigit;

// The value of `count` digits at `p`, which the caller has checked.
uint32_t digits(const char *p, int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value * 10 + static_cast<uint32_t>(p[i] - '0');
    return value;
}

// Reads at most `most` digits; returns how many there were.
int readDigits(const char *&p, int most, uint32_t &value) {
    int n = 0;
    value = 0;
    while (n < most && isDigit(*p)) {
        value = value * 10 + static_cast<uint32_t>(*p++ - '0');
        ++n;
    }
    return n;
}

using errlog::fail;

// The date library's verdict on a calendar date: the minutes of its
// midnight, or the failing call's code with `dateSetFailed` telling which
// call it was.
int32_t midnight(uint32_t day, uint32_t month, uint32_t year, uint32_t &minutes,
                 bool &dateSetFailed) {
    uint16_t id = 0;
    const int32_t rc = KL_DateIdOf(day, month - 1, year, &id, &dateSetFailed);
    if (rc != 0) return rc;
    minutes = (id - 1u) * kMinutesPerDay;
    return 0;
}

struct Outcome {
    int32_t code;
    const char *message;
};

Outcome convert(const char *text, uint32_t *minutes, const int32_t *zone) {
    if (text == nullptr || minutes == nullptr)
        return {VCAL_ERR_NULL_ARGUMENT, "vCal_ConvertDateStrToMinute (null pointer)"};
    const char *p = text;
    while (*p != '\0' && !isDigit(*p))
        ++p;
    const char *date = p;
    uint32_t unused = 0;
    if (readDigits(p, 8, unused) < 8)
        return {VCAL_ERR_BAD_DATE_TIME, "vCal_ConvertDateStrToMinute (date 3)"};
    if (*p != 'T' && *p != 't')
        return {VCAL_ERR_BAD_DATE_TIME, "vCal_ConvertDateStrToMinute (date 2)"};
    const char *time = ++p;
    if (readDigits(p, 6, unused) < 6)
        return {VCAL_ERR_BAD_DATE_TIME, "vCal_ConvertDateStrToMinute (date 1)"};
    // A seventh time digit, or anything else after the seconds, is not
    // looked at.
    const bool utc = *p == 'Z' || *p == 'z';
    const uint32_t year = digits(date, 4);
    if (year < 1991 || year > 2036)
        return {VCAL_ERR_BAD_YEAR, "vCal_ConvertDateStrToMinute (year)"};
    const uint32_t hour = digits(time, 2);
    if (hour >= 24) return {VCAL_ERR_BAD_HOUR, "vCal_ConvertDateStrToMinute (hour)"};
    const uint32_t minute = digits(time + 2, 2);
    if (minute > 59) return {VCAL_ERR_BAD_MINUTE, "vCal_ConvertDateStrToMinute (minute)"};
    uint32_t result = 0;
    bool dateSetFailed = false;
    const int32_t rc =
        midnight(digits(date + 6, 2), digits(date + 4, 2), year, result, dateSetFailed);
    if (rc == KL_DATE_E_DAY || rc == KL_DATE_E_DAY_IN_MONTH)
        return {VCAL_ERR_BAD_DAY, "vCal_ConvertDateStrToMinute (day)"};
    if (rc == KL_DATE_E_MONTH) return {VCAL_ERR_BAD_MONTH, "vCal_ConvertDateStrToMinute (month)"};
    if (rc != 0) {
        return {rc, dateSetFailed ? "vCal_ConvertDateStrToMinute: KL_DateSet"
                                  : "vCal_ConvertDateStrToMinute:  KL_DateGetDayId"};
    }
    result += hour * 60 + minute;
    // Stored times are UTC: local = UTC + offset.
    if (!utc && zone != nullptr) result -= static_cast<uint32_t>(*zone);
    *minutes = result;
    return {0, nullptr};
}

} // namespace

namespace vcal {

int32_t parseDateTime(const char *text, uint32_t *minutes, const int32_t *zone,
                      const char **failure) {
    const Outcome outcome = convert(text, minutes, zone);
    if (failure != nullptr) *failure = outcome.message;
    return outcome.code;
}

} // namespace vcal

VERSIT_API int32_t vCal_ConvertDateStrToMinute(const char *text, uint32_t *minutes,
                                               uint32_t /*unused*/, const int32_t *zone) {
    const Outcome outcome = convert(text, minutes, zone);
    return outcome.code == 0 ? 0 : fail(outcome.code, outcome.message);
}

VERSIT_API int32_t vCal_DateStrToCalapiTime(const char *text, uint32_t *minutes, uint32_t separator,
                                            uint8_t *valid) {
    if (text == nullptr || minutes == nullptr || valid == nullptr)
        return fail(VCAL_ERR_NULL_ARGUMENT, "vCal_DateStrToCalapiTime (null pointer)");
    *valid = 1;
    const char sep = static_cast<char>(separator & 0xFF);
    const char *p = text;
    uint32_t month = 0;
    uint32_t day = 0;
    uint32_t year = 0;
    bool good = readDigits(p, 3, month) > 0 && *p++ == sep && month >= 1 && month <= 12;
    good = good && readDigits(p, 3, day) > 0 && *p++ == sep && day >= 1 && day <= 31;
    if (good) {
        // Two-digit years run from 1991 to 2090.
        const int n = readDigits(p, 4, year);
        if (n == 2) year += year < 91 ? 2000 : 1900;
        good = (n == 2 || n == 4) && year >= 1991 && year <= 2036;
    }
    if (!good) {
        *valid = 0;
        return 0;
    }
    uint32_t result = 0;
    bool dateSetFailed = false;
    const int32_t rc = midnight(day, month, year, result, dateSetFailed);
    if (rc != 0) {
        return fail(rc, dateSetFailed ? "vCal_DateStrToCalapiTime: KL_DateSet"
                                      : "vCal_DateStrToCalapiTime: KL_DateGetDayId");
    }
    *minutes = result;
    return 0;
}

VERSIT_API int32_t vCal_TimeStrToCalapiTime(const char *text, uint32_t *minutes, uint8_t *valid) {
    if (text == nullptr || minutes == nullptr || valid == nullptr)
        return fail(VCAL_ERR_NULL_ARGUMENT, "vCal_TimeStrToCalapiTime (null pointer)");
    *valid = 1;
    const char *p = text;
    uint32_t hours = 0;
    uint32_t mins = 0;
    const bool good = readDigits(p, 3, hours) > 0 && *p++ == ':' && hours < 24 &&
                      readDigits(p, 3, mins) >= 2 && mins < 60;
    if (!good) {
        *valid = 0;
        return 0;
    }
    *minutes = hours * 60 + mins;
    return 0;
}

VERSIT_API int32_t vCal_GetOriginalDateString(const void *entity, uint32_t itemType,
                                              uint32_t propertyId, char *out, uint32_t outSize,
                                              uint8_t *found) {
    // The type, identifier and size travel as 16-bit values in 32-bit slots.
    const auto type = static_cast<uint16_t>(itemType);
    const auto id = static_cast<uint16_t>(propertyId);
    const auto size = static_cast<uint16_t>(outSize);
    if (entity == nullptr)
        return fail(VCAL_ERR_NULL_ARGUMENT, "vCal_GetOriginalDateString: EventOrTodoPtr");
    if (out == nullptr) return fail(VCAL_ERR_NULL_BUFFER, "vCal_GetOriginalDateString: DateStr");
    if (size < 16)
        return fail(VCAL_ERR_BUFFER_TOO_SMALL, "vCal_GetOriginalDateString: SizeOfDateStr");
    if (type != VCAL_ITEM_EVENT && type != VCAL_ITEM_TODO)
        return fail(VCAL_ERR_BAD_ITEM_TYPE, "vCal_GetOriginalDateString: Not a event or todo");
    switch (id) {
    case VCAL_PROP_COMPLETED:
    case VCAL_PROP_DCREATED:
    case VCAL_PROP_DUE:
    case VCAL_PROP_DTEND:
    case VCAL_PROP_DTSTART:
    case VCAL_PROP_LAST_MODIFIED:
        break;
    default:
        return fail(VCAL_ERR_NOT_DATE_PROPERTY, "vCal_GetOriginalDateString: token");
    }
    // Events and to-dos share one layout.
    const auto *node = static_cast<const VEventNode *>(entity);
    bool copied = false;
    for (const PropertyNode *p = node->properties; p != nullptr && !copied; p = p->next) {
        if (p->propertyId != id || p->line == nullptr) continue;
        const char *colon = std::strchr(p->line, ':');
        if (colon == nullptr) continue;
        const char *s = colon + 1;
        while (*s == ' ' || *s == '\t')
            ++s;
        // A 16-character token needs 17 bytes; a 16-byte buffer gets 15 of
        // them rather than an overrun.
        size_t n = 0;
        while (n < 16 && n + 1 < size && ascii::isAlnum(s[n]))
            ++n;
        std::memcpy(out, s, n);
        out[n] = '\0';
        copied = true;
    }
    if (found != nullptr) *found = copied ? 1 : 0;
    return 0;
}
