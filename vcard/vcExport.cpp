// Writing cards as text: into a buffer, to a stream, or to a callback.
// The generator does the writing; exporting only completes the card first.
#include <cstdlib>
#include <cstring>

#include "vcard/vcInternal.h"

namespace {

// Lines folded only inside values, and an empty line after each BASE64
// value, as vCard 2.1 readers expect.
constexpr int32_t kGenerateFlags = VLIB_GEN_NO_FOLD | VLIB_GEN_BLANK_AFTER_BASE64;

// The text of the buffer export, grown as the generator hands it over: one
// pass over the card instead of a pass to count and one to print (a card
// walked twice costs half as much again), the same bytes either way.
class TextBuffer {
  public:
    TextBuffer() = default;
    TextBuffer(const TextBuffer &) = delete;
    TextBuffer &operator=(const TextBuffer &) = delete;
    ~TextBuffer() { std::free(text_); }

    static int32_t append(void *buffer, const char *bytes, int32_t count) {
        return static_cast<TextBuffer *>(buffer)->add(bytes, static_cast<size_t>(count)) ? 0 : 1;
    }
    // Ends the text with its NUL; false when memory ran out on the way.
    bool terminate() {
        if (failed_ || !reserve(length_ + 1)) return false;
        text_[length_] = '\0';
        return true;
    }
    // The text, no larger than it needs to be.
    char *release() {
        if (void *fitted = std::realloc(text_, length_ + 1)) text_ = static_cast<char *>(fitted);
        char *text = text_;
        text_ = nullptr;
        return text;
    }

  private:
    // The generator hands text over in runs of up to 4 KB.
    static constexpr size_t kFirstCapacity = 4096;

    bool add(const char *bytes, size_t count) {
        if (!reserve(length_ + count + 1)) return false;
        std::memcpy(text_ + length_, bytes, count);
        length_ += count;
        return true;
    }
    bool reserve(size_t size) {
        if (text_ != nullptr && size <= capacity_) return true;
        size_t capacity = capacity_ != 0 ? capacity_ : kFirstCapacity;
        while (capacity < size)
            capacity *= 2;
        // A text the 32-bit lengths of the interface cannot hold cannot be had either.
        void *grown = capacity <= INT32_MAX ? std::realloc(text_, capacity) : nullptr;
        if (grown == nullptr) {
            failed_ = true;
            return false;
        }
        text_ = static_cast<char *>(grown);
        capacity_ = capacity;
        return true;
    }

    char *text_ = nullptr;
    size_t length_ = 0;
    size_t capacity_ = 0;
    bool failed_ = false;
};

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
    TextBuffer buffer;
    const int32_t printed =
        VLIB_cprint_vComponent(TextBuffer::append, &buffer, card, kGenerateFlags);
    if (!buffer.terminate())
        return vcard::reportAlways(kLabel, VCARD_ERR_NO_MEMORY, "Out of memory");
    *text = buffer.release();
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
