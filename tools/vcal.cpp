// versit vcal: vCalendar files through the reader, and their events and
// to-dos as the client receives them.
#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "tool.h"
#include "versit_convert.h"
#include "versit_interop.h"
#include "versit_vcal.h"

namespace {

// The bytes of a file (or of standard input for "-") one at a time, as the
// reader asks for them; after the end, 0 for ever. Taken from a block
// read ahead: a locked getc per byte cost more than the reading.
struct FileSource {
    FILE *file;
    bool failed = false;
    const unsigned char *at = nullptr;
    const unsigned char *end = nullptr;
    unsigned char block[1 << 16];
};

int32_t refill(FileSource &source, uint8_t *byte) {
    const size_t got = std::fread(source.block, 1, sizeof source.block, source.file);
    if (got == 0) {
        if (std::ferror(source.file) != 0) {
            source.failed = true;
            return VCAL_ERR_NO_LINE;
        }
        *byte = 0;
        return 0;
    }
    source.at = source.block + 1;
    source.end = source.block + got;
    *byte = source.block[0];
    return 0;
}

int32_t nextByte(void *stream, uint8_t *byte) {
    auto *source = static_cast<FileSource *>(stream);
    if (source->at == source->end) return refill(*source, byte);
    *byte = *source->at++;
    return 0;
}

// Every text the reader hands back ends its lines in CR LF; the terminal
// gets plain line ends.
void printText(const char *text) {
    for (const char *p = text; *p != '\0'; ++p) {
        if (*p != '\r') std::putchar(*p);
    }
}

// A count the handle keeps modulo 65536, made whole from a count of the
// tree (64-bit): the two differ by the items left out (or the calendars
// not closed), fewer than 65536 of them.
unsigned long long widened(uint16_t counter, unsigned long long counted, bool above) {
    const auto low = static_cast<uint16_t>(counted);
    const uint16_t gap =
        above ? static_cast<uint16_t>(counter - low) : static_cast<uint16_t>(low - counter);
    return above ? counted + gap : counted - gap;
}

// Counts what the tree holds, beyond the handle's 16-bit counters.
void printSummary(const ParseTreeHandle *tree) {
    unsigned long long calendars = 0, events = 0, todos = 0;
    for (const VCalendarNode *c = tree != nullptr ? tree->firstCalendar : nullptr; c != nullptr;
         c = c->next) {
        ++calendars;
        for (const VEventNode *e = c->events; e != nullptr; e = e->next)
            ++events;
        for (const VTodoNode *t = c->todos; t != nullptr; t = t->next)
            ++todos;
    }
    std::printf("calendars: %llu read", calendars);
    if (tree != nullptr)
        std::printf(", %llu closed", widened(tree->calendarsEnded, calendars, false));
    std::printf("; events: %llu read, %llu kept; to-dos: %llu read, %llu kept\n",
                tree != nullptr ? widened(tree->eventsRead, events, true) : 0ull, events,
                tree != nullptr ? widened(tree->todosRead, todos, true) : 0ull, todos);
}

// One reading of a file (or of standard input for "-"); the tree and the
// texts are the caller's. False when the file cannot be opened.
struct Reading {
    int32_t rc = 0;
    ParseTreeHandle *tree = nullptr;
    char *errors = nullptr;
    char *warnings = nullptr;
    bool readFailed = false;
};

bool readFile(const char *path, Reading &r) {
    const bool stdinput = std::strcmp(path, "-") == 0;
    FILE *file = stdinput ? stdin : std::fopen(path, "rb");
    if (file == nullptr) {
        std::fprintf(stderr, "versit: cannot open %s\n", path);
        return false;
    }
    auto source = std::make_unique<FileSource>();
    source->file = file;
    uint8_t versionOk = 0;
    char version[9] = {};
    r.rc = vCal_ParseTreeFromStreamGet(&r.tree, source.get(), nextByte, &r.errors, &r.warnings,
                                       nullptr, nullptr, &versionOk, version, 0);
    if (!stdinput) std::fclose(file);
    r.readFailed = source->failed;
    return true;
}

// A file as the item commands read it: with the exact reader (--strict),
// or tolerantly, each repair reported on standard error (all of them with
// --verbose, else what was lost) and a summary at the end.
struct Input {
    const char *path = nullptr;
    bool strict = false;
    Reading strictReading;
    std::string text;
    VI_TolerantReader *reader = nullptr;
    ParseTreeHandle *tree = nullptr;

