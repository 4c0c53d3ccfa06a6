// versit: reads, checks, converts and writes vCard 2.1 and vCalendar 1.0
// files with the versit library.
#include <cstdio>
#include <cstring>

#include "tool.h"

#ifndef VERSIT_VERSION
#define VERSIT_VERSION "unknown"
#endif

namespace {

using Handler = int (*)(int argc, char **argv);

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
    {"vcard", "vcard [--strict] [--verbose] [--count] [--no-default-types] FILE|-...",
     "read every vCard of the files, repairing what phones and PIMs get wrong (--strict: the "
     "library's exact reading), verify it and write it to standard output; a summary per file "
     "and every loss on standard error, every repair too with --verbose (exit 0 nothing lost, "
     "1 something skipped or lost, 2 unreadable)",
     runVcard},
    {"ab", "ab import|export|list --book BOOK.db ...",
     "an address book in a file: import FILE.vcf creates an entry per card, export [ID...] "
     "writes entries as vCards, list shows them",
     runAb},
    {"vcal", "vcal check|items|rewrite FILE.vcs|- [--json] [-o FILE] [--strict] [--verbose]",
     "read a vCalendar file, repairing what phones and PIMs get wrong (--strict: the library's "
     "exact reader): check lists every repair and loss; items lists the events and to-dos as a "
     "client receives them (UTC times, texts, codes, alarms, occurrences; --json for scripts); "
     "rewrite writes them as one vCalendar 1.0 calendar in the library's own form, to standard "
     "output or -o FILE (rules, RDATE and properties the client has no field for are not "
     "written). A summary on standard error; exit 0 nothing lost, 1 something left out or lost, "
     "2 unreadable. check --strict keeps the exact reader's linter codes: 0 clean, 1 "
     "warnings, 2 errors",
     runVcal},
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
