// The converter's entry points: which format a text is in, where output
// goes, and which half (cards or calendars) does the work.
#include <cstring>

#include "interop/convert/job.h"
#include "interop/recover/lines.h"
#include "platform/ascii.h"
#include "versit_convert.h"

namespace interop::convert {

using namespace std::string_view_literals;

namespace {

// Output is handed over in pieces about this big.
constexpr size_t kFlushSize = size_t{64} * 1024;

bool isCardFormat(int32_t f) {
    return f == VI_FORMAT_VCARD21 || f == VI_FORMAT_VCARD30 || f == VI_FORMAT_VCARD40;
}
bool isCalendarFormat(int32_t f) { return f == VI_FORMAT_VCAL10 || f == VI_FORMAT_ICAL20; }

// What a BEGIN line opens, as the tolerant readers see it: a group before
// BEGIN and letters glued to the component's name are tolerated.
int32_t opens(std::string_view line) {
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) return VI_FORMAT_UNKNOWN;
    std::string_view name = line.substr(0, colon);
    const size_t dot = name.rfind('.');
    if (dot != std::string_view::npos) name.remove_prefix(dot + 1);
    while (!name.empty() && ascii::isBlank(name.front()))
        name.remove_prefix(1);
    while (!name.empty() && ascii::isBlank(name.back()))
        name.remove_suffix(1);
    if (!sameWord(name, "BEGIN")) return VI_FORMAT_UNKNOWN;
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && ascii::isBlank(value.front()))
        value.remove_prefix(1);
    if (value.size() >= 9 && sameWord(value.substr(0, 9), "VCALENDAR")) return VI_FORMAT_VCAL10;
    if (value.size() >= 5 && sameWord(value.substr(0, 5), "VCARD")) return VI_FORMAT_VCARD21;
    return VI_FORMAT_UNKNOWN;
}

int32_t detect(const char *text, size_t length) {
    if (length >= 3 && std::memcmp(text, "\xEF\xBB\xBF", 3) == 0) {
        text += 3;
        length -= 3;
    }
    LineCursor cursor(text, length);
    Line line;
    int32_t found = VI_FORMAT_UNKNOWN;
    std::string_view rest;
    while (cursor.next(line)) {
        if (found == VI_FORMAT_UNKNOWN) {
            found = opens(line.text);
            continue;
        }
        // The first VERSION of the component decides; none at all is the
        // old format, which allowed that.
        if (isKeywordLine(line.text, "END", &rest)) break;
        if (!isKeywordLine(line.text, "VERSION", &rest)) continue;
        if (found == VI_FORMAT_VCARD21) {
            if (rest == "3.0") return VI_FORMAT_VCARD30;
            if (rest == "4.0") return VI_FORMAT_VCARD40;
        } else if (rest == "2.0") {
            return VI_FORMAT_ICAL20;
        }
        break;
    }
    return found;
}

} // namespace

bool Sink::put(std::string_view piece) {
    if (!holding_ && piece.size() >= kFlushSize) {
        // Worth a write of its own: handed over where it stands, after
        // what is held, not copied first (a photo's text would be held
        // twice).
        return flush() && hand(piece);
    }
    if (!buffer_.append(piece)) return false;
    return holding_ || buffer_.length < kFlushSize || flush();
}

bool Sink::put(std::initializer_list<std::string_view> pieces) {
    if (!buffer_.append(pieces.begin(), pieces.size())) return false;
    return holding_ || buffer_.length < kFlushSize || flush();
}

bool Sink::drain(vcal::TextBuffer &text, bool all) {
    if (text.length == 0 || (!all && text.length < kFlushSize)) return true;
    if (!put(std::string_view(text.text, text.length))) return false;
    text.length = 0;
    // (A text drained at every flush is kept; one a long item made large
    // is not.)
    text.dropIfLong(4 * kFlushSize);
    return true;
}

bool Sink::hand(std::string_view text) {
    if (write_(user_, text.data(), text.size()) == 0) return true;
    writeFailed_ = true;
    return false;
}

bool Sink::flush() {
    if (buffer_.length == 0) return true;
    if (!hand(std::string_view(buffer_.text, buffer_.length))) return false;
    buffer_.length = 0;
    return true;
}

bool Sink::beginItem() {
    if (!jsonItems_) return true;
    ++items_;
    if (items_ == 1 && known_) return expected_ < 2 || put("[");
    if (items_ == 1) {
        holding_ = true;
        return true;
    }
    if (known_) return put(",\n");
    if (items_ == 2) {
        // A second item: the first one opens an array after all.
        holding_ = false;
        if (!hand("[")) return false;
    }
    return put(",\n");
}

bool Sink::endItem() { return true; }

bool Sink::finish() {
    holding_ = false;
    const uint64_t items = known_ ? expected_ : items_;
    if (jsonItems_ && !put(items_ == 0 ? "[]\n"sv : items == 1 ? "\n"sv : "]\n"sv)) return false;
    return flush();
}

} // namespace interop::convert

extern "C" {

VERSIT_INTEROP_API int32_t VI_detectFormat(const char *text, size_t length) {
    if (text == nullptr) return VI_FORMAT_UNKNOWN;
    return interop::convert::detect(text, length);
}

VERSIT_INTEROP_API const char *VI_formatName(int32_t format) {
    switch (format) {
    case VI_FORMAT_VCARD21:
        return "vcard21";
    case VI_FORMAT_VCARD30:
        return "vcard3";
    case VI_FORMAT_VCARD40:
        return "vcard4";
    case VI_FORMAT_JCARD:
        return "jcard";
    case VI_FORMAT_VCAL10:
        return "vcal10";
    case VI_FORMAT_ICAL20:
        return "ical";
    case VI_FORMAT_JCAL:
        return "jcal";
    default:
        return nullptr;
    }
}

VERSIT_INTEROP_API int32_t VI_convert(const char *text, size_t length, int32_t from, int32_t to,
                                      VI_WriteFn write, void *writeUser, VI_ReportFn report,
                                      void *reportUser, VI_ConvertCounts *counts) {
    using namespace interop::convert;
    VI_ConvertCounts seen{};
    if (counts != nullptr) *counts = seen;
    if ((text == nullptr && length > 0) || write == nullptr) return VI_ERR_NULL_ARGUMENT;
    if (text == nullptr) text = "";
    if (from == VI_FORMAT_UNKNOWN) from = detect(text, length);
    if (!isCardFormat(from) && !isCalendarFormat(from)) return VI_ERR_UNKNOWN_FORMAT;
    const bool cards = isCardFormat(from);
    if (cards ? !(isCardFormat(to) || to == VI_FORMAT_JCARD)
              : !(isCalendarFormat(to) || to == VI_FORMAT_JCAL))
        return VI_ERR_NOT_CONVERTIBLE;
    Sink sink(write, writeUser, to == VI_FORMAT_JCARD || to == VI_FORMAT_JCAL);
    interop::Reporter reporter(report, reportUser);
    Job job{text, length, from, to, sink, reporter, seen};
    int32_t rc = cards ? convertCards(job) : convertCalendars(job);
    if (rc == 0 && !sink.finish()) rc = job.putFailure();
    if (counts != nullptr) *counts = seen;
    return rc;
}

} // extern "C"
