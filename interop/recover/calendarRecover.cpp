// The repairs are general rules, each for a way real writers break the
// format or the exact reader's narrower reading of it:
//  - Lines: NUL bytes go; text outside any calendar is passed over; an
//    event or to-do outside a calendar gets one; a BEGIN that comes before
//    the END of the block it opens ends that block; nested blocks the
//    reader does not know (VALARM, VTIMEZONE) are left out whole.
//  - Values in UTF-8: quoted-printable text (lower-case escapes and loose
//    "=" too) is decoded and read in its CHARSET (else as UTF-8 when valid,
//    else Windows-1252); what needs escaping afterwards (line breaks) stays
//    quoted-printable, the rest is written plain.
//  - Dates: a date without time is midnight; 24:00 is midnight of the
//    next day; VALUE=DATE goes; years before 1991 or after 2036, which no
//    client time can hold, are brought into range (a yearly item moves as
//    a whole, by the years that bring its start to its first date from
//    1991 on; recurrence end dates beyond 2036 end there, where expansion
//    stops anyway); date lists lose blanks and empty entries.
//  - TZ in the form +hhmm gets its colon; a TZ or DAYLIGHT inside an event
//    moves to its calendar when the calendar has none.
//  - STATUS NEEDS-ACTION is NEEDS ACTION; CATEGORIES keep the words the
//    reader knows (an "X-" before a known word goes), separated by ";".
//    Whether the reader knows a value is the exact check's own verdict.
//  - Empty values go. A property given twice: the first stands (EXDATE
//    and RDATE lists are joined). A line the exact reader would refuse is
//    left out, not the item: the item keeps everything else.
//  - An event without DTEND ends when it starts (at the end of its day
//    for a date-only start); one without DTSTART starts when it ends; one
//    with neither is left out.
#include "interop/recover/calendarRecover.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <new>
#include <string_view>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "interop/charset/utf8.h"
#include "interop/recover/lines.h"
#include "platform/ascii.h"
#include "vcal/vcalcheck.h"
#include "vcal/vcalline.h"
#include "vcal/vcalprop.h"
#include "versit/encoding.h"

