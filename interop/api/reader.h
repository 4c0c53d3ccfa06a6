// The tolerant reader behind the VI_TolerantReader handle: the text, the
// card front end, the calendars it rewrote and read, and the walk over
// their items.
#pragma once

#include <cstdlib>

#include "interop/recover/calendarRecover.h"
#include "interop/recover/cardRecover.h"
#include "interop/recover/report.h"
#include "versit_interop.h"

struct VI_TolerantReader {
    VI_TolerantReader(const char *text_, size_t length_, VI_ReportFn fn, void *user, char *owned)
        : text(text_), length(length_), scanner(text_, length_), report(fn, user),
          converted(owned) {}
    ~VI_TolerantReader() {
        if (tree != nullptr) vCal_DestroyParseTree(&tree);
        std::free(converted);
    }
    VI_TolerantReader(const VI_TolerantReader &) = delete;
    VI_TolerantReader &operator=(const VI_TolerantReader &) = delete;

    const char *text;
    size_t length;
    interop::CardScanner scanner;
    interop::Reporter report;
    char *converted; // the text in UTF-8 when it came in UTF-16
    VI_ReadCounts counts{};

    // Calendars: read once, on the first call that wants them.
    bool calendarsRead = false;
    interop::RepairedCalendars repaired;
    ParseTreeHandle *tree = nullptr;
    // The walk of VI_takeItemTolerantly.
    const void *walkNode = nullptr;
    size_t walkIndex = 0; // into repaired.events or repaired.todos
    int32_t walkZone = 0;
};

namespace interop {

// Where a card read stands in the reader's text: its BEGIN line's number,
// and where that line starts.
struct CardPlace {
    uint64_t line = 0;
    size_t at = 0;
};

// VI_readCardTolerantly, telling also where the card stands.
int32_t readCard(VI_TolerantReader &reader, VCardContext *context, vComponent **card,
                 CardPlace *place);

} // namespace interop
