// vCalendar 1.0 into the model: the tolerant reader's items, each property
// line mapped to its iCalendar form; TZ and DAYLIGHT become a VTIMEZONE,
// the alarms VALARMs, the rules RRULEs.
#include <cstring>
#include <initializer_list>
#include <iterator>

#include "interop/api/reader.h"
#include "interop/convert/calModel.h"
#include "interop/convert/contentLine.h"
#include "interop/convert/deferredLines.h"
#include "interop/convert/rrule.h"
#include "interop/recover/lines.h"
#include "vcal/vcalline.h"
#include "vcal/vcalprop.h"

namespace interop::convert {

using namespace std::string_view_literals;

namespace {

bool put(vcal::TextBuffer &out, std::string_view piece) { return out.append(piece); }
std::string_view view(const vcal::TextBuffer &b) {
    return b.length == 0 ? std::string_view() : std::string_view(b.text, b.length);
}

constexpr std::string_view kProduct = "-//versit//versit converter//EN";

// A property line of the tree, split: the tree keeps lines unfolded, with
// trailing white space turned into CRs.
struct Line10 {
    std::string_view name, params, value;
    uint16_t id = VCAL_PROP_NONE; // the reader's keyword for the line
    // The value as a date-time, where the item's first look at its lines
    // read it (for the start and the stamp): parsed once, not for each use.
    enum class Dated : uint8_t { Unread, No, Yes } dated = Dated::Unread;
    DateTime when;
};

// `l`'s value as a date-time, into `t`; false when it is none.
bool dateOf(const Line10 &l, DateTime &t) {
    if (l.dated == Line10::Dated::Unread) return parseDateTime(l.value, t);
    t = l.when;
    return l.dated == Line10::Dated::Yes;
}

// Fills `l`, fresh, where it is kept (see Array::emplace). The line is
// walked once up to its name's end; its length is measured only from
// there, and a colon is looked for only after parameters.
void splitInto(const char *text, Line10 &l) {
    const char *begin = text;
    while (ascii::isBlank(*begin))
        ++begin;
    const char *stop = vcal::nameEnd(begin);
    const char *end = stop + std::strlen(stop);
    // (The white space trimmed holds no ':' or ';', so where they stand is
    // the same with it or without it.)
    while (end > begin && ascii::isSpace(end[-1]))
        --end;
    const char *colon = nullptr;
    if (*stop == ':') {
        colon = stop;
    } else if (*stop == ';') {
        colon = static_cast<const char *>(std::memchr(stop, ':', static_cast<size_t>(end - stop)));
        const char *paramsEnd = colon != nullptr ? colon : end;
        l.params = std::string_view(stop, static_cast<size_t>(paramsEnd - stop));
    }
    const char *nameStop = stop < end ? stop : end;
    while (nameStop > begin && ascii::isBlank(nameStop[-1]))
        --nameStop;
    l.name = std::string_view(begin, static_cast<size_t>(nameStop - begin));
    if (colon == nullptr) return;
    const char *value = colon + 1;
    while (value < end && ascii::isBlank(*value))
        ++value;
    l.value = std::string_view(value, static_cast<size_t>(end - value));
}

Line10 split(const char *text) {
    Line10 l;
    splitInto(text, l);
    return l;
}

// Whether no keyword of the reader starts another.
constexpr bool prefixFree() {
    for (uint16_t a = 1; a <= VCAL_PROPERTY_COUNT; ++a) {
        for (uint16_t b = 1; b <= VCAL_PROPERTY_COUNT; ++b) {
            const char *x = vcal::kProperties[a].keyword;
            const char *y = vcal::kProperties[b].keyword;
            size_t i = 0;
            while (x[i] != '\0' && x[i] == y[i])
                ++i;
            if (a != b && x[i] == '\0') return false;
        }
    }
    return true;
}
static_assert(prefixFree(), "named() needs keywords of which none starts another");

// Whether a line the reader kept is named `keyword`, the keyword of `id`.
// The reader gives a line the keyword its name starts with, and no keyword
// starts another, so the name is the keyword when it is as long.
bool named(const Line10 &l, uint16_t id, std::string_view keyword) {
    return l.id == id && l.name.size() == keyword.size();
}

// A parameter given as NAME=value or, in vCalendar's short form, bare.
bool hasParam(std::string_view params, std::string_view name, std::string_view value) {
    bool found = false;
    forEachParam(params, [&](std::string_view n, std::string_view v) {
        if (sameWord(n, value) && v.empty()) found = true;
        if (sameWord(n, name) && sameWord(v, value)) found = true;
    });
    return found;
}

// The value's text: quoted-printable decoded (soft breaks were joined by
// the reader; the tolerant reader already made the text UTF-8).
bool decoded(const Line10 &l, vcal::TextBuffer &out) {
    out.length = 0;
    if (!hasParam(l.params, "ENCODING", "QUOTED-PRINTABLE")) return put(out, l.value);
    const std::string_view v = l.value;
    // Decoding never lengthens a text: room for all of it at once, and the
    // runs between escapes copied whole.
    if (!out.reserve(v.size())) return false;
    char *at = out.end();
    size_t i = 0;
    while (i < v.size()) {
        const void *mark = std::memchr(v.data() + i, '=', v.size() - i);
        const size_t e = mark == nullptr
                             ? v.size()
                             : static_cast<size_t>(static_cast<const char *>(mark) - v.data());
        std::memcpy(at, v.data() + i, e - i);
        at += e - i;
        if (e == v.size()) break;
        const int hi = e + 1 < v.size() ? ascii::hexValue(v[e + 1]) : -1;
        const int lo = e + 2 < v.size() ? ascii::hexValue(v[e + 2]) : -1;
        if (hi >= 0 && lo >= 0) {
            *at++ = static_cast<char>(hi * 16 + lo);
            i = e + 3;
            continue;
        }
        // A soft break goes; an "=" that starts no escape stays.
        if (e + 1 < v.size() && !ascii::isBreak(v[e + 1])) *at++ = '=';
        i = e + 1;
    }
    out.close(at);
    return true;
}

// Where each property line of an item stands in the text the user gave:
// looked for in the text the item was read from, from its BEGIN line on,
// in the order the conversion asks, when a report carries the line (the
// read ahead for the zone works out the two lines its reports may name
// before it leaves the item).
class LineFinder : public DeferredLines {
  public:
    explicit LineFinder(const VI_TolerantReader &r) : DeferredLines(nullptr, 0), r_(r) {}

    // The item whose lines are asked for next; null when its place is not known.
    void item(const ItemOrigin *origin) {
        origin_ = origin;
        restart();
    }
    // The original line of the item's next line starting with `name`, or
    // `fallback`, as a deferred line.
    uint64_t find(std::string_view name, uint64_t fallback) {
        return ask(Question::Property, name, fallback);
    }

  private:
    void place() override {
        if (origin_ == nullptr) return;
        // The text the reader chose to read, as written or rewritten; of
        // the rewritten one, the part still held.
        const RepairedCalendars &repaired = r_.repaired;
        if (!repaired.asWritten && origin_->at < repaired.textBase) {
            origin_ = nullptr;
            return;
        }
        cursor_ = repaired.asWritten ? LineCursor(r_.text, r_.length)
                                     : LineCursor(repaired.text.text, repaired.text.length);
        Line begin;
        begin.number = origin_->readLine;
        cursor_.resume(begin, origin_->at - (repaired.asWritten ? 0 : repaired.textBase));
    }