    Input() = default;
    Input(const Input &) = delete;
    Input &operator=(const Input &) = delete;
    ~Input() {
        std::free(strictReading.errors);
        std::free(strictReading.warnings);
        if (strictReading.tree != nullptr) vCal_DestroyParseTree(&strictReading.tree);
        VI_tolerantReaderDestroy(&reader); // the tolerant tree goes with it
    }
    int32_t take(VCalendarNode *calendar, uint16_t type, int first, PropertyParam *item,
                 const PropertyNode **lines) {
        return strict ? VI_takeItem(calendar, type, first, item, lines)
                      : VI_takeItemTolerantly(reader, calendar, type, first, item, lines);
    }
};

// Reads the file into `in`; false (said on standard error) when it cannot
// be read at all.
bool open(Input &in, const char *path, bool strict, ReportSink &sink) {
    in.path = path;
    in.strict = strict;
    if (strict) {
        if (!readFile(path, in.strictReading)) return false;
        in.tree = in.strictReading.tree;
        return true;
    }
    if (!readInput(path, in.text)) return false;
    if (VI_tolerantReaderCreate(&in.reader, in.text.data(), in.text.size(), printReport, &sink) !=
            0 ||
        VI_readCalendarsTolerantly(in.reader, &in.tree) == VCAL_ERR_NO_MEMORY) {
        std::fprintf(stderr, "versit: out of memory reading %s\n", path);
        return false;
    }
    return true;
}

// The tolerant reading's summary line; 1 when something was lost.
int summary(const Input &in) {
    VI_ReadCounts c{};
    VI_tolerantReaderCounts(in.reader, &c);
    std::fprintf(stderr, "%s: read %llu event%s and to-dos, %llu repaired, %llu skipped", in.path,
                 static_cast<unsigned long long>(c.read), c.read == 1 ? "" : "s",
                 static_cast<unsigned long long>(c.repaired),
                 static_cast<unsigned long long>(c.skipped));
    if (c.lossy > 0)
        std::fprintf(stderr, ", %llu with data lost", static_cast<unsigned long long>(c.lossy));
    if (c.junkLines > 0)
        std::fprintf(stderr, ", %llu line%s outside calendars passed over",
                     static_cast<unsigned long long>(c.junkLines), c.junkLines == 1 ? "" : "s");
    std::fputs("\n", stderr);
    if (in.tree == nullptr) {
        std::fprintf(stderr, "versit: no vCalendar in %s\n", in.path);
        return 1;
    }
    return c.skipped > 0 || c.lossy > 0 ? 1 : 0;
}

// versit vcal check FILE.vcs|-: like a linter, 0 for a clean file, 1 for
// warnings only, 2 for errors (or a file that cannot be read).
int vcalCheck(const char *path) {
    Reading r;
    if (!readFile(path, r)) return 2;
    ParseTreeHandle *tree = r.tree;
    char *errors = r.errors;
    char *warnings = r.warnings;
    const int32_t rc = r.rc;
    if (warnings != nullptr) printText(warnings);
    if (errors != nullptr) printText(errors);
    printSummary(tree);
    if (r.readFailed) std::fprintf(stderr, "versit: read error on %s\n", path);
    printResult(stdout, "result", rc);
    const int status = rc != 0 || errors != nullptr ? 2 : warnings != nullptr ? 1 : 0;
    std::free(errors);
    std::free(warnings);
    if (tree != nullptr) vCal_DestroyParseTree(&tree);
    return status;
}

// versit vcal check FILE.vcs|- read tolerantly: every repair and what it
// cost, the summary; 0 nothing lost, 1 something lost or left out.
int vcalCheckTolerantly(const char *path, ReportSink &sink) {
    Input in;
    if (!open(in, path, false, sink)) return 2;
    // Taking every item reports what extraction repairs or leaves out.
    VCalendarNode *calendar = nullptr;
    for (int32_t got = in.tree != nullptr ? vCal_GetFirstCalendar(in.tree, &calendar) : 1; got == 0;
         got = vCal_GetNextCalendar(in.tree, &calendar)) {
        for (uint16_t type : {VCAL_ITEM_EVENT, VCAL_ITEM_TODO}) {
            PropertyParam item{};
            for (int32_t rc = in.take(calendar, type, 1, &item, nullptr); rc == 0;
                 rc = in.take(calendar, type, 0, &item, nullptr))
                VI_releaseItem(&item);
            VI_releaseItem(&item);
        }
    }
    return summary(in);
}

// ---------------------------------------------------------------------------
// versit vcal items FILE.vcs|- [--json]

// `value` in decimal, with zeros before it up to `width` digits.
void appendNumber(std::string &out, unsigned long value, size_t width = 0) {
    char digits[24];
    char *p = digits + sizeof digits;
    do {
        *--p = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0 || digits + sizeof digits - p < static_cast<std::ptrdiff_t>(width));
    out.append(p, static_cast<size_t>(digits + sizeof digits - p));
}

// Minutes since 1 January 1991 as a UTC date-time. The library's calendar
// makes every fourth year a leap year, which the Gregorian calendar agrees
// with until 2100, beyond every time the library produces.
void appendUtc(std::string &out, CalapiTime minutes, bool json) {
    uint32_t day = minutes / 1440;
    uint32_t year = 1991;
    for (uint32_t length = 365; day >= length; length = (year % 4 == 0) ? 366 : 365) {
        day -= length;
        ++year;
    }
    static constexpr uint32_t kMonths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    uint32_t month = 0;
    for (; month < 11; ++month) {
        const uint32_t length = kMonths[month] + (month == 1 && year % 4 == 0 ? 1 : 0);
        if (day < length) break;
        day -= length;
    }
    // (The last minute the record holds falls in the year 10157.)
    char text[24];
    char *p = text;
    auto two = [&p](uint32_t v) {
        *p++ = static_cast<char>('0' + v / 10);
        *p++ = static_cast<char>('0' + v % 10);
    };
    if (year >= 10000) *p++ = static_cast<char>('0' + year / 10000);
    two(year / 100 % 100);
    two(year % 100);
    *p++ = '-';
    two(month + 1);
    *p++ = '-';
    two(day + 1);
    *p++ = json ? 'T' : ' ';
    two(minutes % 1440 / 60);
    *p++ = ':';
    two(minutes % 60);
    for (const char *tail = json ? ":00Z" : "Z"; *tail != '\0'; ++tail)
        *p++ = *tail;
    out.append(text, static_cast<size_t>(p - text));
}

// A text on one line: its line breaks as the escapes JSON (and a reader)
// knows, quotes and backslashes escaped, other control bytes in hex.
void appendQuoted(std::string &out, const char *text) {
    out += '"';
    const char *const end = text + std::strlen(text);
    for (const char *p = text; p < end;) {
        // Printable ASCII but quotes and backslashes, as it stands: most
        // of every text.
        const char *run = p;
        while (run < end && static_cast<unsigned char>(*run) >= 0x20 &&
               static_cast<unsigned char>(*run) < 0x80 && *run != '"' && *run != '\\')
            ++run;
        out.append(p, static_cast<size_t>(run - p));
        p = run;
        if (p == end) break;
        const auto c = static_cast<unsigned char>(*p);
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '"' || c == '\\')
            out += {'\\', static_cast<char>(c)};
        else if (c < 0x20) {
            static constexpr char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            const size_t n = utf8Length(reinterpret_cast<const unsigned char *>(p),
                                        static_cast<size_t>(end - p));
            if (n == 0) {
                out += kReplacement;
            } else {
                out.append(p, n);
                p += n - 1;
            }
        }
        ++p;
    }
    out += '"';
}

