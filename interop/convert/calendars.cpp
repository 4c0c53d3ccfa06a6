// Calendars from vCalendar 1.0 or iCalendar 2.0 to either, or to jCal:
// each calendar read into a CalModel, then written.
#include <cstring>
#include <iterator>

#include "interop/convert/calModel.h"
#include "interop/convert/contentLine.h"
#include "interop/convert/json.h"
#include "interop/convert/rrule.h"
#include "interop/recover/lines.h"
#include "platform/ascii.h"

namespace interop::convert {

using namespace std::string_view_literals;

namespace {

bool put(vcal::TextBuffer &out, std::string_view piece) { return out.append(piece); }

bool isItem(std::string_view name) { return sameWord(name, "VEVENT") || sameWord(name, "VTODO"); }

} // namespace

bool CalModel::keep(std::string_view text, CalSpan &span) {
    span.at = arena_.length;
    span.length = text.size();
    return text.empty() || arena_.append(&text, 1);
}

bool CalModel::begin(std::string_view name, uint64_t line, bool lossy) {
    CalEntry e{CalEntry::Begin, lossy, false, line, {}, {}, {}};
    return keep(name, e.name) && entries.push(e);
}

bool CalModel::end(std::string_view name, uint64_t line) {
    CalEntry e{CalEntry::End, false, false, line, {}, {}, {}};
    return keep(name, e.name) && entries.push(e);
}

bool CalModel::property(uint64_t line, std::string_view name, std::string_view params,
                        std::string_view value) {
    CalEntry e{CalEntry::Property, false, false, line, {}, {}, {}};
    return keep(name, e.name) && keep(params, e.params) && keep(value, e.value) && entries.push(e);
}

bool findParam(std::string_view params, std::string_view name, std::string_view &value) {
    bool found = false;
    forEachParam(params, [&](std::string_view n, std::string_view v) {
        if (!found && sameWord(n, name)) {
            found = true;
            value = v;
        }
    });
    return found;
}

void countWritten(Job &job, bool lossy) {
    ++job.counts.written;
    if (lossy) ++job.counts.lossy;
}

bool yearlyOf(const Rule &rule, const DateTime &start, int32_t offset, Zone::Yearly &out) {
    if (rule.freq != Rule::Yearly || rule.interval != 1 || rule.monthCount > 1 ||
        rule.yearDayCount > 0 || !rule.otherPart.empty())
        return false;
    Zone::Yearly y{
        start.year, 0,         rule.monthCount == 1 ? rule.byMonth[0] : start.month, 0,
        0,          start.day, start.hour * 3600 + start.minute * 60 + start.second, offset};
    if (rule.hasUntil) y.lastYear = rule.until.year;
    if (rule.count > 0 && (y.lastYear == 0 || start.year + rule.count - 1 < y.lastYear))
        y.lastYear = start.year + rule.count - 1;
    if (rule.dayCount == 1 && rule.monthDayCount == 0) {
        if (rule.byDay[0].ordinal == 0) return false; // every such weekday
        y.week = rule.byDay[0].ordinal;
        y.weekday = rule.byDay[0].weekday;
    } else if (rule.dayCount == 1 && rule.monthDayCount == 7 && rule.byDay[0].ordinal == 0) {
        // The weekday of seven days in a row (BYMONTHDAY=8,...,14;BYDAY=SU,
        // as some writers say "the second Sunday"): the nth of the month.
        const int16_t first = rule.byMonthDay[0];
        for (int i = 1; i < 7; ++i)
            if (rule.byMonthDay[i] != first + i) return false;
        if (first == -7)
            y.week = -1;
        else if (first > 0 && (first - 1) % 7 == 0 && first <= 22)
            y.week = (first - 1) / 7 + 1;
        else
            return false;
        y.weekday = rule.byDay[0].weekday;
    } else if (rule.dayCount == 0 && rule.monthDayCount == 1) {
        y.day = rule.byMonthDay[0];
    } else if (rule.dayCount != 0 || rule.monthDayCount != 0) {
        return false;
    }
    out = y;
    return true;
}

bool ZoneTable::read(const CalModel &model) {
    clear();
    from = &model;
    const Array<CalEntry> &e = model.entries;
    for (size_t i = 0; i < e.size(); ++i) {
        if (e[i].kind != CalEntry::Begin || !sameWord(model.text(e[i].name), "VTIMEZONE")) continue;
        if (count == kMax) break;
        Zone &zone = zones[count];
        zone.clear();
        bool haveId = false;
        bool haveBase = false;
        int64_t earliest = 0;
        // Observances: their onsets, and the offset before the earliest.
        for (++i; i < e.size() &&
                  !(e[i].kind == CalEntry::End && sameWord(model.text(e[i].name), "VTIMEZONE"));
             ++i) {
            if (e[i].kind == CalEntry::Property && sameWord(model.text(e[i].name), "TZID")) {
                ids[count] = e[i].value;
                haveId = true;
                continue;
            }
            if (e[i].kind != CalEntry::Begin) continue;
            int32_t from = 0, to = 0;
            DateTime start;
            bool haveStart = false;
            Rule rule;
            bool haveRule = false;
            size_t firstDate = i;
            for (++i; i < e.size() && e[i].kind == CalEntry::Property; ++i) {
                const std::string_view n = model.text(e[i].name), v = model.text(e[i].value);
                const char *why = nullptr;
                if (sameWord(n, "TZOFFSETFROM"))
                    parseOffset(v, from);
                else if (sameWord(n, "TZOFFSETTO"))
                    parseOffset(v, to);
                else if (sameWord(n, "DTSTART"))
                    haveStart = parseDateTime(v, start);
                else if (sameWord(n, "RRULE"))
                    haveRule = parseRule5545(v, rule, &why);
            }
            if (!haveStart) continue;
            const int64_t onset = toSeconds(start);
            if (!haveBase || onset < earliest) {
                haveBase = true;
                earliest = onset;
                zone.base = from;
            }
            if (!zone.onsets.push({onset, to})) return false;
            for (size_t j = firstDate + 1; j < i; ++j) {
                if (!sameWord(model.text(e[j].name), "RDATE")) continue;
                bool ok = true;
                forEachEscapedPiece(model.text(e[j].value), ',', [&](std::string_view d) {
                    DateTime t;
                    if (parseDateTime(d, t)) ok = zone.onsets.push({toSeconds(t), to});
                    return ok;
                });
                if (!ok) return false;
            }
            Zone::Yearly y{};
            if (haveRule && yearlyOf(rule, start, to, y) && !zone.yearly.push(y)) return false;
            --i; // the observance's END is looked at by the loop
        }
        if (haveId) ++count;
    }
    return true;
}

const Zone *ZoneTable::find(std::string_view id) const {
    for (size_t i = 0; i < count; ++i)
        if (from->text(ids[i]) == id) return &zones[i];
    return nullptr;
}

// ---------------------------------------------------------------------------
// iCalendar in.

namespace {

// The number of calendars readCalendars20 finds in the text (every one it
// begins is written), by the same reading of its lines; -1 when memory
// ran out.
int64_t countCalendars20(const Job &job) {
    ContentReader reader(job.text, job.length);
    ContentLine line;
    int64_t depth = 0, count = 0;
    for (;;) {
        const ContentReader::Step step = reader.next(line);
        if (step == ContentReader::Step::End) return count;
        if (step == ContentReader::Step::NoMemory) return -1;
        if (step == ContentReader::Step::Malformed) continue;
        if (sameWord(line.name, "BEGIN")) {
            if (depth > 0 || sameWord(line.value, "VCALENDAR")) {
                if (depth == 0) ++count;
                ++depth;
            }
        } else if (depth > 0 && sameWord(line.name, "END")) {
            --depth;
        }
    }
}

} // namespace

bool addProperty(CalModel &model, const ContentLine &line, vcal::TextBuffer &params) {
    params.length = 0;
    for (size_t i = 0; i < line.parameters.size(); ++i) {
        const Parameter &p = line.parameters[i];
        const std::string_view pieces[4] = {";", p.name, p.name.empty() ? ""sv : "="sv, p.value};
        if (!params.append(pieces, 4)) return false;
    }
    return model.property(line.number, line.name, std::string_view(params.text, params.length),
                          line.value);
}

int32_t readCalendars20(Job &job, CalModel &model, CalendarWriter write) {
    // vCalendar's first lines depend on every time of the calendar: they
    // are read ahead of each calendar, which then goes out as it is read.
    Head10 head;
    struct Forget {
        CalModel &model;
        ~Forget() { model.vcal10.head = nullptr; } // the head is ours
    } forget{model};
    if (job.to == VI_FORMAT_JCAL) {
        // Knowing how many calendars there are spares holding the first
        // back until the second shows whether they make an array: the
        // lines are read twice, but no calendar is held whole.
        const int64_t calendars = countCalendars20(job);
        if (calendars < 0) return VLIB_ERR_NO_MEMORY;
        job.out.expectItems(static_cast<uint64_t>(calendars));
    }
    ContentReader reader(job.text, job.length);
    ContentLine line;
    vcal::TextBuffer params;
    int depth = 0;
    bool inItem = false;
    for (;;) {
        const ContentReader::Step step = reader.next(line);
        if (step == ContentReader::Step::End) break;
        if (step == ContentReader::Step::NoMemory) return VLIB_ERR_NO_MEMORY;
        if (step == ContentReader::Step::Malformed) {
            if (depth == 0) {
                if (!isBlankLine(line.name)) ++job.counts.junkLines;
            } else {
                job.report(line.number, VI_REPORT_LOST, "left out a line that is no property");
                if (inItem && model.entries.size() > 0) {
                    for (size_t i = model.entries.size(); i-- > 0;) {
                        CalEntry &e = model.entries[i];
                        if (e.kind == CalEntry::Begin && isItem(model.text(e.name))) {
                            e.lossy = true;
                            break;
                        }
                    }
                }
            }
            continue;
        }
        const bool isBegin = sameWord(line.name, "BEGIN"), isEnd = sameWord(line.name, "END");
        if (depth == 0) {
            if (isBegin && sameWord(line.value, "VCALENDAR")) {
                model.clear();
                if (job.to == VI_FORMAT_VCAL10) {
                    if (readHead10(job, line.start, line.number, head) != 0)
                        return VLIB_ERR_NO_MEMORY;
                    model.vcal10.head = &head;
                }
                if (!model.begin("VCALENDAR", line.number)) return VLIB_ERR_NO_MEMORY;
                depth = 1;
            } else {
                ++job.counts.junkLines;
            }
            continue;
        }
        if (isBegin) {
            // The writers count every item they write, nested or not.
            if (isItem(line.value)) {
                if (depth == 1) inItem = true;
                ++job.counts.read;
            }
            if (!model.begin(line.value, line.number)) return VLIB_ERR_NO_MEMORY;
            ++depth;
            continue;
        }
        if (isEnd) {
            if (!model.end(line.value, line.number)) return VLIB_ERR_NO_MEMORY;
            if (--depth == 1) inItem = false;
            // Each component of the calendar goes out when it ends; the
            // calendar when it ends.
            if (depth <= 1) {
                const int32_t rc = write(job, model, depth == 0);
                if (rc != 0) return rc;
                if (depth == 1) model.forgetWritten();
            }
            continue;
        }
        if (!addProperty(model, line, params)) return VLIB_ERR_NO_MEMORY;
    }
    if (depth > 0) {
        // A calendar the text ends inside keeps what it has.
        job.report(0, VI_REPORT_REPAIRED, "the text ends inside a calendar: closed it");
        while (depth > 0) {
            if (!model.end(depth == 1 ? "VCALENDAR"sv : "X-UNCLOSED"sv, 0))
                return VLIB_ERR_NO_MEMORY;
            --depth;
        }
        return write(job, model, true);
    }
    return 0;
}

// ---------------------------------------------------------------------------
// iCalendar out: the model as it stands. Every line stands alone: nothing
// waits for the calendar's end.

int32_t writeCalendar20(Job &job, CalModel &model, bool /*last*/) {
    vcal::TextBuffer &out = model.outText;
    out.length = 0;
    for (size_t i = model.written; i < model.entries.size(); ++i) {
        const CalEntry &e = model.entries[i];
        const size_t start = out.length;
        bool ok = true;
        if (e.kind == CalEntry::Property) {
            const std::string_view pieces[4] = {model.text(e.name), model.text(e.params), ":",
                                                model.text(e.value)};
            ok = out.append(pieces, 4);
        } else {
            const std::string_view pieces[2] = {e.kind == CalEntry::Begin ? "BEGIN:"sv : "END:"sv,
                                                model.text(e.name)};
            ok = out.append(pieces, 2);
        }
        if (!ok || !foldFrom(out, start, model.foldSteps)) return VLIB_ERR_NO_MEMORY;
        if (e.kind == CalEntry::Begin && isItem(model.text(e.name))) countWritten(job, e.lossy);
        if (!job.out.drain(out)) return job.putFailure();
    }
    model.written = model.entries.size();
    return job.out.drain(out, true) ? 0 : job.putFailure();
}

// ---------------------------------------------------------------------------
// jCal out (RFC 7265).

namespace {

// A value type: its name, and its name as jCal writes it (a JSON string in
// lower case), ready to be appended; `form` says how its values are
// written.
struct ValueType {
    enum Form : uint8_t { String, Text, Date, Offset, Number, Recur };
    std::string_view name, json;
    Form form;
};
constexpr ValueType kBinary{"BINARY", "\"binary\"", ValueType::String},
    kBoolean{"BOOLEAN", "\"boolean\"", ValueType::String},
    kCalAddress{"CAL-ADDRESS", "\"cal-address\"", ValueType::String},
    kDate{"DATE", "\"date\"", ValueType::Date},
    kDateTime{"DATE-TIME", "\"date-time\"", ValueType::Date},
    kDuration{"DURATION", "\"duration\"", ValueType::String},
    kFloat{"FLOAT", "\"float\"", ValueType::Number},
    kInteger{"INTEGER", "\"integer\"", ValueType::Number},
    kPeriod{"PERIOD", "\"period\"", ValueType::String},
    kRecur{"RECUR", "\"recur\"", ValueType::Recur}, kText{"TEXT", "\"text\"", ValueType::Text},
    kTime{"TIME", "\"time\"", ValueType::String}, kUri{"URI", "\"uri\"", ValueType::String},
    kUtcOffset{"UTC-OFFSET", "\"utc-offset\"", ValueType::Offset},
    kUnknown{"unknown", "\"unknown\"", ValueType::String};

// The properties jCal writes most, with their default value type and how
// their value is laid out. Looked up for every property written: the
// table is kept in buckets by the name's first letter, so a name is
// compared with at most a few, and the name's JSON form comes with it.
struct Known {
    enum Shape : uint8_t { Single, List, Geo };
    std::string_view name;
    const ValueType *type;
    Shape shape;
};
constexpr Known kKnown[] = {
    {"ACTION", &kText, Known::Single},
    {"ATTENDEE", &kCalAddress, Known::Single},
    {"ATTACH", &kUri, Known::Single},
    {"CATEGORIES", &kText, Known::List},
    {"CLASS", &kText, Known::Single},
    {"COMPLETED", &kDateTime, Known::Single},
    {"CREATED", &kDateTime, Known::Single},
    {"DESCRIPTION", &kText, Known::Single},
    {"DTSTART", &kDateTime, Known::Single},
    {"DTEND", &kDateTime, Known::Single},
    {"DUE", &kDateTime, Known::Single},
    {"DTSTAMP", &kDateTime, Known::Single},
    {"DURATION", &kDuration, Known::Single},
    {"EXDATE", &kDateTime, Known::List},
    {"EXRULE", &kRecur, Known::Single},
    {"GEO", &kFloat, Known::Geo},
    {"LAST-MODIFIED", &kDateTime, Known::Single},
    {"LOCATION", &kText, Known::Single},
    {"ORGANIZER", &kCalAddress, Known::Single},
    {"PRIORITY", &kInteger, Known::Single},
    {"PERCENT-COMPLETE", &kInteger, Known::Single},
    {"PRODID", &kText, Known::Single},
    {"RECURRENCE-ID", &kDateTime, Known::Single},
    {"RDATE", &kDateTime, Known::List},
    {"RRULE", &kRecur, Known::Single},
    {"REPEAT", &kInteger, Known::Single},
    {"RESOURCES", &kText, Known::List},
    {"SEQUENCE", &kInteger, Known::Single},
    {"STATUS", &kText, Known::Single},
    {"SUMMARY", &kText, Known::Single},
    {"TRIGGER", &kDuration, Known::Single},
    {"TRANSP", &kText, Known::Single},
    {"TZID", &kText, Known::Single},
    {"TZOFFSETFROM", &kUtcOffset, Known::Single},
    {"TZOFFSETTO", &kUtcOffset, Known::Single},
    {"TZURL", &kUri, Known::Single},
    {"UID", &kText, Known::Single},
    {"URL", &kUri, Known::Single},
    {"VERSION", &kText, Known::Single},
};
constexpr size_t kKnownCount = std::size(kKnown);

struct KnownIndex {
    uint8_t first[27] = {};          // kKnown's names of letter c: [first[c], first[c + 1])
    char json[kKnownCount][20] = {}; // each name lower-cased in quotes
    constexpr KnownIndex() {
        for (size_t c = 0, i = 0; c <= 26; ++c) {
            while (i < kKnownCount && static_cast<size_t>(kKnown[i].name[0] - 'A') < c)
                ++i;
            first[c] = static_cast<uint8_t>(i);
        }
        for (size_t i = 0; i < kKnownCount; ++i) {
            const std::string_view n = kKnown[i].name;
            json[i][0] = '"';
            for (size_t k = 0; k < n.size(); ++k)
                json[i][k + 1] = static_cast<char>(ascii::lower(static_cast<unsigned char>(n[k])));
            json[i][n.size() + 1] = '"';
        }
    }
    std::string_view jsonName(size_t i) const {
        return std::string_view(json[i], kKnown[i].name.size() + 2);
    }
};
constexpr KnownIndex kIndex;
constexpr bool inOrder() {
    for (size_t i = 0; i < kKnownCount; ++i) {
        if (i > 0 && kKnown[i].name[0] < kKnown[i - 1].name[0]) return false;
        if (kKnown[i].name.size() + 2 > sizeof kIndex.json[i]) return false;
    }
    return true;
}
static_assert(inOrder(), "kKnown is kept in order of first letter, each name short");

// kKnown's index of a property name, or kKnownCount.
size_t knownName(std::string_view name) {
    if (name.empty()) return kKnownCount;
    const auto letter = static_cast<size_t>(ascii::upper(name[0]) - 'A');
    if (letter >= 26) return kKnownCount;
    for (size_t i = kIndex.first[letter]; i < kIndex.first[letter + 1]; ++i)
        if (kKnown[i].name.size() == name.size() && sameWord(name, kKnown[i].name)) return i;
    return kKnownCount;
}

// The value type of a property, by its VALUE parameter, else by its name.
const ValueType &valueType(std::string_view name, size_t known, std::string_view params) {
    std::string_view v;
    if (!params.empty() && findParam(params, "VALUE", v)) {
        static constexpr const ValueType *kTypes[] = {
            &kBinary,  &kBoolean, &kCalAddress, &kDate, &kDateTime, &kDuration, &kFloat,
            &kInteger, &kPeriod,  &kRecur,      &kText, &kTime,     &kUri,      &kUtcOffset};
        for (const ValueType *t : kTypes)
            if (sameWord(v, t->name)) return *t;
        return kUnknown;
    }
    if (known < kKnownCount) return *kKnown[known].type;
    if (name.size() > 2 && sameWord(name.substr(0, 2), "X-")) return kUnknown;
    return kText;
}

bool jsonText(vcal::TextBuffer &out, vcal::TextBuffer &scratch, std::string_view escaped) {
    // Text without a backslash is its own unescaped form.
    if (escaped.find('\\') == std::string_view::npos) return appendJsonString(out, escaped);
    scratch.length = 0;
    return appendUnescaped(scratch, escaped) &&
           appendJsonString(out, std::string_view(scratch.text, scratch.length));
}

// A date or date-time in the basic form the readers write ("20240102",
// "20240102T090000", with or without "Z") as a JSON string in the
// extended form, straight from its digits: what parseDateTime and
// appendExtended make of it, without the round trip. *done is false, with
// nothing written, for any other text; false when memory ran out.
bool appendExtendedQuoted(vcal::TextBuffer &out, std::string_view v, bool *done) {
    *done = false;
    const size_t n = v.size();
    if ((n != 8 && n != 15 && n != 16) || (n > 8 && v[8] != 'T') || (n == 16 && v[15] != 'Z'))
        return true;
    unsigned bad = 0;
    auto two = [&](size_t at) {
        const unsigned high = static_cast<unsigned char>(v[at]) - '0',
                       low = static_cast<unsigned char>(v[at + 1]) - '0';
        bad |= (high > 9 ? 1u : 0u) | (low > 9 ? 1u : 0u);
        return static_cast<int32_t>(high * 10 + low);
    };
    const int32_t year = two(0) * 100 + two(2), month = two(4), day = two(6);
    if (n > 8 && (two(9) > 23 || two(11) > 59 || two(13) > 60)) return true;
    if (bad != 0 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month))
        return true;
    *done = true;
    // The digits keep their places; only the separators are new.
    static constexpr char kForm[] = "\"0000-00-00T00:00:00Z\"";
    static constexpr uint8_t kFrom[14] = {0, 1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 12, 13, 14},
                             kTo[14] = {1, 2, 3, 4, 6, 7, 9, 10, 12, 13, 15, 16, 18, 19};
    if (!out.reserve(sizeof kForm)) return false;
    char *text = out.end();
    std::memcpy(text, kForm, sizeof kForm - 1);
    const size_t digits = n > 8 ? 14 : 8;
    for (size_t k = 0; k < digits; ++k)
        text[kTo[k]] = v[kFrom[k]];
    const size_t length = n == 8 ? 12 : n == 15 ? 21 : 22;
    text[length - 1] = '"';
    out.close(text + length);
    return true;
}

// One value of the given type.
bool jsonValue(vcal::TextBuffer &out, vcal::TextBuffer &scratch, const ValueType &type,
               std::string_view value) {
    switch (type.form) {
    case ValueType::Date: {
        bool done = false;
        if (!appendExtendedQuoted(out, value, &done)) return false;
        if (done) return true;
        DateTime t;
        if (parseDateTime(value, t))
            return put(out, "\"") && appendExtended(out, t) && put(out, "\"");
        break;
    }
    case ValueType::Offset: {
        int32_t offset = 0;
        if (parseOffset(value, offset))
            return put(out, "\"") && appendOffset(out, offset, true) && put(out, "\"");
        break;
    }
    case ValueType::Number: {
        bool number = !value.empty();
        for (size_t i = 0; i < value.size(); ++i)
            number = number && (ascii::isDigit(value[i]) || value[i] == '.' ||
                                (i == 0 && (value[i] == '-' || value[i] == '+')));
        if (number) return put(out, value[0] == '+' ? value.substr(1) : value);
        break;
    }
    case ValueType::Text:
        return jsonText(out, scratch, value);
    case ValueType::String:
    case ValueType::Recur:
        break;
    }
    return appendJsonString(out, value);
}

// A property's name and parameters, and its value type: what comes
// before its value.
bool writeNameAndParameters(vcal::TextBuffer &out, std::string_view name, size_t known,
                            std::string_view params, const ValueType &type) {
    if (!put(out, "[")) return false;
    if (known < kKnownCount ? !put(out, kIndex.jsonName(known)) : !appendJsonLower(out, name))
        return false;
    if (!put(out, ",{")) return false;
    bool first = true, ok = true;
    forEachParam(params, [&](std::string_view n, std::string_view v) {
        if (!ok || sameWord(n, "VALUE") || n.empty()) return;
        ok = (first || put(out, ",")) && appendJsonLower(out, n) && put(out, ":") &&
             appendJsonString(out, v);
        first = false;
    });
    const std::string_view typed[3] = {"},", type.json, ","};
    return ok && out.append(typed, 3);
}

// A property, after a comma when it is not its component's first.
bool jsonProperty(vcal::TextBuffer &out, vcal::TextBuffer &scratch, const CalModel &model,
                  const CalEntry &e, bool comma) {
    const std::string_view name = model.text(e.name), params = model.text(e.params),
                           value = model.text(e.value);
    const size_t known = knownName(name);
    const ValueType &type = valueType(name, known, params);
    const Known::Shape shape = known < kKnownCount ? kKnown[known].shape : Known::Single;
    if (known < kKnownCount && params.empty()) {
        // The usual property: everything up to its value in one piece.
        const std::string_view json = kIndex.jsonName(known);
        if (!out.reserve(json.size() + type.json.size() + 7)) return false;
        char *at = out.end();
        if (comma) *at++ = ',';
        *at++ = '[';
        std::memcpy(at, json.data(), json.size());
        at += json.size();
        const std::string_view noParameters = ",{},";
        std::memcpy(at, noParameters.data(), noParameters.size());
        at += noParameters.size();
        std::memcpy(at, type.json.data(), type.json.size());
        at += type.json.size();
        *at++ = ',';
        out.close(at);
    } else if ((comma && !put(out, ",")) ||
               !writeNameAndParameters(out, name, known, params, type)) {
        return false;
    }
    if (type.form == ValueType::Recur) {
        Rule rule;
        const char *why = nullptr;
        if (parseRule5545(value, rule, &why)) return appendRuleJson(out, rule) && put(out, "]");
        return appendJsonString(out, value) && put(out, "]");
    }
    if (shape == Known::Geo) {
        const size_t semi = value.find(';');
        if (semi != std::string_view::npos)
            return put(out, "[") && jsonValue(out, scratch, kFloat, value.substr(0, semi)) &&
                   put(out, ",") && jsonValue(out, scratch, kFloat, value.substr(semi + 1)) &&
                   put(out, "]]");
    }
    // Multi-valued properties give one JSON value per item.
    if (shape != Known::List) return jsonValue(out, scratch, type, value) && put(out, "]");
    bool first = true, ok = true;
    forEachEscapedPiece(value, ',', [&](std::string_view item) {
        ok = (first || put(out, ",")) && jsonValue(out, scratch, type, item);
        first = false;
        return ok;
    });
    return ok && put(out, "]");
}

} // namespace

