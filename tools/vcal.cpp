// versit vcal: vCalendar files through the reader.
#include <cstdlib>
#include <cstring>

#include "tool.h"
#include "versit_vcal.h"

namespace {

// The bytes of a file (or of standard input for "-") one at a time, as the
// reader asks for them; after the end, 0 for ever.
struct FileSource {
    FILE *file;
    bool failed;
};

int32_t nextByte(void *stream, uint8_t *byte) {
    auto *source = static_cast<FileSource *>(stream);
    const int c = std::getc(source->file);
    if (c == EOF) {
        if (std::ferror(source->file) != 0) {
            source->failed = true;
            return VCAL_ERR_NO_LINE;
        }
        *byte = 0;
        return 0;
    }
    *byte = static_cast<uint8_t>(c);
    return 0;
}

// Every text the reader hands back ends its lines in CR LF; the terminal
// gets plain line ends.
void printText(const char *text) {
    for (const char *p = text; *p != '\0'; ++p) {
        if (*p != '\r') std::putchar(*p);
    }
}

// Counts what the tree holds, beyond the handle's 16-bit counters.
void printSummary(const ParseTreeHandle *tree) {
    unsigned long calendars = 0, events = 0, todos = 0;
    for (const VCalendarNode *c = tree != nullptr ? tree->firstCalendar : nullptr; c != nullptr;
         c = c->next) {
        ++calendars;
        for (const VEventNode *e = c->events; e != nullptr; e = e->next)
            ++events;
        for (const VTodoNode *t = c->todos; t != nullptr; t = t->next)
            ++todos;
    }
    std::printf("calendars: %lu read", calendars);
    if (tree != nullptr) std::printf(", %u closed", tree->calendarsEnded);
    std::printf("; events: %u read, %lu kept; to-dos: %u read, %lu kept\n",
                tree != nullptr ? tree->eventsRead : 0u, events,
                tree != nullptr ? tree->todosRead : 0u, todos);
}

// versit vcal check FILE.vcs|-: like a linter, 0 for a clean file, 1 for
// warnings only, 2 for errors (or a file that cannot be read).
int vcalCheck(const char *path) {
    const bool stdinput = std::strcmp(path, "-") == 0;
    FILE *file = stdinput ? stdin : std::fopen(path, "rb");
    if (file == nullptr) {
        std::fprintf(stderr, "versit: cannot open %s\n", path);
        return 2;
    }
    FileSource source{file, false};
    ParseTreeHandle *tree = nullptr;
    char *errors = nullptr;
    char *warnings = nullptr;
    uint8_t versionOk = 0;
    char version[9] = {};
    const int32_t rc = vCal_ParseTreeFromStreamGet(&tree, &source, nextByte, &errors, &warnings,
                                                   nullptr, nullptr, &versionOk, version, 0);
    if (!stdinput) std::fclose(file);
    if (warnings != nullptr) printText(warnings);
    if (errors != nullptr) printText(errors);
    printSummary(tree);
    if (source.failed) std::fprintf(stderr, "versit: read error on %s\n", path);
    printResult(stdout, "result", rc);
    const int status = rc != 0 || errors != nullptr ? 2 : warnings != nullptr ? 1 : 0;
    std::free(errors);
    std::free(warnings);
    if (tree != nullptr) vCal_DestroyParseTree(&tree);
    return status;
}

} // namespace

int runVcal(int argc, char **argv) {
    if (argc == 3 && std::strcmp(argv[1], "check") == 0) return vcalCheck(argv[2]);
    if (argc >= 2 && (std::strcmp(argv[1], "items") == 0 || std::strcmp(argv[1], "rewrite") == 0)) {
        std::fprintf(stderr, "versit: 'vcal %s' is not available in this build yet\n", argv[1]);
        return 2;
    }
    std::fprintf(stderr, "usage: versit vcal check FILE.vcs|-\n");
    return 2;
}
