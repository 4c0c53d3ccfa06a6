// The tolerant card reader over any bytes. No crash, no read or write out
// of bounds, no leak; every report names a line of the text; no card comes
// from a text without a BEGIN; the counts agree with the cards handed out
// and with what was reported while each was read; every card, written with
// VI_exportCard, reads back strictly as a card with as many properties.
//
// The first byte sets the context's flags (tracing, no default types); the
// rest is the text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "versit_interop.h"
#include "versit_vcard.h"

namespace {

struct Seen {
    uint64_t lastLine = 1; // the highest line a report may name
    int kinds[4] = {};
};

void onReport(void *user, const VI_Report *report) {
    auto *seen = static_cast<Seen *>(user);
    check(report->line >= 1 && report->line <= seen->lastLine);
    check(report->kind >= VI_REPORT_NOTE && report->kind <= VI_REPORT_SKIPPED);
    check(report->message != nullptr && report->message[0] != '\0');
    ++seen->kinds[report->kind];
}

// Line breaks as the reader counts them (CR LF, LF, lone CR). UTF-16 text
// has no more once converted: each break comes from a byte counted here.
uint64_t breaks(const std::string &text) {
    uint64_t n = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')))
            ++n;
    }
    return n;
}

// "BEGIN" anywhere once NUL bytes are taken out (which also reads UTF-16
// text of ASCII letters), in any case.
// How often BEGIN stands in the text (any case, NUL bytes left out): no
// more cards can come from it. (Lines do not bound them: files joined
// without a line break hold two cards on one line.)
uint64_t begins(const std::string &text) {
    std::string letters;
    for (char c : text) {
        if (c != '\0') letters += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    uint64_t n = 0;
    for (size_t at = letters.find("BEGIN"); at != std::string::npos;
         at = letters.find("BEGIN", at + 1))
        ++n;
    return n;
}

int countProperties(const vComponent *card) {
    int n = 0;
    for (const vProperty *p = card->propertyList; p != nullptr; p = p->next)
        ++n;
    return n;
}

void exportAndReread(VCardContext *context, vComponent *card) {
    char *text = nullptr;
    check(VI_exportCard(context, card, &text) == 0 && text != nullptr);
    vComponent *again = nullptr;
    const char *rest = nullptr;
    int32_t remaining = 0;
    VCARD_importObjectFromBuffer(context, &again, text, static_cast<int32_t>(std::strlen(text)),
                                 &rest, &remaining);
    check(again != nullptr && countProperties(again) == countProperties(card));
    VCARD_destroyCard(context, &again);
    std::free(text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    VCardContext *context = sharedContext();
    context->flags = data[0] & (VCARD_TRACE | VCARD_NO_DEFAULT_TYPES);
    // The text ends where the input does: a read past its end is seen.
    const char *text = reinterpret_cast<const char *>(data + 1);
    const std::string copy(text, size - 1);
    const uint64_t beginCount = begins(copy);

    Seen seen;
    seen.lastLine = breaks(copy) + 1;
    VI_TolerantReader *reader = nullptr;
    check(VI_tolerantReaderCreate(&reader, text, size - 1, onReport, &seen) == 0);
    VI_ReadCounts before{};
    for (;;) {
        const Seen was = seen;
        vComponent *card = nullptr;
        const int32_t result = VI_readCardTolerantly(reader, context, &card);
        VI_ReadCounts now{};
        VI_tolerantReaderCounts(reader, &now);
        check(now.skipped - before.skipped ==
              static_cast<uint64_t>(seen.kinds[VI_REPORT_SKIPPED] - was.kinds[VI_REPORT_SKIPPED]));
        check(now.junkLines >= before.junkLines);
        if (result == VCARD_ERR_NO_CARD) {
            check(card == nullptr && now.read == before.read);
            break;
        }
        check(result == 0 && card != nullptr && now.read == before.read + 1);
        // With no card left out during the call, its reports are the card's.
        if (now.skipped == before.skipped) {
            const bool lost = seen.kinds[VI_REPORT_LOST] > was.kinds[VI_REPORT_LOST];
            const bool repaired =
                lost || seen.kinds[VI_REPORT_REPAIRED] > was.kinds[VI_REPORT_REPAIRED];
            check(now.repaired - before.repaired == (repaired ? 1u : 0u));
            check(now.lossy - before.lossy == (lost ? 1u : 0u));
        }
        check(now.read <= beginCount);
        exportAndReread(context, card);
        VCARD_destroyCard(context, &card);
        before = now;
    }
    check(before.read <= beginCount);
    check(before.repaired <= before.read && before.lossy <= before.repaired);
    vComponent *none = nullptr;
    check(VI_readCardTolerantly(reader, context, &none) == VCARD_ERR_NO_CARD && none == nullptr);
    VI_tolerantReaderDestroy(&reader);
    check(reader == nullptr);
    return 0;
}
