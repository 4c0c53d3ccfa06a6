// Calendar item extraction: the value extractors, their mapping tables and
// the conversion of one event or to-do (ChangeFormatPTreeToKRec).
//
// Choices of this implementation:
//  - The daylight text of a DAYLIGHT line is not built. No conversion
//    reads it and no time changes by it; building it would only add an
//    allocation, and a way to fail, to every step of every walk. The line
//    stays in the tree for a client that wants it; GetDayLightTZ reads the
//    zone offset alone.
//  - A quoted-printable escape of a character that is neither a digit nor
//    a letter, or one whose value would not be a printable 7-bit
//    character ("=7G"), gives "^" like every other byte the client cannot
//    show.
//  - A rejected item's occurrence lists are destroyed with its texts.
#include "vcal/vcalitem.h"

#include <cstdlib>
#include <cstring>

#include "diag/errlog.h"
#include "recur/vcalrcur.h"
#include "vcal/vcalline.h"
#include "vcal/vcalprop.h"

namespace {

using vcal::isAlnum;
using vcal::isDigit;
using vcal::isLetter;
using vcal::isLineEnd;
using vcal::upper;

using errlog::fail;

const char *skipBlanks(const char *p) {
    while (*p == ' ' || *p == '\t')
        ++p;
    return p;
}

// Where the value of a property line starts: after its first ":".
const char *valueOf(const char *line) {
    const char *colon = std::strchr(line, ':');
    return colon != nullptr ? colon + 1 : nullptr;
}

void releaseChain(TimeNode *node) {
    while (node != nullptr) {
        TimeNode *next = node->next;
        std::free(node);
        node = next;
    }
}

// vCal_ConvertDateStrToMinute of the date-time in [begin, end). The
// conversion reads from the first digit 8 digits, "T", 6 digits and a "Z"
// at most, so that is all it is given.
int32_t convertTime(const char *begin, const char *end, uint32_t *minutes, int32_t zone) {
    while (begin < end && !isDigit(*begin))
        ++begin;
    char text[17];
    const size_t n = end - begin < 16 ? static_cast<size_t>(end - begin) : 16;
    std::memcpy(text, begin, n);
    text[n] = '\0';
    return vCal_ConvertDateStrToMinute(text, minutes, 0, &zone);
}

// A word as vCal_GetOneWordFromLine reads it (after blanks and tabs,
// upper-cased, each run of blanks as one, up to CR, LF, NUL or ";"), of
// which `out` keeps size - 1 characters at most. Returns where it stopped.
const char *readWord(const char *p, char *out, size_t size) {
    size_t n = 0;
    for (p = skipBlanks(p); !isLineEnd(*p) && *p != ';'; ++p) {
        if (*p == ' ' && n > 0 && out[n - 1] == ' ') continue;
        if (n + 1 < size) out[n++] = upper(*p);
    }
    out[n] = '\0';
    return p;
}

int32_t GetCalapiTimeFromStr(const char *line, uint32_t *minutes, int32_t zone) {
    const char *v = valueOf(line);
    if (v == nullptr) return fail(VCAL_ERR_NO_VALUE, "GetCalapiTimeFromStr (property str)");
    const char *token = skipBlanks(v);
    const char *end = token;
    while (end - token < 16 && isAlnum(*end))
        ++end;
    const int32_t rc = convertTime(token, end, minutes, zone);
    return rc != 0 ? fail(rc, "GetCalapiTimeFromStr: vCal_ConvertDateStrToMinute") : 0;
}

// The run time only; snooze time and repeat count are not taken.
int32_t GetAlarmFromStr(const char *line, uint32_t *minutes, int32_t zone) {
    const char *v = valueOf(line);
    if (v == nullptr) return fail(VCAL_ERR_NO_VALUE, "GetAlarmFromStr (property str)");
    const char *word = skipBlanks(v);
    const char *end = word;
    while (!isLineEnd(*end) && *end != ';')
        ++end;
    const int32_t rc = convertTime(word, end, minutes, zone);
    return rc != 0 ? fail(rc, "GetAlarmFromStr: vCal_ConvertDateStrToMinute") : 0;
}

int32_t GetMultiCalapiTimeFromStr(const char *line, TimeNode **chain, int32_t zone) {
    const char *v = valueOf(line);
    if (v == nullptr) return fail(VCAL_ERR_NO_VALUE, "GetMultiCalapiTimeFromStr (property str)");
    TimeNode *first = nullptr;
    TimeNode *last = nullptr;
    int32_t rc = 0;
    for (const char *p = v; rc == 0;) {
        const char *token = skipBlanks(p);
        const char *end = token;
        while (!isLineEnd(*end) && *end != ';')
            ++end;
        if (end > token) {
            uint32_t minutes = 0;
            auto *node = static_cast<TimeNode *>(std::malloc(sizeof(TimeNode)));
            if (node == nullptr) {
                rc = fail(VCAL_ERR_NO_MEMORY, "GetMultiCalapiTimeFromStr (malloc)");
            } else if ((rc = convertTime(token, end, &minutes, zone)) != 0) {
                std::free(node);
                fail(rc, "GetMultiCalapiTimeFromStr: vCal_ConvertDateStrToMinute");
            } else {
                node->time = minutes;
                node->next = nullptr;
                if (last != nullptr)
                    last->next = node;
                else
                    first = node;
                last = node;
            }
        }
        if (*end != ';') break;
        p = end + 1;
    }
    if (rc != 0) {
        releaseChain(first);
        return rc;
    }
    *chain = first;
    return 0;
}

// The first HOLIDAY or MISCELLANEOUS ends the search.
int32_t GetCategories(const char *line, uint16_t *category) {
    static constexpr const char *kSpecial[] = {"SICK DAY", "SPECIAL OCCASION", "TRAVEL",
                                               "VACATION"};
    const char *v = valueOf(line);
    if (v == nullptr) return fail(VCAL_ERR_NO_VALUE, "GetCategories (property str)");
    bool special = false;
    uint16_t code = 0;
    for (const char *p = v;; ++p) {
        char word[20];
        p = readWord(p, word, sizeof word);
        if (std::strcmp(word, "HOLIDAY") == 0 || std::strcmp(word, "MISCELLANEOUS") == 0) {
            code = word[0] == 'H' ? 1 : 3;
            break;
        }
        for (const char *s : kSpecial)
            special = special || std::strcmp(word, s) == 0;
        if (*p != ';') break;
    }
    *category = special && code != 1 ? 4 : code;
    return 0;
}

struct ClassCodes {
    const char *word;
    uint32_t event;
    uint32_t todo;
};
constexpr ClassCodes kClasses[] = {{"PUBLIC", 3, 1}, {"PRIVATE", 2, 2}, {"CONFIDENTIAL", 1, 3}};

int32_t GetClass(const char *line, uint16_t type, uint32_t *code) {
    const char *p = skipBlanks(line);
    if (!vCal_IsWordInTheString(p, "CLASS", nullptr)) return fail(VCAL_ERR_BAD_CLASS, "GetClass");
    for (p += 5; *p != '\0' && !isLetter(*p); ++p) {
    }
    size_t n = 0;
    while (isLetter(p[n]))
        ++n;
    for (const ClassCodes &c : kClasses) {
        if (std::strlen(c.word) == n && vCal_IsWordInTheString(p, c.word, nullptr)) {
            *code = type == VCAL_ITEM_EVENT ? c.event : c.todo;
            return 0;
        }
    }
    return fail(VCAL_ERR_BAD_CLASS, "GetClass");
}

// A number, or a letter counted from 10 ("A" is 10). The client counts
// event priorities from 0.
int32_t GetPriorityFromStr(const char *line, uint16_t type, uint32_t *priority) {
    const char *v = valueOf(line);
    while (v != nullptr && *v != '\0' && !isAlnum(*v))
        ++v;
    if (v == nullptr || *v == '\0')
        return fail(VCAL_ERR_NO_VALUE, "GetPriorityFromStr (property str)");
    uint32_t value = 0;
    if (isDigit(*v)) {
        for (int i = 0; i < 3 && isDigit(v[i]); ++i)
            value = value * 10 + static_cast<uint32_t>(v[i] - '0');
    } else {
        value = static_cast<uint32_t>(upper(*v) - 'A' + 10);
    }
    if (type == VCAL_ITEM_EVENT && value != 0) --value;
    *priority = value;
    return 0;
}

int32_t GetNumberFromStr(const char *line, uint32_t *number) {
    const char *v = valueOf(line);
    while (v != nullptr && *v != '\0' && !isDigit(*v))
        ++v;
    if (v == nullptr || *v == '\0')
        return fail(VCAL_ERR_NO_VALUE, "GetNumberFromStr (property str)");
    uint32_t value = 0;
    for (; isDigit(*v); ++v)
        value = value * 10 + static_cast<uint32_t>(*v - '0');
    *number = value;
    return 0;
}

int32_t GetStatus(const char *line, char *status) {
    const char *v = valueOf(line);
    if (v == nullptr) return fail(VCAL_ERR_NO_VALUE, "GetStatus (property str)");
    readWord(v, status, 16);
    return 0;
}

// Each ";" of the resources becomes CR LF.
int32_t FormatMultiValueProperty(char **text) {
    if (*text == nullptr || std::strchr(*text, ';') == nullptr) return 0;
    size_t size = 1;
    for (const char *p = *text; *p != '\0'; ++p)
        size += *p == ';' ? 2 : 1;
    char *out = static_cast<char *>(std::malloc(size));
    if (out == nullptr) return fail(VCAL_ERR_NO_MEMORY, "FormatMultiValueProperty: malloc");
    char *o = out;
    for (const char *p = *text; *p != '\0'; ++p) {
        if (*p == ';') {
            *o++ = '\r';
            *o++ = '\n';
        } else {
            *o++ = *p;
        }
    }
    *o = '\0';
    std::free(*text);
    *text = out;
    return 0;
}

// Only printable 7-bit characters, tab, CR and LF come out of an escape;
// every other byte becomes "^".
char unescape(char high, char low) {
    high = upper(high);
    low = upper(low);
    if (high == '0') return low == '9' ? '\t' : low == 'A' ? '\n' : low == 'D' ? '\r' : '^';
    if (high < '2' || high > '7') return '^';
    const int value = isDigit(low) ? low - '0' : isLetter(low) ? low - 'A' + 10 : -1;
    const int byte = (high - '0') * 16 + value;
    return value >= 0 && byte <= 0x7E ? static_cast<char>(byte) : '^';
}

// Decodes `in` into `out`, which may be `in` itself (the text only shrinks).
void decodeQuotedPrintable(const char *in, char *out) {
    for (;;) {
        // The bytes up to the next "=" stand as they are.
        const char *escape = std::strchr(in, '=');
        const size_t run = escape != nullptr ? static_cast<size_t>(escape - in) : std::strlen(in);
        if (out != in) std::memmove(out, in, run);
        out += run;
        in += run;
        if (escape == nullptr) break;
        if (in[1] == '\0' || in[2] == '\0') {
            ++in; // an escape cut short: the "=" goes
        } else {
            *out++ = unescape(in[1], in[2]);
            in += 3;
        }
    }
    *out = '\0';
}

// Appends (after CR LF when the field holds text) the `length` characters
// of `value` to the field.
int32_t appendValue(char **field, const char *value, size_t length, const char *message) {
    char *old = *field;
    const size_t oldLength = old != nullptr ? std::strlen(old) : 0;
    const size_t at = old != nullptr ? oldLength + 2 : 0;
    char *text = static_cast<char *>(std::malloc(at + length + 1));
    if (text == nullptr) return fail(VCAL_ERR_NO_MEMORY, message);
    if (old != nullptr) {
        std::memcpy(text, old, oldLength);
        text[oldLength] = '\r';
        text[oldLength + 1] = '\n';
    }
    std::memcpy(text + at, value, length);
    text[at + length] = '\0';
    std::free(old);
    *field = text;
    return 0;
}

} // namespace

