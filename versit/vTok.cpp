// The versit core's own tokens: value types, parameters, components and
// encodings, as one table searched by class.
#include <iterator>

#include "platform/ascii.h"
#include "platform/calapi.h"
#include "versit_core.h"

namespace {

struct Token {
    const char *name;
    int32_t code;
};

// Each class is one contiguous run; the runs below must stay in step.
constexpr Token kTokens[] = {
    {"DATE", VLIB_TYPE_DATE},
    {"DATE-TIME", VLIB_TYPE_DATE_TIME},
    {"DURATION", VLIB_TYPE_DURATION},
    {"FLOAT", VLIB_TYPE_FLOAT},
    {"INTEGER", VLIB_TYPE_INTEGER},
    {"PERIOD", VLIB_TYPE_PERIOD},
    {"TEXT", VLIB_TYPE_TEXT},
    {"TIME", VLIB_TYPE_TIME},
    {"URL", VLIB_TYPE_URL},
    {"UTC-OFFSET", VLIB_TYPE_UTC_OFFSET},
    {"BOOLEAN", VLIB_TYPE_BOOLEAN},
    {"CAL-ADDRESS", VLIB_TYPE_CAL_ADDRESS},
    {"CHARSET", VLIB_PARAM_CHARSET},
    {"LANGUAGE", VLIB_PARAM_LANGUAGE},
    {"ENCODING", VLIB_PARAM_ENCODING},
    {"VALUE", VLIB_PARAM_VALUE},
    {"ICALENDAR", VLIB_COMP_ICALENDAR},
    {"VCALENDAR", VLIB_COMP_VCALENDAR},
    {"VEVENT", VLIB_COMP_VEVENT},
    {"VTODO", VLIB_COMP_VTODO},
    {"VJOURNAL", VLIB_COMP_VJOURNAL},
    {"VALARM", VLIB_COMP_VALARM},
    {"VTIMEZONE", VLIB_COMP_VTIMEZONE},
    {"VFREEBUSY", VLIB_COMP_VFREEBUSY},
    {"B", VLIB_ENCODING_BASE64},
    {"BASE64", VLIB_ENCODING_BASE64},
    {"7BIT", VLIB_ENCODING_7BIT},
    {"8BIT", VLIB_ENCODING_8BIT},
    {"Q", VLIB_ENCODING_QUOTED_PRINTABLE},
    {"QUOTED-PRINTABLE", VLIB_ENCODING_QUOTED_PRINTABLE},
};

struct Run {
    int32_t tokenClass;
    int first;
    int count;
};

constexpr Run kRuns[] = {
    {VLIB_CLASS_VALUE_TYPE, 0, 12},
    {VLIB_CLASS_PARAMETER, 12, 4},
    {VLIB_CLASS_COMPONENT, 16, 8},
    {VLIB_CLASS_ENCODING, 24, 6},
};

constexpr bool runsCoverTable() {
    int next = 0;
    for (const Run &run : kRuns) {
        if (run.first != next) return false;
        for (int i = run.first; i < run.first + run.count; ++i) {
            if ((kTokens[i].code & 0xF00) != run.tokenClass) return false;
        }
        next += run.count;
    }
    return next == static_cast<int>(std::size(kTokens));
}
static_assert(runsCoverTable(), "token runs must partition the table by class");

} // namespace

extern "C" VERSIT_API int32_t VLIB_identifyToken(const char *name, int32_t tokenClass) {
    if (name == nullptr) return VLIB_TOKEN_NONE;
    int first = 0;
    int count = static_cast<int>(std::size(kTokens));
    for (const Run &run : kRuns) {
        if (run.tokenClass == tokenClass) {
            first = run.first;
            count = run.count;
        }
    }
    // Most tokens of a class differ in their first letter: only those that
    // share it are compared whole.
    const unsigned char lead = ascii::lower(static_cast<unsigned char>(name[0]));
    for (int i = first; i < first + count; ++i) {
        if (ascii::lower(static_cast<unsigned char>(kTokens[i].name[0])) == lead &&
            calapi::strcasecmp(kTokens[i].name, name) == 0)
            return kTokens[i].code;
    }
    return VLIB_TOKEN_NONE;
}