namespace interop {
namespace {

constexpr size_t kNone = std::string_view::npos;
constexpr int kFirstYear = 1991;
constexpr int kLastYear = 2036;

std::string_view view(const vcal::TextBuffer &b) {
    return b.length == 0 ? std::string_view() : std::string_view(b.text, b.length);
}

bool add(vcal::TextBuffer &b, std::initializer_list<std::string_view> pieces) {
    return b.append(pieces.begin(), pieces.size());
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && ascii::isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && (ascii::isBlank(s.back()) || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// ------------------------------------------------------------------------
// Dates

struct DateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    bool hasTime = false;
    bool utc = false;
};

int digits(std::string_view s, size_t at, size_t n) {
    int v = 0;
    for (size_t i = 0; i < n; ++i) {
        if (at + i >= s.size() || !ascii::isDigit(s[at + i])) return -1;
        v = v * 10 + (s[at + i] - '0');
    }
    return v;
}

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int daysIn(int y, int m) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

// YYYYMMDD, optionally THHMM[SS] and Z; nothing else on the text.
bool parseDateTime(std::string_view s, DateTime &d) {
    d = DateTime{};
    if ((d.year = digits(s, 0, 4)) < 0 || (d.month = digits(s, 4, 2)) < 1 || d.month > 12 ||
        (d.day = digits(s, 6, 2)) < 1 || d.day > 31)
        return false;
    size_t at = 8;
    if (at < s.size() && (s[at] == 'T' || s[at] == 't')) {
        if ((d.hour = digits(s, at + 1, 2)) < 0 || (d.minute = digits(s, at + 3, 2)) < 0)
            return false;
        at += 5;
        if (at + 1 < s.size() + 1 && ascii::isDigit(at < s.size() ? s[at] : 'x')) {
            if ((d.second = digits(s, at, 2)) < 0) return false;
            at += 2;
        }
        d.hasTime = true;
    }
    if (at < s.size() && (s[at] == 'Z' || s[at] == 'z')) {
        d.utc = true;
        ++at;
    }
    return at == s.size();
}

void nextDay(DateTime &d) {
    if (++d.day > daysIn(d.year, d.month)) {
        d.day = 1;
        if (++d.month > 12) {
            d.month = 1;
            ++d.year;
        }
    }
}

// "YYYYMMDDTHHMMSS[Z]" in `out` (17 bytes).
std::string_view format(const DateTime &d, char *out) {
    char *p = out;
    auto put = [&](int v, int n) {
        for (int i = n - 1; i >= 0; --i, v /= 10)
            p[i] = static_cast<char>('0' + v % 10);
        p += n;
    };
    put(d.year, 4);
    put(d.month, 2);
    put(d.day, 2);
    *p++ = 'T';
    put(d.hour, 2);
    put(d.minute, 2);
    put(d.second, 2);
    if (d.utc) *p++ = 'Z';
    return std::string_view(out, static_cast<size_t>(p - out));
}

enum class YearFix { None, Moved, Clamped };

// The years that bring the start of a yearly item to its first date from
// 1991 on (a 29 February to the first leap year); 0 when it needs none.
int yearsToMove(const DateTime &start) {
    if (start.year >= kFirstYear) return 0;
    return (start.month == 2 && start.day == 29 ? 1992 : kFirstYear) - start.year;
}

// Brings the date into the years a client time holds. A date of a yearly
// item moves by `years` (all its dates by the same years, so that its
// length stays), else a date out of range is clamped.
YearFix fitYear(DateTime &d, int years) {
    if (years > 0) {
        d.year += years;
        if (d.month == 2 && d.day == 29 && !isLeap(d.year)) {
            // An end on 29 February after a start on the 28th: the day
            // after the 28th keeps the length.
            d.month = 3;
            d.day = 1;
        }
        if (d.year >= kFirstYear && d.year <= kLastYear) return YearFix::Moved;
    }
    if (d.year >= kFirstYear && d.year <= kLastYear) return YearFix::None;
    // The very ends of the range, in UTC: a zone taken off a local time
    // there would push it out again.
    if (d.year < kFirstYear) {
        d = DateTime{kFirstYear, 1, 1, 0, 0, 0, true, true};
    } else {
        d = DateTime{kLastYear, 12, 31, 23, 59, 0, true, true};
    }
    return YearFix::Clamped;
}

// ------------------------------------------------------------------------
// Lines

// A property line cut at its first ";" or ":" (the name), and at the ":"
// that ends its parameters (the value).
struct PropertyLine {
    std::string_view name;
    std::string_view parameters; // from the first ";" up to the ":", or empty
    std::string_view value;      // after the ":"
    bool hasColon = false;
};

PropertyLine cut(std::string_view line) {
    PropertyLine p;
    size_t end = 0;
    while (end < line.size() && line[end] != ';' && line[end] != ':')
        ++end;
    p.name = trimmed(line.substr(0, end));
    if (end == line.size()) return p;
    const size_t colon = line.find(':', end);
    if (colon == kNone) return p;
    p.parameters = line.substr(end, colon - end);
    p.value = line.substr(colon + 1);
    p.hasColon = true;
    return p;
}

// A property's name alone: cut's without the search for its value.
std::string_view nameOf(std::string_view line) {
    size_t end = 0;
    while (end < line.size() && line[end] != ';' && line[end] != ':')
        ++end;
    return trimmed(line.substr(0, end));
}

// The parameter item that starts at `at` in the parameter text (which
// starts with its ";"), without the ";"; `at` moves to the next one.
std::string_view nextParameter(std::string_view parameters, size_t &at) {
    size_t stop = parameters.find(';', at + 1);
    if (stop == kNone) stop = parameters.size();
    std::string_view item = parameters.substr(at, stop - at);
    if (!item.empty() && item.front() == ';') item.remove_prefix(1);
    at = stop;
    return item;
}

// The value of parameter `name` in the parameter text, or empty.
std::string_view parameter(std::string_view parameters, std::string_view name) {
    size_t at = 0;
    while (at < parameters.size()) {
        const std::string_view item = nextParameter(parameters, at);
        const size_t equals = item.find('=');
        if (equals != kNone && sameWord(trimmed(item.substr(0, equals)), name))
            return trimmed(item.substr(equals + 1));
        if (equals == kNone && sameWord(trimmed(item), name)) return trimmed(item);
    }
    return {};
}

bool declaresQuotedPrintable(std::string_view parameters) {
    const std::string_view encoding = parameter(parameters, "ENCODING");
    return sameWord(encoding, "QUOTED-PRINTABLE") || sameWord(encoding, "QUOTEDPRINTABLE") ||
           !parameter(parameters, "QUOTED-PRINTABLE").empty();
}

// The parameters without CHARSET, ENCODING, the bare QUOTED-PRINTABLE and
// VALUE=DATE: the value is written in UTF-8 with the encoding it needs.
bool keptParameters(std::string_view parameters, vcal::TextBuffer &out) {
    // Parameters kept as they were written go out as one run of the text.
    size_t run = 0;
    size_t runEnd = 0;
    auto flush = [&] { return runEnd == run || add(out, {parameters.substr(run, runEnd - run)}); };
    size_t at = 0;
    while (at < parameters.size()) {
        const size_t from = at;
        const std::string_view item = nextParameter(parameters, at);
        const size_t stop = at;
        const std::string_view word = trimmed(item);
        const size_t equals = word.find('=');
        const std::string_view name = trimmed(word.substr(0, equals));
        if (word.empty() || sameWord(name, "CHARSET") || sameWord(name, "ENCODING") ||
            sameWord(word, "QUOTED-PRINTABLE") ||
            (sameWord(name, "VALUE") && equals != kNone &&
             sameWord(trimmed(word.substr(equals + 1)), "DATE")))
            continue;
        if (parameters[from] == ';' && word.size() + 1 == stop - from) {
            if (runEnd != from) {
                if (!flush()) return false;
                run = from;
            }
            runEnd = stop;
            continue;
        }
        if (!flush() || !add(out, {";", word})) return false;
        run = runEnd = stop;
    }
    return flush();
}

// Quoted-printable text decoded: escapes in either case; an "=" that starts
// none stays; a final "=" (a soft break with nothing after it) goes.
bool decodeQuotedPrintable(std::string_view text, vcal::TextBuffer &out) {
    size_t run = 0;
    for (size_t i = text.find('='); i != kNone; i = text.find('=', i + 1)) {
        if (i + 1 == text.size()) {
            if (!add(out, {text.substr(run, i - run)})) return false;
            run = text.size();
            break;
        }
        if (i + 2 < text.size() && ascii::hexValue(text[i + 1]) >= 0 &&
            ascii::hexValue(text[i + 2]) >= 0) {
            const char byte =
                static_cast<char>(ascii::hexValue(text[i + 1]) * 16 + ascii::hexValue(text[i + 2]));
            if (!add(out, {text.substr(run, i - run), std::string_view(&byte, 1)})) return false;
            run = i + 3;
            i += 2;
        }
    }
    return run >= text.size() || add(out, {text.substr(run)});
}

// Eight bytes at a time: every value of the text passes through here.
bool hasByteAbove7(std::string_view s) {
    size_t i = 0;
    for (uint64_t eight = 0; i + 8 <= s.size(); i += 8) {
        std::memcpy(&eight, s.data() + i, 8);
        if ((eight & 0x8080808080808080u) != 0) return true;
    }
    for (; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0x80) != 0) return true;
    }
    return false;
}

// The exact check's verdict on one line, duplicates aside.
enum class Verdict { Accepted, Refused, NoMemory };

Verdict verdict(std::string_view line, uint16_t id, vcal::TextBuffer &scratch, char *message) {
    scratch.length = 0;
    const char nul = '\0';
    if (!add(scratch, {line, "\r", std::string_view(&nul, 1)})) return Verdict::NoMemory;
    PropertyNode node{};
    node.propertyId = id;
    node.line = scratch.text;
    PropertyFlags flags{};
    return vcal::vCal_CheckPropertyValue(&node, &flags, message, 0) != 0 ? Verdict::Accepted
                                                                         : Verdict::Refused;
}

// ------------------------------------------------------------------------
// The rewriter

struct Stored {
    size_t start; // in the owner's buffer
    size_t length;
    uint64_t number;
    uint16_t id;         // the line's keyword, looked up once
    bool inItem = false; // a kept line that stands, as it came, in the item's buffer
};

bool store(vcal::TextBuffer &buffer, Array<Stored> &lines, std::string_view text, uint64_t number,
           uint16_t id = 0) {
    const Stored s{buffer.length, text.size(), number, id};
    const char nul = '\0';
    return add(buffer, {text, std::string_view(&nul, 1)}) && lines.push(s);
}

std::string_view at(const vcal::TextBuffer &buffer, const Stored &s) {
    return std::string_view(buffer.text + s.start, s.length);
}

bool isCalendarSlot(uint8_t slot) {
    return slot >= VCAL_SLOT_DAYLIGHT && slot <= VCAL_SLOT_VERSION;
}
bool isItemSlot(uint8_t slot) { return slot >= VCAL_SLOT_ATTACH && slot <= VCAL_SLOT_DUE; }

// Takes the logical lines one at a time and writes out each item as it
// ends. A calendar's head (its BEGIN and own lines) must come before its
// items, but a calendar's lines may stand anywhere in it, and a TZ in an
// item may join them: so when a calendar opens, a second rewriter reads
// ahead to its end for the head alone (`ahead`), and the head is written
// first.
class Rewriter {
  public:
    Rewriter(Reporter &report, RepairedCalendars &out, bool ahead)
        : report_(report), out_(out), ahead_(ahead) {}

    bool line(std::string_view text, uint64_t number);
    bool finish();

    // A calendar opened with the last line: its head is to be written.
    bool opened() const { return opened_; }
    // The head the reading ahead `from` found, which is kept in `heads`.
    bool head(const Rewriter &from, CalendarHeads &heads);
    // The head kept as `heads`' calendar `index`.
    bool head(const CalendarHeads &heads, size_t index);
    // For reading ahead: the state of `main`, whose calendar just opened.
    void startAhead(const Rewriter &main) {
        state_ = main.state_;
        itemType_ = main.itemType_;
        itemLine_ = main.itemLine_;
        calendarLine_ = main.calendarLine_;
    }
    // Reading ahead: the calendar has ended.
    bool done() const { return done_; }

  private:
    enum class State { Outside, Calendar, Item, Skipping };

    bool openCalendar(uint64_t number);
    bool closeCalendar();
    void openItem(uint16_t type, uint64_t number);
    bool closeItem();
    // A calendar's line in the item: moved to the calendar, or left out.
    bool calendarLineOfItem(const Stored &line);
    // Reading ahead: only what the item gives its calendar.
    bool itemZone();
    bool skipBlock(std::string_view name, uint64_t number, State after);
    bool junk(std::string_view text, uint64_t number);
    bool calendarProperty(std::string_view text, uint64_t number);
    // The line as the exact reader wants it in `written`: `text` itself
    // when that is so already, else written into `fixed`; or `dropped`.
    // `moveYears`: the years a yearly item's dates move by (yearsToMove).
    bool rewrite(std::string_view text, uint16_t id, uint64_t number, int moveYears,
                 vcal::TextBuffer &fixed, std::string_view &written, bool &dropped, bool &dateOnly);
    bool emit(std::string_view text, uint64_t number);
    // Keeps a line of the item being closed: where it stands when it is
    // the line as it came, else a copy (a long description is not held
    // twice).
    bool keep(std::string_view written, uint64_t number, uint16_t id);
    std::string_view keptText(const Stored &line) const {
        return at(line.inItem ? item_ : kept_, line);
    }

