#include "interop/recover/report.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "versit/vMemory.h"

namespace interop {

void Reporter::note(VI_ReportKind kind) {
    for (Reporter *r = this; r != nullptr;
         r = r->fn_ == forward ? static_cast<Reporter *>(r->user_) : nullptr) {
        if (kind == VI_REPORT_REPAIRED) r->repaired_ = true;
        if (kind == VI_REPORT_LOST) r->repaired_ = r->lossy_ = true;
    }
}

bool Reporter::heard() const {
    const Reporter *r = this;
    while (r->fn_ == forward)
        r = static_cast<const Reporter *>(r->user_);
    return r->fn_ != nullptr;
}

void Reporter::operator()(uint64_t line, VI_ReportKind kind, const char *format, ...) {
    // A message handed on only to reporters that hand it to nobody is not
    // made: the converters read with no report function as often as not,
    // and a card may carry a dozen repairs.
    if (!heard()) {
        note(kind);
        return;
    }
    if (kind == VI_REPORT_REPAIRED) repaired_ = true;
    if (kind == VI_REPORT_LOST) repaired_ = lossy_ = true;
    if ((line & kDeferred) != 0)
        line = resolve_ != nullptr ? resolve_(resolveUser_, line & ~kDeferred) : 0;
    char message[320];
    va_list args;
    va_start(args, format);
    // Most messages are words alone, or one handed on as "%s": they are
    // given as they stand, as printf would write them, when they fit.
    // (The analyzer loses track of va_start in a variadic operator.)
    const char *text = message;
    if (std::strchr(format, '%') == nullptr) {
        text = format;
    } else if (std::strcmp(format, "%s") == 0) {
        // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
        text = va_arg(args, const char *);
        if (text == nullptr) text = "(null)"; // as the C library writes it
    } else {
        // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
        std::vsnprintf(message, sizeof message, format, args);
    }
    va_end(args);
    if (text != message && std::strlen(text) >= sizeof message) {
        std::memcpy(message, text, sizeof message - 1);
        message[sizeof message - 1] = '\0';
        text = message;
    }
    const VI_Report report = {line, kind, text};
    // The caller's function may make records of its own: they must be
    // malloc's, not the arena's of a card being read.
    const vmem::ArenaScope plain(nullptr);
    fn_(user_, &report);
}

void Reporter::forward(void *reporter, const VI_Report *report) {
    (*static_cast<Reporter *>(reporter))(report->line, static_cast<VI_ReportKind>(report->kind),
                                         "%s", report->message);
}

} // namespace interop
