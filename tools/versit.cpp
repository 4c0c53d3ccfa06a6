// versit: reads, checks, converts and writes vCard 2.1 and vCalendar 1.0
// files with the versit library.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>

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
    {"parse", "parse FILE|-... [--print] [-o FILE]",
     "parse every component of a versit file and show its tree (or print it back)", runParse},
    {"vcard", "vcard [--strict] [--verbose] [--count] [--no-default-types] [-o FILE] FILE|-...",
     "read every vCard of the files, repairing what phones and PIMs get wrong (--strict: the "
     "library's exact reading), verify it and write it to standard output; a summary per file "
     "and every loss on standard error, every repair too with --verbose (exit 0 nothing lost, "
     "1 something skipped or lost, 2 unreadable)",
     runVcard},
    {"ab", "ab import|export|list --book BOOK.db [-o FILE] ...",
     "an address book in a file: import FILE.vcf creates an entry per card, export [ID...] "
     "writes entries as vCards, list shows them",
     runAb},
    {"vcal", "vcal check|items|rewrite FILE.vcs|-... [--json] [-o FILE] [--strict] [--verbose]",
     "read a vCalendar file, repairing what phones and PIMs get wrong (--strict: the library's "
     "exact reader): check lists every repair and loss; items lists the events and to-dos as a "
     "client receives them (UTC times, texts, codes, alarms, occurrences; --json for scripts); "
     "rewrite writes the calendars again as vCalendar 1.0 (CR LF line ends) to standard output "
     "or -o FILE, keeping rules, EXRULE, TZ and DAYLIGHT, alarms, attendees and X- properties, "
     "each loss named with its line (rewrite --strict: the exact reader's items in the "
     "library's own form, without rules, zones or properties the client has no field for). A "
     "summary on standard error; exit 0 nothing lost, 1 something left out or lost, 2 "
     "unreadable. check --strict keeps the exact reader's linter codes: 0 clean, 1 warnings, "
     "2 errors",
     runVcal},
    {"convert", "convert [--to FORMAT] [-o FILE] [--verbose] FILE|-...",
     "convert cards between vCard 2.1, 3.0, 4.0 and jCard, and calendars between vCalendar "
     "1.0, iCalendar and jCal (FORMAT: vcard21 vcard3 vcard4 jcard vcal10 ical jcal; the "
     "input's format is read from its content; default: 2.1 to 4.0, 1.0 to iCalendar and back). "
     "A summary per file on standard error, with --verbose everything not carried over (exit 0 "
     "nothing lost, 1 something skipped or not carried over, 2 unreadable)",
     runConvert},
};

void printHelp(FILE *out) {
    std::fprintf(out, "usage: versit COMMAND [ARGS] [-o FILE] [--quiet]   (versit COMMAND --help "
                      "for one command)\n"
                      "       versit --help | --version\n\n"
                      "Reads, checks, converts and writes vCard 2.1 and vCalendar 1.0 files.\n\n"
                      "commands:\n");
    for (const Command &c : kCommands) {
        std::fprintf(out, "  %-44s %s%s\n", c.usage, c.summary,
                     c.run != nullptr ? "" : " (not available yet)");
    }
    std::fprintf(out,
                 "\nevery command:\n"
                 "  -o FILE, --output FILE  write the data to FILE instead of standard output\n"
                 "  -q, --quiet             no progress display (shown on a terminal when a\n"
                 "                          run takes more than a second)\n");
}

bool sameFile(const char *a, const char *b) {
    struct stat x {};
    struct stat y {};
    if (stat(a, &x) != 0 || stat(b, &y) != 0) return false;
#if defined(_WIN32)
    // Every file has the inode 0 here, so an output file that already
    // exists would be taken for any input on its drive: the full paths, in
    // any case, tell the files apart.
    char fullA[_MAX_PATH];
    char fullB[_MAX_PATH];
    return _fullpath(fullA, a, sizeof fullA) != nullptr &&
           _fullpath(fullB, b, sizeof fullB) != nullptr && _stricmp(fullA, fullB) == 0;
#else
    return x.st_dev == y.st_dev && x.st_ino == y.st_ino;
#endif
}

// "-o FILE" (or "--output FILE"), wherever it stands: standard output goes
// to FILE, and the option is taken out of the arguments. A file that is
// also read is refused: opening it for writing would empty it first.
bool redirectOutput(int &argc, char **argv) {
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "-o") != 0 && std::strcmp(argv[i], "--output") != 0) continue;
        if (i + 1 == argc) {
            std::fprintf(stderr, "versit: %s needs a file name\n", argv[i]);
            return false;
        }
        const char *path = argv[i + 1];
        for (int k = 2; k < argc; ++k) {
            if (k != i + 1 && sameFile(argv[k], path)) {
                std::fprintf(stderr, "versit: '%s' is read and would be overwritten by -o\n", path);
                return false;
            }
        }
        if (std::strcmp(path, "-") != 0 && std::freopen(path, "wb", stdout) == nullptr) {
            std::fprintf(stderr, "versit: cannot write '%s': %s\n", path, std::strerror(errno));
            return false;
        }
        for (int k = i; k + 2 < argc; ++k)
            argv[k] = argv[k + 2];
        argc -= 2;
        --i;
    }
    return true;
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
        // Every command's --help, wherever it stands: its usage and what it does.
        for (int i = 2; i < argc; ++i) {
            if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
                std::printf("usage: versit %s\n\n%s\n", c.usage, c.summary);
                return 0;
            }
        }
        if (!redirectOutput(argc, argv)) return 2;
        // --quiet (-q), wherever it stands: no progress display.
        for (int i = 2; i < argc; ++i) {
            if (std::strcmp(argv[i], "--quiet") != 0 && std::strcmp(argv[i], "-q") != 0) continue;
            gQuiet = true;
            for (int k = i; k + 1 < argc; ++k)
                argv[k] = argv[k + 1];
            --argc;
            --i;
        }
        return c.run(argc - 1, argv + 1);
    }
    std::fprintf(stderr, "versit: unknown command '%s' (try versit --help)\n", name);
    return 2;
}