    uint64_t search(const Question &q) override {
        if (origin_ == nullptr) return q.given;
        Line line;
        const size_t at = cursor_.offset();
        const uint64_t number = cursor_.number();
        while (cursor_.next(line)) {
            std::string_view t = line.text;
            while (!t.empty() && ascii::isBlank(t.front()))
                t.remove_prefix(1);
            if (t.size() > q.name.size() && sameWord(t.substr(0, q.name.size()), q.name) &&
                (t[q.name.size()] == ':' || t[q.name.size()] == ';' ||
                 ascii::isBlank(t[q.name.size()])))
                return r_.repaired.originalLine(line.number);
            if (isKeywordLine(t, "END", nullptr)) break;
        }
        // Not found: stay where the search began.
        Line back;
        back.number = number;
        cursor_.resume(back, at);
        return q.given;
    }

    const VI_TolerantReader &r_;
    const ItemOrigin *origin_ = nullptr;
};

struct Calendar10 {
    Zone zone;
    bool hasZone = false;
    vcal::TextBuffer tzid;
};

struct Context {
    Job &job;
    CalModel &model;
    const Calendar10 &cal;
    vcal::TextBuffer value, params, scratch;
    DateTime start;
    bool hasStart = false;
    const char *what = "event";
    Array<Line10> lines; // the item's lines, split once for its three passes
};

// What iCalendar cannot hold as such (a word outside its value set, a
// property the component may not have, a rule it cannot say) goes beside
// its best standard form as an extension property X-VCAL-<NAME>, right
// after that form, holding the vCalendar value's text: escaped as
// iCalendar text, its times in UTC where the calendar has a zone (the
// vCalendar we write has none). writeCalendar10 writes it back as NAME in
// place of the standard property before it. An attendee's role and
// status the same way as parameters X-VCAL-ROLE and X-VCAL-STATUS, and a
// text's line breaks that are not CR LF as X-VCAL-BREAK=CR or LF.
constexpr std::string_view kCarrier = "X-VCAL-";

bool utcWord(const Calendar10 &cal, std::string_view word, vcal::TextBuffer &out) {
    DateTime t;
    if (cal.hasZone && word.size() >= 9 && ascii::isDigit(word[0]) && parseDateTime(word, t) &&
        !t.utc && !t.dateOnly)
        return appendBasic(out, fromSeconds(cal.zone.toUtc(toSeconds(t)), true));
    return put(out, word);
}

// The text of a vCalendar value with its local times in UTC: each word
// of `sep`-separated parts that is a time.
bool utcText(const Calendar10 &cal, std::string_view text, vcal::TextBuffer &out) {
    size_t at = 0;
    while (at < text.size()) {
        size_t end = at;
        while (end < text.size() && !ascii::isSpace(text[end]) && text[end] != ';')
            ++end;
        if (!utcWord(cal, text.substr(at, end - at), out)) return false;
        at = end;
        while (at < text.size() && (ascii::isSpace(text[at]) || text[at] == ';'))
            if (!put(out, text.substr(at++, 1))) return false;
    }
    return true;
}

// Writes X-VCAL-<name> with `text` (plain, not yet escaped); `times`:
// the text is times or a rule, whose local times go in UTC.
bool carry(CalModel &model, const Calendar10 &cal, uint64_t line, std::string_view name,
           std::string_view params, std::string_view text, bool times = false) {
    vcal::TextBuffer n, plain, v;
    return put(n, kCarrier) && put(n, name) && (times ? utcText(cal, text, plain) : true) &&
           appendEscaped(v, times ? view(plain) : text) &&
           model.property(line, view(n), params, view(v));
}

// A date-time of the item in iCalendar's form: UTC stays UTC, a local time
// is in the calendar's zone (or floating without one); `utc` asks for UTC
// where iCalendar wants it, reading a floating time as UTC as our own
// reader does.
bool dateForm(Context &c, const DateTime &t, bool utc, vcal::TextBuffer &params,
              vcal::TextBuffer &value) {
    if (t.utc || t.dateOnly || !c.cal.hasZone) {
        DateTime u = t;
        if (utc) u.utc = !t.dateOnly;
        return appendBasic(value, u);
    }
    if (utc) return appendBasic(value, fromSeconds(c.cal.zone.toUtc(toSeconds(t)), true));
    return put(params, ";TZID=") && put(params, view(c.cal.tzid)) && appendBasic(value, t);
}

// One date property, `date` what `raw` reads as (null when it is no
// date: then it is reported and left out).
int32_t datedProperty(Context &c, uint64_t line, std::string_view name, std::string_view raw,
                      const DateTime *date, bool utc, std::string_view name10) {
    if (name10.empty()) name10 = name;
    if (date == nullptr) {
        c.job.report(line, VI_REPORT_LOST,
                     "left out %.*s: \"%.*s\" is no date (kept as X-VCAL-%.*s)",
                     static_cast<int>(name.size()), name.data(), static_cast<int>(raw.size()),
                     raw.data(), static_cast<int>(name10.size()), name10.data());
        return carry(c.model, c.cal, line, name10, {}, raw) ? 0 : VLIB_ERR_NO_MEMORY;
    }
    const DateTime &t = *date;
    c.params.length = c.value.length = 0;
    if (t.dateOnly && !put(c.params, ";VALUE=DATE")) return VLIB_ERR_NO_MEMORY;
    if (!dateForm(c, t, utc, c.params, c.value) ||
        !c.model.property(line, name, view(c.params), view(c.value)))
        return VLIB_ERR_NO_MEMORY;
    return 0;
}

int32_t dateProperty(Context &c, uint64_t line, std::string_view name, std::string_view raw,
                     bool utc, std::string_view name10 = {}) {
    DateTime t;
    return datedProperty(c, line, name, raw, parseDateTime(raw, t) ? &t : nullptr, utc, name10);
}

int32_t dateProperty(Context &c, uint64_t line, std::string_view name, const Line10 &l, bool utc,
                     std::string_view name10 = {}) {
    DateTime t;
    return datedProperty(c, line, name, l.value, dateOf(l, t) ? &t : nullptr, utc, name10);
}

// How a text breaks its lines, where iCalendar's "\n" cannot say: "CR"
// or "LF" when every break is that one alone, else empty.
std::string_view breakForm(std::string_view text) {
    if (text.empty() || (std::memchr(text.data(), '\r', text.size()) == nullptr &&
                         std::memchr(text.data(), '\n', text.size()) == nullptr))
        return {};
    // A CR LF, or both lone kinds, settle it: the search stops there (most
    // texts break with CR LF, and the first break decides).
    bool cr = false, lf = false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') return {};
        if (text[i] == '\r') {
            if (lf) return {};
            cr = true;
        } else if (text[i] == '\n') {
            if (cr) return {};
            lf = true;
        }
    }
    if (cr == lf) return {};
    return cr ? "CR" : "LF";
}

int32_t textProperty(Context &c, uint64_t line, std::string_view name, const Line10 &l) {
    // Most texts are not quoted-printable: they are taken as they stand.
    std::string_view text = l.value;
    if (!l.params.empty()) {
        if (!decoded(l, c.scratch)) return VLIB_ERR_NO_MEMORY;
        text = view(c.scratch);
    }
    c.value.length = c.params.length = 0;
    const std::string_view breaks = breakForm(text);
    if (!breaks.empty() && (!put(c.params, ";") || !put(c.params, kCarrier) ||
                            !put(c.params, "BREAK=") || !put(c.params, breaks)))
        return VLIB_ERR_NO_MEMORY;
    if (!appendEscaped(c.value, text) ||
        !c.model.property(line, name, view(c.params), view(c.value)))
        return VLIB_ERR_NO_MEMORY;
    return 0;
}

// CATEGORIES and RESOURCES: ";"-separated in 1.0, ","-separated now.
int32_t listProperty(Context &c, uint64_t line, std::string_view name, const Line10 &l) {
    if (!decoded(l, c.scratch)) return VLIB_ERR_NO_MEMORY;
    c.value.length = 0;
    bool first = true, ok = true;
    forEachEscapedPiece(view(c.scratch), ';', [&](std::string_view item) {
        while (!item.empty() && ascii::isBlank(item.front()))
            item.remove_prefix(1);
        if (item.empty()) return true;
        c.params.length = 0;
        ok = appendUnescaped(c.params, item) && (first || put(c.value, ",")) &&
             appendEscaped(c.value, view(c.params));
        first = false;
        return ok;
    });
    if (!ok || !c.model.property(line, name, {}, view(c.value))) return VLIB_ERR_NO_MEMORY;
    return 0;
}

struct Word {
    std::string_view from, to;
};

// STATUS words of 1.0, as each component of iCalendar can hold them.
constexpr Word kEventStatus[] = {
    {"TENTATIVE", "TENTATIVE"}, {"CONFIRMED", "CONFIRMED"},    {"ACCEPTED", "CONFIRMED"},
    {"DECLINED", "CANCELLED"},  {"NEEDS ACTION", "TENTATIVE"}, {"NEEDS-ACTION", "TENTATIVE"},
    {"SENT", "TENTATIVE"},      {"DELEGATED", "CONFIRMED"},    {"COMPLETED", "CONFIRMED"}};
constexpr Word kTodoStatus[] = {{"NEEDS ACTION", "NEEDS-ACTION"}, {"NEEDS-ACTION", "NEEDS-ACTION"},
                                {"COMPLETED", "COMPLETED"},       {"ACCEPTED", "IN-PROCESS"},
                                {"CONFIRMED", "IN-PROCESS"},      {"DECLINED", "CANCELLED"},
                                {"TENTATIVE", "NEEDS-ACTION"},    {"SENT", "NEEDS-ACTION"},
                                {"DELEGATED", "NEEDS-ACTION"}};
// An attendee's STATUS as PARTSTAT.
constexpr Word kPartStat[] = {
    {"ACCEPTED", "ACCEPTED"}, {"NEEDS ACTION", "NEEDS-ACTION"}, {"NEEDS-ACTION", "NEEDS-ACTION"},
    {"SENT", "NEEDS-ACTION"}, {"TENTATIVE", "TENTATIVE"},       {"CONFIRMED", "ACCEPTED"},
    {"DECLINED", "DECLINED"}, {"COMPLETED", "COMPLETED"},       {"DELEGATED", "DELEGATED"}};

template <size_t N> const Word *lookup(const Word (&table)[N], std::string_view word) {
    for (const Word &w : table)
        if (sameWord(w.from, word)) return &w;
    return nullptr;
}

// Whether two words say the same once "-" and " " are taken as one.
bool sameSaying(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const char x = a[i] == '-' ? ' ' : ascii::upper(a[i]);
        const char y = b[i] == '-' ? ' ' : ascii::upper(b[i]);
        if (x != y) return false;
    }
    return true;
}

