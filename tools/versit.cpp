// versit: reads, checks, converts and writes vCard 2.1 and vCalendar 1.0
// files with the versit library.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "versit_core.h"
#include "versit_vcard.h"

#ifndef VERSIT_VERSION
#define VERSIT_VERSION "unknown"
#endif

namespace {

using Handler = int (*)(int argc, char **argv);

int runParse(int argc, char **argv);
int runVcard(int argc, char **argv);

struct Command {
    const char *name;
    const char *usage;
    const char *summary;
    Handler run; // null: not available in this build yet
};

// The whole command set, including what this build cannot do yet, so that
// --help tells the truth about both.
constexpr Command kCommands[] = {
    {"parse", "parse FILE|- [--print]",
     "parse every component of a versit file and show its tree (or print it back)", runParse},
    {"vcard", "vcard FILE [--count] [--no-default-types]",
     "import, verify and export every vCard of a file", runVcard},
    {"ab", "ab import|export|list --book BOOK.db ...", "exchange vCards with an address book",
     nullptr},
    {"vcal", "vcal check|items|rewrite FILE.vcs",
     "check a vCalendar file, list its items, or rewrite it normalised", nullptr},
};

void printHelp(FILE *out) {
    std::fprintf(out, "usage: versit COMMAND [ARGS]\n"
                      "       versit --help | --version\n\n"
                      "Reads, checks, converts and writes vCard 2.1 and vCalendar 1.0 files.\n\n"
                      "commands:\n");
    for (const Command &c : kCommands) {
        std::fprintf(out, "  %-44s %s%s\n", c.usage, c.summary,
                     c.run != nullptr ? "" : " (not available yet)");
    }
}

// ------------------------------------------------------------------------
// versit parse

struct ResultName {
    int code;
    const char *name;
    const char *meaning;
};
#define VERSIT_TOOL_RESULT_ROW(name, value, meaning) {value, #name, meaning},
constexpr ResultName kResultNames[] = {VERSIT_RESULT_CODES(VERSIT_TOOL_RESULT_ROW)};
#undef VERSIT_TOOL_RESULT_ROW

void printResult(FILE *out, const char *what, int32_t code) {
    for (const ResultName &r : kResultNames) {
        if (r.code == code) {
            std::fprintf(out, "%s: %s (%s)\n", what, r.name, r.meaning);
            return;
        }
    }
    std::fprintf(out, "%s: %d\n", what, static_cast<int>(code));
}

bool readInput(const char *path, std::string &text) {
    FILE *in = std::strcmp(path, "-") == 0 ? stdin : std::fopen(path, "rb");
    if (in == nullptr) return false;
    char buffer[1 << 16];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0)
        text.append(buffer, n);
    const bool ok = std::ferror(in) == 0;
    if (in != stdin) std::fclose(in);
    return ok;
}

void indent(int depth) {
    for (int i = 0; i < depth; ++i)
        std::fputs("  ", stdout);
}

// Text as a C string literal; anything that is not text (NUL bytes,
// controls other than line breaks and tabs) as a short hexadecimal summary.
void printData(const vValue *v) {
    const auto *bytes = reinterpret_cast<const unsigned char *>(v->data);
    const bool binary = v->encoding == VLIB_ENCODING_BASE64;
    size_t length =
        binary ? static_cast<size_t>(v->dataSize > 0 ? v->dataSize : 0) : std::strlen(v->data);
    bool text = true;
    for (size_t i = 0; i < length && text; ++i) {
        const unsigned char c = bytes[i];
        text = (c >= 0x20 && c != 0x7F) || c == '\t' || c == '\r' || c == '\n';
    }
    if (!text) {
        std::printf("%zu bytes:", length);
        for (size_t i = 0; i < length && i < 16; ++i)
            std::printf(" %02x", bytes[i]);
        std::fputs(length > 16 ? " ..." : "", stdout);
        return;
    }
    std::putchar('"');
    for (size_t i = 0; i < length; ++i) {
        switch (bytes[i]) {
        case '\r':
            std::fputs("\\r", stdout);
            break;
        case '\n':
            std::fputs("\\n", stdout);
            break;
        case '\t':
            std::fputs("\\t", stdout);
            break;
        case '"':
        case '\\':
            std::putchar('\\');
            std::putchar(bytes[i]);
            break;
        default:
            std::putchar(bytes[i]);
        }
    }
    std::putchar('"');
}

