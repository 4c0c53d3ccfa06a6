// Every card of a text buffer, one call at a time: the loop each client of
// VCARD_importObjectFromBuffer otherwise writes for itself, with its two
// traps (a failed card still moves the text on; running out of memory
// does not).
#include "versit_interop.h"

extern "C" {

VERSIT_INTEROP_API void VI_cardReaderStart(VI_CardReader *reader, VCardContext *context,
                                           const char *text, int32_t length) {
    if (reader == nullptr) return;
    reader->context = context;
    reader->next = text;
    reader->remaining = text != nullptr && length > 0 ? length : 0;
}

VERSIT_INTEROP_API int32_t VI_readCard(VI_CardReader *reader, vComponent **card) {
    if (reader == nullptr || card == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    *card = nullptr;
    if (reader->next == nullptr || reader->remaining <= 0) return VCARD_ERR_NO_CARD;
    const char *rest = nullptr;
    int32_t left = 0;
    const int32_t result = VCARD_importObjectFromBuffer(reader->context, card, reader->next,
                                                        reader->remaining, &rest, &left);
    if (result == VCARD_ERR_NO_CARD) {
        reader->next = nullptr;
        reader->remaining = 0;
    } else if (!(result == VLIB_ERR_NO_MEMORY && *card == nullptr)) {
        reader->next = rest;
        reader->remaining = left;
    }
    return result;
}

// Here VCARD_destroyCard is this library's own copy, whose records the
// next VI_readCard or VI_readCardTolerantly on the thread takes again.
VERSIT_INTEROP_API int32_t VI_destroyCard(VCardContext *context, vComponent **card) {
    return VCARD_destroyCard(context, card);
}

} // extern "C"
