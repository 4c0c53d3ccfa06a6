// Calendar items into property lines (vCal_ChangeFormatKRecToPTree) and
// the converters that make each line.
//
// Choices of this implementation:
//  - A calendar's own lines: when the first item carries the DAYLIGHT or
//    the TZ flag, the calendar gets "DAYLIGHT:FALSE" or "TZ:+00:00". Every
//    time is written in UTC, so these are the only values that are true
//    of what follows, and a reader applies no offset for them. Their
//    nodes are steps 1 and 3 of the failure messages (2 and 4 go unused:
//    a node is made together with its line).
//  - Every node is made together with its line, and an event's or
//    to-do's nodes together with the entity (as the reader lays them
//    out): a tree of many items is then a few blocks per item, not two
//    per line, which is what building and destroying it costs. A line
//    that cannot be taken fails as its node ("vCal_CreatePropertyNode").
//  - LocalTimeToUTCDateStr counts whole four-year cycles first and moves
//    the date by the days left within a year, so every time, however
//    late, gets its own date (a single 16-bit move would wrap after 89
//    years) and no time needs more than one move.
//  - Short form: a blank or tab that starts a continued line is not a
//    place to cut again (the cut would make an empty line and no
//    progress).
//  - Quoted-printable form: a segment that reaches 67 characters ends in
//    a soft break only when more text follows on the same line; before a
//    line break or at the end of the text the break's own line end, or
//    the line's, does the work.
//  - A flagged attachment or attendee text that is null fails like a
//    flagged null short text (VCAL_ERR_NULL_STREAM). Empty values between
//    separators still make their (empty) lines.
#include "vcal/vcalkrec.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "date/kldate.h"
#include "diag/errlog.h"
#include "vcal/vcaltree.h"

namespace {

using errlog::fail;

// A malloc'ed copy of the pieces, joined; null when memory runs out.
char *joined(const char *a, const char *b) {
    const size_t na = std::strlen(a);
    const size_t nb = std::strlen(b);
    char *line = static_cast<char *>(std::malloc(na + nb + 1));
    if (line == nullptr) return nullptr;
    std::memcpy(line, a, na + 1);
    std::memcpy(line + na, b, nb + 1);
    return line;
}

char *twoDigits(char *at, uint32_t value) {
    at[0] = static_cast<char>('0' + value / 10);
    at[1] = static_cast<char>('0' + value % 10);
    return at + 2;
}

// `text` (at least 24 bytes) := the time as "yyyymmddThhmm00Z". 0, or the
// date library's code (logged without a message).
int32_t LocalTimeToUTCDateStr(CalapiTime time, char *text) {
    // The library's calendar makes every fourth year a leap year: from 1
    // January 1989 on, every 1461 days are one cycle of three common years
    // and a leap year.
    const uint32_t days = time / 1440 + 730;
    const uint32_t inCycle = days % 1461;
    const uint32_t years = inCycle / 365 < 3 ? inCycle / 365 : 3;
    KL_DATE date{};
    int32_t rc = KL_DateSet(&date, 1, 0, 1989 + days / 1461 * 4 + years);
    if (rc == 0) rc = KL_DateOffset(&date, static_cast<int16_t>(inCycle - years * 365));
    if (rc != 0) {
        WriteErrLog(2, rc, nullptr);
        return rc;
    }
    char digits[8];
    size_t n = 0;
    for (uint32_t year = date.year; year > 0 || n == 0; year /= 10)
        digits[n++] = static_cast<char>('0' + year % 10);
    char *at = text;
    while (n > 0)
        *at++ = digits[--n];
    at = twoDigits(at, date.month + 1u);
    at = twoDigits(at, date.day);
    *at++ = 'T';
    at = twoDigits(at, time % 1440 / 60);
    at = twoDigits(at, time % 60);
    std::memcpy(at, "00Z", 4);
    return 0;
}

int32_t convertTime(char **line, CalapiTime time, const char *keyword, const char *dateMessage,
                    const char *mallocMessage) {
    *line = nullptr;
    char text[24];
    const int32_t rc = LocalTimeToUTCDateStr(time, text);
    if (rc != 0) return fail(rc, dateMessage);
    *line = joined(keyword, text);
    return *line != nullptr ? 0 : fail(VCAL_ERR_NO_MEMORY, mallocMessage);
}

} // namespace