const char *encodingNote(int32_t encoding) {
    switch (encoding) {
    case VLIB_ENCODING_BASE64:
        return " (from BASE64)";
    case VLIB_ENCODING_QUOTED_PRINTABLE:
        return " (from QUOTED-PRINTABLE)";
    case VLIB_ENCODING_UNESCAPED:
        return " (unescaped)";
    default:
        return "";
    }
}

void printValues(const vValue *first) {
    for (const vValue *v = first; v != nullptr; v = v->next) {
        if (v != first) std::fputs(", ", stdout);
        printData(v);
        std::fputs(encodingNote(v->encoding), stdout);
    }
}

void printProperty(const vProperty *p, int depth) {
    indent(depth);
    std::printf("property \"%s\"\n", p->name);
    for (const vParameter *q = p->parameterList; q != nullptr; q = q->next) {
        indent(depth + 1);
        if (q->name[0] == '\0')
            std::fputs("parameter (bare) ", stdout);
        else
            std::printf("parameter \"%s\" = ", q->name);
        printValues(q->valueList);
        std::putchar('\n');
    }
    for (const vValue *v = p->valueList; v != nullptr; v = v->next) {
        indent(depth + 1);
        std::fputs("value ", stdout);
        printData(v);
        std::fputs(encodingNote(v->encoding), stdout);
        std::putchar('\n');
    }
}

// Depth first without recursion: a parsed tree's parent links lead back.
void printTree(const vComponent *root) {
    const vComponent *c = root;
    int depth = 0;
    for (;;) {
        indent(depth);
        std::printf("component \"%s\"\n", c->name);
        for (const vProperty *p = c->propertyList; p != nullptr; p = p->next)
            printProperty(p, depth + 1);
        if (c->subComponent != nullptr) {
            c = c->subComponent;
            ++depth;
            continue;
        }
        while (c != root && c->next == nullptr) {
            c = c->parent;
            --depth;
        }
        if (c == root) return;
        c = c->next;
    }
}

int runParse(int argc, char **argv) {
    const char *path = nullptr;
    bool print = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--print") == 0)
            print = true;
        else if (path == nullptr)
            path = argv[i];
        else
            path = "";
    }
    if (path == nullptr || path[0] == '\0') {
        std::fprintf(stderr, "usage: versit parse FILE|- [--print]\n");
        return 2;
    }
    std::string text;
    if (!readInput(path, text)) {
        std::fprintf(stderr, "versit: cannot read '%s'\n", path);
        return 2;
    }
    if (text.size() > 0x7FFFFFFF) {
        std::fprintf(stderr, "versit: '%s' is too large (2 GB or more)\n", path);
        return 2;
    }
    // Results go with the tree, or beside the text when the text is the output.
    FILE *report = print ? stderr : stdout;
    int32_t remaining = static_cast<int32_t>(text.size());
    char *at = text.data();
    int components = 0;
    int skipped = 0;
    while (at != nullptr && remaining > 0) {
        vComponent *component = nullptr;
        char *rest = nullptr;
        const int32_t result = VLIB_buildComponentFromBuffer(&component, at, 0, &remaining, &rest);
        if (result == VLIB_ERR_NO_MEMORY) {
            printResult(stderr, "versit", result);
            return 2;
        }
        if (component == nullptr) {
            // A line outside any component, or blank lines at the end.
            if (rest != nullptr || result != VLIB_ERR_NO_BEGIN) ++skipped;
        } else {
            ++components;
            if (print) {
                VLIB_fprint_vComponent(stdout, component, 0);
            } else {
                printTree(component);
            }
            printResult(report, "result", result);
            VLIB_destroy_vComponent(&component);
        }
        at = rest;
    }
    if (skipped > 0) std::fprintf(report, "%d line(s) outside any component skipped\n", skipped);
    if (components == 0) {
        std::fprintf(stderr, "versit: no component in '%s'\n", path);
        return 1;
    }
    return 0;
}

// ------------------------------------------------------------------------
// versit vcard

