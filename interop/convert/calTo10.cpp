// The model written as vCalendar 1.0 that our own exact reader reads back:
// zoned times in UTC beside the zone's TZ and DAYLIGHT lines, lists joined
// by ";", rules in the old grammar, VALARMs as the four alarm properties,
// and text that needs it in quoted-printable UTF-8.
#include <cstdio>

#include "interop/convert/calModel.h"
#include "interop/convert/contentLine.h"
#include "interop/convert/rrule.h"
#include "interop/recover/lines.h"

namespace interop::convert {

using namespace std::string_view_literals;

namespace {

bool put(vcal::TextBuffer &out, std::string_view piece) { return out.append(piece); }
std::string_view view(const vcal::TextBuffer &b) {
    return b.length == 0 ? std::string_view() : std::string_view(b.text, b.length);
}

// Quoted-printable lines break after this many characters, as our own
// writer's do.
constexpr size_t kSegment = 67;

bool needsQuoting(std::string_view text) {
    for (char c : text)
        if ((static_cast<unsigned char>(c) & 0x80) != 0 || ascii::isBreak(c)) return true;
    return !text.empty() && (ascii::isBlank(text.front()) || ascii::isBlank(text.back()));
}

// NAME params:value CR LF; text with 8-bit bytes or line breaks is
// written quoted-printable with CHARSET=UTF-8 (breaks as CR LF).
bool line10(vcal::TextBuffer &out, std::string_view name, std::string_view params,
            std::string_view value, std::string_view lineBreak = "=0D=0A") {
    if (!put(out, name) || !put(out, params)) return false;
    if (!needsQuoting(value)) return put(out, ":") && put(out, value) && put(out, "\r\n");
    if (!put(out, ";CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:")) return false;
    size_t column = 0;
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (size_t i = 0; i < value.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(value[i]);
        char code[3] = {'=', kHex[c >> 4], kHex[c & 15]};
        std::string_view piece(code, 3);
        if (c == '\n' || c == '\r') {
            if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n') ++i;
            piece = lineBreak;
        } else if ((c >= 33 && c <= 126 && c != '=') ||
                   ((c == ' ' || c == '\t') && i + 1 < value.size())) {
            // Printable text stands as it is; a blank too, unless it ends
            // the value, where a reader would trim it.
            piece = std::string_view(&value[i], 1);
        }
        if (column + piece.size() > kSegment) {
            if (!put(out, "=\r\n")) return false;
            column = 0;
        }
        if (!put(out, piece)) return false;
        column += piece.size();
    }
    return put(out, "\r\n");
}

struct Word {
    std::string_view from, to;
};
constexpr Word kEventStatus[] = {
    {"TENTATIVE", "TENTATIVE"}, {"CONFIRMED", "CONFIRMED"}, {"CANCELLED", "DECLINED"}};
constexpr Word kTodoStatus[] = {{"NEEDS-ACTION", "NEEDS ACTION"},
                                {"COMPLETED", "COMPLETED"},
                                {"IN-PROCESS", "ACCEPTED"},
                                {"CANCELLED", "DECLINED"}};
constexpr Word kPartStat[] = {{"NEEDS-ACTION", "NEEDS ACTION"}, {"ACCEPTED", "ACCEPTED"},
                              {"DECLINED", "DECLINED"},         {"TENTATIVE", "TENTATIVE"},
                              {"DELEGATED", "DELEGATED"},       {"COMPLETED", "COMPLETED"},
                              {"IN-PROCESS", "ACCEPTED"}};

template <size_t N> const Word *lookup(const Word (&table)[N], std::string_view word) {
    for (const Word &w : table)
        if (sameWord(w.from, word)) return &w;
    return nullptr;
}

// X-VCAL-<NAME>, which keeps what iCalendar could not hold of a
// vCalendar NAME (calFrom10.cpp says how), is written back as NAME in
// place of the NAME just before it. The name it restores, or empty.
constexpr std::string_view kCarrier = "X-VCAL-";
std::string_view carried(std::string_view name) {
    return name.size() > kCarrier.size() && sameWord(name.substr(0, kCarrier.size()), kCarrier)
               ? name.substr(kCarrier.size())
               : std::string_view();
}

// The carried value written back: its parameters less any of ours.
bool restore(vcal::TextBuffer &out, vcal::TextBuffer &scratch, std::string_view name,
             std::string_view params, std::string_view escaped) {
    vcal::TextBuffer kept;
    bool ok = true;
    forEachParam(params, [&](std::string_view n, std::string_view v) {
        if (!carried(n).empty() || n.empty()) return;
        ok =
            ok && put(kept, ";") && put(kept, n) && (v.empty() || (put(kept, "=") && put(kept, v)));
    });
    scratch.length = 0;
    return ok && appendUnescaped(scratch, escaped) && line10(out, name, view(kept), view(scratch));
}

struct Writer {
    Job &job;
    const CalModel &model;
    const ZoneTable &zones;
    vcal::TextBuffer &out;
    vcal::TextBuffer value, scratch, categories, resources, exdates, rdates;
    DateTime start, end;
    bool hasStart = false, hasEnd = false;
    uint64_t itemLine = 0;
    bool alarmsWritten[4] = {};
    bool quiet = false; // reading ahead: what is wrong is reported where it is written

    void lost(uint64_t line, const char *format, std::string_view a, std::string_view b = {}) {
        if (quiet) return;
        job.report(line, VI_REPORT_LOST, format, static_cast<int>(a.size()),
                   a.empty() ? "" : a.data(), static_cast<int>(b.size()),
                   b.empty() ? "" : b.data());
    }

