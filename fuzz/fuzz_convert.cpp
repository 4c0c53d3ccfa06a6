// The converter on any text, to every format: no crash, no read past the
// input, the whole output handed over, JSON output balanced, and counts
// that add up; with a report function, every message a line's worth of
// text, and the output and counts those of a conversion no one listens to.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "versit_convert.h"

namespace {

int collect(void *user, const char *bytes, size_t length) {
    static_cast<std::string *>(user)->append(bytes, length);
    return 0;
}

// Brackets outside strings balance, and the text is one JSON value.
bool balanced(const std::string &json) {
    int depth = 0;
    bool inString = false;
    for (size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
            else if (static_cast<unsigned char>(c) < 0x20)
                return false;
            continue;
        }
        if (c == '"') inString = true;
        if (c == '[' || c == '{') ++depth;
        if ((c == ']' || c == '}') && --depth < 0) return false;
    }
    return depth == 0 && !inString;
}

void listen(void *user, const VI_Report *report) {
    check(report->message != nullptr && report->message[0] != '\0' &&
          std::strlen(report->message) < 320);
    ++*static_cast<uint64_t *>(user);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    const int32_t to = 1 + data[0] % VI_FORMAT_JCAL;
    const char *text = reinterpret_cast<const char *>(data + 1);
    std::string out;
    VI_ConvertCounts counts{};
    const int32_t result =
        VI_convert(text, size - 1, VI_FORMAT_UNKNOWN, to, collect, &out, nullptr, nullptr, &counts);
    check(result == 0 || result == VI_ERR_UNKNOWN_FORMAT || result == VI_ERR_NOT_CONVERTIBLE);
    if (result != 0) {
        check(out.empty());
        return 0;
    }
    check(counts.written <= counts.read && counts.lossy <= counts.written);
    if (to == VI_FORMAT_JCARD || to == VI_FORMAT_JCAL) check(balanced(out));
    if ((data[0] / VI_FORMAT_JCAL) % 2 == 1) {
        std::string heard;
        VI_ConvertCounts counted{};
        uint64_t reports = 0;
        check(VI_convert(text, size - 1, VI_FORMAT_UNKNOWN, to, collect, &heard, listen, &reports,
                         &counted) == 0);
        check(heard == out && counted.read == counts.read && counted.written == counts.written &&
              counted.lossy == counts.lossy && counted.skipped == counts.skipped &&
              counted.junkLines == counts.junkLines);
    }
    return 0;
}