std::string quoted(const char *text) {
    std::string out;
    appendQuoted(out, text);
    return out;
}

// Writes one item's fields, as "name  value" lines or as JSON members,
// gathered and written at the item's end.
class ItemWriter {
  public:
    explicit ItemWriter(bool json) : json_(json) {}
    void begin(const char *kind, unsigned calendar, unsigned n) {
        if (json_) {
            out_ += n > 1 ? ",{\"type\":\"" : "{\"type\":\"";
            out_ += std::strcmp(kind, "to-do") == 0 ? "todo" : kind;
            out_ += '"';
        } else {
            out_ += kind;
            out_ += ' ';
            appendNumber(out_, calendar);
            out_ += '.';
            appendNumber(out_, n);
            out_ += '\n';
        }
    }
    void end() {
        if (json_) out_ += '}';
        std::fwrite(out_.data(), 1, out_.size(), stdout);
        out_.clear();
    }
    void text(const char *name, const char *value) {
        startField(name);
        appendQuoted(out_, value);
        endField();
    }
    void time(const char *name, CalapiTime value) {
        startField(name);
        if (json_) out_ += '"';
        appendUtc(out_, value, json_);
        if (json_) out_ += '"';
        endField();
    }
    void number(const char *name, unsigned long value, const char *meaning = nullptr) {
        startField(name);
        appendNumber(out_, value);
        if (meaning != nullptr && !json_) {
            out_ += " (";
            out_ += meaning;
            out_ += ')';
        }
        endField();
    }
    void occurrences(const std::vector<TimePlace> &places) {
        if (json_) {
            out_ += ",\"occurrences\":[";
            for (size_t i = 0; i < places.size(); ++i) {
                out_ += i > 0 ? ",{\"start\":\"" : "{\"start\":\"";
                appendUtc(out_, places[i].start, true);
                out_ += "\",\"duration\":";
                appendNumber(out_, places[i].duration);
                out_ += '}';
            }
            out_ += ']';
            return;
        }
        startField("occurrences");
        appendNumber(out_, places.size());
        endField();
        for (const TimePlace &p : places) {
            startField("");
            appendUtc(out_, p.start, false);
            out_ += ", ";
            appendNumber(out_, p.duration);
            out_ += " min\n";
        }
    }

