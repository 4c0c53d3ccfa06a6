// Writing cards as text: into a buffer, to a stream, or to a callback.
// The generator does the writing; exporting only completes the card first.
#include <cstdlib>

#include "vcard/vcInternal.h"

namespace {

// Lines folded only inside values, and an empty line after each BASE64
// value, as vCard 2.1 readers expect.
constexpr int32_t kGenerateFlags = VLIB_GEN_NO_FOLD | VLIB_GEN_BLANK_AFTER_BASE64;

int32_t completeCard(VCardContext *context, vComponent *card) {
    if ((context->flags & VCARD_NO_DEFAULT_TYPES) != 0) return 0;
    return VCARD_addDefaultTYPEparms(context, card);
}

} // namespace

extern "C" {

VERSIT_API int32_t VCARD_exportObjectToBuffer(VCardContext *context, vComponent *card,
                                              char **text) {
    constexpr const char *kLabel = "VCARD_exportObjectToBuffer()";
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, kLabel);
    if (text == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    *text = nullptr;
    if (card == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    const int32_t completed = completeCard(context, card);
    if (completed != 0) return completed;
    const int32_t length = VLIB_length_vComponent(card, kGenerateFlags);
    // A text the 32-bit count cannot hold cannot be had either.
    auto *buffer = length < INT32_MAX
                       ? static_cast<char *>(std::malloc(static_cast<size_t>(length) + 1))
                       : nullptr;
    if (buffer == nullptr) return vcard::reportAlways(kLabel, VCARD_ERR_NO_MEMORY, "Out of memory");
    const int32_t printed = VLIB_sprint_vComponent(buffer, card, kGenerateFlags);
    buffer[length] = '\0';
    *text = buffer;
    return printed;
}

VERSIT_API int32_t VCARD_exportObjectToFile(VCardContext *context, vComponent *card, FILE *file) {
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, "VCARD_exportObjectToFile()");
    if (card == nullptr || file == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    const int32_t completed = completeCard(context, card);
    if (completed != 0) return completed;
    return VLIB_fprint_vComponent(file, card, kGenerateFlags);
}

VERSIT_API int32_t VCARD_exportObjectToCallback(VCardContext *context, vComponent *card,
                                                vOutputCallback callback, void *data) {
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, "VCARD_exportObjectToCallback()");
    if (card == nullptr || callback == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    const int32_t completed = completeCard(context, card);
    if (completed != 0) return completed;
    return VLIB_cprint_vComponent(callback, data, card, kGenerateFlags);
}

} // extern "C"
