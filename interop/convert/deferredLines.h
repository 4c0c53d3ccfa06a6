// Report lines worked out only when a report carries one (see
// Reporter::deferred). The records a converter reads keep no line numbers,
// so a property's line is looked for again in the text, from where its
// card or item begins, in the order the converter asks; most are never
// reported, and looking for every one would walk each line of the text once
// more. The questions about one card or item are kept and answered, in
// their order, when a report wants one of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "interop/recover/array.h"
#include "interop/recover/lines.h"

namespace interop::convert {

class DeferredLines {
  public:
    struct Question {
        enum Kind : uint8_t { Begin, Property, End } kind;
        std::string_view name;
        uint64_t given; // `after` or `fallback`, itself perhaps deferred
    };

    DeferredLines(const char *text, size_t length) : cursor_(text, length) {}
    virtual ~DeferredLines() = default;
    DeferredLines(const DeferredLines &) = delete;
    DeferredLines &operator=(const DeferredLines &) = delete;

    // Memory ran out for a question since the card or item began.
    bool outOfMemory() const { return outOfMemory_; }
    // The reporter's resolver; its user is the DeferredLines.
    static uint64_t resolve(void *lines, uint64_t n);

  protected:
    // A new card or item: its questions start afresh.
    void restart();
    // Asks the question of `kind` about `name` with `given`: a deferred
    // line. Without room to keep it, a property's fallback (other
    // questions: 0). (Its parts are handed over apart: the question is
    // made where it is kept, not on the stack and copied; see
    // Array::emplace.)
    uint64_t ask(Question::Kind kind, std::string_view name, uint64_t given);
    // An earlier answer where `given` is deferred, else `given` itself.
    uint64_t value(uint64_t given) const;
    // Where the search starts, once per card or item; how a question is
    // answered, the cursor going on from where the one before stopped.
    virtual void place() = 0;
    virtual uint64_t search(const Question &q) = 0;

    LineCursor cursor_;

  private:
    uint64_t answer(uint64_t n);

    Array<Question> questions_;
    Array<uint64_t> answers_;
    bool placed_ = false;
    bool outOfMemory_ = false;
};

} // namespace interop::convert
