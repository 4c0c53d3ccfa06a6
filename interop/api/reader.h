// The tolerant reader behind the VI_TolerantReader handle: the text, the
// card front end, the calendars it rewrote and read, and the walk over
// their items.
#pragma once

#include <cstdlib>

#include "interop/recover/calendarRecover.h"
#include "interop/recover/cardRecover.h"
#include "interop/recover/report.h"
#include "vcard/vcInternal.h"
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

// Where a reading of calendars item by item hands what it reads. Each
// returns 0, or a code that ends the reading and is its result.
class CalendarItems {
  public:
    // How many times the calendars and items are to be handed on.
    virtual int passes() const { return 1; }
    // Before each time: how many calendars there are.
    virtual int32_t begin(uint64_t calendars) = 0;
    // A calendar with its own lines; its items follow.
    virtual int32_t calendar(const VCalendarNode &calendar) = 0;
    // An event or to-do as the exact reader keeps it, in the order of the
    // text, with where it comes from (null when not known).
    virtual int32_t item(uint16_t type, const PropertyNode *lines, const ItemOrigin *origin) = 0;

  protected:
    ~CalendarItems() = default;
};

// The calendars of the reader's text as VI_readCalendarsTolerantly reads
// them, its reports and counts included, handed on item by item rather
// than held as a tree. 0, VCAL_ERR_NO_MEMORY or a code of `to`.
int32_t readCalendarsByItem(VI_TolerantReader &reader, CalendarItems &to);

// VI_readCardTolerantly, telling also where the card stands; a converter
// has the card verified only as far as it reads it (vcard::Verify).
int32_t readCard(VI_TolerantReader &reader, VCardContext *context, vComponent **card,
                 CardPlace *place, vcard::Verify verify);

} // namespace interop