int32_t attendee(Context &c, uint64_t line, const Line10 &l) {
    if (!decoded(l, c.scratch)) return VLIB_ERR_NO_MEMORY;
    std::string_view v = view(c.scratch);
    c.params.length = c.value.length = 0;
    // The first of each, in one walk over the parameters.
    std::string_view role, status, rsvp, expect;
    bool seen[4] = {};
    forEachParam(l.params, [&](std::string_view n, std::string_view given) {
        static constexpr std::string_view kNames[4] = {"ROLE", "STATUS", "RSVP", "EXPECT"};
        std::string_view *const values[4] = {&role, &status, &rsvp, &expect};
        for (size_t i = 0; i < 4; ++i) {
            if (seen[i] || !sameWord(n, kNames[i])) continue;
            seen[i] = true;
            *values[i] = given;
        }
    });
    // "Name <address>" or an address alone.
    std::string_view name, address = v;
    const size_t open = v.find('<'), close = v.rfind('>');
    if (open != std::string_view::npos && close != std::string_view::npos && close > open) {
        name = v.substr(0, open);
        while (!name.empty() && ascii::isBlank(name.back()))
            name.remove_suffix(1);
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
            name = name.substr(1, name.size() - 2);
        address = v.substr(open + 1, close - open - 1);
    }
    if (sameWord(address.substr(0, 7), "mailto:")) address.remove_prefix(7);
    const bool mail = address.find('@') != std::string_view::npos;
    if (!mail && name.empty()) name = v;
    const char *roleOut = "REQ-PARTICIPANT";
    if (sameWord(role, "ORGANIZER") || sameWord(role, "OWNER"))
        roleOut = "CHAIR";
    else if (sameWord(expect, "REQUEST"))
        roleOut = "OPT-PARTICIPANT";
    else if (sameWord(expect, "FYI"))
        roleOut = "NON-PARTICIPANT";
    if (!put(c.params, ";ROLE=") || !put(c.params, roleOut)) return VLIB_ERR_NO_MEMORY;
    // A parameter value is kept when it holds no character a parameter
    // cannot (a 1.0 value stands unquoted, so it has no ";" or ":").
    auto carryParam = [&](std::string_view param, std::string_view v) {
        for (char ch : v)
            if (ch == '"' || ascii::isBreak(ch)) return true;
        return put(c.params, ";") && put(c.params, kCarrier) && put(c.params, param) &&
               put(c.params, "=\"") && put(c.params, v) && put(c.params, "\"");
    };
    if (sameWord(role, "DELEGATE") || sameWord(role, "OWNER")) {
        c.job.report(line, VI_REPORT_LOST,
                     "ATTENDEE: the role %.*s is written as %s (kept as X-VCAL-ROLE)",
                     static_cast<int>(role.size()), role.data(), roleOut);
        if (!carryParam("ROLE", role)) return VLIB_ERR_NO_MEMORY;
    }
    if (!status.empty()) {
        const Word *w = lookup(kPartStat, status);
        if (!put(c.params, ";PARTSTAT=") || !put(c.params, w != nullptr ? w->to : "NEEDS-ACTION"))
            return VLIB_ERR_NO_MEMORY;
        if (w == nullptr || !sameSaying(w->from, w->to)) {
            c.job.report(line, VI_REPORT_LOST,
                         "ATTENDEE: the status %.*s is written as %.*s (kept as X-VCAL-STATUS)",
                         static_cast<int>(status.size()), status.data(),
                         static_cast<int>(w != nullptr ? w->to.size() : 12),
                         w != nullptr ? w->to.data() : "NEEDS-ACTION");
            if (!carryParam("STATUS", status)) return VLIB_ERR_NO_MEMORY;
        }
    }
    if (!rsvp.empty() &&
        (!put(c.params, ";RSVP=") ||
         !put(c.params, sameWord(rsvp, "YES") || sameWord(rsvp, "TRUE") ? "TRUE"sv : "FALSE"sv)))
        return VLIB_ERR_NO_MEMORY;
    if (!name.empty()) {
        // A parameter value cannot hold a quote; the name loses its own.
        if (!put(c.params, ";CN=\"")) return VLIB_ERR_NO_MEMORY;
        for (char ch : name)
            if (ch != '"' && !ascii::isBreak(ch) && !put(c.params, std::string_view(&ch, 1)))
                return VLIB_ERR_NO_MEMORY;
        if (!put(c.params, "\"")) return VLIB_ERR_NO_MEMORY;
    }
    if (mail) {
        if (!put(c.value, "mailto:") || !put(c.value, address)) return VLIB_ERR_NO_MEMORY;
    } else {
        c.job.report(line, VI_REPORT_LOST, "ATTENDEE without an e-mail address: kept as its name");
        if (!put(c.value, "invalid:nomail")) return VLIB_ERR_NO_MEMORY;
    }
    return c.model.property(line, "ATTENDEE", view(c.params), view(c.value)) ? 0
                                                                             : VLIB_ERR_NO_MEMORY;
}