    // A date of the model in vCalendar's form: zoned times in UTC.
    bool date(const CalEntry &e, std::string_view text, DateTime &t) {
        if (!parseDateTime(text, t)) {
            lost(e.line, "left out %.*s: \"%.*s\" is no date", model.text(e.name), text);
            return false;
        }
        std::string_view tzid;
        if (findParam(model.text(e.params), "TZID", tzid) && !t.utc && !t.dateOnly) {
            const Zone *zone = zones.find(tzid);
            if (zone != nullptr)
                t = fromSeconds(zone->toUtc(toSeconds(t)), true);
            else
                lost(e.line, "%.*s: the zone %.*s is unknown; the time is kept as local",
                     model.text(e.name), tzid);
        }
        if (t.dateOnly) {
            const std::string_view n = model.text(e.name);
            if (sameWord(n, "DTSTART") || sameWord(n, "DTEND") || sameWord(n, "DUE"))
                lost(e.line, "%.*s: a whole day is written as its midnight%.*s", n, "");
            t.dateOnly = false;
        }
        return true;
    }

    bool dateLine(std::string_view name, const DateTime &t) {
        value.length = 0;
        return appendBasic(value, t) && line10(out, name, {}, view(value));
    }

    bool text(const CalEntry &e, std::string_view name, std::string_view escaped) {
        std::string_view breaks;
        findParam(model.text(e.params), "X-VCAL-BREAK", breaks);
        scratch.length = 0;
        return appendUnescaped(scratch, escaped) && line10(out, name, {}, view(scratch),
                                                           sameWord(breaks, "CR")   ? "=0D"
                                                           : sameWord(breaks, "LF") ? "=0A"
                                                                                    : "=0D=0A");
    }

    // CATEGORIES and RESOURCES items, joined by ";" over every line.
    bool listItems(vcal::TextBuffer &into, std::string_view escaped) {
        bool ok = true;
        forEachEscapedPiece(escaped, ',', [&](std::string_view item) {
            scratch.length = 0;
            if (!appendUnescaped(scratch, item)) return ok = false;
            if (scratch.length == 0) return true;
            ok = (into.length == 0 || put(into, ";"));
            for (size_t i = 0; ok && i < scratch.length; ++i) {
                const char c = scratch.text[i];
                ok = c == ';' ? put(into, "\\;") : put(into, std::string_view(&c, 1));
            }
            return ok;
        });
        return ok;
    }

    bool dateItems(vcal::TextBuffer &into, const CalEntry &e) {
        bool ok = true;
        forEachEscapedPiece(model.text(e.value), ',', [&](std::string_view item) {
            DateTime t;
            if (!date(e, item, t)) return true;
            ok = (into.length == 0 || put(into, ";")) && appendBasic(into, t);
            return ok;
        });
        return ok;
    }

    bool attendee(const CalEntry &e, bool organizer) {
        const std::string_view params = model.text(e.params);
        std::string_view role, partstat, rsvp, cn, role10, status10;
        findParam(params, "ROLE", role);
        findParam(params, "PARTSTAT", partstat);
        findParam(params, "X-VCAL-ROLE", role10);
        findParam(params, "X-VCAL-STATUS", status10);
        findParam(params, "RSVP", rsvp);
        findParam(params, "CN", cn);
        scratch.length = 0;
        bool ok = true;
        if (!role10.empty()) {
            ok = put(scratch, ";ROLE=") && put(scratch, role10);
        } else if (organizer || sameWord(role, "CHAIR")) {
            ok = put(scratch, ";ROLE=ORGANIZER");
        } else {
            ok = put(scratch, ";ROLE=ATTENDEE;EXPECT=") &&
                 put(scratch, sameWord(role, "OPT-PARTICIPANT")   ? "REQUEST"
                              : sameWord(role, "NON-PARTICIPANT") ? "FYI"
                                                                  : "REQUIRE");
        }
        if (!status10.empty()) {
            ok = ok && put(scratch, ";STATUS=") && put(scratch, status10);
        } else if (!partstat.empty()) {
            const Word *w = lookup(kPartStat, partstat);
            if (w == nullptr || sameWord(partstat, "IN-PROCESS"))
                lost(e.line, "ATTENDEE: the status %.*s is written as ACCEPTED%.*s", partstat);
            ok = ok && put(scratch, ";STATUS=") && put(scratch, w != nullptr ? w->to : "ACCEPTED");
        }
        if (!rsvp.empty())
            ok = ok && put(scratch, ";RSVP=") &&
                 put(scratch, sameWord(rsvp, "TRUE") ? "YES"sv : "NO"sv);
        std::string_view address = model.text(e.value);
        if (sameWord(address.substr(0, 7), "mailto:")) address.remove_prefix(7);
        if (address == "invalid:nomail") address = {};
        value.length = 0;
        if (!cn.empty()) {
            ok = ok && put(value, cn);
            if (!address.empty())
                ok = ok && put(value, " <") && put(value, address) && put(value, ">");
        } else {
            ok = ok && put(value, address);
        }
        return ok && line10(out, "ATTENDEE", view(scratch), view(value));
    }

    bool attach(const CalEntry &e) {
        const std::string_view params = model.text(e.params), v = model.text(e.value);
        std::string_view kind;
        if (findParam(params, "VALUE", kind) && sameWord(kind, "BINARY"))
            return put(out, "ATTACH;ENCODING=BASE64:") && put(out, v) && put(out, "\r\n\r\n");
        if (sameWord(v.substr(0, 4), "cid:"))
            return line10(out, "ATTACH", ";VALUE=CONTENT-ID", v.substr(4));
        return line10(out, "ATTACH", ";VALUE=URL", v);
    }

