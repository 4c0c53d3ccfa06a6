// Our vCard reading as a whole process, for the side-by-side run:
//   ours_vcard strict|tolerant|export FILE
// strict: VI_readCard card by card (VCARD_importObjectFromBuffer: parse,
// verification and default TYPE parameters); tolerant: VI_readCardTolerantly;
// export: the strict import followed by VI_exportCard of every card, the
// round trip a client that rewrites an address book makes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "peer_common.h"
#include "versit_interop.h"
#include "versit_vcard.h"

namespace {

unsigned long long readStrictly(VCardContext *context, const char *text, size_t size,
                                bool exportEach) {
    VI_CardReader reader;
    VI_cardReaderStart(&reader, context, text, static_cast<int32_t>(size));
    unsigned long long cards = 0;
    vComponent *card = nullptr;
    for (int32_t rc = VI_readCard(&reader, &card); rc != VCARD_ERR_NO_CARD;
         rc = VI_readCard(&reader, &card)) {
        if (card == nullptr) continue;
        ++cards;
        if (exportEach) {
            char *out = nullptr;
            if (VI_exportCard(context, card, &out) != 0) std::fprintf(stderr, "export failed\n");
            std::free(out);
        }
        VCARD_destroyCard(context, &card);
    }
    return cards;
}

unsigned long long readTolerantly(VCardContext *context, const char *text, size_t size) {
    VI_TolerantReader *reader = nullptr;
    if (VI_tolerantReaderCreate(&reader, text, size, nullptr, nullptr) != 0) return 0;
    vComponent *card = nullptr;
    while (VI_readCardTolerantly(reader, context, &card) == 0)
        VCARD_destroyCard(context, &card);
    VI_ReadCounts counts{};
    VI_tolerantReaderCounts(reader, &counts);
    VI_tolerantReaderDestroy(&reader);
    return counts.read;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: ours_vcard strict|tolerant|export FILE\n");
        return 2;
    }
    const char *mode = argv[1];
    size_t size = 0;
    char *text = peerLoad(argv[2], &size);
    VCardContext *context = nullptr;
    if (VCARD_createContext(&context) != 0) return 2;
    const double start = peerNow();
    unsigned long long cards = 0;
    const char *what = nullptr;
    if (std::strcmp(mode, "strict") == 0) {
        cards = readStrictly(context, text, size, false);
        what = "strict import card by card";
    } else if (std::strcmp(mode, "tolerant") == 0) {
        cards = readTolerantly(context, text, size);
        what = "tolerant import card by card";
    } else if (std::strcmp(mode, "export") == 0) {
        cards = readStrictly(context, text, size, true);
        what = "strict import and export of each card";
    } else {
        std::fprintf(stderr, "ours_vcard: unknown mode %s\n", mode);
        return 2;
    }
    peerReport(cards, peerNow() - start, what);
    VCARD_destroyContext(&context);
    peerRelease(text, size);
    return 0;
}