// A scheme, a colon and no blanks or control characters.
bool isUri(std::string_view v) {
    size_t i = 0;
    while (i < v.size() && (ascii::isAlnum(v[i]) || v[i] == '+' || v[i] == '-' || v[i] == '.'))
        ++i;
    if (i == 0 || i >= v.size() || v[i] != ':' || !ascii::isLetter(v[0])) return false;
    for (char ch : v)
        if (static_cast<unsigned char>(ch) <= ' ') return false;
    return true;
}

bool appendBase64(vcal::TextBuffer &out, std::string_view data) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (size_t i = 0; i < data.size(); i += 3) {
        const size_t n = data.size() - i < 3 ? data.size() - i : 3;
        uint32_t bits = 0;
        for (size_t k = 0; k < 3; ++k)
            bits = bits << 8 | (k < n ? static_cast<unsigned char>(data[i + k]) : 0u);
        const char quad[4] = {kAlphabet[bits >> 18 & 63], kAlphabet[bits >> 12 & 63],
                              n > 1 ? kAlphabet[bits >> 6 & 63] : '=',
                              n > 2 ? kAlphabet[bits & 63] : '='};
        if (!put(out, std::string_view(quad, 4))) return false;
    }
    return true;
}

int32_t attach(Context &c, uint64_t line, const Line10 &l) {
    c.params.length = 0;
    std::string_view value = l.value;
    std::string_view kind;
    findParam(l.params, "VALUE", kind);
    if (hasParam(l.params, "ENCODING", "BASE64") || hasParam(l.params, "ENCODING", "B")) {
        if (!put(c.params, ";ENCODING=BASE64;VALUE=BINARY")) return VLIB_ERR_NO_MEMORY;
    } else if (sameWord(kind, "CONTENT-ID") || sameWord(kind, "CID")) {
        if (!decoded(l, c.scratch)) return VLIB_ERR_NO_MEMORY;
        c.value.length = 0;
        if (!put(c.value, "cid:") || !put(c.value, view(c.scratch))) return VLIB_ERR_NO_MEMORY;
        return c.model.property(line, "ATTACH", {}, view(c.value)) ? 0 : VLIB_ERR_NO_MEMORY;
    } else {
        if (!decoded(l, c.scratch)) return VLIB_ERR_NO_MEMORY;
        value = view(c.scratch);
        // Text that is no URI (writers attach notes inline) goes inline,
        // in base64, as iCalendar carries inline data.
        if (!isUri(value)) {
            c.value.length = 0;
            if (!put(c.params, ";FMTTYPE=text/plain;ENCODING=BASE64;VALUE=BINARY") ||
                !appendBase64(c.value, value))
                return VLIB_ERR_NO_MEMORY;
            value = view(c.value);
        }
    }
    return c.model.property(line, "ATTACH", view(c.params), value) ? 0 : VLIB_ERR_NO_MEMORY;
}

// A recurrence rule or its exception rule.
int32_t rule(Context &c, uint64_t line, std::string_view name, const Line10 &l) {
    Rule r;
    const char *why = nullptr;
    if (!c.hasStart || !parseRule10(l.value, c.start, r, &why)) {
        c.job.report(line, VI_REPORT_LOST, "left out %.*s \"%.*s\": %s (kept as X-VCAL-%.*s)",
                     static_cast<int>(name.size()), name.data(), static_cast<int>(l.value.size()),
                     l.value.data(), c.hasStart ? why : "the item has no start",
                     static_cast<int>(name.size()), name.data());
        return carry(c.model, c.cal, line, name, {}, l.value, true) ? 0 : VLIB_ERR_NO_MEMORY;
    }
    // UNTIL is UTC when the start has a zone, and in the start's form else.
    if (r.hasUntil && !c.start.utc && c.cal.hasZone)
        r.until = fromSeconds(c.cal.zone.toUtc(toSeconds(r.until)), true);
    c.value.length = 0;
    if (!appendRule5545(c.value, r) || !c.model.property(line, name, {}, view(c.value)))
        return VLIB_ERR_NO_MEMORY;
    if (r.inexact == nullptr) return 0;
    c.job.report(line, VI_REPORT_LOST, "%.*s: iCalendar cannot say %s (kept as X-VCAL-%.*s)",
                 static_cast<int>(name.size()), name.data(), r.inexact,
                 static_cast<int>(name.size()), name.data());
    return carry(c.model, c.cal, line, name, {}, l.value, true) ? 0 : VLIB_ERR_NO_MEMORY;
}

// EXDATE and RDATE: one property per date, each in its own form.
int32_t dateList(Context &c, uint64_t line, std::string_view name, const Line10 &l) {
    int32_t rc = 0;
    forEachEscapedPiece(l.value, ';', [&](std::string_view item) {
        while (!item.empty() && ascii::isBlank(item.front()))
            item.remove_prefix(1);
        if (!item.empty()) rc = dateProperty(c, line, name, item, false);
        return rc == 0;
    });
    return rc;
}

// AALARM, DALARM, MALARM, PALARM: run time; snooze; repeat count; then
// the sound, the text, the address and note, or the procedure.
int32_t alarm(Context &c, uint64_t line, std::string_view name, const Line10 &l) {
    if (!decoded(l, c.scratch)) return VLIB_ERR_NO_MEMORY;
    std::string_view parts[5];
    size_t n = 0;
    forEachEscapedPiece(view(c.scratch), ';', [&](std::string_view p) {
        while (!p.empty() && ascii::isBlank(p.front()))
            p.remove_prefix(1);
        while (!p.empty() && ascii::isBlank(p.back()))
            p.remove_suffix(1);
        if (n < 5) parts[n] = p;
        ++n;
        return true;
    });
    DateTime run;
    if (!parseDateTime(parts[0], run)) {
        c.job.report(
            line, VI_REPORT_LOST, "left out %.*s: its run time is no date (kept as X-VCAL-%.*s)",
            static_cast<int>(name.size()), name.data(), static_cast<int>(name.size()), name.data());
        return carry(c.model, c.cal, line, name, {}, view(c.scratch), true) ? 0
                                                                            : VLIB_ERR_NO_MEMORY;
    }
    const char kind = ascii::upper(name[0]);
    const char *action = kind == 'A'   ? "AUDIO"
                         : kind == 'D' ? "DISPLAY"
                         : kind == 'M' ? "EMAIL"
                                       : "PROCEDURE";
    CalModel &m = c.model;
    c.params.length = c.value.length = 0;
    if (!m.begin("VALARM", line) || !m.property(line, "ACTION", {}, action) ||
        !dateForm(c, run, true, c.params, c.value) ||
        !m.property(line, "TRIGGER", ";VALUE=DATE-TIME", view(c.value)))
        return VLIB_ERR_NO_MEMORY;
    int64_t snooze = 0;
    int32_t repeat = 0;
    const bool hasSnooze = parseDuration(parts[1], snooze) && snooze > 0;
    for (char ch : parts[2])
        repeat = ascii::isDigit(ch) && repeat < 100000 ? repeat * 10 + (ch - '0') : repeat;
    if (hasSnooze && repeat > 0) {
        c.value.length = 0;
        char count[32];
        if (!m.property(line, "REPEAT", {}, decimal(count, repeat)) ||
            !appendDuration(c.value, snooze) || !m.property(line, "DURATION", {}, view(c.value)))
            return VLIB_ERR_NO_MEMORY;
    }
    // What the VALARM does not say as the alarm said it: the alarm's text
    // goes in it too.
    const char *inexact = nullptr;
    if (hasSnooze != (repeat > 0))
        inexact = "a snooze time without a repeat count (or the other way)";
    else if ((kind == 'D' && parts[3].empty()) || (kind == 'M' && parts[4].empty()))
        inexact = "an alarm without a text";
    else if (n > (kind == 'M' ? 5u : 4u))
        inexact = "more parts than the alarm has";
    if (inexact != nullptr) {
        c.job.report(line, VI_REPORT_LOST, "%.*s: iCalendar cannot say %s (kept as X-VCAL-%.*s)",
                     static_cast<int>(name.size()), name.data(), inexact,
                     static_cast<int>(name.size()), name.data());
        if (!carry(m, c.cal, line, name, {}, view(c.scratch), true)) return VLIB_ERR_NO_MEMORY;
    }
    auto text = [&](std::string_view prop, std::string_view t) {
        c.value.length = 0;
        return appendEscaped(c.value, t) && m.property(line, prop, {}, view(c.value));
    };
    bool ok = true;
    if (kind == 'A') {
        if (!parts[3].empty()) ok = m.property(line, "ATTACH", {}, parts[3]);
    } else if (kind == 'D') {
        ok = text("DESCRIPTION", parts[3].empty() ? std::string_view("Reminder") : parts[3]);
    } else if (kind == 'M') {
        c.value.length = 0;
        std::string_view address = parts[3];
        if (sameWord(address.substr(0, 7), "mailto:")) address.remove_prefix(7);
        ok = text("SUMMARY", parts[4].empty() ? std::string_view("Reminder") : parts[4]) &&
             text("DESCRIPTION", parts[4].empty() ? std::string_view("Reminder") : parts[4]);
        c.value.length = 0;
        ok = ok && put(c.value, "mailto:") && put(c.value, address) &&
             m.property(line, "ATTENDEE", {}, view(c.value));
    } else {
        c.value.length = 0;
        ok = m.property(line, "ATTACH", {}, parts[3]);
    }
    return ok && m.end("VALARM", line) ? 0 : VLIB_ERR_NO_MEMORY;
}