    bool rule(const CalEntry &e) {
        Rule r;
        const char *why = nullptr;
        const std::string_view name = model.text(e.name);
        if (!parseRule5545(model.text(e.value), r, &why)) {
            lost(e.line, "left out %.*s: %.*s", name, why);
            return true;
        }
        value.length = 0;
        const char *lostPart = nullptr;
        bool written = false;
        if (!appendRule10(value, r, start, &lostPart, &written)) return false;
        if (!written) {
            lost(e.line, "left out %.*s: vCalendar cannot say %.*s", name, lostPart);
            return true;
        }
        if (lostPart != nullptr) lost(e.line, "%.*s: vCalendar cannot say %.*s", name, lostPart);
        return line10(out, name, {}, view(value));
    }

    // One VALARM, from entries [first, last), as the alarm property of its action.
    bool alarm(size_t first, size_t last) {
        const uint64_t line = model.entries[first].line;
        std::string_view action, description, summary, attachment, attendeeAddress;
        int64_t snooze = 0;
        std::string_view repeat;
        bool hasTrigger = false;
        DateTime run;
        for (size_t i = first + 1; i < last; ++i) {
            const CalEntry &e = model.entries[i];
            if (e.kind != CalEntry::Property) continue;
            const std::string_view n = model.text(e.name), v = model.text(e.value);
            const std::string_view kept = carried(n);
            if (kept.size() == 6 && sameWord(kept.substr(1), "ALARM"))
                return restore(out, scratch, kept, model.text(e.params), v);
            if (sameWord(n, "ACTION")) {
                action = v;
            } else if (sameWord(n, "TRIGGER")) {
                std::string_view type, related;
                findParam(model.text(e.params), "VALUE", type);
                findParam(model.text(e.params), "RELATED", related);
                int64_t offset = 0;
                if (sameWord(type, "DATE-TIME")) {
                    hasTrigger = date(e, v, run);
                } else if (parseDuration(v, offset)) {
                    const bool fromEnd = sameWord(related, "END");
                    if (fromEnd ? hasEnd : hasStart) {
                        const DateTime &base = fromEnd ? end : start;
                        run = fromSeconds(toSeconds(base) + offset, base.utc);
                        hasTrigger = true;
                    }
                }
            } else if (sameWord(n, "DURATION")) {
                parseDuration(v, snooze);
            } else if (sameWord(n, "REPEAT")) {
                repeat = v;
            } else if (sameWord(n, "DESCRIPTION")) {
                description = v;
            } else if (sameWord(n, "SUMMARY")) {
                summary = v;
            } else if (sameWord(n, "ATTACH")) {
                attachment = v;
            } else if (sameWord(n, "ATTENDEE")) {
                attendeeAddress = v;
                if (sameWord(v.substr(0, 7), "mailto:")) attendeeAddress.remove_prefix(7);
            }
        }
        static constexpr std::string_view kActions[4] = {"AUDIO", "DISPLAY", "EMAIL", "PROCEDURE"};
        static constexpr std::string_view kNames[4] = {"AALARM", "DALARM", "MALARM", "PALARM"};
        int kind = -1;
        for (int i = 0; i < 4; ++i)
            if (sameWord(action, kActions[i])) kind = i;
        if (kind < 0 || !hasTrigger) {
            lost(line, "left out a VALARM: %.*s%.*s",
                 kind < 0 ? std::string_view("its action is none vCalendar has")
                          : std::string_view("its trigger has nothing to count from"));
            return true;
        }
        if (alarmsWritten[kind]) {
            lost(line, "left out a second %.*s alarm: vCalendar has one of each kind%.*s",
                 kActions[kind]);
            return true;
        }
        alarmsWritten[kind] = true;
        value.length = 0;
        bool ok = appendBasic(value, run) && put(value, ";");
        if (snooze > 0 && !repeat.empty()) {
            ok = ok && appendDuration(value, snooze) && put(value, ";") && put(value, repeat);
        } else {
            ok = ok && put(value, ";");
        }
        ok = ok && put(value, ";");
        scratch.length = 0;
        auto plain = [&](std::string_view escaped) {
            // The parts are ";"-separated: a ";" of the text would end its part.
            scratch.length = 0;
            if (!appendUnescaped(scratch, escaped)) return false;
            for (size_t i = 0; i < scratch.length; ++i)
                if (scratch.text[i] == ';') scratch.text[i] = ',';
            return put(value, view(scratch));
        };
        switch (kind) {
        case 0:
            ok = ok && put(value, attachment);
            break;
        case 1:
            ok = ok && plain(description);
            break;
        case 2:
            ok = ok && put(value, attendeeAddress) && put(value, ";") &&
                 plain(description.empty() ? summary : description);
            break;
        default:
            ok = ok && put(value, attachment);
            break;
        }
        return ok && line10(out, kNames[kind], {}, view(value));
    }
};

// ---------------------------------------------------------------------------
// The calendar's zone as TZ and DAYLIGHT: one standard offset, and a
// period of another offset per DAYLIGHT line. The times stay in UTC (our
// exact reader applies TZ but not DAYLIGHT to local times, so UTC is what
// it reads exactly); the lines tell other readers the zone they were in.

// One switch of a zone's offset, at a UTC time.
struct Switch {
    int64_t utc;
    int32_t from, to;
    bool daylight;
    std::string_view name;
};

struct Period10 {
    int64_t start, end; // UTC
    int32_t offset;
    std::string_view standardName, daylightName;
};

struct Zone10 {
    int32_t standard = 0;
    Array<Period10> periods;
};

// Years of yearly onsets written at most: DAYLIGHT lines are one a year.
constexpr int32_t kMaxYears = 200;

// The years [fromYear, toYear] (none while fromYear > toYear) taking in `year`.
void widenYears(int32_t &fromYear, int32_t &toYear, int32_t year) {
    if (fromYear > toYear) {
        fromYear = toYear = year;
    } else {
        if (year < fromYear) fromYear = year;
        if (year > toYear) toYear = year;
    }
}

// A DAYLIGHT name is letters only (our exact reader refuses others).
bool isZoneName(std::string_view name) {
    for (char c : name)
        if (!ascii::isLetter(c)) return false;
    return !name.empty();
}

// One observance (STANDARD or DAYLIGHT) of a VTIMEZONE, entries (first, last).
struct Observance {
    bool daylight = false;
    int32_t from = 0, to = 0;
    bool hasStart = false;
    DateTime start;
    size_t rules = 0;
    Rule rule;
    std::string_view name;
    size_t first = 0, last = 0;
};

class ZoneWriter {
  public:
    explicit ZoneWriter(const CalModel &model) : model_(model) {}

