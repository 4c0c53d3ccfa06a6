// The stream reader, for a caller inside the libraries that wants each
// event and to-do as soon as it is read rather than a tree of them all.
#pragma once

#include <cstdint>

#include "versit_vcal.h"

namespace vcal {

struct TextBuffer;

// Where a reading item by item hands what it reads. Each returns 0, or a
// code that ends the reading and is its result.
class ItemSink {
  public:
    // A calendar whose own lines are all read: they stand before its first
    // block. Also a calendar whose text ends among them.
    virtual int32_t calendar(VCalendarNode *calendar) = 0;
    // An event or to-do the reader keeps (a VEventNode or VTodoNode), in
    // the order of the text, valid until this returns. `ordinal` counts the
    // blocks of its type read before it, kept or not; `line` is the number
    // of its BEGIN line, `start` where that line starts in a text in memory.
    virtual int32_t item(uint16_t type, const void *node, uint64_t ordinal, uint64_t line,
                         const char *start) = 0;

    // The reading's error text so far, while it reads: for a sink whose
    // source forgets lines the messages name.
    const TextBuffer *errors = nullptr;

  protected:
    ~ItemSink() = default;
};

// Reads as vCal_ParseTreeFromStreamGet does, with the same results and
// messages, but hands each kept event and to-do to `sink` instead of
// linking it into its calendar: memory grows with the largest item, not
// with the text. The tree keeps the calendars and their own lines. With
// `checks` false the values of events and to-dos go unchecked: for a text
// read before with every check and found without a fault, so that the
// second reading keeps what the first did. The arguments are not checked.
int32_t readByItem(ParseTreeHandle **handle, void *stream, vCalStreamNextByteGet get, char **errors,
                   char **warnings, ItemSink &sink, bool checks);

} // namespace vcal
