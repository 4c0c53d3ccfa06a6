// What the conversion tests share: one call of VI_convert with its output,
// the messages of its losses and its counts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "versit_convert.h"

namespace converttest {

struct Result {
    int32_t rc = 0;
    std::string text;
    std::vector<std::string> lost;
    VI_ConvertCounts counts{};
};

inline Result convert(const std::string &in, int32_t from, int32_t to) {
    Result r;
    r.rc = VI_convert(
        in.data(), in.size(), from, to,
        [](void *user, const char *bytes, size_t n) {
            static_cast<std::string *>(user)->append(bytes, n);
            return 0;
        },
        &r.text,
        [](void *user, const VI_Report *report) {
            if (report->kind == VI_REPORT_LOST)
                static_cast<std::vector<std::string> *>(user)->push_back(report->message);
        },
        &r.lost, &r.counts);
    return r;
}

} // namespace converttest
