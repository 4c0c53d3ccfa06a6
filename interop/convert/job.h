// What a conversion works with: the text, the two formats, where the
// output goes, where reports go and what is counted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "interop/recover/report.h"
#include "vcal/vcalmsg.h"
#include "versit_convert.h"

namespace interop::convert {

// Output in pieces of a few tens of kilobytes, handed to the caller's
// write function. In JSON the top-level objects (one jCard or jCal each)
// are items: the first is held back until a second begins or the output
// ends, so one item is written alone and several as an array.
class Sink {
  public:
    Sink(VI_WriteFn write, void *user, bool jsonItems)
        : write_(write), user_(user), jsonItems_(jsonItems) {}

    bool put(std::string_view piece);
    bool put(std::initializer_list<std::string_view> pieces);
    // Hands over what `text` holds once it is worth a write (or, `all`,
    // whatever it holds), and empties it: writers build their output there
    // and pass it on as they go, so no whole calendar waits in memory.
    bool drain(vcal::TextBuffer &text, bool all = false);
    // In JSON, the number of top-level items to come when it is known
    // beforehand: then none is held back to see whether another follows.
    void expectItems(uint64_t count) {
        expected_ = count;
        known_ = true;
    }
    bool beginItem();
    bool endItem();
    // Writes what is held; true when everything was handed over.
    bool finish();

    // Why a put failed: the write function refused, or memory ran out.
    bool writeFailed() const { return writeFailed_; }

  private:
    bool flush();
    // Hands `text` to the write function; false (and noted) when it refuses.
    bool hand(std::string_view text);

    VI_WriteFn write_;
    void *user_;
    bool jsonItems_;
    bool writeFailed_ = false;
    bool holding_ = false; // the first item is being held back
    bool known_ = false;   // expected_ holds the number of items to come
    uint64_t expected_ = 0;
    uint64_t items_ = 0;
    vcal::TextBuffer buffer_;
};

struct Job {
    const char *text;
    size_t length;
    int32_t from; // a VI_Format, never VI_FORMAT_UNKNOWN
    int32_t to;
    Sink &out;
    Reporter &report;
    VI_ConvertCounts &counts;

    // The result for a put that failed.
    int32_t putFailure() const {
        return out.writeFailed() ? VI_ERR_WRITE_FAILED : VLIB_ERR_NO_MEMORY;
    }
};

// Cards: from VCARD21/30/40 to VCARD21/30/40/JCARD. Calendars: from
// VCAL10/ICAL20 to VCAL10/ICAL20/JCAL. 0, VLIB_ERR_NO_MEMORY or
// VI_ERR_WRITE_FAILED; the counts and reports say the rest.
int32_t convertCards(Job &job);
int32_t convertCalendars(Job &job);

} // namespace interop::convert
