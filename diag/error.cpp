// The versit core's and the vCard interface's way into the log.
#include <cstdio>

#include "diag/errlog.h"
#include "versit_core.h"

namespace {
// Messages are cut to this size, the terminating NUL included, so that
// one always fits an error record with room to spare.
constexpr size_t kMessageLimit = 1024;
} // namespace

extern "C" VERSIT_API int32_t VLIB_logError(const char *where, int32_t code, const char *text) {
    if (text == nullptr) text = "VLIB error";
    char message[kMessageLimit];
    if (where != nullptr)
        std::snprintf(message, sizeof message, "%s:  %s", where, text);
    else
        std::snprintf(message, sizeof message, "%s", text);
    WriteErrLog(2, code, message);
    return 0;
}

extern "C" VERSIT_API int32_t VLIB_trace(const char *text) {
    WriteTraceLog(2, text != nullptr ? text : "");
    return 0;
}
