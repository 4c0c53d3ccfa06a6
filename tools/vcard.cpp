// versit vcard FILE [--count] [--no-default-types]: every card of a file
// imported, verified and exported again.
#include <cstdlib>
#include <cstring>

#include "tool.h"
#include "versit_interop.h"
#include "versit_vcard.h"

namespace {

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

} // namespace

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
    if (!readInput(path, text)) return 2;
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
    VI_CardReader reader;
    VI_cardReaderStart(&reader, context, text.c_str(), remaining);
    int cards = 0;
    int failed = 0;
    for (;;) {
        vComponent *card = nullptr;
        const int32_t result = VI_readCard(&reader, &card);
        if (result == VCARD_ERR_NO_CARD) break;
        if (card == nullptr) {
            ++failed;
            printResult(stdout, "not imported", result);
            if (result == VLIB_ERR_NO_MEMORY) break; // nothing was read
            continue;
        }
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
    VCARD_destroyContext(&context);
    if (cards == 0 && failed == 0) {
        std::fprintf(stderr, "versit: no vCard in '%s'\n", path);
        return 1;
    }
    return failed > 0 ? 1 : 0;
}