    // The zone of VTIMEZONE entries [first, last) over the years
    // [fromYear, toYear] (fromYear > toYear: none known) as 1.0 says it;
    // false with *why when 1.0 cannot say it, or memory ran out (*why null).
    bool build(size_t first, size_t last, int32_t fromYear, int32_t toYear, Zone10 &zone,
               const char **why) {
        *why = nullptr;
        switches_.clear();
        // Onsets without a rule are kept whatever the items' years: they
        // are what a 1.0 file's DAYLIGHT lines became.
        bool anyRule = false;
        int32_t latest = 0;
        forEachObservance(first, last, [&](const Observance &o) {
            anyRule = anyRule || o.rules > 0;
            if (o.hasStart && o.start.year > latest) latest = o.start.year;
        });
        if (!anyRule) {
            forEachObservance(first, last, [&](const Observance &o) {
                if (o.from == o.to || !o.hasStart) return;
                widenYears(fromYear, toYear, o.start.year);
                forEachRdate(o, [&](const DateTime &t) { widenYears(fromYear, toYear, t.year); });
            });
        }
        if (fromYear > toYear) fromYear = toYear = latest;
        if (toYear - fromYear >= kMaxYears) toYear = fromYear + kMaxYears - 1;
        bool ok = true;
        forEachObservance(first, last, [&](const Observance &o) {
            if (ok && *why == nullptr) ok = onsets(o, fromYear, toYear, why);
        });
        if (!ok || *why != nullptr) return false;
        sortSwitches();
        return periods(daysFromCivil(fromYear, 1, 1) * 86400,
                       daysFromCivil(toYear + 1, 1, 1) * 86400, zone, why);
    }

  private:
    // Calls fn(observance) for each STANDARD and DAYLIGHT.
    template <class Fn> void forEachObservance(size_t first, size_t last, Fn fn) {
        const Array<CalEntry> &e = model_.entries;
        for (size_t i = first + 1; i < last; ++i) {
            if (e[i].kind != CalEntry::Begin) continue;
            const std::string_view kind = model_.text(e[i].name);
            size_t j = i + 1;
            while (j < last && e[j].kind == CalEntry::Property)
                ++j;
            if (sameWord(kind, "STANDARD") || sameWord(kind, "DAYLIGHT")) {
                Observance o;
                o.daylight = sameWord(kind, "DAYLIGHT");
                o.first = i;
                o.last = j;
                for (size_t k = i + 1; k < j; ++k) {
                    const std::string_view n = model_.text(e[k].name), v = model_.text(e[k].value);
                    const char *ignored = nullptr;
                    if (sameWord(n, "TZOFFSETFROM")) {
                        parseOffset(v, o.from);
                    } else if (sameWord(n, "TZOFFSETTO")) {
                        parseOffset(v, o.to);
                    } else if (sameWord(n, "DTSTART")) {
                        o.hasStart = parseDateTime(v, o.start);
                    } else if (sameWord(n, "TZNAME")) {
                        o.name = v;
                    } else if (sameWord(n, "RRULE")) {
                        ++o.rules;
                        if (!parseRule5545(v, o.rule, &ignored)) o.rule.freq = Rule::None;
                    }
                }
                fn(o);
            }
            i = j;
        }
    }

    // Calls fn(time) for each date of the observance's RDATEs.
    template <class Fn> void forEachRdate(const Observance &o, Fn fn) {
        for (size_t i = o.first + 1; i < o.last; ++i) {
            if (!sameWord(model_.text(model_.entries[i].name), "RDATE")) continue;
            forEachEscapedPiece(model_.text(model_.entries[i].value), ',', [&](std::string_view d) {
                DateTime t;
                if (parseDateTime(d, t)) fn(t);
                return true;
            });
        }
    }

    bool add(const Observance &o, int64_t local) {
        return switches_.push({local - o.from, o.from, o.to, o.daylight, o.name});
    }