  private:
    // What stands before a field's value: `,"name":` ("audio alarm" is
    // audioAlarm to a script), or the name in a column of fifteen.
    void startField(const char *name) {
        if (json_) {
            out_ += ",\"";
            for (const char *p = name; *p != '\0'; ++p) {
                if (*p != ' ') out_ += p > name && p[-1] == ' ' ? static_cast<char>(*p - 32) : *p;
            }
            out_ += "\":";
        } else {
            out_ += "  ";
            const size_t width = std::strlen(name);
            out_ += name;
            if (width < 15) out_.append(15 - width, ' ');
        }
    }
    void endField() {
        if (!json_) out_ += '\n';
    }
    bool json_;
    std::string out_;
};

const char *categoryName(uint16_t code) {
    switch (code) {
    case 1:
        return "holiday";
    case 3:
        return "miscellaneous";
    case 4:
        return "special occasion";
    default:
        return "other";
    }
}

const char *className(uint32_t code, bool event) {
    if (code == 2) return "private";
    return (code == 3) == event ? "public" : "confidential";
}

// The occurrences of an item, ascending. False when the list could not be
// made (the code in *rc).
bool occurrences(const PropertyParam &item, std::vector<TimePlace> &places, int32_t *rc) {
    TimePlaceRecurList result{};
    uint8_t recurs = 0;
    *rc = vCal_GetRecurDateList(&item, &recurs, &result);
    if (*rc != 0) return false;
    if (recurs == 0) return true;
    TimePlace place{};
    for (int32_t got = KL_ListGetFirst(result.timeList, &place, nullptr); got == 0;
         got = KL_ListGetNext(result.timeList, &place, nullptr))
        places.push_back(place);
    KL_ListDestroy(&result.timeList);
    std::sort(places.begin(), places.end(),
              [](const TimePlace &a, const TimePlace &b) { return a.start < b.start; });
    return true;
}

