// Result codes by name and meaning, from the one table of versit_result.h.
#include "versit_convert.h"
#include "versit_interop.h"

namespace {

struct ResultName {
    int32_t code;
    const char *name;
    const char *meaning;
};
#define VERSIT_INTEROP_RESULT_ROW(name, value, meaning) {value, #name, meaning},
constexpr ResultName kResultNames[] = {
    VERSIT_RESULT_CODES(VERSIT_INTEROP_RESULT_ROW)
    // The converter's own.
    {VI_ERR_UNKNOWN_FORMAT, "VI_ERR_UNKNOWN_FORMAT", "the text is no card or calendar we read"},
    {VI_ERR_NOT_CONVERTIBLE, "VI_ERR_NOT_CONVERTIBLE",
     "cards cannot be converted to a calendar format, nor calendars to a card format"},
    {VI_ERR_WRITE_FAILED, "VI_ERR_WRITE_FAILED", "the output could not be written"},
    {VI_ERR_NULL_ARGUMENT, "VI_ERR_NULL_ARGUMENT", "a required pointer was null"}};
#undef VERSIT_INTEROP_RESULT_ROW

const ResultName *find(int32_t code) {
    for (const ResultName &r : kResultNames) {
        if (r.code == code) return &r;
    }
    return nullptr;
}

} // namespace

extern "C" {

VERSIT_INTEROP_API const char *VI_resultName(int32_t code) {
    const ResultName *r = find(code);
    return r != nullptr ? r->name : nullptr;
}

VERSIT_INTEROP_API const char *VI_resultText(int32_t code) {
    const ResultName *r = find(code);
    return r != nullptr ? r->meaning : nullptr;
}

} // extern "C"
