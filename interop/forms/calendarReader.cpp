// Calendars of a text buffer, read by the exact reader. A client holding
// the text in memory should not pay for a callback per byte: the reader
// knows the in-memory source and takes a line's ordinary bytes in runs.
#include "vcal/vcalline.h"
#include "versit_interop.h"

extern "C" {

VERSIT_INTEROP_API int32_t VI_readCalendarText(ParseTreeHandle **phandle, const char *text,
                                               size_t length, char **errmesgptr,
                                               char **warningptr) {
    // Nothing at all may come as a null pointer (an empty vector's data).
    static const char kEmpty = '\0';
    const bool missing = text == nullptr && length > 0;
    if (text == nullptr) text = &kEmpty;
    vcal::MemoryStream source{text, text + (missing ? 0 : length)};
    uint8_t versionOk = 0;
    char version[9];
    // A missing text stands where a null stream would: the reader checks
    // and reports the arguments in its own order.
    return vCal_ParseTreeFromStreamGet(phandle, missing ? nullptr : &source, vcal::memoryNextByte,
                                       errmesgptr, warningptr, nullptr, nullptr, &versionOk,
                                       version, 0);
}

} // extern "C"
