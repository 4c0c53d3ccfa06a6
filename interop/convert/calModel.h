// One calendar between reading and writing: its components and
// properties in iCalendar's form (names, parameters and values as RFC 5545
// writes them), in order, whatever format they came from. Each reader
// fills it, each writer walks it: two readers and three writers, not six
// converters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "interop/convert/job.h"
#include "interop/convert/zone.h"
#include "interop/recover/array.h"
#include "vcal/vcalmsg.h"

namespace interop::convert {

struct CalSpan {
    size_t at = 0, length = 0;
};

struct CalEntry {
    enum Kind : uint8_t { Begin, Property, End };
    Kind kind;
    bool lossy; // Begin of an item: its reading lost something
    // Begin of an item read from vCalendar 1.0 to be written as 1.0: its
    // reading lost something that writing 1.0 does not restore (what the
    // reader keeps in X-VCAL- properties comes back whole).
    bool lostFor10;
    uint64_t line;
    CalSpan name;
    CalSpan params; // ";NAME=value..." as written, or empty
    CalSpan value;  // escaped as RFC 5545 writes it
};

struct Head10;

class CalModel {
  public:
    bool begin(std::string_view name, uint64_t line, bool lossy = false);
    bool end(std::string_view name, uint64_t line);
    bool property(uint64_t line, std::string_view name, std::string_view params,
                  std::string_view value);
    std::string_view text(CalSpan s) const {
        return s.length == 0 ? std::string_view() : std::string_view(arena_.text + s.at, s.length);
    }
    // Drops what has been written (every entry so far): a writer that
    // writes as it goes needs nothing of it again.
    void forgetWritten() {
        entries.clear();
        arena_.length = 0;
        written = 0;
    }
    // Ready for the next calendar.
    void clear() {
        forgetWritten();
        json.begun = false;
        json.open.clear();
        vcal10 = {};
    }
    // The model as it stands, to go back to: what is added after a mark
    // can be dropped again.
    struct Mark {
        size_t entries, arena;
    };
    Mark mark() const { return {entries.size(), arena_.length}; }
    void rollback(Mark m) {
        entries.keepFirst(m.entries);
        arena_.length = m.arena;
    }

    Array<CalEntry> entries;
    // What the writer has done with the calendar so far: the entries it
    // has written, and where jCal's nesting stands.
    size_t written = 0;
    struct JsonLevel {
        bool propsOpen;   // the component's property array is still open
        bool firstInList; // nothing is written in its open list yet
    };
    struct JsonState {
        bool begun = false; // the calendar's item has begun in the output
        // One level per open component: any text may nest them deeply.
        Array<JsonLevel> open;
    } json;
    struct Vcal10State {
        // The calendar's zone, read ahead, when the calendar is written as
        // it is read; null when the writer has the whole calendar.
        const Head10 *head = nullptr;
        bool begun = false; // the calendar's first lines are written
        int depth = 0;
    } vcal10;
    // The writers' buffers, kept from one call to the next.
    vcal::TextBuffer outText, scratchText;
    Array<uint8_t> foldSteps;

  private:
    bool keep(std::string_view text, CalSpan &span);
    vcal::TextBuffer arena_;
};

// The value of parameter `name` in ";A=b;C=d" text (quotes removed), or
// false.
bool findParam(std::string_view params, std::string_view name, std::string_view &value);

// Calls fn(name, value) for each parameter of ";A=b;C=d" text.
template <class Fn> void forEachParam(std::string_view params, Fn fn) {
    size_t i = 0;
    while (i < params.size()) {
        if (params[i] != ';') {
            ++i;
            continue;
        }
        const size_t start = ++i;
        bool quoted = false;
        while (i < params.size() && (quoted || params[i] != ';')) {
            if (params[i] == '"') quoted = !quoted;
            ++i;
        }
        const std::string_view item = params.substr(start, i - start);
        const size_t eq = item.find('=');
        std::string_view value =
            eq == std::string_view::npos ? std::string_view() : item.substr(eq + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        fn(item.substr(0, eq), value);
    }
}

// The yearly onsets of a zone observance starting at `start` (local) and
// repeating by `rule`, switching to `offset`: false for a rule a zone
// cannot follow year by year (another frequency, an interval, several
// months or days).
struct Rule;
bool yearlyOf(const Rule &rule, const DateTime &start, int32_t offset, Zone::Yearly &out);

// Zones by TZID, for the calendar being converted.
struct ZoneTable {
    static constexpr size_t kMax = 16;
    CalSpan ids[kMax]; // in the model read
    Zone zones[kMax];
    size_t count = 0;
    const CalModel *from = nullptr;

    void clear() {
        for (size_t i = 0; i < count; ++i)
            zones[i].clear();
        count = 0;
    }
    // The zones of the model's VTIMEZONE components; the model is kept
    // for their names. False when memory ran out.
    bool read(const CalModel &model);
    const Zone *find(std::string_view id) const;
};

// What the items say of zones: the zones their times are in (the first
// two), and the years their times span.
struct ZoneUse {
    vcal::TextBuffer ids[2];
    size_t idCount = 0;
    uint64_t otherLine = 0; // of a time in a second zone
    // A local time in no zone: with TZ it would be read in TZ's zone.
    bool floating = false;
    uint64_t floatingLine = 0;
    int32_t fromYear = 1, toYear = 0;

    std::string_view id(size_t k) const { return std::string_view(ids[k].text, ids[k].length); }
    void clear() {
        ids[0].length = ids[1].length = 0;
        idCount = 0;
        otherLine = floatingLine = 0;
        floating = false;
        fromYear = 1;
        toYear = 0;
    }
};

// What the items among the model's entries from `from` on say of zones,
// added to `use`; `depth` is where the entries start (0 for a whole
// calendar). False when memory ran out.
bool zoneUse(const CalModel &model, ZoneUse &use, size_t from = 0, int depth = 0);

// What vCalendar output writes before a calendar's first item depends on
// every item: read ahead of the calendar when it is written as it is read.
struct Head10 {
    CalModel zones; // the calendar's VTIMEZONE components
    ZoneUse use;
    ZoneTable table; // of `zones`
};

// The readers: every calendar of the job's text, handed to `write` (a
// function of the model) as it is read. `last` on the call that ends a
// calendar; before it, a reader may hand over each whole item as it
// comes, and then forgets what was written. A writer that needs the whole
// calendar writes on the last call only.
using CalendarWriter = int32_t (*)(Job &job, CalModel &model, bool last);
int32_t readCalendars10(Job &job, CalModel &model, CalendarWriter write);
int32_t readCalendars20(Job &job, CalModel &model, CalendarWriter write);

// A content line of iCalendar as a property of the model. False when
// memory ran out; `params` is room for its parameters.
struct ContentLine;
bool addProperty(CalModel &model, const ContentLine &line, vcal::TextBuffer &params);

// Reads the iCalendar calendar whose BEGIN line starts at `start` (line
// `number`) of the job's text for what vCalendar output writes first.
// 0 or VLIB_ERR_NO_MEMORY.
int32_t readHead10(const Job &job, size_t start, uint64_t number, Head10 &head);

// The writers.
int32_t writeCalendar20(Job &job, CalModel &model, bool last);
int32_t writeCalendarJson(Job &job, CalModel &model, bool last);
int32_t writeCalendar10(Job &job, CalModel &model, bool last);

// Counting a written item: whether it lost something (in reading or in
// writing) decides the lossy count.
void countWritten(Job &job, bool lossy);

} // namespace interop::convert
