// Reading cards from text, one per call, and counting the cards of a text
// without reading them.
#include "platform/ascii.h"
#include "platform/calapi.h"
#include "vcard/vcInternal.h"

namespace {

// Structured values (N, ADR, ORG) stay one string with their ";" and
// commas; the access functions split them.
constexpr int32_t kParseFlags = VLIB_PARSE_NO_COMMA_SPLIT;

using ascii::isBlank;
using ascii::isBreak;

// Whether the line at `line` (of `left` bytes) is `word` (any case)
// followed by blanks and a colon.
bool startsWithKeyword(const char *line, size_t left, const char *word, size_t length) {
    if (left < length || calapi::strncasecmp(line, word, length) != 0) return false;
    size_t i = length;
    while (i < left && isBlank(line[i]))
        ++i;
    return i < left && line[i] == ':';
}

} // namespace

int32_t vcard::importObject(VCardContext *context, vComponent **card, const char *text,
                            int32_t length, const char **rest, int32_t *remaining,
                            const vparse::KnownBreaks *breaks, Verify verify) {
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, "VCARD_importObjectFromBuffer()");
    if (card != nullptr) *card = nullptr;
    if (card == nullptr || text == nullptr || rest == nullptr || remaining == nullptr)
        return VCARD_ERR_NULL_ARGUMENT;
    int32_t left = length;
    char *after = nullptr;
    const int32_t parsed =
        vparse::buildComponentFromBuffer(card, text, kParseFlags, &left, &after, breaks);
    if (parsed == VLIB_ERR_NO_BEGIN) {
        *remaining = 0;
        *rest = nullptr;
        return VCARD_ERR_NO_CARD;
    }
    *remaining = left;
    *rest = after;
    if (*card == nullptr) return parsed != 0 ? parsed : VCARD_ERR_NO_OBJECT;
    const bool defaultTypes = (context->flags & VCARD_NO_DEFAULT_TYPES) == 0;
    const bool codesRead = verify == Verify::Everything || defaultTypes;
    const int32_t verified =
        codesRead || announcesBareEncoding(*card) ? VCARD_verify(context, *card) : 0;
    int32_t defaults = 0;
    if (defaultTypes) defaults = VCARD_addDefaultTYPEparms(context, *card);
    if (parsed != 0) return parsed;
    if (verified != 0) return verified;
    return defaults;
}

extern "C" {

VERSIT_API int32_t VCARD_importObjectFromBuffer(VCardContext *context, vComponent **card,
                                                const char *text, int32_t length, const char **rest,
                                                int32_t *remaining) {
    return vcard::importObject(context, card, text, length, rest, remaining, nullptr);
}

VERSIT_API int32_t VCARD_importObjectFromFile(VCardContext *context, vComponent **card,
                                              FILE *file) {
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, "VCARD_importObjectFromFile()");
    if (card == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    *card = nullptr;
    if (file == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    return VCARD_ERR_NOT_SUPPORTED;
}

VERSIT_API int32_t VCARD_importObjectFromCallback(VCardContext *context, vComponent **card,
                                                  VCardInputCallback callback, void *data) {
    (void)data;
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, "VCARD_importObjectFromCallback()");
    if (card == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    *card = nullptr;
    if (callback == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    return VCARD_ERR_NOT_SUPPORTED;
}

VERSIT_API int32_t VCARD_countCardsInTextBuffer(VCardContext *context, const char *text,
                                                int32_t length, int32_t *count) {
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, "VCARD_countCardsInTextBuffer()");
    if (text == nullptr || count == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    *count = 0;
    const size_t end = length > 0 ? static_cast<size_t>(length) : 0;
    size_t at = 0;
    int32_t depth = 0;
    while (at < end && text[at] != '\0') {
        const char *line = text + at;
        const size_t left = end - at;
        if (startsWithKeyword(line, left, "BEGIN", 5)) {
            ++depth;
        } else if (startsWithKeyword(line, left, "END", 3)) {
            if (depth == 1) ++*count;
            --depth;
        }
        // To the end of the line, then over every line break after it.
        while (at < end && text[at] != '\0' && !isBreak(text[at]))
            ++at;
        while (at < end && isBreak(text[at]))
            ++at;
    }
    return 0;
}

} // extern "C"