VERSIT_API int32_t vCal_mallocCopy2ndStrValueInFirst(char **field, const char *line) {
    if (field == nullptr || line == nullptr) {
        WriteErrLog(2, VCAL_ERR_NULL_ARGUMENT, nullptr);
        return VCAL_ERR_NULL_ARGUMENT;
    }
    // Values run to hundreds of bytes: strcspn takes them sixteen at a time.
    const char *colon = line + std::strcspn(line, ":\n");
    if (*colon != ':' || isLineEnd(colon[1]))
        return fail(VCAL_ERR_NO_VALUE, "vCal_mallocCopy2ndStrValueInFirst (property str)");
    const char *value = skipBlanks(colon + 1);
    const size_t length = std::strcspn(value, "\r\n");
    return appendValue(field, value, length, "vCal_mallocCopy2ndStrValueInFirst (malloc)");
}

namespace {

// vCal_mallocCopy2ndStrValueInFirst, then, for a line declaring
// ENCODING=QUOTED-PRINTABLE, the whole field decoded.
int32_t vCal_mallocCopy2ndStrValueInFirst_QP(char **field, const char *line) {
    // A field that held nothing is decoded in place: the same text as a
    // decoded copy, one allocation fewer.
    const bool fresh = field != nullptr && *field == nullptr;
    int32_t rc = vCal_mallocCopy2ndStrValueInFirst(field, line);
    if (rc != 0) return rc;
    const char *colon = std::strchr(line, ':');
    if (vcal::lineEncoding(line, static_cast<size_t>(colon - line)) !=
        vcal::LineEncoding::QuotedPrintable)
        return 0;
    if (fresh) {
        decodeQuotedPrintable(*field, *field);
        return 0;
    }
    char *decoded = static_cast<char *>(std::malloc(std::strlen(*field) + 1));
    if (decoded == nullptr)
        return fail(VCAL_ERR_NO_MEMORY, "vCal_mallocCopy2ndStrValueInFirst_QP (malloc)");
    decodeQuotedPrintable(*field, decoded);
    std::free(*field);
    *field = decoded;
    return 0;
}

} // namespace

