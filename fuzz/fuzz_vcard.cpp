// The vCard interface over any bytes: every card imported (parse,
// verification, default TYPE parameters), its properties and parameters
// read and selected by code, and the card exported and read back. No
// crash, no read or write out of bounds, no leak; the rest pointer always
// moves on; the exported text is exactly as long as counted and is a card.
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

void readProperty(VCardContext *context, vProperty *property) {
    char *copy = nullptr;
    int32_t size = 0;
    if (VCARD_getSinglePropertyValueCopy(context, property, &copy, &size) == 0) {
        char **fields = nullptr;
        int32_t count = 0;
        if (VCARD_getFieldEntriesFromCopy(context, copy, &fields, &count) == 0) {
            check(count >= 1 && fields[0] == copy);
            std::free(static_cast<void *>(fields));
        }
        char *escaped = nullptr;
        if (VCARD_escapeText(context, copy, &escaped) == 0)
            check(std::strlen(escaped) >= std::strlen(copy));
        std::free(escaped);
    }
    std::free(copy);
    for (int32_t code : {VCARD_PARM_TYPE, VCARD_PARM_ENCODING, VCARD_PARM_X, VCARD_PARM_UNKNOWN}) {
        int32_t codes[3] = {};
        int32_t count = -1;
        VCARD_getParameterValueId(context, property, code, codes, 3, &count);
        check(count >= 0 && count <= 3);
        char *values[2] = {};
        VCARD_getParameterValueCopy(context, property, code, values, 2, &count);
        for (int32_t i = 0; i < count; ++i)
            std::free(values[i]);
    }
}

void readCard(VCardContext *context, vComponent *card, uint8_t choice) {
    static const int32_t kWanted[] = {VCARD_PVAL_WORK, VCARD_PVAL_VOICE, VCARD_PVAL_HOME,
                                      VCARD_PVAL_PREF, VCARD_PVAL_X};
    for (int32_t code = VCARD_PROP_UNKNOWN; code <= VCARD_PROP_KEY; ++code) {
        vProperty *properties[4] = {};
        int32_t count = -1;
        VCARD_getProperty(context, card, code, properties, 4, &count);
        check(count >= 0 && count <= 4);
        for (int32_t i = 0; i < count; ++i)
            readProperty(context, properties[i]);
        const int32_t mode = 1 + (code + choice) % 3;
        const int32_t wantedCount = 1 + (code + choice) % 4;
        char *values[3] = {};
        int32_t sizes[3] = {};
        VCARD_getPropertyValueCopyByType(context, card, code, mode, kWanted, wantedCount, values,
                                         sizes, 3, &count);
        for (int32_t i = 0; i < count; ++i)
            std::free(values[i]);
        VCARD_getPropertyValueCopy(context, card, code, values, sizes, 3, &count);
        for (int32_t i = 0; i < count; ++i)
            std::free(values[i]);
    }
    vComponent *nested[2] = {};
    int32_t count = 0;
    VCARD_getCardFromCard(context, card, nested, 2, &count);
    for (int32_t i = 0; i < count; ++i)
        VCARD_verify(context, nested[i]);
    int32_t removed = 0;
    VCARD_deleteProperty(context, card, VCARD_PROP_UNKNOWN + choice % 0x28, &removed);
    vProperty *added = nullptr;
    if (VCARD_addProperty(context, card, VCARD_PROP_NOTE, "a;b:c", -1, &added) == 0)
        VCARD_addParameterId(context, added, VCARD_PARM_TYPE, VCARD_PVAL_WORK + choice % 8);
}

void exportAndReread(VCardContext *context, vComponent *card) {
    char *text = nullptr;
    if (VCARD_exportObjectToBuffer(context, card, &text) != 0) return;
    const int32_t length = VLIB_length_vComponent(card, 12);
    check(std::strlen(text) == static_cast<size_t>(length));
    vComponent *again = nullptr;
    const char *rest = nullptr;
    int32_t remaining = 0;
    VCARD_importObjectFromBuffer(context, &again, text, length, &rest, &remaining);
    check(again != nullptr);
    VCARD_destroyCard(context, &again);
    std::free(text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    VCardContext *context = sharedContext();
    context->flags = data[0] & (VCARD_TRACE | VCARD_NO_DEFAULT_TYPES);
    const std::string text(reinterpret_cast<const char *>(data) + 1, size - 1);

    int32_t counted = -1;
    check(VCARD_countCardsInTextBuffer(context, text.c_str(), static_cast<int32_t>(text.size()),
                                       &counted) == 0);
    check(counted >= 0);

    VI_CardReader reader;
    VI_cardReaderStart(&reader, context, text.c_str(), static_cast<int32_t>(text.size()));
    for (;;) {
        const int32_t before = reader.remaining;
        vComponent *card = nullptr;
        const int32_t result = VI_readCard(&reader, &card);
        if (result == VCARD_ERR_NO_CARD || (result == VLIB_ERR_NO_MEMORY && card == nullptr)) break;
        check(reader.remaining < before || reader.next == nullptr);
        if (card != nullptr) {
            readCard(context, card, data[0]);
            exportAndReread(context, card);
            VCARD_destroyCard(context, &card);
        }
    }
    return 0;
}