    Reporter &report_;
    RepairedCalendars &out_;
    const bool ahead_;
    bool opened_ = false;
    bool done_ = false;
    State state_ = State::Outside;
    State afterSkip_ = State::Outside;
    int skipDepth_ = 0;
    uint64_t pendingJunk_ = 0;
    uint64_t firstJunk_ = 0;

    // The calendar being read: its own lines as far as read (a TZ that
    // turns up in an event joins them).
    uint64_t calendarLine_ = 0;
    vcal::TextBuffer header_;
    Array<Stored> headerLines_;

    // The item being read, as it came.
    uint16_t itemType_ = 0;
    uint64_t itemLine_ = 0;
    vcal::TextBuffer item_;
    Array<Stored> itemLines_;

    vcal::TextBuffer fixed_;
    vcal::TextBuffer kept_;
    Array<Stored> keptLines_;
    vcal::TextBuffer decoded_;
    vcal::TextBuffer check_;
    vcal::TextBuffer probe_;
    bool checked_ = false; // rewrite() had the exact check accept what it wrote
};

bool Rewriter::keep(std::string_view written, uint64_t number, uint16_t id) {
    // (Compared as numbers: `written` may stand in another buffer.)
    const auto base = reinterpret_cast<uintptr_t>(item_.text);
    const auto at = reinterpret_cast<uintptr_t>(written.data());
    if (item_.text != nullptr && at >= base && at + written.size() <= base + item_.length)
        return keptLines_.push({at - base, written.size(), number, id, true});
    return store(kept_, keptLines_, written, number, id);
}

bool Rewriter::emit(std::string_view text, uint64_t number) {
    return add(out_.text, {text, "\r\n"}) && out_.lines.push(number);
}

bool Rewriter::junk(std::string_view text, uint64_t number) {
    if (state_ == State::Outside) {
        if (pendingJunk_++ == 0) firstJunk_ = number;
        ++out_.junkLines;
        return true;
    }
    const size_t shown = text.size() < 40 ? text.size() : 40;
    report_(number, VI_REPORT_LOST, "dropped a line that is no property: \"%.*s%s\"",
            static_cast<int>(shown), text.data(), text.size() > shown ? "..." : "");
    return true;
}

bool Rewriter::openCalendar(uint64_t number) {
    if (ahead_) return true; // its reading ends where the next calendar opens
    if (pendingJunk_ > 0) {
        report_(firstJunk_, VI_REPORT_NOTE, "passed over %llu line%s of text outside any calendar",
                static_cast<unsigned long long>(pendingJunk_), pendingJunk_ == 1 ? "" : "s");
        pendingJunk_ = 0;
    }
    header_.length = 0;
    headerLines_.clear();
    calendarLine_ = number;
    state_ = State::Calendar;
    opened_ = true;
    return out_.calendarEvents.push(static_cast<uint32_t>(out_.eventBase + out_.events.size())) &&
           out_.calendarTodos.push(static_cast<uint32_t>(out_.todoBase + out_.todos.size()));
}

bool Rewriter::closeCalendar() {
    state_ = State::Outside;
    if (ahead_) {
        done_ = true;
        return true;
    }
    return emit("END:VCALENDAR", calendarLine_);
}

bool Rewriter::head(const Rewriter &from, CalendarHeads &heads) {
    for (size_t i = 0; i < from.headerLines_.size(); ++i) {
        const Stored &line = from.headerLines_[i];
        if (!heads.lines.push({heads.text.length, line.length, line.number}) ||
            !add(heads.text, {at(from.header_, line)}))
            return false;
    }
    return heads.ends.push(heads.lines.size()) && head(heads, heads.ends.size() - 1);
}

bool Rewriter::head(const CalendarHeads &heads, size_t index) {
    opened_ = false;
    bool ok = emit("BEGIN:VCALENDAR", calendarLine_);
    for (size_t i = index == 0 ? 0 : heads.ends[index - 1]; ok && i < heads.ends[index]; ++i) {
        const CalendarHeads::Line &line = heads.lines[i];
        ok = emit(std::string_view(heads.text.text + line.start, line.length), line.number);
    }
    return ok;
}

void Rewriter::openItem(uint16_t type, uint64_t number) {
    itemType_ = type;
    itemLine_ = number;
    item_.length = 0;
    itemLines_.clear();
    report_.startItem();
    state_ = State::Item;
}

bool Rewriter::skipBlock(std::string_view name, uint64_t number, State after) {
    report_(number, VI_REPORT_LOST, "left out a %.*s block, which the reader does not know",
            static_cast<int>(name.size()), name.data());
    afterSkip_ = after;
    skipDepth_ = 1;
    state_ = State::Skipping;
    return true;
}

bool Rewriter::calendarProperty(std::string_view text, uint64_t number) {
    vcal::TextBuffer copy; // the line NUL-terminated for the keyword lookup
    const char nul = '\0';
    if (!add(copy, {text, std::string_view(&nul, 1)})) return false;
    const uint16_t id = vcal::vCal_LookupPropertyKeyword(copy.text);
    const uint8_t slot = vcal::kProperties[id].slot;
    if (id != 0 && isItemSlot(slot)) {
        const PropertyLine p = cut(text);
        report_(number, VI_REPORT_LOST, "dropped %.*s outside any event or to-do",
                static_cast<int>(p.name.size()), p.name.data());
        return true;
    }
    if (id == VCAL_PROP_VERSION || id == 0) return store(header_, headerLines_, text, number, id);
    bool dropped = false;
    bool dateOnly = false;
    std::string_view written;
    if (!rewrite(text, id, number, 0, fixed_, written, dropped, dateOnly)) return false;
    if (dropped) return true;
    char message[vcal::kMessageSize];
    const Verdict v =
        vcal::kProperties[id].warns ? Verdict::Accepted : verdict(written, id, check_, message);
    if (v == Verdict::NoMemory) return false;
    if (v == Verdict::Refused) {
        const PropertyLine p = cut(text);
        report_(number, VI_REPORT_LOST, "left out %.*s, which the reader refuses:%s",
                static_cast<int>(p.name.size()), p.name.data(), message);
        return true;
    }
    for (size_t i = 0; i < headerLines_.size(); ++i) {
        if (headerLines_[i].id == id) {
            report_(number, VI_REPORT_LOST, "dropped a second %s of the calendar",
                    vcal::kProperties[id].keyword);
            return true;
        }
    }
    return store(header_, headerLines_, written, number, id);
}

bool Rewriter::line(std::string_view text, uint64_t number) {
    if (done_) return true;
    std::string_view rest;
    bool begin = isKeywordLine(text, "BEGIN", &rest);
    bool end = !begin && isKeywordLine(text, "END", &rest);
    // A BEGIN or END written with parameters ("END;ENCODING=BASE64:...")
    // names its block in the encoded value.
    char word[16];
    const PropertyLine written = cut(text);
    if (!begin && !end && !written.parameters.empty() &&
        (sameWord(written.name, "BEGIN") || sameWord(written.name, "END"))) {
        const std::string_view value = trimmed(written.value);
        std::string_view decoded = value;
        if (sameWord(parameter(written.parameters, "ENCODING"), "BASE64") ||
            !parameter(written.parameters, "BASE64").empty()) {
            unsigned char bytes[sizeof word + 8];
            bool skipped = false;
            const size_t n = value.size() <= sizeof word
                                 ? venc::base64Decode(value.data(), value.size(), bytes, &skipped)
                                 : 0;
            std::memcpy(word, bytes, n < sizeof word ? n : sizeof word);
            decoded = std::string_view(word, n < sizeof word ? n : sizeof word);
        }
        begin = sameWord(written.name, "BEGIN");
        end = !begin;
        rest = trimmed(decoded);
        report_(number, VI_REPORT_REPAIRED, "read %.*s with parameters as %.*s:%.*s",
                static_cast<int>(written.name.size()), written.name.data(),
                static_cast<int>(written.name.size()), written.name.data(),
                static_cast<int>(rest.size()), rest.data());
    }
    // The block's name is its word: "BEGIN:VEVENT:" names a VEVENT too.
    while (!rest.empty() && !ascii::isAlnum(rest.back()) && rest.back() != '-')
        rest.remove_suffix(1);
    const uint16_t type = sameWord(rest, "VEVENT")  ? VCAL_ITEM_EVENT
                          : sameWord(rest, "VTODO") ? VCAL_ITEM_TODO
                                                    : 0;
    const bool calendar = sameWord(rest, "VCALENDAR");
    switch (state_) {
    case State::Skipping:
        if (begin) ++skipDepth_;
        if (end && --skipDepth_ == 0) state_ = afterSkip_;
        return true;
    case State::Outside:
        if (begin && calendar) return openCalendar(number);
        if (begin && type != 0) {
            if (!openCalendar(number)) return false;
            openItem(type, number); // the repair is the item's
            report_(number, VI_REPORT_REPAIRED,
                    "an event or to-do outside any calendar: read as in one");
            return true;
        }
        return junk(text, number);
    case State::Calendar:
        if (begin && calendar) {
            report_(calendarLine_, VI_REPORT_REPAIRED,
                    "the calendar has no END:VCALENDAR before the next one; read as ending there");
            return closeCalendar() && openCalendar(number);
        }
        if (begin && type != 0) {
            openItem(type, number);
            return true;
        }
        if (begin) return skipBlock(rest, number, State::Calendar);
        if (end && calendar) return closeCalendar();
        if (end) {
            report_(number, VI_REPORT_REPAIRED, "passed over an END that closes nothing");
            return true;
        }
        if (!written.hasColon) return junk(text, number);
        return calendarProperty(text, number);
    case State::Item:
        if (begin && (type != 0 || calendar)) {
            report_(itemLine_, VI_REPORT_REPAIRED,
                    "the event or to-do has no END before line %llu; read as ending there",
                    static_cast<unsigned long long>(number));
            if (!closeItem()) return false;
            if (type != 0) {
                openItem(type, number);
                return true;
            }
            return closeCalendar() && openCalendar(number);
        }
        if (begin) return skipBlock(rest, number, State::Item);
        if (end && (type != 0 || calendar)) {
            if (type != 0 && type != itemType_)
                report_(number, VI_REPORT_REPAIRED, "read END:%.*s as the end of the %s",
                        static_cast<int>(rest.size()), rest.data(),
                        itemType_ == VCAL_ITEM_EVENT ? "event" : "to-do");
            if (calendar)
                report_(itemLine_, VI_REPORT_REPAIRED,
                        "the event or to-do has no END; read as ending with its calendar");
            return closeItem() && (!calendar || closeCalendar());
        }
        if (!written.hasColon || end) return junk(text, number);
        // The keyword is looked up in the stored copy, which ends in a NUL.
        if (!store(item_, itemLines_, text, number)) return false;
        itemLines_[itemLines_.size() - 1].id =
            vcal::vCal_LookupPropertyKeyword(item_.text + itemLines_[itemLines_.size() - 1].start);
        return true;
    }
    return true;
}

bool Rewriter::finish() {
    if (done_) return true;
    if (state_ == State::Skipping) state_ = afterSkip_;
    if (state_ == State::Item) {
        report_(itemLine_, VI_REPORT_REPAIRED,
                "the event or to-do has no END; kept what the text holds of it");
        if (!closeItem()) return false;
    }
    if (state_ == State::Calendar) {
        report_(calendarLine_, VI_REPORT_REPAIRED, "the calendar has no END:VCALENDAR");
        if (!closeCalendar()) return false;
    }
    if (pendingJunk_ > 0) {
        report_(firstJunk_, VI_REPORT_NOTE, "passed over %llu line%s of text outside any calendar",
                static_cast<unsigned long long>(pendingJunk_), pendingJunk_ == 1 ? "" : "s");
        pendingJunk_ = 0;
    }
    return true;
}

bool Rewriter::rewrite(std::string_view text, uint16_t id, uint64_t number, int moveYears,
                       vcal::TextBuffer &fixed, std::string_view &written, bool &dropped,
                       bool &dateOnly) {
    dropped = false;
    dateOnly = false;
    checked_ = false;
    fixed.length = 0;
    written = {};
    auto wrote = [&] {
        if (written.data() == nullptr) written = view(fixed);
        return true;
    };
    const PropertyLine p = cut(text);
    const std::string_view name = p.name;
    const int nameLength = static_cast<int>(name.size());
    // The value as bytes (quoted-printable decoded) ...
    std::string_view value = p.value;
    decoded_.length = 0;
    if (declaresQuotedPrintable(p.parameters)) {
        if (!decodeQuotedPrintable(value, decoded_)) return false;
        value = view(decoded_);
    }
    // ... in UTF-8.
    struct Owned {
        char *p = nullptr;
        ~Owned() { std::free(p); }
    } utf8;
    if (hasByteAbove7(value)) {
        const std::string_view charset = parameter(p.parameters, "CHARSET");
        char label[40] = {};
        // No CHARSET leaves the view without data, which memcpy may not take.
        if (!charset.empty() && charset.size() < sizeof label)
            std::memcpy(label, charset.data(), charset.size());
        size_t length = 0;
        bool unknown = false;
        const Decoding d =
            decodeToUtf8(label, value.data(), value.size(), &utf8.p, &length, &unknown);
        if (d == Decoding::NoMemory) return false;
        if (unknown)
            report_(number, VI_REPORT_REPAIRED, "unknown charset \"%s\" read as %s (%.*s)", label,
                    d == Decoding::Guessed ? "Windows-1252" : "UTF-8", nameLength, name.data());
        else if (d == Decoding::Guessed && label[0] != '\0')
            report_(number, VI_REPORT_REPAIRED,
                    "8-bit text that is not the %s it declares read as Windows-1252 (%.*s)", label,
                    nameLength, name.data());
        else if (d == Decoding::Guessed)
            report_(number, VI_REPORT_REPAIRED,
                    "8-bit text that is not UTF-8 and names no charset read as Windows-1252 (%.*s)",
                    nameLength, name.data());
        else if (d == Decoding::Replaced)
            report_(number, VI_REPORT_LOST, "bytes that are not %s replaced by U+FFFD (%.*s)",
                    label, nameLength, name.data());
        if (utf8.p != nullptr) value = std::string_view(utf8.p, length);
    }
    if (value.find('\0') != kNone) {
        // A C text ends at its first NUL: the reader cannot hold one.
        vcal::TextBuffer copy;
        for (size_t from = 0; from < value.size();) {
            size_t stop = value.find('\0', from);
            if (stop == kNone) stop = value.size();
            if (!add(copy, {value.substr(from, stop - from)})) return false;
            from = stop + 1;
        }
        decoded_.length = 0; // the value is in `copy` now, wherever it was
        if (!add(decoded_, {view(copy)})) return false;
        value = view(decoded_);
        report_(number, VI_REPORT_LOST, "removed NUL characters from %.*s", nameLength,
                name.data());
    }
    value = trimmed(value);
    if (value.empty()) {
        dropped = true;
        report_(number, VI_REPORT_REPAIRED, "dropped %.*s, which has no value", nameLength,
                name.data());
        return true;
    }
    // Most lines are what the exact reader wants already: name, ":" and a
    // value left as it came. Such a line is taken as it is; the others are
    // written afresh: name and parameters, then the value, plain unless it
    // holds line breaks.
    const bool asGiven = value.data() == text.data() + name.size() + 1 &&
                         name.size() + 1 + value.size() == text.size();
    const bool escape = !asGiven && (std::memchr(value.data(), '\r', value.size()) != nullptr ||
                                     std::memchr(value.data(), '\n', value.size()) != nullptr);
    bool headed = false;
    auto put = [&](std::string_view v) {
        if (!headed) {
            headed = true;
            if (!add(fixed, {name}) || !keptParameters(p.parameters, fixed) ||
                (escape && !add(fixed, {";ENCODING=QUOTED-PRINTABLE"})) || !add(fixed, {":"}))
                return false;
        }
        if (!escape) return add(fixed, {v});
        size_t run = 0; // the plain characters before `i` go out as one piece
        for (size_t i = 0; i < v.size(); ++i) {
            const char c = v[i];
            const std::string_view piece = c == '='    ? std::string_view("=3D")
                                           : c == '\r' ? std::string_view("=0D")
                                           : c == '\n' ? std::string_view("=0A")
                                                       : std::string_view();
            if (piece.empty()) continue;
            if (!add(fixed, {v.substr(run, i - run), piece})) return false;
            run = i + 1;
        }
        return add(fixed, {v.substr(run)});
    };

    auto keep = [&] { // the value as it is
        if (!asGiven) return put(value) && wrote();
        written = text;
        return true;
    };

    // Values whose form the exact reader reads narrower than writers write.
    const vcal::PropertyInfo &info = vcal::kProperties[id];
    char date[20];
    if (info.check == vcal::ValueCheck::DateTime || info.check == vcal::ValueCheck::Alarm) {
        // One date-time; an alarm's run time is its first field.
        const size_t end = value.find(';');
        const std::string_view when = trimmed(value.substr(0, end));
        DateTime d;
        if (!parseDateTime(when, d)) return keep();
        dateOnly = !d.hasTime;
        if (d.hour == 24) {
            d.hour = 0;
            nextDay(d);
        }
        bool reported = dateOnly;
        if (d.day > daysIn(d.year, d.month)) {
            report_(number, VI_REPORT_LOST,
                    "%.*s names day %d of a month that has %d: read as its "
                    "last day",
                    nameLength, name.data(), d.day, daysIn(d.year, d.month));
            d.day = daysIn(d.year, d.month);
            reported = true;
        }
        // The times that come back with each year; when it was made or
        // done happened once.
        const bool recurs = id == VCAL_PROP_DTSTART || id == VCAL_PROP_DTEND ||
                            id == VCAL_PROP_DUE || id == VCAL_PROP_AALARM || id == VCAL_PROP_DALARM;
        const YearFix y = fitYear(d, recurs ? moveYears : 0);
        reported = reported || y != YearFix::None;
        if (y == YearFix::Clamped) {
            if (id != VCAL_PROP_DTSTART && id != VCAL_PROP_DTEND && id != VCAL_PROP_DUE) {
                report_(number, VI_REPORT_LOST, "dropped %.*s: a client time cannot hold its year",
                        nameLength, name.data());
                dropped = true;
                return true;
            }
            report_(number, VI_REPORT_LOST, "%.*s brought into the years %d to %d", nameLength,
                    name.data(), kFirstYear, kLastYear);
        } else if (y == YearFix::Moved) {
            report_(number, VI_REPORT_REPAIRED,
                    "%.*s moved %d years on with its yearly item, which starts from %d on",
                    nameLength, name.data(), moveYears, kFirstYear);
        }
        if (dateOnly)
            report_(number, VI_REPORT_REPAIRED, "read the date of %.*s as its midnight", nameLength,
                    name.data());
        const std::string_view exact = format(d, date);
        // 24:00, a time without seconds, lower-case letters: the exact
        // reader refuses them, so the line was saved by the rewriting.
        if (!reported && exact != when)
            report_(number, VI_REPORT_REPAIRED, "wrote the date of %.*s in the exact form",
                    nameLength, name.data());
        if (exact == value.substr(0, end)) return keep();
        return put(exact) && put(end == kNone ? std::string_view() : value.substr(end)) && wrote();
    }
    if (info.check == vcal::ValueCheck::DateList) {
        bool changed = false;
        bool first = true;
        for (size_t from = 0; from <= value.size();) {
            size_t stop = value.find(';', from);
            if (stop == kNone) stop = value.size();
            const std::string_view raw = value.substr(from, stop - from);
            const std::string_view entry = trimmed(raw);
            from = stop + 1;
            changed = changed || entry.size() != raw.size() || entry.empty();
            if (entry.empty()) continue;
            std::string_view exact = entry;
            DateTime d;
            if (parseDateTime(entry, d)) {
                if (d.hour == 24) {
                    d.hour = 0;
                    nextDay(d);
                }
                if (fitYear(d, 0) == YearFix::Clamped) {
                    changed = true; // no occurrence can fall on it
                    continue;
                }
                exact = format(d, date);
                changed = changed || exact != entry;
            }
            if (!put(first ? std::string_view() : ";") || !put(exact)) return false;
            first = false;
        }
        if (first) {
            dropped = true;
            report_(number, VI_REPORT_REPAIRED, "dropped %.*s, which holds no date", nameLength,
                    name.data());
        } else if (changed) {
            report_(number, VI_REPORT_REPAIRED, "wrote the dates of %.*s in the exact form",
                    nameLength, name.data());
        }
        return wrote();
    }
    if (info.check == vcal::ValueCheck::Rule) {
        // An end date past the years a client time holds ends there.
        size_t blank = value.size();
        while (blank > 0 && !ascii::isBlank(value[blank - 1]))
            --blank;
        blank = blank == 0 ? kNone : blank - 1;
        DateTime d;
        if (blank != kNone && parseDateTime(value.substr(blank + 1), d) &&
            fitYear(d, 0) == YearFix::Clamped && d.year == kLastYear) {
            report_(number, VI_REPORT_REPAIRED, "ended %.*s in %d, where expansion stops",
                    nameLength, name.data(), kLastYear);
            return put(value.substr(0, blank + 1)) && put(format(d, date)) && wrote();
        }
        return keep();
    }
    if (id == VCAL_PROP_TZ && value.size() == 5 && (value[0] == '+' || value[0] == '-') &&
        digits(value, 1, 4) >= 0) {
        report_(number, VI_REPORT_REPAIRED, "read TZ:%.5s as %.3s:%.2s", value.data(), value.data(),
                value.data() + 3);
        return put(value.substr(0, 3)) && put(":") && put(value.substr(3)) && wrote();
    }
    if (id == VCAL_PROP_STATUS && sameWord(value, "NEEDS-ACTION")) {
        report_(number, VI_REPORT_REPAIRED, "read STATUS NEEDS-ACTION as NEEDS ACTION");
        return put("NEEDS ACTION") && wrote();
    }
    if (id == VCAL_PROP_CATEGORIES) {
        // A list the exact reader takes whole, its words written as the
        // exact reader wants them (no "," and no blanks around the ";"),
        // is its own exact form: the check of the whole line is the check
        // of each word.
        bool tidy = asGiven;
        for (size_t i = 0; i < value.size() && tidy; ++i) {
            tidy = value[i] != ',' &&
                   (value[i] != ';' || (i > 0 && i + 1 < value.size() && value[i - 1] != ';' &&
                                        !ascii::isBlank(value[i - 1]) && value[i + 1] != ';' &&
                                        !ascii::isBlank(value[i + 1])));
        }
        char message[vcal::kMessageSize];
        if (tidy) {
            const Verdict whole = verdict(text, id, check_, message);
            if (whole == Verdict::NoMemory) return false;
            if (whole == Verdict::Accepted) {
                checked_ = true;
                return keep();
            }
        }
        // The words the exact reader accepts, one by one; "X-" before a
        // word it knows goes.
        bool first = true;
        bool lost = false;
        bool changed = false;
        for (size_t from = 0; from <= value.size();) {
            size_t stop = from;
            while (stop < value.size() && value[stop] != ';' && value[stop] != ',')
                ++stop;
            std::string_view word = trimmed(value.substr(from, stop - from));
            changed = changed || (stop < value.size() && value[stop] == ',');
            from = stop + 1;
            if (word.empty()) continue;
            auto known = [&](std::string_view w) {
                probe_.length = 0;
                if (!add(probe_, {"CATEGORIES:", w})) return Verdict::NoMemory;
                return verdict(view(probe_), id, check_, message);
            };
            Verdict v = known(word);
            if (v == Verdict::Refused && word.size() > 2 && sameWord(word.substr(0, 2), "X-")) {
                v = known(word.substr(2));
                if (v == Verdict::Accepted) {
                    word.remove_prefix(2);
                    changed = true;
                }
            }
            if (v == Verdict::NoMemory) return false;
            if (v == Verdict::Refused) {
                lost = true;
                continue;
            }
            if (!put(first ? std::string_view() : ";") || !put(word)) return false;
            first = false;
        }
        if (lost)
            report_(number, VI_REPORT_LOST, "CATEGORIES: left out words the reader does not know");
        else if (changed)
            report_(number, VI_REPORT_REPAIRED, "wrote CATEGORIES in the exact form");
        dropped = first;
        return wrote();
    }
    return keep();
}

bool Rewriter::calendarLineOfItem(const Stored &line) {
    const std::string_view text = at(item_, line);
    const uint16_t id = line.id;
    const std::string_view name = nameOf(text);
    const int nameLength = static_cast<int>(name.size());
    bool dropped = false;
    bool dateOnly = false;
    std::string_view written;
    if (!rewrite(text, id, line.number, 0, fixed_, written, dropped, dateOnly)) return false;
    if (dropped) return true;
    if (id != VCAL_PROP_TZ && id != VCAL_PROP_DAYLIGHT) {
        report_(line.number, id == VCAL_PROP_GEO ? VI_REPORT_LOST : VI_REPORT_REPAIRED,
                "left out %.*s, which belongs to the calendar", nameLength, name.data());
        return true;
    }
    size_t same = kNone;
    for (size_t h = 0; h < headerLines_.size() && same == kNone; ++h) {
        if (headerLines_[h].id == id) same = h;
    }
    if (same == kNone) {
        report_(line.number, VI_REPORT_REPAIRED, "moved %.*s into its calendar", nameLength,
                name.data());
        return store(header_, headerLines_, written, line.number, id);
    }
    if (at(header_, headerLines_[same]) == written) {
        report_(line.number, VI_REPORT_REPAIRED, "left out %.*s, which its calendar gives too",
                nameLength, name.data());
    } else {
        report_(line.number, VI_REPORT_LOST, "left out %.*s, which differs from its calendar's",
                nameLength, name.data());
    }
    return true;
}

bool Rewriter::itemZone() {
    for (size_t i = 0; i < itemLines_.size(); ++i) {
        const uint16_t id = itemLines_[i].id;
        if (id != 0 && isCalendarSlot(vcal::kProperties[id].slot) &&
            !calendarLineOfItem(itemLines_[i]))
            return false;
    }
    return true;
}

bool Rewriter::closeItem() {
    state_ = State::Calendar;
    const bool event = itemType_ == VCAL_ITEM_EVENT;
    if (ahead_) return itemZone();
    bool yearly = false;
    DateTime first[2]; // the first DTSTART and DTEND, which stand
    bool has[2] = {false, false};
    for (size_t i = 0; i < itemLines_.size(); ++i) {
        const uint16_t id = itemLines_[i].id;
        const int k = id == VCAL_PROP_DTSTART ? 0 : id == VCAL_PROP_DTEND ? 1 : -1;
        if (id != VCAL_PROP_RRULE && (k < 0 || has[k])) continue;
        const std::string_view value = trimmed(cut(at(item_, itemLines_[i])).value);
        if (id == VCAL_PROP_RRULE) yearly = !value.empty() && (value[0] == 'Y' || value[0] == 'y');
        if (k >= 0) has[k] = parseDateTime(value, first[k]);
    }
    // A yearly item without DTSTART starts at its DTEND.
    const int moveYears = !yearly  ? 0
                          : has[0] ? yearsToMove(first[0])
                          : has[1] ? yearsToMove(first[1])
                                   : 0;
    constexpr size_t kRemoved = ~static_cast<size_t>(0);
    kept_.length = 0;
    keptLines_.clear();
    size_t kept[VCAL_PROPERTY_COUNT + 1]; // the kept line of each keyword that stands
    for (size_t &k : kept)
        k = kNone;
    size_t start = kNone;
    size_t endLine = kNone;
    bool startDateOnly = false;
    char message[vcal::kMessageSize];
    for (size_t i = 0; i < itemLines_.size(); ++i) {
        const Stored &line = itemLines_[i];
        const std::string_view text = at(item_, line);
        const uint16_t id = line.id;
        const vcal::PropertyInfo &info = vcal::kProperties[id];
        const std::string_view name = nameOf(text);
        const int nameLength = static_cast<int>(name.size());
        if (id != 0 && isCalendarSlot(info.slot)) {
            if (!calendarLineOfItem(line)) return false;
            continue;
        }
        bool dropped = false;
        bool dateOnly = false;
        std::string_view written = text;
        if (id != 0 &&
            !rewrite(text, id, line.number, moveYears, fixed_, written, dropped, dateOnly)) {
            return false;
        }
        if (dropped) continue;
        const Verdict v = id == 0 || info.warns || checked_ ? Verdict::Accepted
                                                            : verdict(written, id, check_, message);
        if (v == Verdict::NoMemory) return false;
        if (v == Verdict::Refused) {
            report_(line.number, VI_REPORT_LOST, "left out %.*s, which the reader refuses:%s",
                    nameLength, name.data(), message);
            continue;
        }
        if (id != 0 && !info.repeats && id != VCAL_PROP_X) {
            const size_t earlier = kept[id];
            if (earlier != kNone) {
                const std::string_view first = keptText(keptLines_[earlier]);
                if (first == written) {
                    report_(line.number, VI_REPORT_REPAIRED, "left out a repeated %.*s", nameLength,
                            name.data());
                    continue;
                }
                if (id == VCAL_PROP_EXDATE || id == VCAL_PROP_RDATE) {
                    // One list of all the dates, where the last part stood.
                    vcal::TextBuffer joined;
                    if (!add(joined, {first, ";", cut(written).value})) return false;
                    keptLines_[earlier].length = kRemoved;
                    report_(line.number, VI_REPORT_REPAIRED, "joined the dates of a second %.*s",
                            nameLength, name.data());
                    kept[id] = keptLines_.size();
                    if (!store(kept_, keptLines_, view(joined), line.number, id)) return false;
                    continue;
                }
                report_(line.number, VI_REPORT_LOST, "left out a second %.*s: the first one stands",
                        nameLength, name.data());
                continue;
            }
        }
        if (id == VCAL_PROP_DTSTART) {
            start = keptLines_.size();
            startDateOnly = dateOnly;
        }
        if (id == VCAL_PROP_DTEND) endLine = keptLines_.size();
        if (kept[id] == kNone) kept[id] = keptLines_.size();
        if (!keep(written, line.number, id)) return false;
    }
    // Scratch texts that a long line made long are not held while the item
    // is written out and read.
    for (vcal::TextBuffer *scratch : {&fixed_, &decoded_, &check_, &probe_})
        scratch->dropIfLong();
    vcal::TextBuffer added;
    uint64_t addedLine = itemLine_;
    if (event && start == kNone && endLine == kNone) {
        // A reminder written as an event with nothing but its alarm starts
        // at the alarm.
        for (size_t k = 0; k < keptLines_.size() && added.length == 0; ++k) {
            const uint16_t id = keptLines_[k].id;
            if (keptLines_[k].length == kRemoved ||
                (id != VCAL_PROP_AALARM && id != VCAL_PROP_DALARM && id != VCAL_PROP_MALARM &&
                 id != VCAL_PROP_PALARM))
                continue;
            const std::string_view value = cut(keptText(keptLines_[k])).value;
            const std::string_view when = trimmed(value.substr(0, value.find(';')));
            DateTime d;
            if (!parseDateTime(when, d) || !d.hasTime || fitYear(d, 0) != YearFix::None) continue;
            if (!add(added, {"DTSTART:", when, "\r\nDTEND:", when})) return false;
            report_(itemLine_, VI_REPORT_REPAIRED,
                    "an event with neither DTSTART nor DTEND: read as starting and ending at "
                    "its alarm");
        }
    }
    if (event && start == kNone && endLine == kNone && added.length == 0) {
        report_(itemLine_, VI_REPORT_SKIPPED,
                "left out an event with neither DTSTART nor DTEND: it has no usable start");
        ++out_.skipped;
        return true;
    }
    if (added.length > 0) {
        // made from its alarm above
    } else if (event && start == kNone) {
        report_(itemLine_, VI_REPORT_REPAIRED, "an event without DTSTART starts when it ends");
        if (!add(added, {"DTSTART:", trimmed(cut(keptText(keptLines_[endLine])).value)}))
            return false;
    } else if (event && endLine == kNone) {
        DateTime d;
        std::string_view when = trimmed(cut(keptText(keptLines_[start])).value);
        char date[20];
        if (startDateOnly && parseDateTime(when, d)) {
            nextDay(d);
            when = format(d, date);
            report_(itemLine_, VI_REPORT_REPAIRED,
                    "an event without DTEND on a date ends with its day");
        } else {
            report_(itemLine_, VI_REPORT_REPAIRED, "an event without DTEND ends when it starts");
        }
        if (!add(added, {"DTEND:", when})) return false;
        addedLine = keptLines_[start].number;
    }
    const ItemOrigin origin{itemLine_, report_.repaired(), report_.lossy(),
                            out_.textBase + out_.text.length,
                            out_.lineBase + out_.lines.size() + 1};
    bool ok = emit(event ? "BEGIN:VEVENT" : "BEGIN:VTODO", itemLine_);
    for (size_t k = 0; ok && k < keptLines_.size(); ++k) {
        if (keptLines_[k].length != kRemoved)
            ok = emit(keptText(keptLines_[k]), keptLines_[k].number);
    }
    for (std::string_view rest = view(added); ok && !rest.empty();) {
        const size_t stop = rest.find("\r\n");
        ok = emit(rest.substr(0, stop), addedLine);
        rest = stop == kNone ? std::string_view() : rest.substr(stop + 2);
    }
    ok = ok && emit(event ? "END:VEVENT" : "END:VTODO", itemLine_);
    // The item is written out: what a long one made large is not held while
    // it is read.
    itemLines_.clear();
    keptLines_.clear();
    item_.dropIfLong();
    kept_.dropIfLong();
    return ok && (event ? out_.events.push(origin) : out_.todos.push(origin));
}

// The logical lines of the text as the rewriter takes them: folded lines
// and quoted-printable soft breaks joined, NUL and 0xFF bytes removed, a
// byte-order mark and blank lines passed over. A line is handed on when the
// next one starts, so the place of a feed is a line ahead; a copy of it
// reads on from the same place.
class LineFeed {
  public:
    LineFeed(const char *text, size_t length) : cursor_(text, length) {}

