// The tolerant calendar reader over any bytes. No crash, no read or write
// out of bounds, no leak; every report names a line of the text; items
// handed out and left out never outnumber the lines that could begin one,
// and the counts agree with the items taken and the reports; every item,
// in the writer's form, is added to a new tree whose written text the
// exact reader reads back without an error, keeping every item.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "fuzz_support.h"
#include "support/memory_source.h"
#include "versit_interop.h"
#include "versit_vcal.h"

namespace {

struct Seen {
    uint64_t lastLine = 1; // the highest line a report may name
    uint64_t kinds[4] = {};
};

void onReport(void *user, const VI_Report *report) {
    auto *seen = static_cast<Seen *>(user);
    check(report->line >= 1 && report->line <= seen->lastLine);
    check(report->kind >= VI_REPORT_NOTE && report->kind <= VI_REPORT_SKIPPED);
    check(report->message != nullptr && report->message[0] != '\0');
    ++seen->kinds[report->kind];
}

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool startsBegin(const std::string &text, size_t at) {
    static const char kWord[] = "BEGIN";
    for (size_t i = 0; i < 5; ++i) {
        if (at + i >= text.size() || upper(text[at + i]) != kWord[i]) return false;
    }
    return true;
}

// Line breaks as the reader counts them (CR LF, LF, lone CR); UTF-16 text
// has no more once converted: each of its breaks is a byte counted here.
uint64_t breaks(const std::string &text) {
    uint64_t n = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')))
            ++n;
    }
    return n;
}

// How many events and to-dos the text can hold at most: its lines that
// start with BEGIN once NUL and 0xFF bytes, byte-order marks and blanks are
// passed over (the bytes of a mark one by one, which counts a few lines
// too many at worst). Converted UTF-16 text keeps the letters of its ASCII
// characters, each beside a NUL, but a faulty byte shifts the rest: there
// every BEGIN counts.
uint64_t possibleItems(const std::string &raw) {
    const bool utf16 = raw.size() >= 2 && ((raw[0] == '\xFF' && raw[1] == '\xFE') ||
                                           (raw[0] == '\xFE' && raw[1] == '\xFF'));
    std::string text;
    for (char c : raw) {
        if (c != '\0' && c != '\xFF') text += c;
    }
    uint64_t n = 0;
    bool lineStart = true;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            lineStart = true;
            continue;
        }
        if (startsBegin(text, i) && (lineStart || utf16)) ++n;
        const char c = text[i];
        lineStart =
            lineStart && (c == ' ' || c == '\t' || c == '\xEF' || c == '\xBB' || c == '\xBF');
    }
    return n;
}

int32_t putByte(void *stream, uint8_t byte) {
    static_cast<std::string *>(stream)->push_back(static_cast<char>(byte));
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // The text ends where the input does: a read past its end is seen.
    const char *text = reinterpret_cast<const char *>(data);
    const std::string copy(text, size);
    Seen seen;
    seen.lastLine = breaks(copy) + 1;
    VI_TolerantReader *reader = nullptr;
    check(VI_tolerantReaderCreate(&reader, text, size, onReport, &seen) == 0);
    ParseTreeHandle *tree = nullptr;
    const int32_t read = VI_readCalendarsTolerantly(reader, &tree);
    check((read == 0 && tree != nullptr) || (read == VCAL_ERR_NO_VCALENDAR && tree == nullptr));

    ParseTreeHandle *out = nullptr;
    uint64_t taken = 0;
    VCalendarNode *calendar = nullptr;
    for (int32_t got = read == 0 ? vCal_GetFirstCalendar(tree, &calendar) : 1; got == 0;
         got = vCal_GetNextCalendar(tree, &calendar)) {
        for (uint16_t type : {VCAL_ITEM_EVENT, VCAL_ITEM_TODO}) {
            PropertyParam item{};
            const PropertyNode *lines = nullptr;
            int32_t rc = VI_takeItemTolerantly(reader, calendar, type, 1, &item, &lines);
            for (; rc == 0; rc = VI_takeItemTolerantly(reader, calendar, type, 0, &item, &lines)) {
                ++taken;
                check(VI_itemToWriterForm(&item, type, lines) == 0);
                check(vCal_AddxItemInfoToPTree(&out, &item, type, 0) == 0);
                VI_releaseItem(&item);
            }
            check(rc == VCAL_ERR_NO_MORE_ENTITIES);
            VI_releaseItem(&item);
        }
    }

    VI_ReadCounts counts{};
    VI_tolerantReaderCounts(reader, &counts);
    check(counts.read == taken);
    check(counts.skipped == seen.kinds[VI_REPORT_SKIPPED]);
    check(counts.repaired <= counts.read && counts.lossy <= counts.repaired);
    check(counts.read + counts.skipped <= possibleItems(copy));
    check(counts.junkLines <= seen.lastLine);
    VI_tolerantReaderDestroy(&reader); // the tree goes with it
    check(reader == nullptr);

    check((taken > 0) == (out != nullptr));
    if (out == nullptr) return 0;
    std::string written;
    check(vCal_ParseTreeToStreamPut(out, &written, putByte, "1.0", nullptr) == 0);
    check(vCal_DestroyParseTree(&out) == 0);
    int32_t again = 0;
    ParseTreeHandle *back = readTree(written.data(), written.size(), &again);
    check(again == 0 && back != nullptr);
    check(static_cast<uint64_t>(back->eventsKept) + back->todosKept == taken);
    check(vCal_DestroyParseTree(&back) == 0);
    return 0;
}