int32_t writeCalendarJson(Job &job, CalModel &model, bool last) {
    vcal::TextBuffer &out = model.outText, &scratch = model.scratchText;
    out.length = 0;
    CalModel::JsonState &state = model.json;
    Array<CalModel::JsonLevel> &open = state.open;
    bool ok = true;
    if (!state.begun && !job.out.beginItem()) return job.putFailure();
    state.begun = true;
    for (size_t i = model.written; i < model.entries.size() && ok; ++i) {
        const CalEntry &e = model.entries[i];
        if (!job.out.drain(out)) return job.putFailure();
        const size_t depth = open.size();
        switch (e.kind) {
        case CalEntry::Begin:
            if (depth > 0) {
                CalModel::JsonLevel &outer = open[depth - 1];
                if (outer.propsOpen) {
                    ok = put(out, "],[");
                    outer.propsOpen = false;
                } else if (!outer.firstInList) {
                    ok = put(out, ",");
                }
                outer.firstInList = false;
            }
            ok = ok && open.push({true, true}) && put(out, "[") &&
                 appendJsonLower(out, model.text(e.name)) && put(out, ",[");
            if (isItem(model.text(e.name))) countWritten(job, e.lossy);
            break;
        case CalEntry::Property:
            if (depth == 0) break;
            ok = jsonProperty(out, scratch, model, e, !open[depth - 1].firstInList);
            open[depth - 1].firstInList = false;
            break;
        case CalEntry::End:
            if (depth == 0) break;
            ok = put(out, open[depth - 1].propsOpen ? "],[]]"sv : "]]"sv);
            open.keepFirst(depth - 1);
            if (depth > 1) open[depth - 2].firstInList = false;
            break;
        }
    }
    if (!ok) return VLIB_ERR_NO_MEMORY;
    model.written = model.entries.size();
    return job.out.drain(out, true) && (!last || job.out.endItem()) ? 0 : job.putFailure();
}