    enum class Step { Line, End, NoMemory };
    // Reads on until a logical line is complete and hands it to `to`;
    // End when there is none left.
    Step next(Rewriter &to, Reporter &report);
    bool copy(const LineFeed &from);

  private:
    bool gather(std::string_view first) {
        logical_.length = 0;
        gathered_ = true;
        if (!add(logical_, {first})) return false;
        current_ = view(logical_);
        return true;
    }

    LineCursor cursor_;
    // The logical line being gathered: a view of the text while it is one
    // physical line (nearly always), else its copy in `logical_`.
    std::string_view current_;
    bool gathered_ = false;
    vcal::TextBuffer logical_;
    vcal::TextBuffer cleaned_; // a physical line without its NUL bytes
    uint64_t logicalStart_ = 0;
    bool softBreak_ = false; // the logical line ends in a quoted-printable soft break
};

LineFeed::Step LineFeed::next(Rewriter &to, Reporter &report) {
    Line line;
    while (cursor_.next(line)) {
        std::string_view text = line.text;
        while (text.substr(0, 3) == "\xEF\xBB\xBF")
            text.remove_prefix(3);
        bool wasCleaned = false;
        if (text.find('\0') != kNone || text.find('\xFF') != kNone) {
            cleaned_.length = 0;
            for (char c : text) {
                if (c != '\0' && c != '\xFF' && !add(cleaned_, {std::string_view(&c, 1)}))
                    return Step::NoMemory;
            }
            report(line.number, VI_REPORT_REPAIRED, "removed NUL bytes and 0xFF bytes");
            text = view(cleaned_);
            wasCleaned = true;
        }
        if (isBlankLine(text)) continue; // an empty line melts into the line end before it
        bool handed = false;
        if (!current_.empty() && (softBreak_ || ascii::isBlank(text.front()))) {
            if (!gathered_ && !gather(current_)) return Step::NoMemory;
            if (softBreak_) --logical_.length; // the "=" of the soft break; folding keeps its blank
            if (!add(logical_, {text})) return Step::NoMemory;
            current_ = view(logical_);
        } else {
            if (!current_.empty()) {
                if (!to.line(trimmed(current_), logicalStart_)) return Step::NoMemory;
                handed = true;
            }
            logicalStart_ = line.number;
            gathered_ = false;
            current_ = text;
            // `cleaned_` is reused by the next line.
            if (wasCleaned && !gather(text)) return Step::NoMemory;
        }
        softBreak_ = false;
        if (current_.back() == '=') {
            const PropertyLine p = cut(current_);
            softBreak_ = p.hasColon && declaresQuotedPrintable(p.parameters);
        }
        if (handed) return Step::Line;
    }
    if (current_.empty()) return Step::End;
    const std::string_view last = trimmed(current_);
    current_ = {};
    return to.line(last, logicalStart_) ? Step::Line : Step::NoMemory;
}

bool LineFeed::copy(const LineFeed &from) {
    cursor_ = from.cursor_;
    gathered_ = from.gathered_;
    logicalStart_ = from.logicalStart_;
    softBreak_ = from.softBreak_;
    current_ = from.current_;
    if (!gathered_) return true;
    logical_.length = 0;
    if (!add(logical_, {from.current_})) return false;
    current_ = view(logical_);
    return true;
}

// The whole rewriting: the rewriter, its feed, and the reading ahead for
// each calendar's head.
class Repair {
  public:
    Repair(const char *text, size_t length, Reporter &report, RepairedCalendars &out,
           CalendarHeads &heads)
        : text_(text), length_(length), report_(report), rewriter_(report, out, false),
          feed_(text, length), heads_(heads), known_(heads.ends.size()) {}

