// versit vcard [OPTIONS] FILE...: every card of the files read, verified
// and written again to standard output. Tolerant reading by default (each
// repair a report), --strict for the library's exact reading.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tool.h"
#include "versit_interop.h"
#include "versit_vcard.h"

namespace {

struct Options {
    bool count = false;
    bool noDefaultTypes = false;
    bool strict = false;
    bool verbose = false;
    std::vector<const char *> files;
};

constexpr const char *kUsage =
    "usage: versit vcard [--strict] [--verbose] [--count] [--no-default-types] FILE|-...\n";

// The names verification did not know, in the card and the cards nested
// in it (walked through the parent links the import leaves set).
void printUnknownNames(const char *path, const vComponent *root) {
    const vComponent *c = root;
    for (;;) {
        for (const vProperty *p = c->propertyList; p != nullptr; p = p->next) {
            if (p->propertyType == VCARD_PROP_UNKNOWN)
                std::fprintf(stderr, "%s: unknown property \"%s\"\n", path, p->name);
            for (const vParameter *q = p->parameterList; q != nullptr; q = q->next) {
                if (q->parameterType == VCARD_PARM_UNKNOWN)
                    std::fprintf(stderr, "%s: unknown parameter \"%s\" of property \"%s\"\n", path,
                                 q->name, p->name);
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

// Writes the card to standard output unless only counting; false when
// the export failed (said on standard error).
bool writeCard(VCardContext *context, vComponent *card, const char *path, const Options &o) {
    if (o.count) return true;
    char *exported = nullptr;
    const int32_t written = o.strict ? VCARD_exportObjectToBuffer(context, card, &exported)
                                     : VI_exportCard(context, card, &exported);
    if (exported != nullptr) std::fputs(exported, stdout);
    std::free(exported);
    if (written == 0) return true;
    printResult(stderr, (std::string(path) + ": export").c_str(), written);
    return false;
}

// Tolerant reading of one file's text. Returns the exit status.
int readTolerantly(VCardContext *context, const std::string &text, const char *path,
                   const Options &o, uint64_t &cards) {
    ReportSink sink{path, o.verbose};
    VI_TolerantReader *reader = nullptr;
    if (VI_tolerantReaderCreate(&reader, text.data(), text.size(), printReport, &sink) != 0) {
        std::fprintf(stderr, "versit: out of memory reading '%s'\n", path);
        return 2;
    }
    int status = 0;
    int32_t result = 0;
    const std::string what = std::string(path) + ": cards read";
    Progress progress(what.c_str());
    for (uint64_t n = 1;; ++n) {
        vComponent *card = nullptr;
        result = VI_readCardTolerantly(reader, context, &card);
        if (result != 0) break;
        progress.update(n);
        if (o.verbose) printUnknownNames(path, card);
        if (!writeCard(context, card, path, o)) status = 1;
        VI_destroyCard(context, &card);
    }
    VI_ReadCounts counts{};
    VI_tolerantReaderCounts(reader, &counts);
    VI_tolerantReaderDestroy(&reader);
    if (result == VLIB_ERR_NO_MEMORY) {
        std::fprintf(stderr, "versit: out of memory reading '%s'\n", path);
        return 2;
    }
    std::fprintf(stderr, "%s: read %llu card%s, %llu repaired, %llu skipped", path,
                 static_cast<unsigned long long>(counts.read), counts.read == 1 ? "" : "s",
                 static_cast<unsigned long long>(counts.repaired),
                 static_cast<unsigned long long>(counts.skipped));
    if (counts.lossy > 0)
        std::fprintf(stderr, ", %llu with data lost",
                     static_cast<unsigned long long>(counts.lossy));
    if (counts.junkLines > 0)
        std::fprintf(stderr, ", %llu line%s outside cards passed over",
                     static_cast<unsigned long long>(counts.junkLines),
                     counts.junkLines == 1 ? "" : "s");
    std::fputs("\n", stderr);
    cards += counts.read;
    if (counts.skipped > 0 || counts.lossy > 0) status = 1;
    if (counts.read == 0 && counts.skipped == 0) {
        std::fprintf(stderr, "versit: no vCard in '%s': %s\n", path, looksLike(text).c_str());
        status = 1;
    }
    return status;
}

// The library's exact reading of one file's text. Returns the exit status.
int readStrictly(VCardContext *context, const std::string &text, const char *path, const Options &o,
                 uint64_t &cards) {
    VI_CardReader reader;
    VI_cardReaderStart(&reader, context, text.c_str(), static_cast<int32_t>(text.size()));
    uint64_t read = 0;
    uint64_t failed = 0;
    for (;;) {
        vComponent *card = nullptr;
        const int32_t result = VI_readCard(&reader, &card);
        if (result == VCARD_ERR_NO_CARD) break;
        if (card == nullptr) {
            ++failed;
            printResult(stderr, (std::string(path) + ": not imported").c_str(), result);
            if (result == VLIB_ERR_NO_MEMORY) break; // nothing was read
            continue;
        }
        ++read;
        if (result != 0 || o.verbose) {
            const std::string label = std::string(path) + ": card " + std::to_string(read);
            printResult(stderr, label.c_str(), result);
            printUnknownNames(path, card);
        }
        if (!writeCard(context, card, path, o)) ++failed;
        VI_destroyCard(context, &card);
    }
    cards += read;
    if (read == 0 && failed == 0) {
        std::fprintf(stderr, "versit: no vCard in '%s': %s\n", path, looksLike(text).c_str());
        return 1;
    }
    return failed > 0 ? 1 : 0;
}

} // namespace

int runVcard(int argc, char **argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const char *a = argv[i];
        if (std::strcmp(a, "--count") == 0) {
            o.count = true;
        } else if (std::strcmp(a, "--no-default-types") == 0) {
            o.noDefaultTypes = true;
        } else if (std::strcmp(a, "--strict") == 0) {
            o.strict = true;
        } else if (std::strcmp(a, "--verbose") == 0 || std::strcmp(a, "-v") == 0) {
            o.verbose = true;
        } else if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a[0] == '-' && a[1] != '\0') {
            std::fprintf(stderr, "versit vcard: unknown option '%s'\n%s", a, kUsage);
            return 2;
        } else {
            o.files.push_back(a);
        }
    }
    if (o.files.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    VCardContext *context = nullptr;
    const int32_t created = VCARD_createContext(&context);
    if (created != 0) {
        printResult(stderr, "versit", created);
        VCARD_destroyContext(&context);
        return 2;
    }
    if (o.noDefaultTypes) context->flags |= VCARD_NO_DEFAULT_TYPES;
    int status = 0;
    uint64_t cards = 0;
    for (const char *path : o.files) {
        std::string text;
        if (!readInput(path, text)) {
            status = 2;
            continue;
        }
        const int s = o.strict ? readStrictly(context, text, path, o, cards)
                               : readTolerantly(context, text, path, o, cards);
        if (s > status) status = s;
    }
    VCARD_destroyContext(&context);
    if (o.count) std::printf("%llu\n", static_cast<unsigned long long>(cards));
    return status;
}
