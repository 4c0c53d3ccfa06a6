// Reports of the tolerant readers: one formatted line each, handed to the
// caller's report function, and what they add up to for the card or item
// being read.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "versit_interop.h"

namespace interop {

// vsnprintf(out, size, format, args) for formats of the conversions
// messages use (%s, %.*s, %.Ns, %c, %d, %u, %ld, %lu, %lld, %llu, %zu,
// %%), written without the C library's formatter, which costs more than
// most messages are long: true with what vsnprintf would have written,
// false (`out` undefined) for anything else, which the caller then gives
// to vsnprintf. `size` is at least 1.
bool formatPlain(char *out, size_t size, const char *format, va_list args);

class Reporter {
  public:
    Reporter(VI_ReportFn fn, void *user) : fn_(fn), user_(user) {}

    // Formats the message (printf-style) and reports it. Messages longer
    // than a line are cut.
    void operator()(uint64_t line, VI_ReportKind kind, const char *format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 4, 5)))
#endif
        ;

    // A line given as deferred(n) is worked out by `resolve` only when a
    // report carrying it is handed over: finding a property's line means
    // walking the text again, and most lines are never reported.
    using LineResolver = uint64_t (*)(void *user, uint64_t n);
    static constexpr uint64_t deferred(uint64_t n) { return n | kDeferred; }
    // n of a deferred line, or kNotDeferred for a line itself.
    static constexpr uint64_t kNotDeferred = ~uint64_t{0};
    static constexpr uint64_t deferredIndex(uint64_t line) {
        return (line & kDeferred) != 0 ? line & ~kDeferred : kNotDeferred;
    }
    void resolveLinesWith(LineResolver resolve, void *user) {
        resolve_ = resolve;
        resolveUser_ = user;
    }

    // A VI_ReportFn handing each report on to the Reporter given as
    // `reporter` (which then knows what the item lost).
    static void forward(void *reporter, const VI_Report *report);

    // What has been reported since the last startItem().
    void startItem() { repaired_ = lossy_ = false; }
    bool repaired() const { return repaired_; }
    bool lossy() const { return lossy_; }

  private:
    // Whether a report reaches a caller's function, through any reporters
    // it is forwarded to; and what it marks, here and in those.
    bool heard() const;
    void note(VI_ReportKind kind);

    static constexpr uint64_t kDeferred = uint64_t{1} << 63;

    VI_ReportFn fn_;
    void *user_;
    LineResolver resolve_ = nullptr;
    void *resolveUser_ = nullptr;
    bool repaired_ = false;
    bool lossy_ = false;
};

// While it lives, `report` works out deferred lines with `resolve`.
class ResolvingLines {
  public:
    ResolvingLines(Reporter &report, Reporter::LineResolver resolve, void *user) : report_(report) {
        report_.resolveLinesWith(resolve, user);
    }
    ~ResolvingLines() { report_.resolveLinesWith(nullptr, nullptr); }
    ResolvingLines(const ResolvingLines &) = delete;
    ResolvingLines &operator=(const ResolvingLines &) = delete;

  private:
    Reporter &report_;
};

} // namespace interop