void writeItem(ItemWriter &w, const PropertyParam &item) {
    const uint8_t *flag = item.flags.flag;
    const bool event = item.itemType == VCAL_ITEM_EVENT;
    if (flag[VCAL_SLOT_SUMMARY] != 0 && item.summary != nullptr) w.text("summary", item.summary);
    if (flag[VCAL_SLOT_DTSTART] != 0) w.time("start", item.startTime);
    if (flag[VCAL_SLOT_DTEND] != 0) w.time("end", item.endTime);
    if (flag[VCAL_SLOT_DUE] != 0) w.time("due", item.dueTime);
    if (flag[VCAL_SLOT_COMPLETED] != 0) w.time("completed", item.completedTime);
    if (flag[VCAL_SLOT_LOCATION] != 0 && item.location != nullptr)
        w.text("location", item.location);
    if (flag[VCAL_SLOT_DESCRIPTION] != 0 && item.description != nullptr)
        w.text("description", item.description);
    if (flag[VCAL_SLOT_CATEGORIES] != 0)
        w.number("category", item.category, categoryName(item.category));
    if (flag[VCAL_SLOT_CLASS] != 0)
        w.number("class", item.classCode, className(item.classCode, event));
    if (flag[VCAL_SLOT_PRIORITY] != 0) w.number("priority", item.priority);
    if (flag[VCAL_SLOT_STATUS] != 0) w.text("status", item.status);
    if (flag[VCAL_SLOT_AALARM] != 0) w.time("audio alarm", item.audioAlarmTime);
    if (flag[VCAL_SLOT_DALARM] != 0) w.time("display alarm", item.displayAlarmTime);
}

// Takes every item of one kind of the calendar. Returns the walk's failure
// (0 when it ran to the end).
int32_t writeItems(Input &in, ItemWriter &w, VCalendarNode *calendar, unsigned n, uint16_t type,
                   bool json) {
    const bool event = type == VCAL_ITEM_EVENT;
    if (json) std::printf(",\"%s\":[", event ? "events" : "todos");
    PropertyParam item{};
    unsigned count = 0;
    int32_t rc = in.take(calendar, type, 1, &item, nullptr);
    for (; rc == 0; rc = in.take(calendar, type, 0, &item, nullptr)) {
        std::vector<TimePlace> places;
        w.begin(event ? "event" : "to-do", n, ++count);
        writeItem(w, item);
        int32_t listed = 0;
        if (!occurrences(item, places, &listed)) {
            rc = listed;
        } else if (!places.empty()) {
            w.occurrences(places);
        }
        w.end();
        VI_releaseItem(&item);
        if (rc != 0) break;
    }
    // A failed conversion leaves part of the record filled.
    VI_releaseItem(&item);
    if (rc == VCAL_ERR_NO_MORE_ENTITIES) rc = 0;
    if (json) std::fputs("]", stdout);
    return rc;
}