// The names verification did not know, in the card and the cards nested
// in it (walked through the parent links the import leaves set).
void printUnknownNames(const vComponent *root) {
    const vComponent *c = root;
    for (;;) {
        for (const vProperty *p = c->propertyList; p != nullptr; p = p->next) {
            if (p->propertyType == VCARD_PROP_UNKNOWN)
                std::printf("  unknown property \"%s\"\n", p->name);
            for (const vParameter *q = p->parameterList; q != nullptr; q = q->next) {
                if (q->parameterType == VCARD_PARM_UNKNOWN)
                    std::printf("  unknown parameter \"%s\" of property \"%s\"\n", q->name,
                                p->name);
            }
        }
        if (c->subComponent != nullptr) {
            c = c->subComponent;
            continue;
        }
        while (c != root && c->next == nullptr)
            c = c->parent;
        if (c == root) return;
        c = c->next;
    }
}

int runVcard(int argc, char **argv) {
    const char *path = nullptr;
    bool count = false;
    bool noDefaultTypes = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--count") == 0)
            count = true;
        else if (std::strcmp(argv[i], "--no-default-types") == 0)
            noDefaultTypes = true;
        else if (path == nullptr && argv[i][0] != '-')
            path = argv[i];
        else
            path = "";
    }
    if (path == nullptr || path[0] == '\0') {
        std::fprintf(stderr, "usage: versit vcard FILE [--count] [--no-default-types]\n");
        return 2;
    }
    std::string text;
    if (!readInput(path, text)) {
        std::fprintf(stderr, "versit: cannot read '%s'\n", path);
        return 2;
    }
    if (text.size() > 0x7FFFFFFF) {
        std::fprintf(stderr, "versit: '%s' is too large (2 GB or more)\n", path);
        return 2;
    }
    VCardContext *context = nullptr;
    const int32_t created = VCARD_createContext(&context);
    if (created != 0) {
        printResult(stderr, "versit", created);
        VCARD_destroyContext(&context);
        return 2;
    }
    if (noDefaultTypes) context->flags |= VCARD_NO_DEFAULT_TYPES;
    auto remaining = static_cast<int32_t>(text.size());
    if (count) {
        int32_t cards = 0;
        VCARD_countCardsInTextBuffer(context, text.c_str(), remaining, &cards);
        std::printf("%d\n", static_cast<int>(cards));
        VCARD_destroyContext(&context);
        return 0;
    }
    const char *at = text.c_str();
    int cards = 0;
    int failed = 0;
    while (at != nullptr && remaining > 0) {
        vComponent *card = nullptr;
        const char *rest = nullptr;
        int32_t left = 0;
        const int32_t result =
            VCARD_importObjectFromBuffer(context, &card, at, remaining, &rest, &left);
        if (result == VCARD_ERR_NO_CARD) break;
        if (card == nullptr) {
            ++failed;
            printResult(stdout, "not imported", result);
            if (result == VLIB_ERR_NO_MEMORY) break; // nothing was read
        } else {
            const std::string label = "card " + std::to_string(++cards);
            printResult(stdout, label.c_str(), result);
            printUnknownNames(card);
            char *exported = nullptr;
            const int32_t written = VCARD_exportObjectToBuffer(context, card, &exported);
            if (exported != nullptr) std::fputs(exported, stdout);
            std::free(exported);
            if (written != 0) {
                ++failed;
                printResult(stdout, "export", written);
            }
            VCARD_destroyCard(context, &card);
        }
        at = rest;
        remaining = left;
    }
    VCARD_destroyContext(&context);
    if (cards == 0 && failed == 0) {
        std::fprintf(stderr, "versit: no vCard in '%s'\n", path);
        return 1;
    }
    return failed > 0 ? 1 : 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        printHelp(stderr);
        return 2;
    }
    const char *name = argv[1];
    if (std::strcmp(name, "--help") == 0 || std::strcmp(name, "-h") == 0 ||
        std::strcmp(name, "help") == 0) {
        printHelp(stdout);
        return 0;
    }
    if (std::strcmp(name, "--version") == 0) {
        std::printf("versit %s\n", VERSIT_VERSION);
        return 0;
    }
    for (const Command &c : kCommands) {
        if (std::strcmp(name, c.name) != 0) continue;
        if (c.run == nullptr) {
            std::fprintf(stderr, "versit: '%s' is not available in this build yet\n", name);
            return 2;
        }
        return c.run(argc - 1, argv + 1);
    }
    std::fprintf(stderr, "versit: unknown command '%s' (try versit --help)\n", name);
    return 2;
}