    // Takes the next logical line; false when memory ran out.
    bool step();
    bool ended() const { return ended_; }

  private:
    bool readHead();

    const char *text_;
    size_t length_;
    Reporter &report_;
    Rewriter rewriter_;
    LineFeed feed_;
    CalendarHeads &heads_;
    size_t known_;        // heads kept by an earlier making
    size_t calendar_ = 0; // the next calendar's
    bool ended_ = false;
    Reporter silent_{nullptr, nullptr};
    RepairedCalendars scratch_; // what the reading ahead writes (nothing)
};

bool Repair::step() {
    switch (feed_.next(rewriter_, report_)) {
    case LineFeed::Step::NoMemory:
        return false;
    case LineFeed::Step::End:
        ended_ = true;
        return rewriter_.finish();
    case LineFeed::Step::Line:
        break;
    }
    return !rewriter_.opened() || readHead();
}

// The lines of the calendar just opened are read to its end, quietly, for
// what its head will hold once they are all read.
bool Repair::readHead() {
    if (calendar_ < known_) return rewriter_.head(heads_, calendar_++);
    ++calendar_;
    LineFeed ahead(text_, length_);
    if (!ahead.copy(feed_)) return false;
    Rewriter head(silent_, scratch_, true);
    head.startAhead(rewriter_);
    while (!head.done()) {
        const LineFeed::Step step = ahead.next(head, silent_);
        if (step == LineFeed::Step::NoMemory) return false;
        if (step == LineFeed::Step::End) {
            if (!head.finish()) return false;
            break;
        }
    }
    return rewriter_.head(head, heads_);
}

} // namespace

