// Property validation: what each property's value must look like, and the
// message that says why it does not.
#include "vcal/vcalcheck.h"

#include <cstring>

#include "diag/errlog.h"
#include "vcal/vcaldate.h"
#include "vcal/vcalline.h"
#include "vcal/vcalprop.h"

namespace {

using vcal::isAlnum;
using vcal::isDigit;
using vcal::isLetter;
using vcal::isLineEnd;
using vcal::upper;

constexpr const char *kCategories[] = {
    "APPOINTMENT", "BUSINESS",   "EDUCATION", "HOLIDAY",          "MEETING", "MISCELLANEOUS",
    "PERSONAL",    "PHONE CALL", "SICK DAY",  "SPECIAL OCCASION", "TRAVEL",  "VACATION",
};
constexpr const char *kClasses[] = {"PUBLIC", "PRIVATE", "CONFIDENTIAL"};
constexpr const char *kStatuses[] = {"ACCEPTED",  "NEEDS ACTION", "SENT",      "TENTATIVE",
                                     "CONFIRMED", "DECLINED",     "COMPLETED", "DELEGATED"};
constexpr const char *kWeekdays[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};
constexpr const char *kComponents[] = {"VCALENDAR", "VEVENT", "VTODO"};

template <size_t N> constexpr int32_t countOf(const char *const (&)[N]) {
    return static_cast<int32_t>(N);
}

// A word as vCal_GetOneWordFromLine reads it: from the first character
// after blanks and tabs to the CR, LF, NUL or ";" that stops it.
struct Word {
    size_t start;
    size_t stop;
    bool atEnd; // stopped at the end of the line, not at a ";"
    bool empty() const { return start == stop; }
};

Word readWord(const char *line, size_t from) {
    size_t p = from;
    while (line[p] == ' ' || line[p] == '\t')
        ++p;
    const size_t start = p;
    while (!isLineEnd(line[p]) && line[p] != ';')
        ++p;
    return Word{start, p, line[p] != ';'};
}

// Copies a word as vCal_GetOneWordFromLine delivers it (upper-cased, runs
// of blanks as one) into `out` of `size` bytes; false when it does not fit.
bool wordText(const char *line, const Word &w, char *out, size_t size) {
    size_t n = 0;
    for (size_t p = w.start; p < w.stop; ++p) {
        if (line[p] == ' ' && n > 0 && out[n - 1] == ' ') continue;
        if (n + 1 >= size) return false;
        out[n++] = upper(line[p]);
    }
    out[n] = '\0';
    return true;
}

// Whether the word is one of a table's texts (or "X-" when `orX` is set).
// The tables' texts are short, so a longer word is simply not one of them.
template <size_t N>
bool wordIn(const char *line, const Word &w, const char *const (&table)[N], bool orX = false) {
    char text[32];
    if (!wordText(line, w, text, sizeof text)) return false;
    if (orX && std::strcmp(text, "X-") == 0) return true;
    return vCal_SearchStrInTable(table, text, countOf(table)) != 0;
}

// At most 16 letters and digits after blanks and tabs.
struct Token {
    size_t start;
    size_t end;
    size_t size() const { return end - start; }
};

Token readToken(const char *line, size_t from) {
    size_t p = from;
    while (line[p] == ' ' || line[p] == '\t')
        ++p;
    const size_t start = p;
    while (p - start < 16 && isAlnum(line[p]))
        ++p;
    return Token{start, p};
}

// The message a date-time token earns: 0 when it converts, 26 for a year
// out of range, 2 for anything else.
uint16_t dateTimeFault(const char *line, const Token &t) {
    if (t.size() != 15 && t.size() != 16) return vcal::kMsgBadDateTime;
    char text[17];
    std::memcpy(text, line + t.start, t.size());
    text[t.size()] = '\0';
    uint32_t minutes = 0;
    const int32_t rc = vcal::parseDateTime(text, &minutes, nullptr, nullptr);
    if (rc == 0) return 0;
    return rc == VCAL_ERR_BAD_YEAR ? vcal::kMsgYear : vcal::kMsgBadDateTime;
}

// "P", digit runs each with a unit: Y, M, W, D, then "T", then H, M, S,
// in this order and each at most once. "P" alone will do.
bool isDuration(const char *line, const Word &w) {
    if (w.empty() || upper(line[w.start]) != 'P') return false;
    int last = -1; // order of the last unit: Y0 M1 W2 D3 T4 H5 M6 S7
    bool time = false;
    bool digits = false;
    for (size_t p = w.start + 1; p < w.stop; ++p) {
        const char c = upper(line[p]);
        if (isDigit(c)) {
            digits = true;
            continue;
        }
        int order = -1;
        switch (c) {
        case 'Y':
            order = time ? -1 : 0;
            break;
        case 'M':
            order = time ? 6 : 1;
            break;
        case 'W':
            order = time ? -1 : 2;
            break;
        case 'D':
            order = time ? -1 : 3;
            break;
        case 'T':
            order = time || digits ? -1 : 4;
            break;
        case 'H':
            order = time ? 5 : -1;
            break;
        case 'S':
            order = time ? 7 : -1;
            break;
        default:
            break;
        }
        if (order < 0 || order <= last || (c != 'T' && !digits)) return false;
        time = time || c == 'T';
        last = order;
        digits = false;
    }
    return !digits;
}

bool allDigits(const char *line, const Word &w) {
    for (size_t p = w.start; p < w.stop; ++p) {
        if (!isDigit(line[p])) return false;
    }
    return true;
}

enum class RuleKind : uint8_t {
    Daily,
    Weekly,
    MonthlyByPosition,
    MonthlyByDay,
    YearlyByMonth,
    YearlyByDay
};

// One check of one line: formats its messages into the buffer.
struct Checker {
    const char *line;
    char *message;
    uint32_t lineNumber;

