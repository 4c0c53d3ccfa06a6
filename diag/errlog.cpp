#include "diag/errlog.h"

namespace {
bool logEnabled = false;
const errlog::Observer *logObserver = nullptr;
} // namespace

namespace errlog {

void setEnabled(bool on) { logEnabled = on; }

bool enabled() { return logEnabled; }

const Observer *setObserver(const Observer *observer) {
    const Observer *previous = logObserver;
    logObserver = observer;
    return previous;
}

} // namespace errlog

void WriteErrLog(uint32_t level, int32_t code, const char *message) {
    if (message == nullptr) message = "WriteErrLog: errmesg is NULL";
    if (logObserver != nullptr && logObserver->error != nullptr)
        logObserver->error(logObserver->user, level, code, message);
    if (!logEnabled) return;
}

void WriteTraceLog(uint32_t level, const char *format, ...) {
    if (format == nullptr) format = "";
    if (logObserver != nullptr && logObserver->trace != nullptr)
        logObserver->trace(logObserver->user, level, format);
    if (!logEnabled) return;
}