    // The observance's onsets within the years; *why when it has a rule
    // 1.0 cannot follow. False when memory ran out.
    bool onsets(const Observance &o, int32_t fromYear, int32_t toYear, const char **why) {
        if (!o.hasStart) return true;
        bool ok = add(o, toSeconds(o.start));
        forEachRdate(
            o, [&](const DateTime &t) { ok = ok && add(o, toSeconds(t) + (t.utc ? o.from : 0)); });
        if (!ok || o.rules == 0) return ok;
        Zone::Yearly y{};
        if (o.rules > 1 || !yearlyOf(o.rule, o.start, o.to, y)) {
            *why = "its onsets follow a rule that is not one day a year";
            return true;
        }
        // The start is the first onset; the rule's come after it.
        const int64_t start = toSeconds(o.start);
        for (int32_t year = fromYear - 1; year <= toYear + 1; ++year) {
            int64_t local = 0;
            if (y.onsetIn(year, local) && local > start && !add(o, local)) return false;
        }
        return true;
    }

    void sortSwitches() {
        for (size_t i = 1; i < switches_.size(); ++i) {
            const Switch s = switches_[i];
            size_t j = i;
            for (; j > 0 && switches_[j - 1].utc > s.utc; --j)
                switches_[j] = switches_[j - 1];
            switches_[j] = s;
        }
    }

    // The standard offset and the daylight periods that reach into [from, to).
    bool periods(int64_t from, int64_t to, Zone10 &zone, const char **why) {
        bool haveStandard = false;
        std::string_view standardName;
        const size_t n = switches_.size();
        for (size_t i = 0; i < n; ++i) {
            const Switch &s = switches_[i];
            const int64_t end = i + 1 < n ? switches_[i + 1].utc : INT64_MAX;
            if (end <= from && i + 1 < n) {
                if (!s.daylight) standardName = s.name;
                continue;
            }
            if (s.utc >= to) break;
            if (!s.daylight) {
                if (haveStandard && s.to != zone.standard) {
                    *why = "its standard offset changes";
                    return false;
                }
                haveStandard = true;
                zone.standard = s.to;
                standardName = s.name;
                continue;
            }
            if (end == INT64_MAX) {
                *why = "its daylight time has no end";
                return false;
            }
            if (!haveStandard) {
                // In daylight time from the first: the offset it left.
                haveStandard = true;
                zone.standard = s.from;
            }
            const std::string_view back =
                switches_[i + 1].daylight ? standardName : switches_[i + 1].name;
            if (!zone.periods.push({s.utc, end, s.to, back, s.name})) return false;
        }
        // Before its first onset a zone keeps the offset that onset leaves.
        if (!haveStandard && n > 0) zone.standard = switches_[0].from;
        if (zone.standard % 60 != 0) {
            *why = "its offset has seconds";
            return false;
        }
        for (size_t i = 0; i < zone.periods.size(); ++i) {
            if (zone.periods[i].offset % 60 != 0) {
                *why = "its offset has seconds";
                return false;
            }
        }
        return true;
    }

