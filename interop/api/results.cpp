// Result codes by name and meaning, from the one table of versit_result.h.
#include "versit_interop.h"

namespace {

struct ResultName {
    int32_t code;
    const char *name;
    const char *meaning;
};
#define VERSIT_INTEROP_RESULT_ROW(name, value, meaning) {value, #name, meaning},
constexpr ResultName kResultNames[] = {VERSIT_RESULT_CODES(VERSIT_INTEROP_RESULT_ROW)};
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