bool repairCalendars(const char *text, size_t length, Reporter &report, RepairedCalendars &out) {
    CalendarHeads heads;
    Repair repair(text, length, report, out, heads);
    while (!repair.ended()) {
        if (!repair.step()) return false;
    }
    return true;
}

struct CalendarRepairFeed::State : Repair {
    using Repair::Repair;
};

CalendarRepairFeed::CalendarRepairFeed(const char *text, size_t length, Reporter &report,
                                       RepairedCalendars &out, CalendarHeads &heads)
    : out_(out) {
    out.clear();
    state_ = new (std::nothrow) State(text, length, report, out, heads);
    failed_ = state_ == nullptr;
    stream_.at = stream_.end = nullptr;
    stream_.more = more;
    stream_.feed = this;
}

CalendarRepairFeed::~CalendarRepairFeed() { delete state_; }

bool CalendarRepairFeed::more(vcal::MemoryStream &stream) {
    CalendarRepairFeed &f = *static_cast<Source &>(stream).feed;
    if (f.failed_ || f.state_->ended()) return false;
    if (f.beforeForgetting_ != nullptr) f.beforeForgetting_(f.user_);
    f.forget();
    RepairedCalendars &out = f.out_;
    const size_t from = out.textBase + out.text.length;
    f.madeBefore_ = from;
    f.linesBefore_ = out.lineBase + out.lines.size();
    while (!f.state_->ended() && out.textBase + out.text.length == from) {
        if (!f.state_->step()) {
            f.failed_ = true;
            return false;
        }
    }
    if (out.textBase + out.text.length == from) return false;
    stream.at = out.text.text + (from - out.textBase);
    stream.end = out.text.text + out.text.length;
    return true;
}