    // Formats a message and refuses.
    bool refuse(uint16_t number, size_t position = 0) {
        prepare(number, position);
        return false;
    }
    void prepare(uint16_t number, size_t position = 0) {
        const auto where = static_cast<int32_t>(position);
        vcal::vCal_FormatMessage(message, number, &lineNumber, &where);
    }

    // The index where the value starts, after the ":" that follows the
    // keyword and its parameters (a ";" starts the parameters, inside
    // which only ":" ends the search); 0 when there is none.
    size_t valueStart() const {
        auto p = static_cast<size_t>(vcal::nameEnd(line) - line);
        if (line[p] == ';') {
            while (line[p] != '\0' && line[p] != ':')
                ++p;
        }
        return line[p] == ':' ? p + 1 : 0;
    }

    bool run(vcal::ValueCheck check);
    bool dateTime(size_t v);
    bool alarm(size_t v);
    bool categories(size_t v);
    // CLASS and STATUS: one word of the table, or "X-".
    template <size_t N> bool oneWord(size_t v, const char *const (&table)[N]) {
        const Word w = readWord(line, v);
        if (w.empty()) return refuse(vcal::kMsgMissingValue, w.stop);
        if (!wordIn(line, w, table, true)) return refuse(vcal::kMsgBadValue);
        if (!w.atEnd) return refuse(vcal::kMsgIllegalCharacter, w.stop);
        return true;
    }
    bool oneRun(size_t v, bool digitsOnly);
    bool dateList(size_t v);
    bool zone(size_t v);
    bool daylight(size_t v);
    bool daylightDate(size_t &p);
    bool rule();
    bool ruleModifier(RuleKind kind, size_t start, size_t stop) const;
    bool ruleEndDate(size_t start, size_t stop);
};

bool Checker::run(vcal::ValueCheck check) {
    using vcal::ValueCheck;
    if (check == ValueCheck::Free || check == ValueCheck::Unchecked || check == ValueCheck::Version)
        return true;
    if (check == ValueCheck::Rule) return rule();
    const size_t v = valueStart();
    if (v == 0) return refuse(vcal::kMsgColon);
    switch (check) {
    case ValueCheck::Text:
        return true;
    case ValueCheck::DateTime:
        return dateTime(v);
    case ValueCheck::Alarm:
        return alarm(v);
    case ValueCheck::Categories:
        return categories(v);
    case ValueCheck::Class:
        return oneWord(v, kClasses);
    case ValueCheck::Status:
        return oneWord(v, kStatuses);
    case ValueCheck::Priority:
        return oneRun(v, false);
    case ValueCheck::Number:
        return oneRun(v, true);
    case ValueCheck::DateList:
        return dateList(v);
    case ValueCheck::Zone:
        return zone(v);
    case ValueCheck::Daylight:
        return daylight(v);
    default:
        return true;
    }
}

// A date-time that runs on is taken, with the fault noted.
bool Checker::dateTime(size_t v) {
    const Token t = readToken(line, v);
    if (t.size() == 0) return refuse(vcal::kMsgMissingValue, t.start);
    if (const uint16_t fault = dateTimeFault(line, t)) return refuse(fault);
    if (!isLineEnd(line[t.end])) prepare(vcal::kMsgIllegalCharacter, t.end);
    return true;
}

// Run time; then, after ";", a snooze duration; then, after ";", a repeat
// count. What follows the count is not looked at.
bool Checker::alarm(size_t v) {
    const Token t = readToken(line, v);
    if (t.size() == 0) return refuse(vcal::kMsgMissingValue, t.start);
    if (const uint16_t fault = dateTimeFault(line, t)) return refuse(fault);
    if (line[t.end] != ';') return true;
    const Word snooze = readWord(line, t.end + 1);
    if (!snooze.empty()) {
        if (!isDuration(line, snooze)) return refuse(vcal::kMsgBadValue);
    } else if (snooze.atEnd) {
        return refuse(vcal::kMsgMissingValue, snooze.stop);
    }
    if (snooze.atEnd) return true;
    const Word repeat = readWord(line, snooze.stop + 1);
    if (!repeat.empty()) {
        if (!allDigits(line, repeat)) prepare(vcal::kMsgBadValue);
    } else if (repeat.atEnd) {
        return refuse(vcal::kMsgMissingValue, repeat.stop);
    }
    return true;
}

bool Checker::categories(size_t v) {
    for (size_t p = v;;) {
        const Word w = readWord(line, p);
        if (w.empty()) return refuse(vcal::kMsgMissingValue, w.stop);
        if (!wordIn(line, w, kCategories)) return refuse(vcal::kMsgBadValue);
        if (w.atEnd) return true;
        p = w.stop + 1;
    }
}

// PRIORITY (letters and digits) and RNUM (digits): one run to the end.
bool Checker::oneRun(size_t v, bool digitsOnly) {
    size_t p = v;
    while (line[p] == ' ' || line[p] == '\t')
        ++p;
    auto belongs = [&](char c) { return digitsOnly ? isDigit(c) : isAlnum(c); };
    if (!belongs(line[p])) return refuse(vcal::kMsgMissingValue, p);
    while (belongs(line[p]))
        ++p;
    if (!isLineEnd(line[p])) return refuse(vcal::kMsgIllegalCharacter, p);
    return true;
}

bool Checker::dateList(size_t v) {
    for (size_t p = v, number = 1;; ++number) {
        const Token t = readToken(line, p);
        if (t.size() == 0) return refuse(vcal::kMsgMissingDate, number);
        if (const uint16_t fault = dateTimeFault(line, t)) return refuse(fault);
        if (isLineEnd(line[t.end])) return true;
        if (line[t.end] != ';') return refuse(vcal::kMsgIllegalCharacter, t.end);
        p = t.end + 1;
    }
}

// [+-]hh, or [+-]hh:mm, directly after the ":".
bool Checker::zone(size_t v) {
    size_t p = v;
    if (line[p] == '+' || line[p] == '-') ++p;
    for (int part = 0; part < 2; ++part) {
        if (!isDigit(line[p]) || !isDigit(line[p + 1])) return refuse(vcal::kMsgBadZone);
        p += 2;
        if (isLineEnd(line[p])) return true;
        if (part == 1 || line[p] != ':') return refuse(vcal::kMsgIllegalCharacter, p);
        ++p;
    }
    return true;
}

// A start or end date of DAYLIGHT and the ";" after it. A year outside the
// range is no fault here: daylight rules are written for years to come.
bool Checker::daylightDate(size_t &p) {
    const Token t = readToken(line, p);
    if (t.size() == 0) return refuse(vcal::kMsgMissingParts);
    const uint16_t fault = dateTimeFault(line, t);
    if (fault != 0 && fault != vcal::kMsgYear) return refuse(fault);
    p = t.end;
    if (isLineEnd(line[p])) return refuse(vcal::kMsgMissingParts);
    if (line[p] != ';') return refuse(vcal::kMsgIllegalCharacter, p);
    ++p;
    return true;
}

// FALSE, or TRUE;offset;start;end;standard name;daylight name. A word
// other than TRUE or FALSE counts as a missing part.
bool Checker::daylight(size_t v) {
    size_t p = v;
    if (line[p] == ' ' || line[p] == '\t') return refuse(vcal::kMsgIllegalWhiteSpace, p);
    if (!isLetter(line[p])) return refuse(vcal::kMsgIllegalCharacter, p);
    const size_t wordStart = p;
    while (isLetter(line[p]))
        ++p;
    auto is = [&](const char *word) {
        const size_t n = std::strlen(word);
        if (p - wordStart != n) return false;
        for (size_t i = 0; i < n; ++i) {
            if (upper(line[wordStart + i]) != word[i]) return false;
        }
        return true;
    };
    if (is("FALSE")) return isLineEnd(line[p]) || refuse(vcal::kMsgIllegalCharacter, p);
    if (!is("TRUE")) return refuse(vcal::kMsgMissingParts);
    if (isLineEnd(line[p])) return refuse(vcal::kMsgMissingParts);
    if (line[p] != ';') return refuse(vcal::kMsgIllegalCharacter, p);
    ++p;
    if (line[p] == '+' || line[p] == '-') ++p;
    const size_t offset = p;
    while (line[p] != ';' && !isLineEnd(line[p])) {
        if (!isDigit(line[p]) && line[p] != ':') return refuse(vcal::kMsgIllegalCharacter, p);
        ++p;
    }
    if (p == offset || isLineEnd(line[p])) return refuse(vcal::kMsgMissingParts);
    ++p;
    if (!daylightDate(p) || !daylightDate(p)) return false;
    for (int name = 0; name < 2; ++name) {
        const size_t start = p;
        while (isLetter(line[p]))
            ++p;
        const bool last = name == 1;
        if (last ? !isLineEnd(line[p]) : line[p] != ';' && !isLineEnd(line[p]))
            return refuse(vcal::kMsgIllegalCharacter, p);
        if (p == start || (!last && isLineEnd(line[p]))) return refuse(vcal::kMsgMissingParts);
        ++p;
    }
    return true;
}

bool isWeekday(const char *line, size_t start, size_t stop) {
    if (stop - start != 2) return false;
    const char code[3] = {upper(line[start]), upper(line[start + 1]), '\0'};
    return vCal_SearchStrInTable(kWeekdays, code, countOf(kWeekdays)) != 0;
}

// A number of `least` to `most` digits from `low` to `high`, filling the
// word up to `stop` (or up to a "+" before it, when `plus` is set).
bool isNumber(const char *line, size_t start, size_t stop, size_t most, uint32_t low, uint32_t high,
              bool plus = false) {
    if (plus && stop > start && line[stop - 1] == '+') --stop;
    if (stop == start || stop - start > most) return false;
    uint32_t value = 0;
    for (size_t p = start; p < stop; ++p) {
        if (!isDigit(line[p])) return false;
        value = value * 10 + static_cast<uint32_t>(line[p] - '0');
    }
    return value >= low && value <= high;
}

bool Checker::ruleModifier(RuleKind kind, size_t start, size_t stop) const {
    switch (kind) {
    case RuleKind::Daily:
        return false;
    case RuleKind::Weekly:
        return isWeekday(line, start, stop);
    case RuleKind::MonthlyByPosition:
        return isWeekday(line, start, stop) ||
               (stop - start == 2 && line[start] >= '1' && line[start] <= '5' &&
                (line[start + 1] == '+' || line[start + 1] == '-'));
    case RuleKind::MonthlyByDay:
        return isNumber(line, start, stop, 2, 1, 31, true);
    case RuleKind::YearlyByMonth:
        return isNumber(line, start, stop, 2, 1, 12);
    case RuleKind::YearlyByDay:
        return isNumber(line, start, stop, 3, 1, 366);
    }
    return false;
}

// The end date of a rule: 8 digits, "T", 6 digits, an optional "Z". One of
// 15 characters or more is also converted, and a conversion fault is the
// message that stands.
bool Checker::ruleEndDate(size_t start, size_t stop) {
    const size_t n = stop - start;
    bool form = n == 15 || (n == 16 && upper(line[stop - 1]) == 'Z');
    for (size_t i = 0; form && i < 15; ++i)
        form = i == 8 ? upper(line[start + i]) == 'T' : isDigit(line[start + i]);
    if (n >= 15) {
        if (const uint16_t fault = dateTimeFault(line, Token{start, start + (n > 16 ? 16 : n)}))
            return refuse(fault);
    }
    return form || refuse(vcal::kMsgBadRule);
}

// kind interval {modifier} [#count] [end date], words separated by blanks.
bool Checker::rule() {
    size_t p = 0;
    while (!isLineEnd(line[p]) && line[p] != ':')
        ++p;
    if (line[p] != ':') return refuse(vcal::kMsgColon);
    ++p;
    while (line[p] == ' ' || line[p] == '\t')
        ++p;
    RuleKind kind;
    const char first = upper(line[p]);
    const char second = line[p] == '\0' ? '\0' : upper(line[p + 1]);
    if (first == 'D' || first == 'W') {
        kind = first == 'D' ? RuleKind::Daily : RuleKind::Weekly;
        p += 1;
    } else if (first == 'M' && (second == 'P' || second == 'D')) {
        kind = second == 'P' ? RuleKind::MonthlyByPosition : RuleKind::MonthlyByDay;
        p += 2;
    } else if (first == 'Y' && (second == 'M' || second == 'D')) {
        kind = second == 'M' ? RuleKind::YearlyByMonth : RuleKind::YearlyByDay;
        p += 2;
    } else {
        return refuse(vcal::kMsgBadRule);
    }
    if (!isDigit(line[p])) return refuse(vcal::kMsgBadRule);
    while (isDigit(line[p]))
        ++p;
    enum { Modifiers, Counted, Ended } stage = Modifiers;
    for (;;) {
        if (isLineEnd(line[p])) return true;
        if (line[p] != ' ' && line[p] != '\t') return refuse(vcal::kMsgBadRule);
        while (line[p] == ' ' || line[p] == '\t')
            ++p;
        if (isLineEnd(line[p])) return true;
        const size_t start = p;
        while (!isLineEnd(line[p]) && line[p] != ' ' && line[p] != '\t')
            ++p;
        if (stage == Ended) return refuse(vcal::kMsgBadRule);
        if (line[start] == '#') {
            if (stage != Modifiers || p == start + 1) return refuse(vcal::kMsgBadRule);
            for (size_t i = start + 1; i < p; ++i) {
                if (!isDigit(line[i])) return refuse(vcal::kMsgBadRule);
            }
            stage = Counted;
        } else if (p - start > 8 && isNumber(line, start, start + 8, 8, 0, 99999999)) {
            if (!ruleEndDate(start, p)) return false;
            stage = Ended;
        } else if (stage != Modifiers || !ruleModifier(kind, start, p)) {
            return refuse(vcal::kMsgBadRule);
        }
    }
}

} // namespace

