// Typed value codecs: the text of a property value to a fixed record for
// its value type, and back.
//
// Decisions this file settles:
// - "Blank" and "space" here are the runtime's space class in the C locale
//   (space, tab, CR, LF, VT, FF); bytes from 0x80 up are never digits or
//   spaces, whatever the host's locale.
// - A duration may begin with "p" as well as "P" (a period hands either to
//   it), and "t" counts as "T".
// - Numbers too large for 32 bits saturate at the largest value rather
//   than wrapping: durations, integers.
// - The time, duration, period and UTC-offset parsers clear their record
//   first, so no field of an earlier use survives; the date parser presets
//   it as its rule says.
// - A generator also returns 1 without writing when a field lies outside
//   the width its buffer size assumes (a five-digit year, a three-digit
//   offset): the text would not fit the size the caller was told.
// - The CAL-ADDRESS generator reads at most the record's 64 and 128 bytes
//   of address and name, and the URL generator at most 128, so a record
//   without its NUL is not read past its end.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/ascii.h"
#include "platform/calapi.h"
#include "platform/crt.h"
#include "versit_core.h"

static_assert(sizeof(vDate) == 12 && sizeof(vTime) == 28 && sizeof(vDateTime) == 40 &&
                  sizeof(vDuration) == 28 && sizeof(vPeriod) == 112 && sizeof(vUtcOffset) == 8 &&
                  sizeof(vCalAddress) == 192,
              "typed value records have the sizes of the interface");

namespace {

constexpr int32_t kInvalid = 1;

using ascii::isDigit;
using ascii::isSpace;
bool isSign(char c) { return c == '+' || c == '-'; }

// Two digits at `p` as a number, -1 when they are not both digits.
int twoDigits(const char *p) {
    if (!isDigit(p[0]) || !isDigit(p[1])) return -1;
    return (p[0] - '0') * 10 + (p[1] - '0');
}

int32_t saturatingDigit(int32_t number, char digit) {
    const int64_t next = int64_t{number} * 10 + (digit - '0');
    return next > INT32_MAX ? INT32_MAX : static_cast<int32_t>(next);
}

// The parsers' working copy of their text, released on every way out.
class Copy {
  public:
    explicit Copy(const char *text) : text_(crt::_strdup(text)) {}
    Copy(const Copy &) = delete;
    Copy &operator=(const Copy &) = delete;
    ~Copy() { std::free(text_); }
    char *get() const { return text_; }

  private:
    char *text_;
};

int32_t noCore(const char *label) {
    if (label != nullptr) VLIB_logError(label, VLIB_ERR_NO_MEMORY, "Not enough core");
    return VLIB_ERR_NO_MEMORY;
}

// Squeezes out of `text` every character `drop` accepts; false as soon as
// a character is neither dropped nor one `keep` accepts.
template <class Drop, class Keep> bool compact(char *text, Drop drop, Keep keep) {
    char *out = text;
    for (const char *p = text; *p != '\0'; ++p) {
        if (drop(*p)) continue;
        if (!keep(*p)) return false;
        *out++ = *p;
    }
    *out = '\0';
    return true;
}

// snprintf that writes only a text that fits, and only into a buffer of at
// least `needed` bytes: 0, or 1 with nothing written. The shapes are the
// literals below.
template <class... Numbers>
int32_t format(char *buffer, int32_t size, int32_t needed, const char *shape, Numbers... numbers) {
    if (size < needed) return kInvalid;
    const int length = std::snprintf(nullptr, 0, shape, numbers...);
    if (length < 0 || length >= size) return kInvalid;
    std::snprintf(buffer, static_cast<size_t>(size), shape, numbers...);
    return 0;
}

// `length` characters of `text` and a NUL, under the same rule.
int32_t place(char *buffer, int32_t size, int32_t needed, const char *text, size_t length) {
    if (size < needed || length >= static_cast<size_t>(size)) return kInvalid;
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
    return 0;
}

// Copies at most `limit` characters of `from` and a NUL.
void copyCut(char *to, const char *from, size_t length, size_t limit) {
    if (length > limit) length = limit;
    std::memcpy(to, from, length);
    to[length] = '\0';
}

int32_t negated(int32_t v) {
    const int64_t n = -int64_t{v};
    return n > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n);
}

} // namespace