struct Mapping {
    std::string_view from, to;
    enum Kind : uint8_t { Text, List, Date, UtcDate, Uri, Number, Lost } kind;
    uint16_t id;
};

constexpr Mapping kMappings[] = {
    {"SUMMARY", "SUMMARY", Mapping::Text, VCAL_PROP_SUMMARY},
    {"DESCRIPTION", "DESCRIPTION", Mapping::Text, VCAL_PROP_DESCRIPTION},
    {"LOCATION", "LOCATION", Mapping::Text, VCAL_PROP_LOCATION},
    {"UID", "UID", Mapping::Text, VCAL_PROP_UID},
    {"RELATED-TO", "RELATED-TO", Mapping::Text, VCAL_PROP_RELATED_TO},
    {"CATEGORIES", "CATEGORIES", Mapping::List, VCAL_PROP_CATEGORIES},
    {"RESOURCES", "RESOURCES", Mapping::List, VCAL_PROP_RESOURCES},
    {"DTSTART", "DTSTART", Mapping::Date, VCAL_PROP_DTSTART},
    {"DTEND", "DTEND", Mapping::Date, VCAL_PROP_DTEND},
    {"DUE", "DUE", Mapping::Date, VCAL_PROP_DUE},
    {"COMPLETED", "COMPLETED", Mapping::UtcDate, VCAL_PROP_COMPLETED},
    {"DCREATED", "CREATED", Mapping::UtcDate, VCAL_PROP_DCREATED},
    {"LAST-MODIFIED", "LAST-MODIFIED", Mapping::UtcDate, VCAL_PROP_LAST_MODIFIED},
    {"URL", "URL", Mapping::Uri, VCAL_PROP_URL},
    {"SEQUENCE", "SEQUENCE", Mapping::Number, VCAL_PROP_SEQUENCE},
    {"RNUM", "", Mapping::Lost, VCAL_PROP_RNUM},
    {"EXNUM", "", Mapping::Lost, VCAL_PROP_EXNUM},
};

// kMappings' entry of each keyword, or -1.
struct MappingIndex {
    int8_t of[VCAL_PROP_X + 1];
    constexpr MappingIndex() : of() {
        for (int8_t &o : of)
            o = -1;
        for (size_t i = 0; i < std::size(kMappings); ++i)
            of[kMappings[i].id] = static_cast<int8_t>(i);
    }
};
constexpr MappingIndex kMappingIndex;

const Mapping *mappingOf(const Line10 &l) {
    if (l.id > VCAL_PROP_X || kMappingIndex.of[l.id] < 0) return nullptr;
    const Mapping &m = kMappings[kMappingIndex.of[l.id]];
    return named(l, m.id, m.from) ? &m : nullptr;
}

// Times iCalendar gives only one of the two components.
constexpr std::string_view kEventOnly[] = {"DTEND", "TRANSP"};
constexpr std::string_view kTodoOnly[] = {"DUE", "COMPLETED"};

