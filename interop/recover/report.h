// Reports of the tolerant readers: one formatted line each, handed to the
// caller's report function, and what they add up to for the card or item
// being read.
#pragma once

#include <cstdint>

#include "versit_interop.h"

namespace interop {

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

    // What has been reported since the last startItem().
    void startItem() { repaired_ = lossy_ = false; }
    bool repaired() const { return repaired_; }
    bool lossy() const { return lossy_; }

  private:
    VI_ReportFn fn_;
    void *user_;
    bool repaired_ = false;
    bool lossy_ = false;
};

} // namespace interop