bool CalendarRepairFeed::finish() {
    while (more(stream_)) {
    }
    return !failed_;
}

// What lies before the part made the time before goes.
void CalendarRepairFeed::forget() {
    RepairedCalendars &out = out_;
    const size_t bytes = madeBefore_ - out.textBase;
    if (bytes > 0) {
        std::memmove(out.text.text, out.text.text + bytes, out.text.length - bytes);
        out.text.length -= bytes;
        out.text.text[out.text.length] = '\0';
        out.textBase = madeBefore_;
    }
    out.lines.dropFirst(static_cast<size_t>(linesBefore_ - out.lineBase));
    out.lineBase = linesBefore_;
    for (auto [items, base] :
         {std::pair{&out.events, &out.eventBase}, {&out.todos, &out.todoBase}}) {
        size_t gone = 0;
        while (gone < items->size() && (*items)[gone].at < madeBefore_)
            ++gone;
        items->dropFirst(gone);
        *base += gone;
    }
}

#if defined(__SSE2__)
namespace {

// The bits set in `x`, without the library call __builtin_popcountll
// makes for processors not known to count them in one instruction.
uint64_t bitCount(uint64_t x) {
    x -= (x >> 1) & 0x5555555555555555u;
    x = (x & 0x3333333333333333u) + ((x >> 2) & 0x3333333333333333u);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return (x * 0x0101010101010101u) >> 56;
}

} // namespace
#endif