int32_t property(Context &c, uint64_t line, const Line10 &l, bool isEvent) {
    const std::string_view name = l.name;
    const std::string_view *others = isEvent ? kTodoOnly : kEventOnly;
    for (size_t i = 0; i < 2; ++i) {
        if (!sameWord(name, others[i])) continue;
        c.job.report(line, VI_REPORT_LOST,
                     "%.*s: iCalendar has none in an %s (kept as X-VCAL-%.*s)",
                     static_cast<int>(name.size()), name.data(), c.what,
                     static_cast<int>(name.size()), name.data());
        return carry(c.model, c.cal, line, name, {}, l.value, true) ? 0 : VLIB_ERR_NO_MEMORY;
    }
    if (const Mapping *found = mappingOf(l)) {
        const Mapping &m = *found;
        switch (m.kind) {
        case Mapping::Text:
            return textProperty(c, line, m.to, l);
        case Mapping::List:
            return listProperty(c, line, m.to, l);
        case Mapping::Date:
        case Mapping::UtcDate:
            return dateProperty(c, line, m.to, l, m.kind == Mapping::UtcDate, m.from);
        case Mapping::Uri:
            if (!decoded(l, c.scratch)) return VLIB_ERR_NO_MEMORY;
            return c.model.property(line, m.to, {}, view(c.scratch)) ? 0 : VLIB_ERR_NO_MEMORY;
        case Mapping::Number: {
            int64_t n = 0;
            for (char ch : l.value)
                if (ascii::isDigit(ch) && n < 100000000) n = n * 10 + (ch - '0');
            char text[32];
            return c.model.property(line, m.to, {}, decimal(text, n)) ? 0 : VLIB_ERR_NO_MEMORY;
        }
        case Mapping::Lost:
            c.job.report(line, VI_REPORT_LOST,
                         "%.*s: iCalendar counts repetitions from the rule (kept as X-VCAL-%.*s)",
                         static_cast<int>(name.size()), name.data(), static_cast<int>(name.size()),
                         name.data());
            return carry(c.model, c.cal, line, name, {}, l.value) ? 0 : VLIB_ERR_NO_MEMORY;
        }
    }
    if (sameWord(name, "STATUS")) {
        const Word *w = isEvent ? lookup(kEventStatus, l.value) : lookup(kTodoStatus, l.value);
        if (w != nullptr && !c.model.property(line, "STATUS", {}, w->to)) return VLIB_ERR_NO_MEMORY;
        if (w != nullptr && sameSaying(w->from, w->to)) return 0;
        c.job.report(line, VI_REPORT_LOST,
                     "STATUS %.*s is written as %.*s for an %s (kept as X-VCAL-STATUS)",
                     static_cast<int>(l.value.size()), l.value.data(),
                     static_cast<int>(w != nullptr ? w->to.size() : 7),
                     w != nullptr ? w->to.data() : "nothing", c.what);
        return carry(c.model, c.cal, line, "STATUS", {}, l.value) ? 0 : VLIB_ERR_NO_MEMORY;
    }
    if (sameWord(name, "CLASS")) {
        const bool known = sameWord(l.value, "PUBLIC") || sameWord(l.value, "PRIVATE") ||
                           sameWord(l.value, "CONFIDENTIAL");
        if (!known)
            c.job.report(line, VI_REPORT_LOST,
                         "CLASS %.*s is written as an X- class (kept as X-VCAL-CLASS)",
                         static_cast<int>(l.value.size()), l.value.data());
        c.value.length = 0;
        for (char ch : l.value) {
            const char u = ascii::upper(ch);
            if (!put(c.value, std::string_view(&u, 1))) return VLIB_ERR_NO_MEMORY;
        }
        if (!known && !put(c.value, "")) return VLIB_ERR_NO_MEMORY;
        return c.model.property(line, "CLASS", {}, known ? view(c.value) : "X-VERSIT-UNKNOWN") &&
                       (known || carry(c.model, c.cal, line, "CLASS", {}, l.value))
                   ? 0
                   : VLIB_ERR_NO_MEMORY;
    }
    if (sameWord(name, "PRIORITY")) {
        int64_t n = 0;
        for (char ch : l.value)
            if (ascii::isDigit(ch) && n < 1000) n = n * 10 + (ch - '0');
        const bool clipped = n > 9;
        if (clipped) {
            c.job.report(line, VI_REPORT_LOST,
                         "PRIORITY %lld is written as 9 (kept as X-VCAL-PRIORITY)",
                         static_cast<long long>(n));
            n = 9;
        }
        const char text[2] = {static_cast<char>('0' + n), 0};
        return c.model.property(line, "PRIORITY", {}, text) &&
                       (!clipped || carry(c.model, c.cal, line, "PRIORITY", {}, l.value))
                   ? 0
                   : VLIB_ERR_NO_MEMORY;
    }
    if (sameWord(name, "TRANSP")) {
        int64_t n = 0;
        for (char ch : l.value)
            if (ascii::isDigit(ch) && n < 1000) n = n * 10 + (ch - '0');
        if (n > 1)
            c.job.report(line, VI_REPORT_LOST,
                         "TRANSP %lld is written as TRANSPARENT (kept as X-VCAL-TRANSP)",
                         static_cast<long long>(n));
        return c.model.property(line, "TRANSP", {}, n == 0 ? "OPAQUE"sv : "TRANSPARENT"sv) &&
                       (n <= 1 || carry(c.model, c.cal, line, "TRANSP", {}, l.value))
                   ? 0
                   : VLIB_ERR_NO_MEMORY;
    }
    if (sameWord(name, "GEO")) {
        c.value.length = 0;
        for (char ch : l.value) {
            const char o = ch == ',' ? ';' : ch;
            if (!put(c.value, std::string_view(&o, 1))) return VLIB_ERR_NO_MEMORY;
        }
        return c.model.property(line, "GEO", {}, view(c.value)) ? 0 : VLIB_ERR_NO_MEMORY;
    }
    if (sameWord(name, "ATTENDEE")) return attendee(c, line, l);
    if (sameWord(name, "ATTACH")) return attach(c, line, l);
    if (sameWord(name, "RRULE") || sameWord(name, "EXRULE")) return rule(c, line, name, l);
    if (sameWord(name, "EXDATE") || sameWord(name, "RDATE")) return dateList(c, line, name, l);
    const bool extension = name.size() > 2 && sameWord(name.substr(0, 2), "X-");
    if (!extension)
        c.job.report(
            line, VI_REPORT_LOST, "%.*s: iCalendar has no place for it here (kept as X-VCAL-%.*s)",
            static_cast<int>(name.size()), name.data(), static_cast<int>(name.size()), name.data());
    {
        // Extensions keep their parameters, less the encoding now undone;
        // what has no place, the same as X-VCAL-<NAME>.
        if (!decoded(l, c.scratch)) return VLIB_ERR_NO_MEMORY;
        c.params.length = c.value.length = 0;
        bool ok = true;
        forEachParam(l.params, [&](std::string_view n, std::string_view v) {
            if (sameWord(n, "ENCODING") || sameWord(n, "CHARSET") ||
                sameWord(n, "QUOTED-PRINTABLE") || n.empty())
                return;
            ok = ok && put(c.params, ";") && put(c.params, n) &&
                 (v.empty() ? put(c.params, "=") && put(c.params, n) : true) &&
                 (v.empty() || (put(c.params, "=") && put(c.params, v)));
        });
        if (!ok || !appendEscaped(c.value, view(c.scratch))) return VLIB_ERR_NO_MEMORY;
        if (extension)
            return c.model.property(line, name, view(c.params), view(c.value)) ? 0
                                                                               : VLIB_ERR_NO_MEMORY;
        vcal::TextBuffer carrier;
        return put(carrier, kCarrier) && put(carrier, name) &&
                       c.model.property(line, view(carrier), view(c.params), view(c.value))
                   ? 0
                   : VLIB_ERR_NO_MEMORY;
    }
}

// A stable UID for an item without one: the same lines give the same UID.
bool makeUid(const PropertyNode *lines, vcal::TextBuffer &out) {
    uint64_t hash = 14695981039346656037ull;
    for (const PropertyNode *p = lines; p != nullptr; p = p->next) {
        for (const char *s = p->line; *s != '\0'; ++s) {
            hash ^= static_cast<unsigned char>(*s);
            hash *= 1099511628211ull;
        }
        hash ^= '\n';
        hash *= 1099511628211ull;
    }
    // "%016llx@versit", without the cost of a format for every item.
    static constexpr char kHex[] = "0123456789abcdef";
    char text[16];
    for (int i = 15; i >= 0; --i, hash >>= 4)
        text[i] = kHex[hash & 15];
    out.length = 0;
    return put(out, std::string_view(text, sizeof text)) && put(out, "@versit");
}