// versit vcal items FILE.vcs|- [--json]: 0 when every item was taken, 1
// when items were left out or lost something, 2 when nothing could be read.
int vcalItems(const char *path, bool json, bool strict, ReportSink &sink) {
    Input in;
    if (!open(in, path, strict, sink)) return 2;
    ItemWriter w(json);
    int status = strict && in.strictReading.rc != 0 ? 1 : 0;
    if (json) std::fputs("{\"calendars\":[", stdout);
    VCalendarNode *calendar = nullptr;
    unsigned n = 0;
    for (int32_t got = in.tree != nullptr ? vCal_GetFirstCalendar(in.tree, &calendar) : 1; got == 0;
         got = vCal_GetNextCalendar(in.tree, &calendar)) {
        char version[8];
        uint8_t found = 0;
        vCal_GetThisCalendarVersion(calendar, version, sizeof version, &found);
        ++n;
        if (json)
            std::printf("%s{\"version\":%s", n > 1 ? "," : "", quoted(version).c_str());
        else
            std::printf("calendar %u%s%s\n", n, found != 0 ? ", version " : "", version);
        const int32_t failures[2] = {writeItems(in, w, calendar, n, VCAL_ITEM_EVENT, json),
                                     writeItems(in, w, calendar, n, VCAL_ITEM_TODO, json)};
        for (int i = 0; i < 2; ++i) {
            if (failures[i] == 0) continue;
            status = 1;
            if (json)
                std::printf(",\"%s\":\"%s\"", i == 0 ? "eventsError" : "todosError",
                            resultName(failures[i]));
            std::fprintf(stderr,
                         "%s: calendar %u: the %s stop at an item that cannot be converted: %s\n",
                         path, n, i == 0 ? "events" : "to-dos", resultName(failures[i]));
        }
        if (json) std::fputs("}", stdout);
    }
    const int32_t result = strict ? in.strictReading.rc : 0;
    if (json) std::printf("],\"result\":\"%s\"}\n", resultName(result));
    if (strict) {
        printResult(stderr, "result", result);
        if (in.strictReading.readFailed) std::fprintf(stderr, "versit: read error on %s\n", path);
        return in.tree == nullptr ? 2 : status;
    }
    const int s = summary(in);
    return s > status ? s : status;
}

// ---------------------------------------------------------------------------
// versit vcal rewrite FILE.vcs|- [-o FILE] [--strict]

// Adds every item of one kind of the calendar to the new tree. Returns the
// first failure (0 when every item went in); `added` counts what did.
int32_t addItems(Input &in, ParseTreeHandle **out, VCalendarNode *calendar, uint16_t type,
                 unsigned &added) {
    PropertyParam item{};
    const PropertyNode *lines = nullptr;
    int32_t failure = 0;
    int32_t rc = in.take(calendar, type, 1, &item, &lines);
    for (; rc == 0; rc = in.take(calendar, type, 0, &item, &lines)) {
        int32_t step = VI_itemToWriterForm(&item, type, lines);
        if (step == 0) step = vCal_AddxItemInfoToPTree(out, &item, type, 0);
        if (step == 0)
            ++added;
        else if (failure == 0)
            failure = step;
        VI_releaseItem(&item);
    }
    VI_releaseItem(&item);
    return failure != 0 ? failure : rc == VCAL_ERR_NO_MORE_ENTITIES ? 0 : rc;
}

// The writer's bytes, gathered into blocks before they go to the file.
struct FileSink {
    FILE *file = nullptr;
    size_t used = 0;
    unsigned char block[1 << 16];

    bool flush() {
        const size_t n = used;
        used = 0;
        return std::fwrite(block, 1, n, file) == n;
    }
};

int32_t putByte(void *stream, uint8_t byte) {
    auto *sink = static_cast<FileSink *>(stream);
    if (sink->used == sizeof sink->block && !sink->flush()) return VCAL_ERR_NO_LINE;
    sink->block[sink->used++] = byte;
    return 0;
}