VERSIT_API int32_t vCal_GetOneWordFromLine(char *word, const char *line, uint32_t *position) {
    if (word == nullptr || line == nullptr || position == nullptr) return 1;
    const Word w = readWord(line, *position);
    size_t n = 0;
    for (size_t p = w.start; p < w.stop; ++p) {
        if (line[p] == ' ' && n > 0 && word[n - 1] == ' ') continue;
        word[n++] = upper(line[p]);
    }
    word[n] = '\0';
    *position = static_cast<uint32_t>(w.stop);
    return w.atEnd ? 1 : 0;
}

VERSIT_API int32_t vCal_SearchStrInTable(const char *const *table, const char *word,
                                         int32_t count) {
    if (table == nullptr || word == nullptr) return 0;
    for (int32_t i = 0; i < count && table[i] != nullptr; ++i) {
        if (std::strcmp(table[i], word) == 0) return 1;
    }
    return 0;
}

namespace vcal {

int32_t vCal_CheckPropertyValue(const PropertyNode *node, PropertyFlags *flags, char *message,
                                uint32_t lineNumber) {
    message[0] = '\0';
    const PropertyInfo &info = propertyInfo(node->propertyId);
    if (info.check == ValueCheck::Free) return 1;
    Checker check{node->line, message, lineNumber};
    if (flags->flag[info.slot] != 0 && !info.repeats) {
        flags->flag[VCAL_SLOT_INVALID] = 1;
        check.prepare(kMsgDuplicate);
        return 0;
    }
    // VERSION belongs to the calendar, which checks it itself; inside an
    // event or to-do it is passed over without marking its slot, so that it
    // neither repeats nor counts as a calendar property there.
    if (info.check != ValueCheck::Version) flags->flag[info.slot] = 1;
    if (check.run(info.check)) return 1;
    flags->flag[VCAL_SLOT_INVALID] = 1;
    return 0;
}

int32_t vCal_CheckVersion(const char *line, char *message, uint32_t lineNumber, char *version) {
    message[0] = '\0';
    Checker check{line, message, lineNumber};
    const size_t v = check.valueStart();
    if (v == 0) {
        check.refuse(kMsgColon);
        return VCAL_ERR_NO_VALUE;
    }
    size_t p = v;
    while (line[p] == ' ' || line[p] == '\t')
        ++p;
    size_t n = 0;
    while (n < 8 && !isLineEnd(line[p + n]) && line[p + n] != ' ' && line[p + n] != '\t')
        ++n;
    std::memcpy(version, line + p, n);
    version[n] = '\0';
    if (n == 0) {
        check.refuse(kMsgMissingValue, p);
        return VCAL_ERR_NO_VALUE;
    }
    if (std::strcmp(version, "1.0") != 0) {
        check.refuse(kMsgBadVersion);
        return VCAL_ERR_BAD_VERSION;
    }
    return 0;
}

int32_t vCal_CheckBeginEndForm(const char *line, char *message, uint32_t lineNumber) {
    message[0] = '\0';
    Checker check{line, message, lineNumber};
    size_t p = 0;
    while (line[p] == ' ' || line[p] == '\t')
        ++p;
    for (; line[p] != ':' && line[p] != ' ' && line[p] != '\t' && !isLineEnd(line[p]); ++p) {
        if (!isLetter(line[p])) return check.refuse(kMsgIllegalCharacter, p);
    }
    while (line[p] == ' ' || line[p] == '\t')
        ++p;
    if (line[p] != ':') return check.refuse(kMsgColon);
    ++p;
    while (line[p] == ' ' || line[p] == '\t')
        ++p;
    char name[15];
    size_t n = 0;
    while (n < 14 && isLetter(line[p]))
        name[n++] = upper(line[p++]);
    name[n] = '\0';
    if (vCal_SearchStrInTable(kComponents, name, countOf(kComponents)) == 0)
        return check.refuse(kMsgBadValue);
    while (line[p] == ' ' || line[p] == '\t')
        ++p;
    if (!isLineEnd(line[p])) return check.refuse(kMsgIllegalCharacter, p);
    return 1;
}

int32_t vCal_VerifyAllProperty(const PropertyFlags *flags, TextBuffer *errors, TextBuffer *warnings,
                               uint32_t lineNumber, uint16_t kind) {
    auto anySet = [&](int from, int to) {
        for (int slot = from; slot <= to; ++slot) {
            if (flags->flag[slot] != 0) return true;
        }
        return false;
    };
    // Which messages a block earns, with the step number its append failure
    // is logged under. Only the missing VERSION is a warning.
    struct Finding {
        bool raised;
        uint16_t message;
        const char *step;
    };
    const bool calendarSlots = anySet(VCAL_SLOT_DAYLIGHT, VCAL_SLOT_VERSION);
    const Finding calendar[] = {
        {flags->flag[VCAL_SLOT_VERSION] == 0, kMsgNoVersion,
         "vCal_VerifyAllProperty: vCal_AppendErrMesg 1"},
        {anySet(VCAL_SLOT_ATTACH, VCAL_SLOT_DUE), kMsgEntityInCalendar,
         "vCal_VerifyAllProperty: vCal_AppendErrMesg 2"},
    };
    const Finding event[] = {
        {calendarSlots, kMsgCalendarInEvent, "vCal_VerifyAllProperty: vCal_AppendErrMesg 3"},
        {flags->flag[VCAL_SLOT_DTSTART] == 0, kMsgNoStart,
         "vCal_VerifyAllProperty: vCal_AppendErrMesg 4"},
        {flags->flag[VCAL_SLOT_DTEND] == 0, kMsgNoEnd,
         "vCal_VerifyAllProperty: vCal_AppendErrMesg 4"},
    };
    const Finding todo[] = {
        {calendarSlots, kMsgCalendarInTodo, "vCal_VerifyAllProperty: vCal_AppendErrMesg 3"},
    };
    const Finding *findings = kind == kBlockCalendar ? calendar
                              : kind == kBlockEvent  ? event
                                                     : todo;
    const size_t count = kind == kBlockCalendar ? 2
                         : kind == kBlockEvent  ? 3
                         : kind == kBlockTodo   ? 1
                                                : 0;
    for (size_t i = 0; i < count; ++i) {
        if (!findings[i].raised) continue;
        char message[kMessageSize];
        vCal_FormatMessage(message, findings[i].message, &lineNumber, nullptr);
        const bool warning = findings[i].message == kMsgNoVersion;
        const int32_t rc =
            vCal_AppendErrMesg(errors, warning ? warnings : nullptr,
                               warning ? uint16_t{VCAL_PROP_VERSION} : kCodeBlock, message);
        if (rc != 0) {
            WriteErrLog(2, rc, findings[i].step);
            return rc;
        }
    }
    return 0;
}

} // namespace vcal
