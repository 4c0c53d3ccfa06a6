#include <cstring>

#include "tool.h"
#include "versit_interop.h"

const char *resultName(int32_t code) {
    const char *name = VI_resultName(code);
    return name != nullptr ? name : "(no name)";
}

void printResult(FILE *out, const char *what, int32_t code) {
    if (const char *name = VI_resultName(code))
        std::fprintf(out, "%s: %s (%s)\n", what, name, VI_resultText(code));
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