int32_t convertItem(Context &c, uint16_t type, const PropertyNode *lines, uint64_t begin,
                    bool readerLost, LineFinder &finder) {
    const bool isEvent = type == VCAL_ITEM_EVENT;
    c.what = isEvent ? "event" : "to-do";
    const std::string_view component = isEvent ? "VEVENT"sv : "VTODO"sv;
    const size_t beginEntry = c.model.entries.size();
    if (!c.model.begin(component, begin)) return VLIB_ERR_NO_MEMORY;
    // The start first: rules and alarms are read from it.
    c.hasStart = false;
    bool hasUid = false;
    size_t stamp = 0; // in c.lines
    int stampRank = 0;
    c.lines.clear();
    for (const PropertyNode *p = lines; p != nullptr; p = p->next) {
        if (!c.lines.emplace()) return VLIB_ERR_NO_MEMORY;
        Line10 &l = c.lines[c.lines.size() - 1];
        splitInto(p->line, l);
        l.id = p->propertyId;
        const bool start = named(l, VCAL_PROP_DTSTART, "DTSTART");
        if (named(l, VCAL_PROP_UID, "UID") && !l.value.empty()) hasUid = true;
        // DTSTAMP, which iCalendar requires, from the latest stamp the item has.
        const int rank =
            named(l, VCAL_PROP_LAST_MODIFIED, "LAST-MODIFIED") ? 3
            : named(l, VCAL_PROP_DCREATED, "DCREATED")         ? 2
            : start || named(l, VCAL_PROP_DUE, "DUE") || named(l, VCAL_PROP_COMPLETED, "COMPLETED")
                ? 1
                : 0;
        if (rank > 0) {
            l.dated = parseDateTime(l.value, l.when) ? Line10::Dated::Yes : Line10::Dated::No;
            if (start) {
                c.hasStart = l.dated == Line10::Dated::Yes;
                if (c.hasStart) c.start = l.when;
            }
        }
        if (rank > stampRank && l.dated == Line10::Dated::Yes) {
            stamp = c.lines.size() - 1;
            stampRank = rank;
        }
    }
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t i = 0; i < c.lines.size(); ++i) {
            const Line10 &l = c.lines[i];
            const bool isAlarm = l.name.size() == 6 && sameWord(l.name.substr(1), "ALARM");
            if (isAlarm != (pass == 1)) continue;
            const uint64_t line = finder.find(l.name, begin);
            const int32_t rc = isAlarm ? alarm(c, line, l.name, l) : property(c, line, l, isEvent);
            if (rc != 0) return rc;
            // The model has the property: a long value's scratch texts go.
            for (vcal::TextBuffer *scratch : {&c.value, &c.params, &c.scratch})
                scratch->dropIfLong();
        }
        if (pass == 0) {
            if (!hasUid) {
                if (!makeUid(lines, c.scratch) ||
                    !c.model.property(begin, "UID", {}, view(c.scratch)))
                    return VLIB_ERR_NO_MEMORY;
            }
            int32_t rc = 0;
            if (stampRank > 0)
                rc = dateProperty(c, begin, "DTSTAMP", c.lines[stamp], true);
            else if (!c.model.property(begin, "DTSTAMP", {}, "19910101T000000Z"))
                rc = VLIB_ERR_NO_MEMORY;
            if (rc != 0) return rc;
        }
    }
    if (!c.model.end(component, begin) || finder.outOfMemory()) return VLIB_ERR_NO_MEMORY;
    // What the reader left out of the item counts as well as what the
    // conversion does.
    c.model.entries[beginEntry].lossy = c.job.report.lossy() || readerLost;
    return 0;
}

// TZ and DAYLIGHT lines of the calendar into its zone and a VTIMEZONE.
int32_t zoneOf(Job &job, CalModel &model, const PropertyNode *lines, Calendar10 &cal) {
    cal.zone.clear();
    cal.hasZone = false;
    cal.tzid.length = 0;
    int32_t standard = 0;
    uint64_t tzLine = 0;
    for (const PropertyNode *p = lines; p != nullptr; p = p->next) {
        const Line10 l = split(p->line);
        if (sameWord(l.name, "TZ") && parseOffset(l.value, standard)) cal.hasZone = true;
    }
    if (!cal.hasZone) return 0;
    (void)job;
    cal.zone.base = standard;
    // DAYLIGHT:TRUE;offset;start;end;standard name;daylight name
    struct Period {
        int64_t start, end;
        int32_t offset;
    };
    Array<Period> periods;
    std::string_view names[2];
    int32_t daylight = standard;
    for (const PropertyNode *p = lines; p != nullptr; p = p->next) {
        const Line10 l = split(p->line);
        if (!sameWord(l.name, "DAYLIGHT")) continue;
        std::string_view parts[6];
        size_t n = 0;
        forEachEscapedPiece(l.value, ';', [&](std::string_view s) {
            if (n < 6) parts[n++] = s;
            return true;
        });
        if (!sameWord(parts[0], "TRUE")) continue;
        DateTime from, to;
        int32_t offset = 0;
        if (n < 4 || !parseOffset(parts[1], offset) || !parseDateTime(parts[2], from) ||
            !parseDateTime(parts[3], to))
            continue;
        daylight = offset;
        // Onsets are local times in the offset before them.
        const int64_t s = toSeconds(from) + (from.utc ? standard : 0);
        const int64_t e = toSeconds(to) + (to.utc ? offset : 0);
        if (!periods.push({s, e, offset}) || !cal.zone.onsets.push({s, offset}) ||
            !cal.zone.onsets.push({e, standard}))
            return VLIB_ERR_NO_MEMORY;
        if (n >= 6) {
            names[0] = parts[4];
            names[1] = parts[5];
        }
    }
    (void)tzLine;
    if (!put(cal.tzid, "versit-") || !appendOffset(cal.tzid, standard, false) ||
        (periods.size() > 0 && (!put(cal.tzid, "/") || !appendOffset(cal.tzid, daylight, false))))
        return VLIB_ERR_NO_MEMORY;
    vcal::TextBuffer v;
    auto offsetProp = [&](std::string_view name, int32_t seconds) {
        v.length = 0;
        return appendOffset(v, seconds, false) && model.property(0, name, {}, view(v));
    };
    auto dateProp = [&](std::string_view name, int64_t local) {
        v.length = 0;
        return appendBasic(v, fromSeconds(local, false)) && model.property(0, name, {}, view(v));
    };
    // Each period keeps its own offsets: a calendar's DAYLIGHT lines may
    // give other summer offsets in other years.
    bool ok = model.begin("VTIMEZONE", 0) && model.property(0, "TZID", {}, view(cal.tzid)) &&
              model.begin("STANDARD", 0) && dateProp("DTSTART", 0) &&
              offsetProp("TZOFFSETFROM", standard) && offsetProp("TZOFFSETTO", standard) &&
              (names[0].empty() || model.property(0, "TZNAME", {}, names[0])) &&
              model.end("STANDARD", 0);
    for (size_t i = 0; ok && i < periods.size(); ++i) {
        ok = model.begin("DAYLIGHT", 0) && dateProp("DTSTART", periods[i].start) &&
             offsetProp("TZOFFSETFROM", standard) && offsetProp("TZOFFSETTO", periods[i].offset) &&
             (names[1].empty() || model.property(0, "TZNAME", {}, names[1])) &&
             model.end("DAYLIGHT", 0) && model.begin("STANDARD", 0) &&
             dateProp("DTSTART", periods[i].end) && offsetProp("TZOFFSETFROM", periods[i].offset) &&
             offsetProp("TZOFFSETTO", standard) &&
             (names[0].empty() || model.property(0, "TZNAME", {}, names[0])) &&
             model.end("STANDARD", 0);
    }
    ok = ok && model.end("VTIMEZONE", 0);
    return ok ? 0 : VLIB_ERR_NO_MEMORY;
}

struct ReaderGuard {
    VI_TolerantReader *reader = nullptr;
    ~ReaderGuard() { VI_tolerantReaderDestroy(&reader); }
};

// A calendar's zones as the reading ahead found them used, kept for the
// reading that writes it (the zone names in a text of their own).
struct KeptUse {
    size_t idAt[2];
    size_t idLength[2];
    size_t idCount;
    uint64_t otherLine, floatingLine;
    int32_t fromYear, toYear;
    bool floating;
};

// The calendars as the tolerant reader hands them on: each item converted,
// written and forgotten as it comes. vCalendar writes a calendar's zone
// before its first item, for the years all its items span: for it the
// items are handed on twice, and the first time converted only for that.
class Items10 final : public CalendarItems {
  public:
    Items10(Job &job, CalModel &model, CalendarWriter write, const VI_TolerantReader &r)
        : job_(job), model_(model), write_(write), finder_(r), aheadFinder_(r) {}
    Items10(const Items10 &) = delete;
    Items10 &operator=(const Items10 &) = delete;
    // The model outlives the head it was given.
    ~Items10() { model_.vcal10.head = nullptr; }

    int passes() const override { return job_.to == VI_FORMAT_VCAL10 ? 2 : 1; }