    const CalModel &model_;
    Array<Switch> switches_;
};

// "+01", "-05:30": the offset as TZ and DAYLIGHT write it.
bool appendOffset10(vcal::TextBuffer &out, int32_t seconds) {
    const int32_t a = seconds < 0 ? -seconds : seconds;
    const char text[6] = {seconds < 0 ? '-' : '+',
                          static_cast<char>('0' + a / 36000 % 10),
                          static_cast<char>('0' + a / 3600 % 10),
                          ':',
                          static_cast<char>('0' + a / 600 % 6),
                          static_cast<char>('0' + a / 60 % 10)};
    return put(out, std::string_view(text, a % 3600 == 0 ? 3 : 6));
}

} // namespace

bool zoneUse(const CalModel &model, ZoneUse &use, size_t from, int depth) {
    static constexpr std::string_view kTimes[] = {"DTSTART", "DTEND", "DUE",          "COMPLETED",
                                                  "EXDATE",  "RDATE", "RECURRENCE-ID"};
    const Array<CalEntry> &e = model.entries;
    bool inItem = false;
    for (size_t i = from; i < e.size(); ++i) {
        if (e[i].kind == CalEntry::Begin) {
            if (++depth == 2)
                inItem = sameWord(model.text(e[i].name), "VEVENT") ||
                         sameWord(model.text(e[i].name), "VTODO");
            continue;
        }
        if (e[i].kind == CalEntry::End) {
            --depth;
            continue;
        }
        if (depth < 2 || !inItem) continue;
        std::string_view tzid;
        const bool zoned = findParam(model.text(e[i].params), "TZID", tzid);
        if (zoned) {
            bool known = false;
            for (size_t k = 0; k < use.idCount && k < 2; ++k)
                known = known || use.id(k) == tzid;
            if (!known) {
                // (Kept apart: the item's entries may be gone when the
                // use is looked at.)
                if (use.idCount < 2 && !use.ids[use.idCount].append(tzid)) return false;
                if (use.idCount == 1) use.otherLine = e[i].line;
                ++use.idCount;
            }
        }
        const std::string_view n = model.text(e[i].name);
        bool isTime = false;
        for (std::string_view t : kTimes)
            isTime = isTime || sameWord(n, t);
        if (isTime) {
            forEachEscapedPiece(model.text(e[i].value), ',', [&](std::string_view d) {
                DateTime t;
                if (!parseDateTime(d, t)) return true;
                widenYears(use.fromYear, use.toYear, t.year);
                if (!zoned && !t.utc && !t.dateOnly && !use.floating) {
                    use.floating = true;
                    use.floatingLine = e[i].line;
                }
                return true;
            });
        } else if (sameWord(n, "RRULE") || sameWord(n, "EXRULE")) {
            Rule r;
            const char *why = nullptr;
            if (parseRule5545(model.text(e[i].value), r, &why) && r.hasUntil)
                widenYears(use.fromYear, use.toYear, r.until.year);
        }
    }
    return true;
}

namespace {

// The VTIMEZONE entries of `id` (any, when empty and there is one only):
// its BEGIN and END, or false.
bool findZone(const CalModel &model, std::string_view id, size_t &first, size_t &last) {
    const Array<CalEntry> &e = model.entries;
    size_t found = 0;
    for (size_t i = 0; i < e.size(); ++i) {
        if (e[i].kind != CalEntry::Begin || !sameWord(model.text(e[i].name), "VTIMEZONE")) continue;
        size_t j = i + 1;
        bool match = id.empty();
        for (int d = 1; j < e.size(); ++j) {
            if (e[j].kind == CalEntry::Begin) ++d;
            if (e[j].kind == CalEntry::End && --d == 0) break;
            if (d == 1 && e[j].kind == CalEntry::Property &&
                sameWord(model.text(e[j].name), "TZID") && model.text(e[j].value) == id)
                match = true;
        }
        if (match) {
            ++found;
            first = i;
            last = j;
            if (!id.empty()) return true;
        }
        i = j;
    }
    return found == 1;
}

// TZ and DAYLIGHT lines for the zone the calendar's times are in; what
// 1.0 cannot say is reported, and the lines left out. False when memory
// ran out.
bool writeZone(Job &job, const CalModel &model, const ZoneUse &use, vcal::TextBuffer &out) {
    if (use.idCount > 1) {
        job.report(use.otherLine, VI_REPORT_LOST,
                   "the calendar's times are in more than one zone and vCalendar has one: no TZ "
                   "or DAYLIGHT written, the times are in UTC");
        return true;
    }
    if (use.idCount == 1 && use.floating) {
        job.report(use.floatingLine, VI_REPORT_LOST,
                   "the calendar has local times in no zone beside zoned ones, and TZ would put "
                   "them in its zone: no TZ or DAYLIGHT written, the zoned times are in UTC");
        return true;
    }
    if (use.floating) return true; // no zone of the calendar is used
    size_t first = 0, last = 0;
    if (!findZone(model, use.idCount == 1 ? use.id(0) : std::string_view(), first, last))
        return true;
    Zone10 zone;
    ZoneWriter writer(model);
    const char *why = nullptr;
    if (!writer.build(first, last, use.fromYear, use.toYear, zone, &why)) {
        if (why == nullptr) return false;
        std::string_view id;
        for (size_t i = first + 1; i < last && id.empty(); ++i)
            if (sameWord(model.text(model.entries[i].name), "TZID"))
                id = model.text(model.entries[i].value);
        job.report(model.entries[first].line, VI_REPORT_LOST,
                   "the zone %.*s: vCalendar cannot say it (%s): no TZ or DAYLIGHT written, the "
                   "times are in UTC",
                   static_cast<int>(id.size()), id.empty() ? "" : id.data(), why);
        return true;
    }
    vcal::TextBuffer value;
    if (!appendOffset10(value, zone.standard) || !line10(out, "TZ", {}, view(value))) return false;
    bool renamed = false;
    for (size_t i = 0; i < zone.periods.size(); ++i) {
        const Period10 &p = zone.periods[i];
        // Our exact reader wants both names, letters only: a zone without
        // them gets the usual abbreviations.
        const bool standardOk = isZoneName(p.standardName), daylightOk = isZoneName(p.daylightName);
        renamed = renamed || (!standardOk && !p.standardName.empty()) ||
                  (!daylightOk && !p.daylightName.empty());
        value.length = 0;
        if (!put(value, "TRUE;") || !appendOffset10(value, p.offset) || !put(value, ";") ||
            !appendBasic(value, fromSeconds(p.start, true)) || !put(value, ";") ||
            !appendBasic(value, fromSeconds(p.end, true)) || !put(value, ";") ||
            !put(value, standardOk ? p.standardName : "STD") || !put(value, ";") ||
            !put(value, daylightOk ? p.daylightName : "DST") ||
            !line10(out, "DAYLIGHT", {}, view(value)))
            return false;
    }
    if (renamed)
        job.report(model.entries[first].line, VI_REPORT_LOST,
                   "a zone name that is not letters only is written as STD or DST");
    return true;
}

constexpr std::string_view kProduct = "-//versit//versit converter//EN";

// A calendar's first lines.
bool putHead(vcal::TextBuffer &out) {
    const std::string_view pieces[3] = {"BEGIN:VCALENDAR\r\nVERSION:1.0\r\nPRODID:", kProduct,
                                        "\r\n"};
    return out.append(pieces, 3);
}

// Properties 1.0 has no place for, and that are no loss: iCalendar's
// bookkeeping and what the conversion itself writes.
constexpr std::string_view kDropped[] = {"DTSTAMP"};

int32_t writeItem(Job &job, const CalModel &model, const ZoneTable &zones, vcal::TextBuffer &out,
                  size_t first, size_t last) {
    const CalEntry &begin = model.entries[first];
    const bool isEvent = sameWord(model.text(begin.name), "VEVENT");
    job.report.startItem();
    Writer w{job, model, zones, out, {}, {}, {}, {}, {}, {}, {}, {}, false, false, begin.line, {}};
    // The start and end first: DURATION and relative triggers count from them.
    const CalEntry *duration = nullptr;
    w.quiet = true;
    for (size_t i = first + 1; i < last; ++i) {
        const CalEntry &e = model.entries[i];
        if (e.kind != CalEntry::Property) continue;
        const std::string_view n = model.text(e.name);
        if (sameWord(n, "DTSTART")) w.hasStart = w.date(e, model.text(e.value), w.start);
        if (sameWord(n, "DTEND") || sameWord(n, "DUE"))
            w.hasEnd = w.date(e, model.text(e.value), w.end);
        if (sameWord(n, "DURATION")) duration = &e;
    }
    w.quiet = false;
    if (!put(out, isEvent ? "BEGIN:VEVENT\r\n"sv : "BEGIN:VTODO\r\n"sv)) return VLIB_ERR_NO_MEMORY;
    bool ok = true;
    for (size_t i = first + 1; i < last && ok; ++i) {
        const CalEntry &e = model.entries[i];
        if (e.kind == CalEntry::Begin) {
            size_t j = i + 1;
            for (int depth = 1; j < last; ++j) {
                if (model.entries[j].kind == CalEntry::Begin) ++depth;
                if (model.entries[j].kind == CalEntry::End && --depth == 0) break;
            }
            if (sameWord(model.text(e.name), "VALARM"))
                ok = w.alarm(i, j);
            else
                w.lost(e.line, "left out a %.*s: vCalendar has no such part%.*s",
                       model.text(e.name));
            i = j;
            continue;
        }
        if (e.kind != CalEntry::Property) continue;
        const std::string_view n = model.text(e.name), v = model.text(e.value);
        const std::string_view kept = carried(n);
        if (!kept.empty()) {
            ok = restore(out, w.scratch, kept, model.text(e.params), v);
            continue;
        }
        // The standard form of what an X-VCAL- property after it keeps.
        if (i + 1 < last && model.entries[i + 1].kind == CalEntry::Property &&
            sameWord(carried(model.text(model.entries[i + 1].name)), n))
            continue;
        DateTime t;
        if (sameWord(n, "SUMMARY") || sameWord(n, "DESCRIPTION") || sameWord(n, "LOCATION") ||
            sameWord(n, "UID") || sameWord(n, "RELATED-TO")) {
            ok = w.text(e, n, v);
        } else if (sameWord(n, "DTSTART") || sameWord(n, "DTEND") || sameWord(n, "DUE") ||
                   sameWord(n, "COMPLETED") || sameWord(n, "LAST-MODIFIED") ||
                   sameWord(n, "CREATED")) {
            if (w.date(e, v, t)) ok = w.dateLine(sameWord(n, "CREATED") ? "DCREATED" : n, t);
        } else if (sameWord(n, "DURATION")) {
            int64_t seconds = 0;
            if (w.hasEnd || !w.hasStart || !parseDuration(v, seconds))
                w.lost(e.line, "left out DURATION %.*s%.*s", v);
            else
                ok = w.dateLine(isEvent ? "DTEND"sv : "DUE"sv,
                                fromSeconds(toSeconds(w.start) + seconds, w.start.utc));
        } else if (sameWord(n, "CATEGORIES")) {
            ok = w.listItems(w.categories, v);
        } else if (sameWord(n, "RESOURCES")) {
            ok = w.listItems(w.resources, v);
        } else if (sameWord(n, "EXDATE")) {
            ok = w.dateItems(w.exdates, e);
        } else if (sameWord(n, "RDATE")) {
            ok = w.dateItems(w.rdates, e);
        } else if (sameWord(n, "RRULE") || sameWord(n, "EXRULE")) {
            ok = w.rule(e);
        } else if (sameWord(n, "ATTENDEE") || sameWord(n, "ORGANIZER")) {
            ok = w.attendee(e, sameWord(n, "ORGANIZER"));
        } else if (sameWord(n, "ATTACH")) {
            ok = w.attach(e);
        } else if (sameWord(n, "STATUS")) {
            const Word *s = isEvent ? lookup(kEventStatus, v) : lookup(kTodoStatus, v);
            if (s == nullptr || sameWord(v, "CANCELLED") || sameWord(v, "IN-PROCESS"))
                w.lost(e.line, "STATUS %.*s is written as %.*s", v,
                       s != nullptr ? s->to : std::string_view("nothing"));
            if (s != nullptr) ok = line10(out, "STATUS", {}, s->to);
        } else if (sameWord(n, "CLASS")) {
            if (sameWord(v, "PUBLIC") || sameWord(v, "PRIVATE") || sameWord(v, "CONFIDENTIAL"))
                ok = line10(out, "CLASS", {}, v);
            else
                w.lost(e.line, "left out CLASS %.*s%.*s", v);
        } else if (sameWord(n, "PRIORITY") || sameWord(n, "SEQUENCE") || sameWord(n, "URL")) {
            ok = line10(out, n, {}, v);
        } else if (sameWord(n, "TRANSP")) {
            ok = line10(out, "TRANSP", {}, sameWord(v, "TRANSPARENT") ? "1"sv : "0"sv);
        } else if (n.size() > 2 && sameWord(n.substr(0, 2), "X-")) {
            w.scratch.length = 0;
            ok = appendUnescaped(w.scratch, v) && line10(out, n, {}, view(w.scratch));
        } else {
            bool dropped = false;
            for (std::string_view d : kDropped)
                dropped = dropped || sameWord(n, d);
            if (!dropped) w.lost(e.line, "left out %.*s: vCalendar has no such property%.*s", n);
        }
    }
    (void)duration;
    ok = ok && (w.categories.length == 0 || line10(out, "CATEGORIES", {}, view(w.categories))) &&
         (w.resources.length == 0 || line10(out, "RESOURCES", {}, view(w.resources))) &&
         (w.exdates.length == 0 || line10(out, "EXDATE", {}, view(w.exdates))) &&
         (w.rdates.length == 0 || line10(out, "RDATE", {}, view(w.rdates))) &&
         put(out, isEvent ? "END:VEVENT\r\n"sv : "END:VTODO\r\n"sv);
    if (!ok) return VLIB_ERR_NO_MEMORY;
    // From 1.0, what the reader kept in X-VCAL- properties is written back
    // whole: only what it lost beyond them counts.
    const bool readLoss = job.from == VI_FORMAT_VCAL10 ? begin.lostFor10 : begin.lossy;
    countWritten(job, readLoss || job.report.lossy());
    return 0;
}

} // namespace

int32_t readHead10(const Job &job, size_t start, uint64_t number, Head10 &head) {
    head.zones.clear();
    head.use.clear();
    ContentReader reader(job.text, job.length);
    reader.restart(start, number);
    ContentLine line;
    vcal::TextBuffer params;
    CalModel &zones = head.zones;
    CalModel::Mark component{};
    // The component being read is or holds a zone (where a zone stands,
    // the writer takes it).
    bool keep = false;
    int depth = 0;
    // The calendar's lines as readCalendars20 reads them (this one starts
    // with its BEGIN); each component of the calendar but its zones
    // forgotten once what it says of zones is taken.
    for (ContentReader::Step step; (step = reader.next(line)) != ContentReader::Step::End;) {
        if (step == ContentReader::Step::NoMemory) return VLIB_ERR_NO_MEMORY;
        if (step == ContentReader::Step::Malformed) continue;
        bool ok = true;
        if (sameWord(line.name, "BEGIN")) {
            if (depth == 1) {
                component = zones.mark();
                keep = false;
            }
            keep = keep || sameWord(line.value, "VTIMEZONE");
            ok = zones.begin(line.value, line.number);
            ++depth;
        } else if (sameWord(line.name, "END")) {
            ok = zones.end(line.value, line.number);
            if (--depth == 0) break;
            if (depth == 1) {
                ok = ok && zoneUse(zones, head.use, component.entries, 1);
                if (!keep) zones.rollback(component);
            }
        } else if (depth > 1) {
            ok = addProperty(zones, line, params);
        }
        if (!ok) return VLIB_ERR_NO_MEMORY;
    }
    // The text ended inside a component: it counts as it stands.
    if (depth > 1 && !zoneUse(zones, head.use, component.entries, 1)) return VLIB_ERR_NO_MEMORY;
    return head.table.read(zones) ? 0 : VLIB_ERR_NO_MEMORY;
}

namespace {

// The model's entries not yet written, after what `out` holds; the
// calendar's end on the last call.
int32_t writeEntries10(Job &job, CalModel &model, const ZoneTable &zones, bool last) {
    vcal::TextBuffer &out = model.outText;
    const Array<CalEntry> &e = model.entries;
    int &depth = model.vcal10.depth;
    for (size_t i = model.written; i < e.size(); ++i) {
        if (e[i].kind == CalEntry::End) {
            --depth;
            continue;
        }
        if (e[i].kind == CalEntry::Property) {
            const std::string_view n = model.text(e[i].name);
            if (depth == 1 && n.size() > 2 && sameWord(n.substr(0, 2), "X-")) {
                vcal::TextBuffer text;
                const std::string_view kept = carried(n);
                if (!restore(out, text, kept.empty() ? n : kept,
                             kept.empty() ? std::string_view() : model.text(e[i].params),
                             model.text(e[i].value)))
                    return VLIB_ERR_NO_MEMORY;
            }
            continue;
        }
        ++depth;
        if (depth != 2) continue;
        // A component of the calendar: its extent.
        size_t j = i + 1;
        for (int d = 1; j < e.size(); ++j) {
            if (e[j].kind == CalEntry::Begin) ++d;
            if (e[j].kind == CalEntry::End && --d == 0) break;
        }
        const std::string_view name = model.text(e[i].name);
        if (sameWord(name, "VEVENT") || sameWord(name, "VTODO")) {
            const int32_t rc = writeItem(job, model, zones, out, i, j);
            if (rc != 0) return rc;
            if (!job.out.drain(out)) return job.putFailure();
        } else if (!sameWord(name, "VTIMEZONE")) {
            job.report(e[i].line, VI_REPORT_LOST, "left out a %.*s: vCalendar has no such part",
                       static_cast<int>(name.size()), name.data());
        }
        i = j;
        --depth;
    }
    model.written = e.size();
    if (last && !put(out, "END:VCALENDAR\r\n")) return VLIB_ERR_NO_MEMORY;
    return job.out.drain(out, true) ? 0 : job.putFailure();
}

} // namespace

int32_t writeCalendar10(Job &job, CalModel &model, bool last) {
    // Every reader reads a calendar's zone ahead of it (see Head10).
    CalModel::Vcal10State &state = model.vcal10;
    if (state.head == nullptr) return VLIB_ERR_NO_MEMORY;
    vcal::TextBuffer &out = model.outText;
    out.length = 0;
    if (!state.begun && (!putHead(out) || !writeZone(job, state.head->zones, state.head->use, out)))
        return VLIB_ERR_NO_MEMORY;
    state.begun = true;
    return writeEntries10(job, model, state.head->table, last);
}

} // namespace interop::convert
