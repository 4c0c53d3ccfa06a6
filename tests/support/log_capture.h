// Collects what the library hands to its log writers, for the duration of
// one object's life.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "diag/errlog.h"

struct LogRecord {
    uint32_t level;
    int32_t code;        // 0 for trace records
    std::string message; // the error message, or the trace format
    bool trace;
};

class LogCapture {
  public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    const std::vector<LogRecord> &records() const { return records_; }
    std::vector<std::string> errors() const;
    void clear() { records_.clear(); }

  private:
    static void onError(void *user, uint32_t level, int32_t code, const char *message);
    static void onTrace(void *user, uint32_t level, const char *format);
    errlog::Observer observer_;
    const errlog::Observer *previous_;
    std::vector<LogRecord> records_;
};
