// versit parse FILE|- [--print]: every outermost component of a versit
// file as a tree, or printed back as versit text.
#include <cstring>
#include <string>
#include <vector>

#include "tool.h"
#include "versit_core.h"

namespace {

void indent(int depth) {
    for (int i = 0; i < depth; ++i)
        std::fputs("  ", stdout);
}

// `before`, the name, `after`: without printf, which costs more than the
// rest of a line.
void named(const char *before, const char *name, const char *after) {
    std::fputs(before, stdout);
    std::fputs(name, stdout);
    std::fputs(after, stdout);
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
        // ASCII that stands as it is goes out a run at a time: a photo's
        // text is thousands of bytes.
        size_t run = i;
        while (run < length && bytes[run] >= 0x20 && bytes[run] < 0x80 && bytes[run] != '"' &&
               bytes[run] != '\\')
            ++run;
        if (run > i) {
            std::fwrite(bytes + i, 1, run - i, stdout);
            i = run - 1;
            continue;
        }
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
        default: {
            const size_t n = utf8Length(bytes + i, length - i);
            if (n == 0) {
                std::fputs(kReplacement, stdout);
            } else {
                std::fwrite(bytes + i, 1, n, stdout);
                i += n - 1;
            }
        }
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
    named("property \"", p->name, "\"\n");
    for (const vParameter *q = p->parameterList; q != nullptr; q = q->next) {
        indent(depth + 1);
        if (q->name[0] == '\0')
            std::fputs("parameter (bare) ", stdout);
        else
            named("parameter \"", q->name, "\" = ");
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
        named("component \"", c->name, "\"\n");
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

} // namespace

namespace {

// One file: its components shown (or printed back); the exit status.
int parseFile(const char *path, bool print) {
    std::string text;
    if (!readInput(path, text)) return 2;
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
        std::fprintf(stderr, "versit: no component in '%s': %s\n", path, looksLike(text).c_str());
        return 1;
    }
    return 0;
}

} // namespace

int runParse(int argc, char **argv) {
    std::vector<const char *> paths;
    bool print = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--print") == 0)
            print = true;
        else
            paths.push_back(argv[i]);
    }
    if (paths.empty()) {
        std::fprintf(stderr, "usage: versit parse FILE|-... [--print]\n");
        return 2;
    }
    int status = 0;
    for (const char *path : paths) {
        const int s = parseFile(path, print);
        if (s > status) status = s;
    }
    return status;
}
