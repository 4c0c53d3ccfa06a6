// Two small helpers of card building: the current UTC time as a
// date-time record, and text escaped for a vCard value.
#include <cstdlib>
#include <ctime>

#include "vcard/vcInternal.h"

namespace {

bool needsBackslash(char c) { return c == ';' || c == ':' || c == '\\'; }

} // namespace

extern "C" {

VERSIT_API int32_t VCARD_createTimestamp(VCardContext *context, vDateTime *timestamp) {
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, "VCARD_createTimestamp()");
    if (timestamp == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    if (const std::tm *broken = std::gmtime(&now)) utc = *broken;
    timestamp->date = {utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday};
    timestamp->time = {utc.tm_hour, utc.tm_min, utc.tm_sec, 0, 0, 1, 0};
    return 0;
}

// TAB is left alone: a vCard value may hold it as it is.
VERSIT_API int32_t VCARD_escapeText(VCardContext *context, const char *text, char **escaped) {
    constexpr const char *kLabel = "VCARD_escapeText()";
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, kLabel);
    if (escaped != nullptr) *escaped = nullptr;
    if (text == nullptr || escaped == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    if (vcard::tracing(context)) vcard::traceText("VCARD_escapeText(): source text \"%s\"", text);
    size_t length = 0;
    for (const char *p = text; *p != '\0'; ++p)
        length += needsBackslash(*p) ? 2 : 1;
    auto *copy = static_cast<char *>(std::malloc(length + 1));
    if (copy == nullptr) return vcard::reportAlways(kLabel, VCARD_ERR_NO_MEMORY, "Out of memory");
    char *out = copy;
    for (const char *p = text; *p != '\0'; ++p) {
        if (needsBackslash(*p)) *out++ = '\\';
        *out++ = *p;
    }
    *out = '\0';
    if (vcard::tracing(context)) vcard::traceText("VCARD_escapeText(): target text \"%s\"", copy);
    *escaped = copy;
    return 0;
}

} // extern "C"