VERSIT_API int32_t vCal_mallocAppend2ndStrInFirst(char **text, const char *second, uint32_t extra) {
    if (text == nullptr || second == nullptr) {
        WriteErrLog(2, VCAL_ERR_NULL_ARGUMENT, nullptr);
        return VCAL_ERR_NULL_ARGUMENT;
    }
    // The spare room travels as 16 bits; the buffer's size is not cut to
    // 16 bits, which could only make it too small.
    const size_t spare = static_cast<uint16_t>(extra);
    const size_t secondLength = std::strlen(second);
    if (secondLength == 0 && spare == 0) return 0;
    const size_t oldLength = *text != nullptr ? std::strlen(*text) : 0;
    char *joined = static_cast<char *>(std::malloc(oldLength + secondLength + spare + 2));
    if (joined == nullptr)
        return fail(VCAL_ERR_NO_MEMORY, "vCal_mallocAppend2ndStrInFirst (malloc)");
    if (oldLength > 0) std::memcpy(joined, *text, oldLength);
    std::memcpy(joined + oldLength, second, secondLength + 1);
    std::free(*text);
    *text = joined;
    return 0;
}

namespace vcal {

int32_t GetDayLightTZ(const PropertyNode *first, int32_t *zone) {
    *zone = 0;
    for (const PropertyNode *node = first; node != nullptr; node = node->next) {
        if (node->propertyId != VCAL_PROP_TZ || node->line == nullptr) continue;
        const char *line = node->line;
        const char *sign = line;
        while (!isLineEnd(*sign) && *sign != '+' && *sign != '-')
            ++sign;
        const char *p = *sign == '+' || *sign == '-' ? sign + 1 : valueOf(line);
        if (p == nullptr) continue;
        // Large enough to be refused as an offset, small enough for 32 bits.
        auto number = [&p] {
            int32_t value = 0;
            for (; isDigit(*p); ++p)
                value = value < 100000 ? value * 10 + (*p - '0') : value;
            return value;
        };
        int32_t minutes = number() * 60;
        if (*p == ':') {
            ++p;
            if (!isDigit(*p)) return fail(VCAL_ERR_NO_VALUE, "GetDayLightTZ (property str)");
            minutes += number();
        }
        *zone = *sign == '-' ? -minutes : minutes;
    }
    return 0;
}

int32_t vCal_AcceptItem(PropertyParam *item, uint16_t *counter, uint16_t type) {
    uint8_t *flag = item->flags.flag;
    if (flag[VCAL_SLOT_DTSTART] == 0) return 1;
    const CalapiTime start = item->startTime;
    if (item->audioAlarmTime >= start) flag[VCAL_SLOT_AALARM] = 0;
    if (item->displayAlarmTime >= start) flag[VCAL_SLOT_DALARM] = 0;
    if (type == VCAL_ITEM_EVENT) {
        if (item->endTime > start) return 1;
        if (counter != nullptr) --*counter;
        return 0;
    }
    if (item->endTime < start) flag[VCAL_SLOT_DTEND] = 0;
    if (item->completedTime < start) flag[VCAL_SLOT_COMPLETED] = 0;
    if (item->dueTime < start) flag[VCAL_SLOT_DUE] = 0;
    return 1;
}

void releaseItem(PropertyParam *item) {
    vCal_FreePropertyParam(item);
    KL_HLIST list = item->recurrenceOccurrences;
    if (list != nullptr) KL_ListDestroy(&list);
    list = item->exceptionOccurrences;
    if (list != nullptr) KL_ListDestroy(&list);
    item->recurrenceOccurrences = nullptr;
    item->exceptionOccurrences = nullptr;
}

namespace {

// The lines a conversion remembers for the rules.
struct RuleLines {
    const char *start = nullptr;
    const char *rule = nullptr;
    const char *exceptionRule = nullptr;
};

// A later EXDATE or RDATE line replaces the chain of an earlier one.
int32_t extractDates(PropertyParam *item, size_t field, const char *line, int32_t zone) {
    TimeNode *chain = nullptr;
    const int32_t rc = GetMultiCalapiTimeFromStr(line, &chain, zone);
    if (rc != 0) return rc;
    const size_t next = field + offsetof(TimeNode, next);
    auto *old = static_cast<TimeNode *>(loadPointer(item, next));
    storePointer(item, next, chain);
    releaseChain(old);
    return 0;
}

// Runs the extractor of the property's kind into its field, which a
// failure leaves as it was; only a text whose decoding runs out of memory
// keeps its value undecoded.
int32_t extractValue(const PropertyInfo &info, const char *line, uint16_t type, PropertyParam *item,
                     int32_t zone) {
    const size_t field = info.field;
    int32_t rc = 0;
    uint32_t value = 0; // every field but the category's is 32 bits wide
    switch (info.extract) {
    case Extract::None:
        return 0;
    case Extract::Time:
        rc = GetCalapiTimeFromStr(line, &value, zone);
        break;
    case Extract::Alarm:
        rc = GetAlarmFromStr(line, &value, zone);
        break;
    case Extract::Text: {
        auto *text = static_cast<char *>(loadPointer(item, field));
        rc = vCal_mallocCopy2ndStrValueInFirst_QP(&text, line);
        storePointer(item, field, text);
        return rc;
    }
    case Extract::Dates:
        return extractDates(item, field, line, zone);
    case Extract::Category: {
        uint16_t category = 0;
        if ((rc = GetCategories(line, &category)) == 0) storeNumber(item, field, category);
        return rc;
    }
    case Extract::Class:
        rc = GetClass(line, type, &value);
        break;
    case Extract::Priority:
        rc = GetPriorityFromStr(line, type, &value);
        break;
    case Extract::Number:
        rc = GetNumberFromStr(line, &value);
        break;
    case Extract::Status:
        return GetStatus(line, reinterpret_cast<char *>(item) + field);
    }
    if (rc == 0) storeNumber(item, field, value);
    return rc;
}

int32_t extract(const PropertyNode *node, uint16_t type, PropertyParam *item, int32_t zone,
                RuleLines &seen) {
    const PropertyInfo &info = propertyInfo(node->propertyId);
    const char *line = node->line;
    int32_t rc = extractValue(info, line, type, item, zone);
    if (rc != 0) return fail(rc, info.failure);
    // The steps a few properties take besides their value.
    switch (node->propertyId) {
    case VCAL_PROP_DTSTART:
        seen.start = line;
        return 0;
    case VCAL_PROP_RRULE:
        seen.rule = line;
        return 0;
    case VCAL_PROP_EXRULE:
        seen.exceptionRule = line;
        return 0;
    case VCAL_PROP_RESOURCES: {
        char *resources = item->resources;
        rc = FormatMultiValueProperty(&resources);
        item->resources = resources;
        return rc != 0 ? fail(rc, "ChangeFormatPTreeToKRec: FormatMultiValueProperty") : 0;
    }
    default:
        return 0;
    }
}

// Expands one rule line into the list field; a rule not understood clears
// the flags given.
int32_t expandRule(PropertyParam *item, size_t field, const char *rule, const char *start,
                   const uint8_t *clear, size_t clearCount, const char *message) {
    KL_HLIST list = nullptr;
    uint8_t valid = 0;
    const int32_t rc = recur::vCal_GenerateDateFromRrule(&list, rule, start, &valid);
    storePointer(item, field, list);
    if (rc != 0) return fail(rc, message);
    for (size_t i = 0; valid == 0 && i < clearCount; ++i)
        item->flags.flag[clear[i]] = 0;
    return 0;
}

} // namespace

int32_t ChangeFormatPTreeToKRec(const void *entity, uint16_t type, PropertyParam *item,
                                const char * /*daylight*/, int32_t zone) {
    vCal_InitializePropertyParam(item);
    item->itemType = type;
    if (type != VCAL_ITEM_EVENT && type != VCAL_ITEM_TODO)
        return fail(VCAL_ERR_BAD_ITEM_TYPE, "ChangeFormatPTreeToKRec (no type)");
    // Events and to-dos share one layout.
    const auto *node = static_cast<const VEventNode *>(entity);
    item->flags = node->flags;
    RuleLines seen;
    for (const PropertyNode *p = node->properties; p != nullptr; p = p->next) {
        const int32_t rc = extract(p, type, item, zone, seen);
        if (rc != 0) return rc;
    }
    if (seen.rule != nullptr && seen.start != nullptr) {
        static constexpr uint8_t kRuleFlags[] = {VCAL_SLOT_RRULE, VCAL_SLOT_EXRULE};
        const int32_t rc =
            expandRule(item, offsetof(PropertyParam, recurrenceOccurrences), seen.rule, seen.start,
                       kRuleFlags, 2, "ChangeFormatPTreeToKRec: vCal_GenerateDateFromRrule 1");
        if (rc != 0) return rc;
    }
    if (item->flags.flag[VCAL_SLOT_EXRULE] != 0 && seen.exceptionRule != nullptr &&
        seen.start != nullptr) {
        static constexpr uint8_t kExceptionFlag[] = {VCAL_SLOT_EXRULE};
        return expandRule(item, offsetof(PropertyParam, exceptionOccurrences), seen.exceptionRule,
                          seen.start, kExceptionFlag, 1,
                          "ChangeFormatPTreeToKRec: vCal_GenerateDateFromRrule 2");
    }
    return 0;
}

} // namespace vcal