namespace {

// vCalendar 1.0 written from 1.0: what the reader keeps beside its
// standard form because iCalendar cannot hold it (reported as lost, "kept
// as X-VCAL-...") comes back whole, so it is no loss here and is not
// passed on. Every other loss is, and marks the item being read.
struct Losses10 {
    Reporter &outer;
    CalModel &model;
};

bool restoredIn10(std::string_view message) {
    static constexpr std::string_view kRestored[] = {"(kept as X-VCAL-", "kept as its name"};
    for (std::string_view marker : kRestored)
        if (message.find(marker) != std::string_view::npos) return true;
    return false;
}

void passLosses10(void *user, const VI_Report *report) {
    auto &losses = *static_cast<Losses10 *>(user);
    const std::string_view message(report->message);
    if (report->kind == VI_REPORT_LOST) {
        if (restoredIn10(message)) return;
        // The open item, if any: the latest item boundary is its BEGIN.
        for (size_t i = losses.model.entries.size(); i-- > 0;) {
            CalEntry &e = losses.model.entries[i];
            if (e.kind == CalEntry::Property || !isItem(losses.model.text(e.name))) continue;
            if (e.kind == CalEntry::Begin) e.lostFor10 = true;
            break;
        }
    }
    Reporter::forward(&losses.outer, report);
}

} // namespace

int32_t convertCalendars(Job &job) {
    CalModel model;
    if (job.from == VI_FORMAT_VCAL10 && job.to == VI_FORMAT_VCAL10) {
        Losses10 losses{job.report, model};
        Reporter report(passLosses10, &losses);
        Job same{job.text, job.length, job.from, job.to, job.out, report, job.counts};
        return readCalendars10(same, model, writeCalendar10);
    }
    CalendarWriter write = job.to == VI_FORMAT_ICAL20 ? writeCalendar20
                           : job.to == VI_FORMAT_JCAL ? writeCalendarJson
                                                      : writeCalendar10;
    return job.from == VI_FORMAT_VCAL10 ? readCalendars10(job, model, write)
                                        : readCalendars20(job, model, write);
}

} // namespace interop::convert