// versit vcal rewrite --strict FILE.vcs|- [-o FILE]: every item the exact
// reader takes, in the client's form, written back by the library's
// writer. 0 when every item was rewritten, 1 when the reader left items
// out or an item could not be added, 2 when nothing could be read or
// written.
int vcalRewriteStrict(const char *path, const char *outPath, ReportSink &sink) {
    Input in;
    if (!open(in, path, true, sink)) return 2;
    int status = in.strictReading.rc != 0 ? 1 : 0;
    ParseTreeHandle *out = nullptr;
    unsigned added = 0;
    VCalendarNode *calendar = nullptr;
    for (int32_t got = in.tree != nullptr ? vCal_GetFirstCalendar(in.tree, &calendar) : 1; got == 0;
         got = vCal_GetNextCalendar(in.tree, &calendar)) {
        const int32_t failures[2] = {addItems(in, &out, calendar, VCAL_ITEM_EVENT, added),
                                     addItems(in, &out, calendar, VCAL_ITEM_TODO, added)};
        for (int32_t failure : failures) {
            if (failure == 0) continue;
            status = 1;
            std::fprintf(stderr, "versit: %s: an item could not be rewritten: %s\n", path,
                         resultName(failure));
        }
    }
    Reading &r = in.strictReading;
    // The messages go beside the output, not into it.
    for (const char *p = r.errors != nullptr ? r.errors : ""; *p != '\0'; ++p) {
        if (*p != '\r') std::fputc(*p, stderr);
    }
    if (r.readFailed) std::fprintf(stderr, "versit: read error on %s\n", path);
    if (in.tree == nullptr) {
        printResult(stderr, "result", r.rc);
        return 2;
    }
    if (out == nullptr) {
        std::fprintf(stderr, "versit: %s: no event or to-do to write\n", path);
        return 2;
    }
    auto output = std::make_unique<FileSink>();
    output->file = outPath != nullptr ? std::fopen(outPath, "wb") : stdout;
    int32_t rc = VCAL_ERR_NO_LINE;
    if (output->file != nullptr) {
        rc = vCal_ParseTreeToStreamPut(out, output.get(), putByte, "1.0", nullptr);
        if (!output->flush() && rc == 0) rc = VCAL_ERR_NO_LINE;
        if (outPath != nullptr && std::fclose(output->file) != 0 && rc == 0) rc = VCAL_ERR_NO_LINE;
        if (outPath == nullptr && std::fflush(stdout) != 0 && rc == 0) rc = VCAL_ERR_NO_LINE;
    }
    vCal_DestroyParseTree(&out);
    if (rc != 0) {
        std::fprintf(stderr, "versit: cannot write %s\n", outPath != nullptr ? outPath : "output");
        return 2;
    }
    return status;
}

// What the converter reports: printed as the other commands print the
// tolerant reader's reports, and the losses counted, the calendar's own
// (a zone 1.0 cannot say) as well as the items'.
struct RewriteReports {
    ReportSink sink;
    unsigned long long losses = 0;
};

void rewriteReport(void *user, const VI_Report *report) {
    auto *reports = static_cast<RewriteReports *>(user);
    if (report->kind == VI_REPORT_LOST) ++reports->losses;
    printReport(&reports->sink, report);
}

int writeFile(void *user, const char *bytes, size_t length) {
    return std::fwrite(bytes, 1, length, static_cast<FILE *>(user)) == length ? 0 : 1;
}