    int32_t begin(uint64_t calendars) override {
        if (pass_++ == 0) {
            job_.out.expectItems(calendars);
            return 0;
        }
        // The reading ahead is over.
        const bool kept = !open_ || keepUse();
        open_ = false;
        calendar_ = 0;
        return kept ? 0 : VLIB_ERR_NO_MEMORY;
    }

    int32_t calendar(const VCalendarNode &calendar) override {
        if (ahead()) {
            if (open_ && !keepUse()) return VLIB_ERR_NO_MEMORY;
            open_ = true;
            model_.clear();
            use_.clear();
            return startCalendar(quiet_, calendar);
        }
        int32_t rc = finishCalendar();
        if (rc != 0) return rc;
        open_ = true;
        model_.clear();
        if (passes() == 2) {
            if (!aheadOf(calendar)) return VLIB_ERR_NO_MEMORY;
            model_.vcal10.head = &head_;
        }
        return startCalendar(job_, calendar);
    }

    // The items straight from the reader: conversion needs their lines,
    // not the client's form of them, whose extraction (recurrences
    // expanded, times fitted to the client's range) would cost more than
    // the conversion and report losses the conversion does not make.
    int32_t item(uint16_t type, const PropertyNode *lines, const ItemOrigin *origin) override {
        const uint64_t begin = origin != nullptr ? origin->line : 0;
        const bool lost = origin != nullptr && origin->lossy;
        if (ahead()) {
            // Converted for what its times say of zones, then forgotten.
            // Of its lines only those the zone's reports may name are
            // looked for, while the item is still where they can be found.
            const CalModel::Mark mark = model_.mark();
            aheadFinder_.item(origin);
            int32_t rc = convertItem(aheadContext_, type, lines, begin, lost, aheadFinder_);
            if (rc == 0 && !zoneUse(model_, use_, mark.entries, 1)) rc = VLIB_ERR_NO_MEMORY;
            for (uint64_t *line : {&use_.otherLine, &use_.floatingLine}) {
                const uint64_t n = Reporter::deferredIndex(*line);
                if (n != Reporter::kNotDeferred)
                    *line = DeferredLines::resolve(static_cast<DeferredLines *>(&aheadFinder_), n);
            }
            model_.rollback(mark);
            return rc;
        }
        job_.report.startItem();
        ++job_.counts.read;
        finder_.item(origin);
        const int32_t rc = convertItem(context_, type, lines, begin, lost, finder_);
        if (rc != 0) return rc;
        const int32_t wrote = write_(job_, model_, false);
        if (wrote == 0) model_.forgetWritten();
        return wrote;
    }

    // The calendar read last, written to its end.
    int32_t finishCalendar() {
        if (!open_ || ahead()) return 0;
        open_ = false;
        if (!model_.end("VCALENDAR", 0)) return VLIB_ERR_NO_MEMORY;
        return write_(job_, model_, true);
    }

  private:
    bool ahead() const { return pass_ == 1 && passes() == 2; }

    // The calendar's own lines into the model, and its zone.
    int32_t startCalendar(Job &job, const VCalendarNode &calendar) {
        if (!model_.begin("VCALENDAR", 0) || !model_.property(0, "VERSION", {}, "2.0") ||
            !model_.property(0, "PRODID", {}, kProduct) ||
            !model_.property(0, "CALSCALE", {}, "GREGORIAN"))
            return VLIB_ERR_NO_MEMORY;
        for (const PropertyNode *p = calendar.properties; p != nullptr; p = p->next) {
            const Line10 l = split(p->line);
            if (l.name.size() > 2 && sameWord(l.name.substr(0, 2), "X-")) {
                if (!model_.property(0, l.name, {}, l.value)) return VLIB_ERR_NO_MEMORY;
            } else if (sameWord(l.name, "GEO")) {
                job.report(0, VI_REPORT_LOST,
                           "the calendar's GEO: iCalendar places only events and to-dos (kept "
                           "as X-VCAL-GEO)");
                if (!carry(model_, cal_, 0, "GEO", {}, l.value)) return VLIB_ERR_NO_MEMORY;
            }
        }
        return zoneOf(job, model_, calendar.properties, cal_) != 0 ? VLIB_ERR_NO_MEMORY : 0;
    }

    bool keepUse() {
        KeptUse k{};
        for (size_t i = 0; i < 2; ++i) {
            k.idAt[i] = keptIds_.length;
            k.idLength[i] = use_.ids[i].length;
            if (use_.ids[i].length > 0 && !keptIds_.append(use_.id(i))) return false;
        }
        k.idCount = use_.idCount;
        k.otherLine = use_.otherLine;
        k.floatingLine = use_.floatingLine;
        k.fromYear = use_.fromYear;
        k.toYear = use_.toYear;
        k.floating = use_.floating;
        return kept_.push(k);
    }

    // What vCalendar writes first for the calendar: its zone, as the
    // model gets it, and the use the reading ahead found.
    bool aheadOf(const VCalendarNode &calendar) {
        head_.zones.clear();
        head_.use.clear();
        if (calendar_ < kept_.size()) {
            const KeptUse &k = kept_[calendar_];
            for (size_t i = 0; i < 2; ++i) {
                if (k.idLength[i] > 0 && !head_.use.ids[i].append(std::string_view(
                                             keptIds_.text + k.idAt[i], k.idLength[i])))
                    return false;
            }
            head_.use.idCount = k.idCount;
            head_.use.otherLine = k.otherLine;
            head_.use.floatingLine = k.floatingLine;
            head_.use.fromYear = k.fromYear;
            head_.use.toYear = k.toYear;
            head_.use.floating = k.floating;
        }
        ++calendar_;
        Calendar10 cal;
        return head_.zones.begin("VCALENDAR", 0) &&
               zoneOf(quiet_, head_.zones, calendar.properties, cal) == 0 &&
               head_.table.read(head_.zones);
    }

    Job &job_;
    CalModel &model_;
    CalendarWriter write_;
    Calendar10 cal_;
    Context context_{job_, model_, cal_, {}, {}, {}, {}, false, "event", {}};
    LineFinder finder_;
    ResolvingLines resolving_{job_.report, DeferredLines::resolve,
                              static_cast<DeferredLines *>(&finder_)};
    bool open_ = false;
    int pass_ = 0; // begun

    // The reading ahead: reports go nowhere, nothing is counted.
    Reporter silent_{nullptr, nullptr};
    VI_ConvertCounts uncounted_{};
    Job quiet_{job_.text, job_.length, job_.from, job_.to, job_.out, silent_, uncounted_};
    Context aheadContext_{quiet_, model_, cal_, {}, {}, {}, {}, false, "event", {}};
    LineFinder aheadFinder_;
    ZoneUse use_;
    Array<KeptUse> kept_;
    vcal::TextBuffer keptIds_;
    size_t calendar_ = 0; // the next calendar's in kept_
    Head10 head_;
};

} // namespace

int32_t readCalendars10(Job &job, CalModel &model, CalendarWriter write) {
    ReaderGuard guard;
    int32_t rc = VI_tolerantReaderCreate(&guard.reader, job.text, job.length, Reporter::forward,
                                         &job.report);
    if (rc != 0) return VLIB_ERR_NO_MEMORY;
    VI_TolerantReader &r = *guard.reader;
    Items10 items(job, model, write, r);
    rc = readCalendarsByItem(r, items);
    if (rc == 0) rc = items.finishCalendar();
    VI_ReadCounts counts{};
    VI_tolerantReaderCounts(&r, &counts);
    job.counts.skipped += counts.skipped;
    job.counts.junkLines += counts.junkLines;
    return rc == VCAL_ERR_NO_MEMORY ? VLIB_ERR_NO_MEMORY : rc;
}

} // namespace interop::convert