bool findItems(const char *text, size_t length, RepairedCalendars &out) {
    // A BEGIN line: what it opens, at its line number and place.
    auto begin = [&](std::string_view line, uint64_t number, size_t start) {
        std::string_view rest;
        if (!isKeywordLine(line, "BEGIN", &rest)) return true;
        if (sameWord(rest, "VCALENDAR"))
            return out.calendarEvents.push(static_cast<uint32_t>(out.events.size())) &&
                   out.calendarTodos.push(static_cast<uint32_t>(out.todos.size()));
        if (sameWord(rest, "VEVENT")) return out.events.push({number, false, false, start, number});
        if (sameWord(rest, "VTODO")) return out.todos.push({number, false, false, start, number});
        return true;
    };
#if defined(__SSE2__)
    // The lines as bit masks, 64 bytes at a time: a line break ends at each
    // LF, and at each CR that no LF follows, and a line starts after each.
    // Only a line that starts with a B or a blank can be a BEGIN line, and
    // only those are read: the rest cost no more than their bits.
    auto mask = [](__m128i m) { return static_cast<uint64_t>(_mm_movemask_epi8(m) & 0xFFFF); };
    auto eq = [](__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
    uint64_t breaksBefore = 0; // line breaks before the block
    uint64_t startsHere = 1;   // bit 0: the block's first byte starts a line
    for (size_t base = 0; base < length; base += 64) {
        alignas(16) char tail[64];
        const char *s = text + base;
        if (length - base < 64) {
            // The text's last bytes: what lies past it breaks and starts nothing.
            std::memset(tail, 'x', sizeof tail);
            std::memcpy(tail, s, length - base);
            s = tail;
        }
        uint64_t lf = 0;
        uint64_t cr = 0;
        uint64_t lead = 0;
        for (unsigned k = 0; k < 64; k += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s + k));
            lf |= mask(eq(v, '\n')) << k;
            cr |= mask(eq(v, '\r')) << k;
            lead |= mask(_mm_or_si128(eq(_mm_or_si128(v, _mm_set1_epi8(0x20)), 'b'),
                                      _mm_or_si128(eq(v, ' '), eq(v, '\t'))))
                    << k;
        }
        const bool lfAfter = length - base > 64 && text[base + 64] == '\n';
        const uint64_t ends = lf | (cr & ~(lf >> 1) & ~(static_cast<uint64_t>(lfAfter) << 63));
        for (uint64_t m = ((ends << 1) | startsHere) & lead; m != 0; m &= m - 1) {
            const auto k = static_cast<unsigned>(__builtin_ctzll(m));
            const size_t start = base + k;
            size_t stop = start;
            while (stop < length && text[stop] != '\n' && text[stop] != '\r')
                ++stop;
            const uint64_t before = breaksBefore + bitCount(ends & ((uint64_t{1} << k) - 1u));
            if (!begin(std::string_view(text + start, stop - start), before + 1, start))
                return false;
        }
        breaksBefore += bitCount(ends);
        startsHere = ends >> 63;
    }
#else
    LineCursor cursor(text, length);
    Line line;
    while (cursor.next(line)) {
        // (A line whose first word does not start with a "B" is no BEGIN.)
        size_t first = 0;
        while (first < line.text.size() && ascii::isBlank(line.text[first]))
            ++first;
        if (first == line.text.size() || ascii::upper(line.text[first]) != 'B') continue;
        if (!begin(line.text, line.number, line.start)) return false;
    }
#endif
    out.asWritten = true;
    return true;
}

} // namespace interop