namespace vcal {

int32_t ConvertSingleDate(char **line, CalapiTime time, const char *keyword) {
    return convertTime(line, time, keyword, "ConvertSingleDate: (LocalTimeToUTCDateStr)",
                       "ConvertSingleDate (malloc)");
}

// Only the run time: the client's alarm has no snooze or repeat.
int32_t ConvertAlarm(char **line, CalapiTime time, const char *keyword) {
    return convertTime(line, time, keyword, "ConvertAlarm (LocalTimeToUTCDateStr)",
                       "ConvertAlarm (malloc)");
}

int32_t ConvertMultiDate(char **line, const TimeNode *dates, const char *keyword) {
    *line = nullptr;
    size_t count = 1;
    for (const TimeNode *n = dates->next; n != nullptr; n = n->next)
        ++count;
    const size_t keywordLength = std::strlen(keyword);
    // Each date and its separator fit in 24 bytes.
    char *text = static_cast<char *>(std::malloc(keywordLength + count * 24 + 1));
    if (text == nullptr) return fail(VCAL_ERR_NO_MEMORY, "ConvertMultiDate (malloc)");
    std::memcpy(text, keyword, keywordLength + 1);
    char *at = text + keywordLength;
    CalapiTime time = dates->time;
    for (const TimeNode *n = dates;;) {
        const int32_t rc = LocalTimeToUTCDateStr(time, at);
        if (rc != 0) {
            std::free(text);
            return fail(rc, "ConvertMultiDate: (LocalTimeToUTCDateStr)");
        }
        at += std::strlen(at);
        if ((n = n->next) == nullptr) break;
        time = n->time;
        *at++ = ';';
    }
    *line = text;
    return 0;
}

int32_t ConvertSingleNumber(char **line, uint32_t number, const char *keyword) {
    char digits[12];
    char *at = digits + sizeof digits - 1;
    *at = '\0';
    do {
        *--at = static_cast<char>('0' + number % 10);
    } while ((number /= 10) > 0);
    *line = joined(keyword, at);
    return *line != nullptr ? 0 : fail(VCAL_ERR_NO_MEMORY, "ConvertSingleNumber (malloc)");
}

int32_t ConvertCategories(char **line, uint16_t code) {
    const char *name = code == 1 || code == 2 ? "HOLIDAY"
                       : code == 3            ? "MISCELLANEOUS"
                       : code == 4            ? "SPECIAL OCCASION"
                                              : "APPOINTMENT";
    *line = joined("CATEGORIES:", name);
    return *line != nullptr ? 0 : fail(VCAL_ERR_NO_MEMORY, "ConvertCategories (malloc)");
}

// The client numbers the classes of events and of to-dos differently.
int32_t ConvertClass(char **line, uint32_t code, uint32_t kind) {
    const uint32_t confidential = kind == VCAL_ITEM_EVENT ? 1 : 3;
    const char *name = code == confidential     ? "CONFIDENTIAL"
                       : code == 2 || code == 4 ? "PRIVATE"
                                                : "PUBLIC";
    *line = joined("CLASS:", name);
    return *line != nullptr ? 0 : fail(VCAL_ERR_NO_MEMORY, "ConvertClass (malloc)");
}

namespace {

constexpr size_t kNone = SIZE_MAX;
constexpr size_t kFoldAt = 76;

// Each form is run twice: without `out` to count the bytes, then to write
// them into a buffer of that size.
size_t shortForm(char *out, const char *keyword, const char *text) {
    size_t n = 0;
    size_t lineStart = 0;
    size_t count = 0;
    size_t lastBlank = kNone;
    auto put = [&](char c) {
        if (out != nullptr) out[n] = c;
        ++n;
        ++count;
        if ((c == ' ' || c == '\t') && n - 1 != lineStart) lastBlank = n - 1;
        if (count < kFoldAt) return;
        if (lastBlank == kNone) {
            count = 0; // no place to cut: the line goes on
            return;
        }
        if (out != nullptr) {
            std::memmove(out + lastBlank + 1, out + lastBlank, n - lastBlank);
            out[lastBlank] = '\n';
        }
        ++n;
        lineStart = lastBlank + 1;
        count = n - lineStart;
        lastBlank = kNone;
    };
    for (const char *p = keyword; *p != '\0'; ++p)
        put(*p);
    for (const char *p = text; *p != '\0'; ++p) {
        if (*p != '\r' && *p != '\n') put(*p);
    }
    return n;
}

constexpr std::size_t kSegment = 67;

size_t quotedPrintableForm(char *out, const char *keyword, const char *text) {
    size_t n = 0;
    auto put = [&](const char *s, size_t length) {
        if (out != nullptr) std::memcpy(out + n, s, length);
        n += length;
    };
    put(keyword, std::strlen(keyword));
    put(";ENCODING=QUOTED-PRINTABLE:", 27);
    size_t count = 0;
    for (const char *p = text; *p != '\0';) {
        if (*p == '\r' || *p == '\n') {
            p += p[0] == '\r' && p[1] == '\n' ? 2 : 1;
            if (*p == '\0') break; // a break at the very end ends the text
            put("=0D=0A=\n", 8);
            count = 0;
            continue;
        }
        // The longest run of ordinary characters that fits the segment.
        size_t run = 0;
        while (count + run < kSegment && p[run] != '\0' && p[run] != '\r' && p[run] != '\n')
            ++run;
        put(p, run);
        p += run;
        count += run;
        if (count == kSegment && *p != '\0' && *p != '\r' && *p != '\n') {
            put("=\n", 2);
            count = 0;
        }
    }
    return n;
}

} // namespace

int32_t ConvertPutStrInExportForm(char **line, const char *text, const char *keyword,
                                  ExportForm form) {
    *line = nullptr;
    if (text == nullptr || keyword == nullptr)
        return fail(VCAL_ERR_NULL_STREAM, "ConvertPutStrInExportForm (string)");
    // Most texts are short and of one line: nothing to fold or drop.
    if (form == ExportForm::Short && std::strlen(keyword) + std::strlen(text) < kFoldAt &&
        std::strpbrk(text, "\r\n") == nullptr) {
        *line = joined(keyword, text);
        return *line != nullptr ? 0
                                : fail(VCAL_ERR_NO_MEMORY, "ConvertPutStrInExportForm (malloc)");
    }
    auto make = form == ExportForm::Short ? shortForm : quotedPrintableForm;
    const size_t length = make(nullptr, keyword, text);
    char *out = static_cast<char *>(std::malloc(length + 1));
    if (out == nullptr) return fail(VCAL_ERR_NO_MEMORY, "ConvertPutStrInExportForm (malloc)");
    make(out, keyword, text);
    out[length] = '\0';
    *line = out;
    return 0;
}

namespace {

// Takes each finished line into the node that will hold it. A line that
// cannot be taken is logged as the node that could not be made.
template <class Sink>
bool take(Sink &sink, const char *line, const char *message, unsigned step = 0) {
    if (sink.add(line, std::strlen(line))) return true;
    WriteErrLog(2, VCAL_ERR_NO_MEMORY, "vCal_CreatePropertyNode (malloc)");
    char numbered[80];
    if (step != 0) {
        std::snprintf(numbered, sizeof numbered, "%s %u", message, step);
        message = numbered;
    }
    WriteErrLog(2, VCAL_ERR_NO_MEMORY, message);
    return false;
}

} // namespace

namespace {

template <class Sink>
int32_t CreateMultiInstanceProperty(Sink &sink, const char *text, const char *keyword) {
    if (text == nullptr) return fail(VCAL_ERR_NULL_STREAM, "CreateMultiInstanceProperty (string)");
    const size_t keywordLength = std::strlen(keyword);
    for (const char *piece = text;;) {
        const char *end = std::strstr(piece, kMultiValueSeparator);
        const size_t length =
            end != nullptr ? static_cast<size_t>(end - piece) : std::strlen(piece);
        char *line = static_cast<char *>(std::malloc(keywordLength + length + 1));
        if (line == nullptr)
            return fail(VCAL_ERR_NO_MEMORY, "CreateMultiInstanceProperty (malloc) 1");
        std::memcpy(line, keyword, keywordLength);
        std::memcpy(line + keywordLength, piece, length);
        line[keywordLength + length] = '\0';
        const bool taken =
            take(sink, line, "CreateMultiInstanceProperty (vCal_CreatePropertyNode) 1");
        std::free(line);
        if (!taken) return VCAL_ERR_NO_MEMORY;
        if (end == nullptr) return 0;
        piece = end + sizeof kMultiValueSeparator - 1;
    }
}

enum class Convert : uint8_t {
    Multi,
    Alarm,
    Categories,
    Class,
    Date,
    Text,
    Description,
    Number,
    Dates
};

// One line of an event or to-do, in the order they are written: its flag,
// how it is made, from which field, the node's step number and the
// converter's failure message.
struct LineRule {
    uint8_t slot;
    Convert convert;
    uint8_t step;
    uint16_t field; // offset in PropertyParam
    const char *keyword;
    const char *failure;
};

constexpr LineRule kLines[] = {
    {VCAL_SLOT_ATTACH, Convert::Multi, 0, offsetof(PropertyParam, attachment),
     "ATTACH:", "vCal_ChangeFormatKRecToPTree (CreateMultiInstanceProperty) 1"},
    {VCAL_SLOT_ATTENDEE, Convert::Multi, 0, offsetof(PropertyParam, attendee), "ATTENDEE",
     "vCal_ChangeFormatKRecToPTree (CreateMultiInstanceProperty) 2"},
    {VCAL_SLOT_AALARM, Convert::Alarm, 5, offsetof(PropertyParam, audioAlarmTime),
     "AALARM:", "vCal_ChangeFormatKRecToPTree (ConvertAlarm) 1"},
    {VCAL_SLOT_CATEGORIES, Convert::Categories, 6, offsetof(PropertyParam, category), "",
     "vCal_ChangeFormatKRecToPTree (ConvertCategories)"},
    {VCAL_SLOT_CLASS, Convert::Class, 7, offsetof(PropertyParam, classCode), "",
     "vCal_ChangeFormatKRecToPTree (ConvertClass)"},
    {VCAL_SLOT_DALARM, Convert::Alarm, 8, offsetof(PropertyParam, displayAlarmTime),
     "DALARM:", "vCal_ChangeFormatKRecToPTree (ConvertAlarm) 2"},
    {VCAL_SLOT_DCREATED, Convert::Date, 9, offsetof(PropertyParam, createdTime),
     "DCREATED:", "vCal_ChangeFormatKRecToPTree (ConvertSingleDate) 1"},
    {VCAL_SLOT_DTSTART, Convert::Date, 10, offsetof(PropertyParam, startTime),
     "DTSTART:", "vCal_ChangeFormatKRecToPTree (ConvertSingleDate) 2"},
    {VCAL_SLOT_DTEND, Convert::Date, 11, offsetof(PropertyParam, endTime),
     "DTEND:", "vCal_ChangeFormatKRecToPTree (ConvertSingleDate) 3"},
    {VCAL_SLOT_DUE, Convert::Date, 12, offsetof(PropertyParam, dueTime),
     "DUE:", "vCal_ChangeFormatKRecToPTree (ConvertSingleDate) 4"},
    {VCAL_SLOT_COMPLETED, Convert::Date, 13, offsetof(PropertyParam, completedTime),
     "COMPLETED:", "vCal_ChangeFormatKRecToPTree (ConvertSingleDate) 5"},
    {VCAL_SLOT_SUMMARY, Convert::Text, 14, offsetof(PropertyParam, summary),
     "SUMMARY:", "vCal_ChangeFormatKRecToPTree (ConvertPutStrInExportForm) 1"},
    {VCAL_SLOT_LOCATION, Convert::Text, 15, offsetof(PropertyParam, location),
     "LOCATION:", "vCal_ChangeFormatKRecToPTree (ConvertPutStrInExportForm) 2"},
    {VCAL_SLOT_RESOURCES, Convert::Text, 16, offsetof(PropertyParam, resources),
     "RESOURCES:", "vCal_ChangeFormatKRecToPTree (ConvertPutStrInExportForm) 3"},
    {VCAL_SLOT_DESCRIPTION, Convert::Description, 17, offsetof(PropertyParam, description),
     "DESCRIPTION", "vCal_ChangeFormatKRecToPTree (ConvertPutStrInExportForm) 4"},
    {VCAL_SLOT_PRIORITY, Convert::Number, 18, offsetof(PropertyParam, priority),
     "PRIORITY:", "vCal_ChangeFormatKRecToPTree (ConvertSingleNumber)"},
    {VCAL_SLOT_STATUS, Convert::Text, 19, offsetof(PropertyParam, status),
     "STATUS:", "vCal_ChangeFormatKRecToPTree (ConvertPutStrInExportForm) 5"},
    {VCAL_SLOT_EXDATE, Convert::Dates, 20, offsetof(PropertyParam, exceptionDates),
     "EXDATE:", "vCal_ChangeFormatKRecToPTree (ConvertMultiDate) 1"},
    {VCAL_SLOT_UID, Convert::Text, 21, offsetof(PropertyParam, uniqueId),
     "UID:", "vCal_ChangeFormatKRecToPTree (ConvertPutStrInExportForm) 6"},
};

template <class T> T load(const PropertyParam *item, size_t offset) {
    T value;
    std::memcpy(&value, reinterpret_cast<const char *>(item) + offset, sizeof value);
    return value;
}

int32_t convert(const LineRule &rule, const PropertyParam *item, uint32_t kind, char **line) {
    switch (rule.convert) {
    case Convert::Alarm:
        return ConvertAlarm(line, load<CalapiTime>(item, rule.field), rule.keyword);
    case Convert::Categories:
        return ConvertCategories(line, load<uint16_t>(item, rule.field));
    case Convert::Class:
        return ConvertClass(line, load<uint32_t>(item, rule.field), kind);
    case Convert::Date:
        return ConvertSingleDate(line, load<CalapiTime>(item, rule.field), rule.keyword);
    case Convert::Number:
        return ConvertSingleNumber(line, load<uint32_t>(item, rule.field), rule.keyword);
    case Convert::Dates: {
        const TimeNode dates = load<TimeNode>(item, rule.field);
        return ConvertMultiDate(line, &dates, rule.keyword);
    }
    case Convert::Description:
        return ConvertPutStrInExportForm(line, load<const char *>(item, rule.field), rule.keyword,
                                         ExportForm::QuotedPrintable);
    case Convert::Text:
    default:
        if (rule.slot == VCAL_SLOT_STATUS) {
            // The status is kept in the record; it need not end in it.
            char status[sizeof item->status + 1] = {};
            std::memcpy(status, item->status, sizeof item->status);
            return ConvertPutStrInExportForm(line, status, rule.keyword);
        }
        return ConvertPutStrInExportForm(line, load<const char *>(item, rule.field), rule.keyword);
    }
}

constexpr const char kNodeStep[] = "vCal_ChangeFormatKRecToPTree (vCal_CreatePropertyNode)";

// A calendar's own lines: a chain of nodes, each allocated with its line.
class ChainSink {
  public:
    ChainSink() = default;
    ChainSink(const ChainSink &) = delete;
    ChainSink &operator=(const ChainSink &) = delete;
    ~ChainSink() {
        if (first_ != nullptr) vCal_DestroyPropertyList(&first_);
    }
    bool add(const char *line, size_t length) {
        PropertyNode *node = newPropertyNode(0, line, length);
        if (node == nullptr) return false;
        if (tail_.append(node)) first_ = node;
        return true;
    }
    PropertyNode *release() {
        PropertyNode *first = first_;
        first_ = nullptr;
        return first;
    }

