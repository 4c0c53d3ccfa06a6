#include <cstring>

#include "tool.h"
#include "versit_result.h"

namespace {

struct ResultName {
    int32_t code;
    const char *name;
    const char *meaning;
};
#define VERSIT_TOOL_RESULT_ROW(name, value, meaning) {value, #name, meaning},
constexpr ResultName kResultNames[] = {VERSIT_RESULT_CODES(VERSIT_TOOL_RESULT_ROW)};
#undef VERSIT_TOOL_RESULT_ROW

const ResultName *find(int32_t code) {
    for (const ResultName &r : kResultNames) {
        if (r.code == code) return &r;
    }
    return nullptr;
}

} // namespace

const char *resultName(int32_t code) {
    const ResultName *r = find(code);
    return r != nullptr ? r->name : "(no name)";
}

void printResult(FILE *out, const char *what, int32_t code) {
    if (const ResultName *r = find(code))
        std::fprintf(out, "%s: %s (%s)\n", what, r->name, r->meaning);
    else
        std::fprintf(out, "%s: %ld\n", what, static_cast<long>(code));
}

bool readInput(const char *path, std::string &text) {
    FILE *in = std::strcmp(path, "-") == 0 ? stdin : std::fopen(path, "rb");
    bool ok = in != nullptr;
    if (ok) {
        char buffer[1 << 16];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0)
            text.append(buffer, n);
        ok = std::ferror(in) == 0;
        if (in != stdin) std::fclose(in);
    }
    if (!ok) {
        std::fprintf(stderr, "versit: cannot read '%s'\n", path);
        return false;
    }
    if (text.size() > 0x7FFFFFFF) {
        std::fprintf(stderr, "versit: '%s' is too large (2 GB or more)\n", path);
        return false;
    }
    return true;
}