extern "C" {

// ------------------------------------------------------------------------
// Parsers

VERSIT_API int32_t VLIB_parseAsBoolean(const char *text, int32_t *value) {
    if (text == nullptr || value == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    Copy copy(text);
    if (copy.get() == nullptr) return noCore(nullptr);
    const char *t = copy.get();
    if (calapi::strcasecmp(t, "TRUE") == 0 || calapi::strcasecmp(t, "YES") == 0) {
        *value = 1;
        return 0;
    }
    *value = 0;
    const bool no = calapi::strcasecmp(t, "FALSE") == 0 || calapi::strcasecmp(t, "NO") == 0;
    return no ? 0 : kInvalid;
}

VERSIT_API int32_t VLIB_parseAsDate(const char *text, vDate *date) {
    if (text == nullptr || date == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    date->year = 0;
    date->month = 1;
    date->day = 1;
    Copy copy(text);
    if (copy.get() == nullptr) return noCore("VLIB_parseAsDate");
    char *t = copy.get();
    if (!compact(
            t, [](char c) { return isSpace(c) || c == '/'; }, isDigit))
        return kInvalid;
    if (std::strlen(t) != 8) return kInvalid;
    // Stored as read, day first: a failing text may leave some fields set.
    const int day = twoDigits(t + 6);
    if (day < 1 || day > 31) return kInvalid;
    date->day = day;
    const int month = twoDigits(t + 4);
    if (month < 1 || month > 12) return kInvalid;
    date->month = month;
    date->year = twoDigits(t) * 100 + twoDigits(t + 2);
    return 0;
}

VERSIT_API int32_t VLIB_parseAsTime(const char *text, vTime *time) {
    if (text == nullptr || time == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    *time = vTime{};
    Copy copy(text);
    // Logged under the date parser's label, as it always has been.
    if (copy.get() == nullptr) return noCore("VLIB_parseAsDate");
    char *t = copy.get();
    const bool kept = compact(
        t, [](char c) { return isSpace(c) || c == ':'; },
        [](char c) { return isDigit(c) || c == 'Z' || c == 'z' || isSign(c); });
    if (!kept) return kInvalid;
    const size_t length = std::strlen(t);
    if (length != 6 && length != 7 && length != 9 && length != 11) return kInvalid;
    const int hour = twoDigits(t);
    const int minute = twoDigits(t + 2);
    const int second = twoDigits(t + 4);
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
        return kInvalid;
    time->hour = hour;
    time->minute = minute;
    time->second = second;
    if (length == 6) {
        time->local = 1;
        return 0;
    }
    if (length == 7) {
        if (t[6] != 'Z' && t[6] != 'z') return kInvalid;
        time->utc = 1;
        return 0;
    }
    if (!isSign(t[6])) return kInvalid;
    const int sign = t[6] == '-' ? -1 : 1;
    const int hours = twoDigits(t + 7);
    if (hours < 0 || hours > 23) return kInvalid;
    time->offsetHours = sign * hours;
    if (length == 11) {
        const int minutes = twoDigits(t + 9);
        if (minutes < 0 || minutes > 59) return kInvalid;
        time->offsetMinutes = sign * minutes;
    }
    return 0;
}

VERSIT_API int32_t VLIB_parseAsDateTime(const char *text, vDateTime *dateTime) {
    if (text == nullptr || dateTime == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    Copy copy(text);
    if (copy.get() == nullptr) return noCore(nullptr);
    char *t = copy.get();
    char *split = std::strchr(t, 'T');
    if (split == nullptr) split = std::strchr(t, 't');
    if (split == nullptr) return kInvalid;
    *split = '\0';
    const int32_t date = VLIB_parseAsDate(t, &dateTime->date);
    const int32_t time = VLIB_parseAsTime(split + 1, &dateTime->time);
    return time != 0 ? time : date;
}

VERSIT_API int32_t VLIB_parseAsDuration(const char *text, vDuration *duration) {
    if (text == nullptr || duration == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    *duration = vDuration{};
    Copy copy(text);
    if (copy.get() == nullptr) return noCore(nullptr);
    const char *t = copy.get();
    int32_t result = (t[0] == 'P' || t[0] == 'p') ? 0 : kInvalid; // parsing goes on
    int32_t number = 0;
    bool afterT = false;
    for (const char *p = t; *p != '\0'; ++p) {
        const char c = *p;
        if (isDigit(c)) {
            number = saturatingDigit(number, c);
            continue;
        }
        int32_t *field = nullptr;
        switch (c) {
        case 'P':
        case 'p':
            continue; // keeps the number
        case 'T':
        case 't':
            afterT = true;
            continue;
        case 'Y':
        case 'y':
            field = &duration->years;
            break;
        case 'W':
        case 'w':
            field = &duration->weeks;
            break;
        case 'D':
        case 'd':
            field = &duration->days;
            break;
        case 'H':
        case 'h':
            field = &duration->hours;
            break;
        case 'S':
        case 's':
            field = &duration->seconds;
            break;
        case 'M':
        case 'm':
            field = afterT ? &duration->minutes : &duration->months;
            break;
        default:
            result = kInvalid; // skipped
            continue;
        }
        *field = number;
        number = 0;
    }
    return result;
}

VERSIT_API int32_t VLIB_parseAsPeriod(const char *text, vPeriod *period) {
    if (text == nullptr || period == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    *period = vPeriod{};
    Copy copy(text);
    if (copy.get() == nullptr) return noCore(nullptr);
    char *t = copy.get();
    char *slash = std::strchr(t, '/');
    if (slash == nullptr) return kInvalid;
    *slash = '\0';
    const char *second = slash + 1;
    const int32_t start = VLIB_parseAsDateTime(t, &period->start);
    int32_t end = 0;
    if (second[0] == 'P' || second[0] == 'p') {
        end = VLIB_parseAsDuration(second, &period->duration);
        period->endIsDateTime = 0;
    } else {
        end = VLIB_parseAsDateTime(second, &period->end);
        period->endIsDateTime = 1;
    }
    return end != 0 ? end : start;
}

VERSIT_API int32_t VLIB_parseAsFloat(const char *text, double *value) {
    if (text == nullptr || value == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    *value = 0.0;
    Copy copy(text);
    if (copy.get() == nullptr) return noCore(nullptr);
    const char *p = copy.get();
    while (isSpace(*p))
        ++p;
    double sign = 1.0;
    if (isSign(*p)) sign = *p++ == '-' ? -1.0 : 1.0;
    double number = 0.0;
    for (; isDigit(*p); ++p)
        number = number * 10.0 + (*p - '0');
    if (*p != '\0' && *p != '.') return kInvalid; // leaves 0.0
    if (*p == '.') {
        double weight = 0.1;
        for (++p; isDigit(*p); ++p, weight /= 10.0)
            number += (*p - '0') * weight;
    }
    *value = sign * number;
    return 0;
}

VERSIT_API int32_t VLIB_parseAsInteger(const char *text, int32_t *value) {
    if (text == nullptr || value == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    *value = 0;
    Copy copy(text);
    if (copy.get() == nullptr) return noCore(nullptr);
    const char *t = copy.get();
    for (const char *p = t; *p != '\0'; ++p) {
        if (!isDigit(*p) && !isSign(*p) && !isSpace(*p)) return kInvalid;
    }
    // As atoi reads it: blanks, a sign, digits, up to the first character
    // that does not continue the number.
    const long number = std::strtol(t, nullptr, 10);
    *value = number > INT32_MAX   ? INT32_MAX
             : number < INT32_MIN ? INT32_MIN
                                  : static_cast<int32_t>(number);
    return 0;
}

VERSIT_API int32_t VLIB_parseAsUtcOffset(const char *text, vUtcOffset *offset) {
    if (text == nullptr || offset == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    *offset = vUtcOffset{};
    Copy copy(text);
    if (copy.get() == nullptr) return noCore(nullptr);
    char *t = copy.get();
    if (!compact(t, isSpace, [](char c) { return isDigit(c) || isSign(c); })) return kInvalid;
    if (std::strlen(t) != 5) return kInvalid;
    const int hours = twoDigits(t + 1);
    const int minutes = twoDigits(t + 3);
    if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59) return kInvalid;
    const int sign = t[0] == '-' ? -1 : 1;
    offset->hours = sign * hours;
    offset->minutes = sign * minutes;
    return 0;
}

VERSIT_API int32_t VLIB_parseAsCalAddress(const char *text, vCalAddress *address) {
    if (text == nullptr || address == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    address->address[0] = '\0';
    address->name[0] = '\0';
    Copy copy(text);
    if (copy.get() == nullptr) return noCore(nullptr);
    const char *p = copy.get();
    while (isSpace(*p))
        ++p;
    if (calapi::strncasecmp(p, "mailto:", 7) == 0) p += 7;
    const size_t addressLimit = sizeof address->address - 1;
    const char *open = std::strchr(p, '<');
    if (open == nullptr) {
        copyCut(address->address, p, std::strlen(p), addressLimit);
        return 0;
    }
    const char *from = open + 1;
    while (isSpace(*from))
        ++from;
    const char *to = std::strchr(from, '>');
    if (to != nullptr) {
        while (to > from && isSpace(to[-1]))
            --to;
    } else {
        to = from + std::strlen(from);
    }
    copyCut(address->address, from, static_cast<size_t>(to - from), addressLimit);
    const char *nameEnd = open;
    while (nameEnd > p && isSpace(nameEnd[-1]))
        --nameEnd;
    copyCut(address->name, p, static_cast<size_t>(nameEnd - p), sizeof address->name - 1);
    return 0;
}

VERSIT_API int32_t VLIB_parseAsUrl(const char *text, char *url) {
    if (text == nullptr || url == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    Copy copy(text);
    if (copy.get() == nullptr) return noCore(nullptr);
    copyCut(url, copy.get(), std::strlen(copy.get()), VLIB_URL_SIZE - 1);
    return 0;
}

VERSIT_API int32_t VLIB_parseAsText(const char *text, char *record) {
    if (text == nullptr || record == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    return VLIB_ERR_NOT_SUPPORTED;
}

VERSIT_API int32_t VLIB_parseValue(int32_t datatype, const char *text, void **record) {
    if (record == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    *record = nullptr;
    size_t size = 0;
    switch (datatype) {
    case VLIB_TYPE_DATE:
        size = sizeof(vDate);
        break;
    case VLIB_TYPE_DATE_TIME:
        size = sizeof(vDateTime);
        break;
    case VLIB_TYPE_DURATION:
        size = sizeof(vDuration);
        break;
    case VLIB_TYPE_FLOAT:
        size = sizeof(double);
        break;
    case VLIB_TYPE_INTEGER:
    case VLIB_TYPE_BOOLEAN:
        size = sizeof(int32_t);
        break;
    case VLIB_TYPE_PERIOD:
        size = sizeof(vPeriod);
        break;
    case VLIB_TYPE_TEXT:
        size = text != nullptr ? std::strlen(text) + 1 : 0;
        break;
    case VLIB_TYPE_TIME:
        size = sizeof(vTime);
        break;
    case VLIB_TYPE_URL:
        size = VLIB_URL_SIZE;
        break;
    case VLIB_TYPE_UTC_OFFSET:
        size = sizeof(vUtcOffset);
        break;
    case VLIB_TYPE_CAL_ADDRESS:
        size = sizeof(vCalAddress);
        break;
    default:
        return VLIB_ERR_BAD_DATATYPE;
    }
    if (text == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    // Zeroed, so that a record the parser does not fill (TEXT) holds no
    // stale heap bytes.
    void *storage = std::calloc(size, 1);
    if (storage == nullptr) return noCore("VLIB_parseValue");
    *record = storage;
    auto *bytes = static_cast<char *>(storage);
    switch (datatype) {
    case VLIB_TYPE_DATE:
        return VLIB_parseAsDate(text, static_cast<vDate *>(storage));
    case VLIB_TYPE_DATE_TIME:
        return VLIB_parseAsDateTime(text, static_cast<vDateTime *>(storage));
    case VLIB_TYPE_DURATION:
        return VLIB_parseAsDuration(text, static_cast<vDuration *>(storage));
    case VLIB_TYPE_FLOAT:
        return VLIB_parseAsFloat(text, static_cast<double *>(storage));
    case VLIB_TYPE_INTEGER:
        return VLIB_parseAsInteger(text, static_cast<int32_t *>(storage));
    case VLIB_TYPE_BOOLEAN:
        return VLIB_parseAsBoolean(text, static_cast<int32_t *>(storage));
    case VLIB_TYPE_PERIOD:
        return VLIB_parseAsPeriod(text, static_cast<vPeriod *>(storage));
    case VLIB_TYPE_TIME:
        return VLIB_parseAsTime(text, static_cast<vTime *>(storage));
    case VLIB_TYPE_URL:
        return VLIB_parseAsUrl(text, bytes);
    case VLIB_TYPE_UTC_OFFSET:
        return VLIB_parseAsUtcOffset(text, static_cast<vUtcOffset *>(storage));
    case VLIB_TYPE_CAL_ADDRESS:
        return VLIB_parseAsCalAddress(text, static_cast<vCalAddress *>(storage));
    default: // TEXT
        return VLIB_parseAsText(text, bytes);
    }
}

// ------------------------------------------------------------------------
// Generators

VERSIT_API int32_t VLIB_generateAsBoolean(char *buffer, int32_t size, const int32_t *value) {
    if (buffer == nullptr || value == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    return *value != 0 ? place(buffer, size, 5, "TRUE", 4) : place(buffer, size, 6, "FALSE", 5);
}

VERSIT_API int32_t VLIB_generateAsDate(char *buffer, int32_t size, const vDate *date) {
    if (buffer == nullptr || date == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    if (date->month < 1 || date->month > 12 || date->day < 1 || date->day > 31 || date->year < 1)
        return kInvalid;
    return format(buffer, size, 9, "%04d%02d%02d", date->year, date->month, date->day);
}

VERSIT_API int32_t VLIB_generateAsTime(char *buffer, int32_t size, const vTime *time) {
    if (buffer == nullptr || time == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    // A leap second may be written, though the parser does not read one.
    if (time->hour < 0 || time->hour > 23 || time->minute < 0 || time->minute > 59 ||
        time->second < 0 || time->second > 60)
        return kInvalid;
    if (time->local != 0)
        return format(buffer, size, 7, "%02d%02d%02d", time->hour, time->minute, time->second);
    if (time->utc != 0)
        return format(buffer, size, 8, "%02d%02d%02dZ", time->hour, time->minute, time->second);
    if (time->offsetHours >= 0)
        return format(buffer, size, 12, "%02d%02d%02d+%02d%02d", time->hour, time->minute,
                      time->second, time->offsetHours, time->offsetMinutes);
    return format(buffer, size, 12, "%02d%02d%02d-%02d%02d", time->hour, time->minute, time->second,
                  negated(time->offsetHours), negated(time->offsetMinutes));
}

VERSIT_API int32_t VLIB_generateAsDateTime(char *buffer, int32_t size, const vDateTime *dateTime) {
    if (buffer == nullptr || dateTime == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    const int32_t date = VLIB_generateAsDate(buffer, size, &dateTime->date);
    if (date != 0) return date;
    const auto written = static_cast<int32_t>(std::strlen(buffer));
    const int32_t left = size - written;
    if (left < 5) return kInvalid;
    buffer[written] = 'T';
    buffer[written + 1] = '\0';
    return VLIB_generateAsTime(buffer + written + 1, left - 1, &dateTime->time);
}

VERSIT_API int32_t VLIB_generateAsDuration(char *buffer, int32_t size, const vDuration *duration) {
    if (buffer == nullptr || duration == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    if (duration->weeks != 0) return format(buffer, size, 8, "P%dW", duration->weeks);
    return format(buffer, size, 35, "P%dY%dM%dDT%dH%dM%dS", duration->years, duration->months,
                  duration->days, duration->hours, duration->minutes, duration->seconds);
}

VERSIT_API int32_t VLIB_generateAsPeriod(char *buffer, int32_t size, const vPeriod *period) {
    if (buffer == nullptr || period == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    const int32_t start = VLIB_generateAsDateTime(buffer, size, &period->start);
    if (start != 0) return start;
    const auto written = static_cast<int32_t>(std::strlen(buffer));
    const int32_t left = size - written;
    if (left < 2) return kInvalid;
    buffer[written] = '/';
    buffer[written + 1] = '\0';
    char *end = buffer + written + 1;
    if (period->endIsDateTime == 0)
        return VLIB_generateAsDuration(end, left - 1, &period->duration);
    return VLIB_generateAsDateTime(end, left - 1, &period->end);
}

VERSIT_API int32_t VLIB_generateAsFloat(char *buffer, int32_t size, const double *value) {
    if (buffer == nullptr || value == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    return format(buffer, size, 20, "%f", *value);
}

VERSIT_API int32_t VLIB_generateAsInteger(char *buffer, int32_t size, const int32_t *value) {
    if (buffer == nullptr || value == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    return format(buffer, size, 20, "%d", *value);
}

VERSIT_API int32_t VLIB_generateAsUtcOffset(char *buffer, int32_t size, const vUtcOffset *offset) {
    if (buffer == nullptr || offset == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    if (offset->hours < 0)
        return format(buffer, size, 6, "-%02d%02d", negated(offset->hours),
                      negated(offset->minutes));
    return format(buffer, size, 6, "+%02d%02d", offset->hours, offset->minutes);
}

VERSIT_API int32_t VLIB_generateAsCalAddress(char *buffer, int32_t size,
                                             const vCalAddress *address) {
    if (buffer == nullptr || address == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    const size_t addressLength = strnlen(address->address, sizeof address->address);
    const size_t nameLength = strnlen(address->name, sizeof address->name);
    const auto needed = static_cast<int32_t>(addressLength + nameLength + 11);
    if (size < needed) return kInvalid;
    std::memcpy(buffer, "MAILTO:", 7);
    std::memcpy(buffer + 7, address->address, addressLength);
    buffer[7 + addressLength] = '\0';
    return 0;
}

VERSIT_API int32_t VLIB_generateAsUrl(char *buffer, int32_t size, const char *url) {
    if (buffer == nullptr || url == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    const size_t length = strnlen(url, VLIB_URL_SIZE);
    return format(buffer, size, static_cast<int32_t>(length + 1), "%.*s", static_cast<int>(length),
                  url);
}

VERSIT_API int32_t VLIB_generateAsText(char *buffer, int32_t size, const char *text) {
    (void)size;
    if (buffer == nullptr || text == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    return VLIB_ERR_NOT_SUPPORTED;
}

} // extern "C"