  private:
    PropertyNode *first_ = nullptr;
    ChainTail<PropertyNode> tail_;
};

// An event's or to-do's lines, laid out to go into one block with the
// entity.
struct EntitySink {
    EntityLines &lines;
    bool add(const char *line, size_t length) { return lines.add(0, line, length) != nullptr; }
};

template <class Sink> int32_t calendarLines(Sink &sink, const PropertyParam *item) {
    static constexpr struct {
        uint8_t slot;
        const char *line;
        unsigned step;
    } kCalendarLines[] = {
        {VCAL_SLOT_DAYLIGHT, "DAYLIGHT:FALSE", 1},
        {VCAL_SLOT_TZ, "TZ:+00:00", 3},
    };
    for (const auto &c : kCalendarLines) {
        if (item->flags.flag[c.slot] != 0 && !take(sink, c.line, kNodeStep, c.step))
            return VCAL_ERR_NO_MEMORY;
    }
    return 0;
}

template <class Sink> int32_t itemLines(Sink &sink, uint32_t kind, const PropertyParam *item) {
    for (const LineRule &rule : kLines) {
        if (item->flags.flag[rule.slot] == 0) continue;
        int32_t rc = 0;
        if (rule.convert == Convert::Multi) {
            rc = CreateMultiInstanceProperty(sink, load<const char *>(item, rule.field),
                                             rule.keyword);
        } else {
            char *line = nullptr;
            if ((rc = convert(rule, item, kind, &line)) == 0) {
                const bool taken = take(sink, line, kNodeStep, rule.step);
                std::free(line);
                if (!taken) return VCAL_ERR_NO_MEMORY;
            }
        }
        if (rc != 0) return fail(rc, rule.failure);
    }
    return 0;
}

template <class Sink> int32_t lines(Sink &sink, uint32_t kind, const PropertyParam *item) {
    if (item == nullptr)
        return fail(VCAL_ERR_NULL_ARGUMENT, "vCal_ChangeFormatKRecToPTree (nullptr)");
    if (kind == kKindCalendar) return calendarLines(sink, item);
    if (kind != VCAL_ITEM_EVENT && kind != VCAL_ITEM_TODO)
        return fail(VCAL_ERR_BAD_ITEM_TYPE, "vCal_ChangeFormatKRecToPTree (kind)");
    return itemLines(sink, kind, item);
}

} // namespace

int32_t vCal_ChangeFormatKRecToPTree(PropertyNode **chain, uint32_t kind, const PropertyParam *item,
                                     uint32_t /*reserved*/) {
    if (chain == nullptr)
        return fail(VCAL_ERR_NULL_ARGUMENT, "vCal_ChangeFormatKRecToPTree (nullptr)");
    ChainSink sink;
    const int32_t rc = lines(sink, kind, item);
    if (rc == 0) *chain = sink.release();
    return rc;
}

int32_t vCal_ChangeFormatKRecToPTree(EntityLines &collected, uint32_t kind,
                                     const PropertyParam *item) {
    collected.clear();
    EntitySink sink{collected};
    const int32_t rc = lines(sink, kind, item);
    if (rc != 0) collected.clear();
    return rc;
}

} // namespace vcal
