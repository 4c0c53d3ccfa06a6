#include "support/log_capture.h"

LogCapture::LogCapture()
    : observer_{&LogCapture::onError, &LogCapture::onTrace, this},
      previous_(errlog::setObserver(&observer_)) {}

LogCapture::~LogCapture() { errlog::setObserver(previous_); }

std::vector<std::string> LogCapture::errors() const {
    std::vector<std::string> out;
    for (const LogRecord &r : records_) {
        if (!r.trace) out.push_back(r.message);
    }
    return out;
}

void LogCapture::onError(void *user, uint32_t level, int32_t code, const char *message) {
    static_cast<LogCapture *>(user)->records_.push_back({level, code, message, false});
}

void LogCapture::onTrace(void *user, uint32_t level, const char *format) {
    static_cast<LogCapture *>(user)->records_.push_back({level, 0, format, true});
}