// versit vcal rewrite FILE.vcs|- [-o FILE]: the file read tolerantly and
// written again as vCalendar 1.0 by the converter, which keeps what the
// client's form leaves out (rules, zones, alarms' details, attendees, X-
// properties) and ends lines in CR LF. Every loss on standard error with
// its line, and a summary. 0 when everything was carried over, 1 when
// something was not (or an item was skipped), 2 when nothing could be
// read or written.
int vcalRewrite(const char *path, const char *outPath, ReportSink &sink) {
    std::string text;
    if (!readInput(path, text)) return 2;
    FILE *file = outPath != nullptr ? std::fopen(outPath, "wb") : stdout;
    if (file == nullptr) {
        std::fprintf(stderr, "versit: cannot write %s\n", outPath);
        return 2;
    }
    RewriteReports reports{sink};
    VI_ConvertCounts counts{};
    const int32_t rc = VI_convert(text.data(), text.size(), VI_FORMAT_VCAL10, VI_FORMAT_VCAL10,
                                  writeFile, file, rewriteReport, &reports, &counts);
    const bool written = std::fflush(file) == 0 && std::ferror(file) == 0;
    if (file != stdout && std::fclose(file) != 0 && rc == 0) {
        std::fprintf(stderr, "versit: cannot write %s\n", outPath);
        return 2;
    }
    if (rc != 0 || !written) {
        if (rc == VI_ERR_WRITE_FAILED || (rc == 0 && !written))
            std::fprintf(stderr, "versit: cannot write %s\n",
                         outPath != nullptr ? outPath : "output");
        else
            printResult(stderr, (std::string("versit: ") + path).c_str(), rc);
        return 2;
    }
    std::fprintf(stderr,
                 "%s: rewrote %llu of %llu event%s and to-dos, %llu with something not "
                 "carried over, %llu skipped",
                 path, static_cast<unsigned long long>(counts.written),
                 static_cast<unsigned long long>(counts.read), counts.read == 1 ? "" : "s",
                 static_cast<unsigned long long>(counts.lossy),
                 static_cast<unsigned long long>(counts.skipped));
    // Not every loss is an item's (a zone, a line the reader passed over).
    if (reports.losses > 0)
        std::fprintf(stderr, ", %llu loss%s reported", reports.losses,
                     reports.losses == 1 ? "" : "es");
    if (counts.junkLines > 0)
        std::fprintf(stderr, ", %llu line%s outside calendars passed over",
                     static_cast<unsigned long long>(counts.junkLines),
                     counts.junkLines == 1 ? "" : "s");
    std::fputs("\n", stderr);
    if (counts.read == 0 && counts.skipped == 0) {
        std::fprintf(stderr, "versit: %s: no event or to-do to write\n", path);
        return 2;
    }
    return reports.losses > 0 || counts.lossy > 0 || counts.skipped > 0 ||
                   counts.written < counts.read
               ? 1
               : 0;
}

} // namespace

int runVcal(int argc, char **argv) {
    static const char kUsage[] =
        "usage: versit vcal check FILE.vcs|-... [--strict]\n"
        "       versit vcal items FILE.vcs|-... [--json] [--strict] [--verbose]\n"
        "       versit vcal rewrite FILE.vcs|-... [-o FILE] [--strict] [--verbose]\n"
        "  Several files are read one after the other (--json: one line of JSON each).\n"
        "  rewrite writes vCalendar 1.0 again, lines ended in CR LF, keeping rules, zones\n"
        "  (TZ, DAYLIGHT), alarms, attendees and X- properties; what it cannot carry over\n"
        "  is named on standard error and exits 1. --strict: the exact reader, and the\n"
        "  items in the library's own form, as the client receives them.\n";
    const char *command = argc > 1 ? argv[1] : "";
    std::vector<const char *> paths;
    const char *outPath = nullptr;
    bool json = false;
    bool strict = false;
    bool verbose = false;
    for (int i = 2; i < argc; ++i) {
        const char *a = argv[i];
        if (std::strcmp(a, "--json") == 0) {
            json = true;
        } else if (std::strcmp(a, "--strict") == 0) {
            strict = true;
        } else if (std::strcmp(a, "--verbose") == 0 || std::strcmp(a, "-v") == 0) {
            verbose = true;
        } else if (std::strcmp(a, "-o") == 0 && i + 1 < argc) {
            outPath = argv[++i];
        } else if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a[0] != '-' || a[1] == '\0') {
            paths.push_back(a);
        } else {
            std::fprintf(stderr, "versit vcal: unexpected argument '%s'\n%s", a, kUsage);
            return 2;
        }
    }
    const bool check = std::strcmp(command, "check") == 0;
    const bool items = std::strcmp(command, "items") == 0;
    const bool rewrite = std::strcmp(command, "rewrite") == 0;
    if (paths.empty() || !(check || items || rewrite) || (json && !items) ||
        (outPath != nullptr && !rewrite)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    // Each file on its own, one after the other; the worst status stands.
    int status = 0;
    for (const char *path : paths) {
        ReportSink sink{path, verbose || check};
        int s = 0;
        if (check)
            s = strict ? vcalCheck(path) : vcalCheckTolerantly(path, sink);
        else if (items)
            s = vcalItems(path, json, strict, sink);
        else
            s = strict ? vcalRewriteStrict(path, outPath, sink) : vcalRewrite(path, outPath, sink);
        if (s > status) status = s;
    }
    return status;
}
