// Walking from card to card, and splitting a structured value into its
// fields.
#include <cstdlib>

#include "vcard/vcInternal.h"

namespace {

// Visits the ";" of `text` that no backslash escapes; a backslash at the
// very end ends the scan.
template <class Visit> void eachSeparator(char *text, Visit visit) {
    for (char *p = text; *p != '\0'; ++p) {
        if (*p == '\\') {
            if (*++p == '\0') return;
        } else if (*p == ';') {
            visit(p);
        }
    }
}

} // namespace

int32_t VCARD__getObject(VCardContext *context, vComponent *object, int32_t type, int32_t wanted,
                         vComponent **objects, int32_t size, int32_t *count) {
    (void)context;
    *count = 0;
    if (object->componentType != type) return 1;
    for (vComponent *c = object->subComponent; c != nullptr; c = c->next) {
        if (c->componentType != wanted) continue;
        if (*count >= size) return VCARD_MORE_ITEMS;
        objects[(*count)++] = c;
        if (*count >= size) return VCARD_MORE_ITEMS;
    }
    if (*count < size) objects[*count] = nullptr;
    return 0;
}

extern "C" {

VERSIT_API int32_t VCARD_getNextCard(VCardContext *context, vComponent *card, vComponent **next) {
    VLIB_trace("VCARD_getNextCard()");
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    if (next != nullptr) *next = nullptr;
    if (card == nullptr || next == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    *next = card->next;
    return *next != nullptr ? 0 : VCARD_ERR_NOT_FOUND;
}

VERSIT_API int32_t VCARD_getCardFromCard(VCardContext *context, vComponent *card,
                                         vComponent **cards, int32_t size, int32_t *count) {
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, "VCARD_getCardFromCard()");
    vcard::clearOut(cards, static_cast<int32_t *>(nullptr), size, count);
    if (card == nullptr || cards == nullptr || count == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    return VCARD__getObject(context, card, VCARD_COMP_VCARD, VCARD_COMP_VCARD, cards, size, count);
}

VERSIT_API int32_t VCARD_getFieldEntriesFromCopy(VCardContext *context, char *text, char ***fields,
                                                 int32_t *count) {
    constexpr const char *kLabel = "VCARD_getFieldEntriesFromCopy()";
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, kLabel);
    if (fields != nullptr) *fields = nullptr;
    if (count != nullptr) *count = 0;
    if (text == nullptr || fields == nullptr || count == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    size_t separators = 0;
    eachSeparator(text, [&](char *) { ++separators; });
    auto **entries = static_cast<char **>(std::malloc((separators + 1) * sizeof(char *)));
    if (entries == nullptr)
        return vcard::report(context, kLabel, VCARD_ERR_NO_MEMORY, "Out of memory");
    size_t n = 0;
    entries[n++] = text;
    eachSeparator(text, [&](char *separator) {
        *separator = '\0';
        entries[n++] = separator + 1;
    });
    *fields = entries;
    *count = static_cast<int32_t>(n);
    return 0;
}

} // extern "C"
