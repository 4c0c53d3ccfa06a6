// versit ab: vCards into an address book and back, through the client
// library's book (a file) and the address-book exchange.
//   versit ab import FILE.vcf --book BOOK.db
//   versit ab export --book BOOK.db [ID...]
//   versit ab list --book BOOK.db
// Identifiers are written kind.number.check (1.42.0); a bare number means
// kind 1, check 0.
// The record holds a fixed set of fields: what a card holds beyond them is
// kept beside the entry as a card of its own (abKept.cpp) and put back in
// the exported card.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "calapi32.h"
#include "tool.h"
#include "versit_abx.h"
#include "versit_interop.h"

namespace {

constexpr const char *kUsage = "usage: versit ab import FILE.vcf --book BOOK.db\n"
                               "       versit ab export --book BOOK.db [ID...]\n"
                               "       versit ab list --book BOOK.db\n";

void report(FILE *out, const char *what, int32_t code) {
    if (const char *name = CalapiResultName(code))
        std::fprintf(out, "%s: %s (client library)\n", what, name);
    else
        printResult(out, what, code);
}

std::string idText(const ABEntryId &id) {
    return std::to_string(id.kind) + "." + std::to_string(id.number) + "." +
           std::to_string(id.check);
}

bool parseId(const char *text, ABEntryId *id) {
    unsigned long parts[3] = {1, 0, 0};
    char *end = nullptr;
    const unsigned long first = std::strtoul(text, &end, 10);
    if (end == text) return false;
    if (*end == '\0') {
        parts[1] = first;
    } else {
        parts[0] = first;
        for (int i = 1; i < 3; ++i) {
            if (*end != '.') return false;
            const char *from = end + 1;
            parts[i] = std::strtoul(from, &end, 10);
            if (end == from) return false;
        }
        if (*end != '\0') return false;
    }
    id->kind = static_cast<uint16_t>(parts[0]);
    id->number = static_cast<uint32_t>(parts[1]);
    id->check = static_cast<uint32_t>(parts[2]);
    return true;
}

// The open book and a vCard context, closed with the object.
struct Session {
    CalapiClient *book = nullptr;
    VCardContext *context = nullptr;
    Session() = default;
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;
    ~Session() {
        if (book != nullptr) CalapiClose(&book);
        if (context != nullptr) VCARD_destroyContext(&context);
    }
    bool open(const char *path) {
        if (const int32_t failed = CalapiOpen(path, 0, 0, &book)) {
            report(stderr, path, failed);
            return false;
        }
        if (const int32_t failed = VCARD_createContext(&context)) {
            report(stderr, "versit", failed);
            return false;
        }
        return true;
    }
};

// The record's text fields that may hold line breaks (addresses, notes of
// a kind): the exact export writes a break in a value as it stands, which
// ends the property's line for every reader. A break is exported as a
// marker byte no field holds, and the card is written again from its tree
// with the break back in its value, quoted-printable.
constexpr char kBreakMark = '\x01';

template <size_t N> void markBreaks(char (&field)[N]) {
    for (size_t i = 0; i < N && field[i] != '\0'; ++i) {
        if (field[i] == '\n') {
            field[i] = kBreakMark;
        } else if (field[i] == '\r') {
            // CR LF is one break: the CR goes.
            std::memmove(field + i, field + i + 1, N - i - 1);
            --i;
        }
    }
}

void markRecordBreaks(ABEntryRecord &r) {
    markBreaks(r.salutation);
    markBreaks(r.date1Info);
    markBreaks(r.date2Info);
    markBreaks(r.homeStreet);
    markBreaks(r.businessStreet);
    markBreaks(r.organization);
    markBreaks(r.businessAssistant);
}

// The markers of every value of the card back as CR LF. False when memory
// ran out.
bool restoreBreaks(vComponent *card) {
    for (vComponent *c = card; c != nullptr; c = c->next) {
        for (vProperty *p = c->propertyList; p != nullptr; p = p->next) {
            for (vValue *v = p->valueList; v != nullptr; v = v->next) {
                if (v->data == nullptr || std::strchr(v->data, kBreakMark) == nullptr) continue;
                std::string text;
                for (const char *d = v->data; *d != '\0'; ++d) {
                    if (*d == kBreakMark)
                        text += "\r\n";
                    else
                        text += *d;
                }
                char *copy = static_cast<char *>(std::malloc(text.size() + 2));
                if (copy == nullptr) return false;
                std::memcpy(copy, text.c_str(), text.size() + 1);
                copy[text.size() + 1] = '\0';
                std::free(v->data);
                v->data = copy;
                v->dataSize = static_cast<int32_t>(text.size() + 1);
            }
        }
        if (c->subComponent != nullptr && !restoreBreaks(c->subComponent)) return false;
    }
    return true;
}

// The card the exchange writes for entry `id`, as text in *text (malloc'ed,
// *length bytes), its record in *record; line breaks marked.
int32_t exactText(Session &s, const ABEntryId &id, ABEntryRecord *record, char **text,
                  int32_t *length) {
    *text = nullptr;
    *length = 0;
    if (const int32_t failed = ABEntryGet(s.book, &id, record)) return failed;
    markRecordBreaks(*record);
    return GetVCardStreamFromABRecID(s.book, s.context, record, text, length);
}

// The first card of `text` (which is freed) as a tree in *card, with the
// breaks back in its values.
int32_t readTree(Session &s, char *text, int32_t length, vComponent **card) {
    const char *rest = nullptr;
    int32_t left = 0;
    int32_t result = VCARD_importObjectFromBuffer(s.context, card, text, length, &rest, &left);
    std::free(text);
    // The exact reader may flag a card it read all the same: the card is
    // what counts.
    if (*card != nullptr) result = restoreBreaks(*card) ? 0 : VLIB_ERR_NO_MEMORY;
    if (result != 0 && *card != nullptr) VCARD_destroyCard(s.context, card);
    return result;
}

// What the entry `id`, just made of `original`, cannot give back, stored
// as its kept stream (nothing when all comes back). The properties move
// out of `original`.
int32_t keepRest(Session &s, const ABEntryId &id, vComponent *original) {
    ABEntryRecord record;
    char *text = nullptr;
    int32_t length = 0;
    vComponent *exact = nullptr;
    int32_t result = exactText(s, id, &record, &text, &length);
    if (result == 0) result = readTree(s, text, length, &exact);
    vComponent *kept = nullptr;
    if (result == 0 && !keptProperties(original, exact, &kept)) result = VLIB_ERR_NO_MEMORY;
    if (exact != nullptr) VCARD_destroyCard(s.context, &exact);
    char *keptText = nullptr;
    if (kept != nullptr) {
        if (result == 0) result = VI_exportCard(s.context, kept, &keptText);
        VCARD_destroyCard(s.context, &kept);
    }
    if (result == 0 && keptText != nullptr)
        result = ABEntryStreamReplace(s.book, 0, CALAPI_STREAM_KEPT, &id, keptText, nullptr);
    std::free(keptText);
    return result;
}

// One card's text into the book; its new identifier (if any) appended to
// `ids`. The library's result.
int32_t importOne(Session &s, const char *text, size_t length, std::vector<ABEntryId> &ids) {
    KL_HLIST list = nullptr;
    uint16_t notCreated = 0;
    uint32_t budget = 0xFFFFFFFFu;
    const int32_t result =
        GetNewABRecIDsFromVCardStream(s.book, s.context, text, nullptr,
                                      static_cast<int32_t>(length), &list, &notCreated, &budget);
    // The list holds the newest entry first: keep the order of the text.
    std::vector<ABEntryId> created;
    ABEntryId id;
    for (int32_t r = KL_ListGetFirst(list, &id, nullptr); list != nullptr && r == 0;
         r = KL_ListGetNext(list, &id, nullptr))
        created.insert(created.begin(), id);
    if (list != nullptr) KL_ListDestroy(&list);
    ids.insert(ids.end(), created.begin(), created.end());
    return result;
}

// Every card of the file, read tolerantly and handed to the book one at a
// time, so that a card the book refuses does not stop the ones after it.
int importCards(Session &s, const char *path) {
    std::string text;
    if (!readInput(path, text)) return 2;
    ReportSink sink{path, false};
    VI_TolerantReader *reader = nullptr;
    if (VI_tolerantReaderCreate(&reader, text.data(), text.size(), printReport, &sink) != 0) {
        std::fprintf(stderr, "versit: out of memory reading '%s'\n", path);
        return 2;
    }
    std::vector<ABEntryId> ids;
    uint64_t cards = 0;
    uint64_t failed = 0;
    uint64_t unkept = 0; // cards imported without what the record cannot hold
    int32_t first = 0;   // the first failure, shown as the result
    int32_t got = 0;
    const std::string what = std::string(path) + ": cards imported";
    Progress progress(what.c_str());
    for (;;) {
        vComponent *card = nullptr;
        got = VI_readCardTolerantly(reader, s.context, &card);
        if (got != 0) break;
        ++cards;
        progress.update(cards);
        char *cardText = nullptr;
        int32_t result = VI_exportCard(s.context, card, &cardText);
        const size_t before = ids.size();
        if (result == 0) result = importOne(s, cardText, std::strlen(cardText), ids);
        std::free(cardText);
        const std::string place = std::string(path) + ": card " + std::to_string(cards);
        if (result != 0) {
            ++failed;
            if (first == 0) first = result;
            report(stderr, (place + " not imported").c_str(), result);
        } else if (ids.size() > before) {
            // The entry stands; what it cannot hold is lost unless kept.
            if (const int32_t lost = keepRest(s, ids[before], card)) {
                ++unkept;
                if (first == 0) first = lost;
                report(stderr,
                       (place + " (" + idText(ids[before]) + "): fields beyond the record lost")
                           .c_str(),
                       lost);
            }
        }
        VI_destroyCard(s.context, &card);
    }
    VI_ReadCounts counts{};
    VI_tolerantReaderCounts(reader, &counts);
    VI_tolerantReaderDestroy(&reader);
    if (got == VLIB_ERR_NO_MEMORY) {
        std::fprintf(stderr, "versit: out of memory reading '%s'\n", path);
        return 2;
    }
    // Every card that gave no entry: refused by the book, or unreadable.
    const uint64_t notCreated = (cards > ids.size() ? cards - ids.size() : 0) + counts.skipped;
    // The identifiers are the data; the counts and the result, a summary.
    for (const ABEntryId &e : ids)
        std::printf("%s\n", idText(e).c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "created: %zu\nskipped: %llu\n", ids.size(),
                 static_cast<unsigned long long>(notCreated));
    report(stderr, "result", first);
    return failed == 0 && unkept == 0 && notCreated == 0 && counts.lossy == 0 ? 0 : 1;
}

// The entry's kept card in *kept, null when it has none.
int32_t readKept(Session &s, const ABEntryRecord &record, vComponent **kept) {
    *kept = nullptr;
    uint32_t size = 0;
    const int32_t got = ABEntryStreamSizeGet(s.book, 0, CALAPI_STREAM_KEPT, &record, &size);
    if (got == CALAPI_ERR_NO_STREAM) return 0;
    if (got != 0) return got;
    if (size > INT32_MAX) return VLIB_ERR_NO_MEMORY;
    char *text = static_cast<char *>(std::malloc(size + 1));
    if (text == nullptr) return VLIB_ERR_NO_MEMORY;
    uint32_t delivered = 0;
    if (const int32_t failed =
            ABEntryStreamGet(s.book, 0, CALAPI_STREAM_KEPT, &record, text, size, &delivered, 0)) {
        std::free(text);
        return failed;
    }
    text[delivered] = '\0';
    return readTree(s, text, static_cast<int32_t>(delivered), kept);
}

int exportEntry(Session &s, const ABEntryId &id) {
    ABEntryRecord record;
    char *text = nullptr;
    int32_t length = 0;
    int32_t result = exactText(s, id, &record, &text, &length);
    vComponent *kept = nullptr;
    if (result == 0) result = readKept(s, record, &kept);
    // Written again from its tree when something goes back in: the kept
    // properties, or line breaks (which the exact text cannot carry).
    if (result == 0 && (kept != nullptr ||
                        std::memchr(text, kBreakMark, static_cast<size_t>(length)) != nullptr)) {
        vComponent *card = nullptr;
        result = readTree(s, text, length, &card);
        text = nullptr;
        if (result == 0) {
            if (kept != nullptr) mergeKept(card, kept);
            result = VI_exportCard(s.context, card, &text);
            VCARD_destroyCard(s.context, &card);
        }
        length = text != nullptr ? static_cast<int32_t>(std::strlen(text)) : 0;
    }
    if (kept != nullptr) VCARD_destroyCard(s.context, &kept);
    if (result == 0) std::fwrite(text, 1, static_cast<size_t>(length), stdout);
    std::free(text);
    if (result != 0) report(stderr, idText(id).c_str(), result);
    return result == 0 ? 0 : 1;
}

int exportEntries(Session &s, const std::vector<const char *> &wanted) {
    int status = 0;
    for (const char *text : wanted) {
        ABEntryId id;
        if (!parseId(text, &id)) {
            std::fprintf(stderr, "versit: '%s' is not an entry identifier\n", text);
            status = 2;
            continue;
        }
        status = std::max(status, exportEntry(s, id));
    }
    if (!wanted.empty()) return status;
    ABEntryId id = {};
    for (int32_t r = ABEntryGetNext(s.book, nullptr, &id, nullptr); r == 0;
         r = ABEntryGetNext(s.book, &id, &id, nullptr))
        status = std::max(status, exportEntry(s, id));
    return status;
}

// "No name" is stored as one blank.
const char *name(const char *field) { return std::strcmp(field, " ") == 0 ? "" : field; }

int listEntries(Session &s) {
    ABEntryId id = {};
    ABEntryRecord r;
    for (int32_t got = ABEntryGetNext(s.book, nullptr, &id, &r); got == 0;
         got = ABEntryGetNext(s.book, &id, &id, &r)) {
        std::printf("%s\t%s, %s\t%s\n", idText(id).c_str(), name(r.familyName), name(r.givenName),
                    r.email1);
    }
    return 0;
}

} // namespace

int runAb(int argc, char **argv) {
    const char *verb = argc > 1 ? argv[1] : "";
    const char *book = nullptr;
    std::vector<const char *> operands;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--book") == 0 && i + 1 < argc)
            book = argv[++i];
        else
            operands.push_back(argv[i]);
    }
    const bool import = std::strcmp(verb, "import") == 0;
    const bool known = import || std::strcmp(verb, "export") == 0 || std::strcmp(verb, "list") == 0;
    if (!known || book == nullptr || (import && operands.size() != 1) ||
        (std::strcmp(verb, "list") == 0 && !operands.empty())) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    // Only an import makes a book; a mistyped name elsewhere is an error.
    struct stat about {};
    const bool exists = stat(book, &about) == 0;
    if (!exists && !import) {
        std::fprintf(stderr, "versit ab: no address book '%s' (ab import creates one)\n", book);
        return 2;
    }
    if (!exists) std::fprintf(stderr, "versit ab: creating address book '%s'\n", book);
    Session s;
    if (!s.open(book)) return 2;
    if (import) return importCards(s, operands[0]);
    if (std::strcmp(verb, "export") == 0) return exportEntries(s, operands);
    return listEntries(s);
}
