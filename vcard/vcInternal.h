// What the vCard interface's modules share: the entry ritual, the two ways
// of reporting a failure, code classes, and the result arrays every "get"
// operation fills the same way.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "versit/vParse.h"
#include "versit_vcard.h"

namespace vcard {

// What an import verifies. A converter reads names and values as
// written, never the token codes verification gives them: it needs only
// what verification does to the values, decoding those a bare encoding
// word announced (see announcesBareEncoding).
enum class Verify { Everything, Values };

// VCARD_importObjectFromBuffer for a text whose line breaks the caller has
// found already (see vparse::KnownBreaks); null `breaks` and
// Verify::Everything are the exported call itself. Verify::Values leaves
// a card unverified when that changes no value of it and no default TYPE
// is to be added (which needs the codes): its result is then the parse's.
int32_t importObject(VCardContext *context, vComponent **card, const char *text, int32_t length,
                     const char **rest, int32_t *remaining, const vparse::KnownBreaks *breaks,
                     Verify verify = Verify::Everything);

// Whether a parameter of `card` (or of a card nested in it) is a bare
// 7BIT, 8BIT, BASE64 or QUOTED-PRINTABLE: the only parameters whose
// verification changes the card beyond its codes (they are renamed
// ENCODING, and the value decoded), or can fail for want of memory.
bool announcesBareEncoding(vComponent *card);

inline bool tracing(const VCardContext *context) { return (context->flags & VCARD_TRACE) != 0; }

// Writes the operation's label to the trace log when the context traces.
inline void traceEntry(const VCardContext *context, const char *label) {
    if (tracing(context)) VLIB_trace(label);
}

// Messages are cut to this size; every one of ours is far shorter unless it
// quotes a caller's text.
constexpr size_t kMessageSize = 512;

inline void expand(char (&message)[kMessageSize], const char *format, va_list arguments) {
    std::vsnprintf(message, sizeof message, format, arguments);
}

// Expands `format` and writes it to the trace log as it reads: any "%" the
// expansion holds (a name, a value) is doubled, since the trace log takes
// its text as a format of its own.
inline void traceText(const char *format, ...) {
    char message[kMessageSize];
    va_list arguments;
    va_start(arguments, format);
    expand(message, format, arguments);
    va_end(arguments);
    char escaped[2 * kMessageSize];
    size_t n = 0;
    for (const char *p = message; *p != '\0'; ++p) {
        if (*p == '%') escaped[n++] = '%';
        escaped[n++] = *p;
    }
    escaped[n] = '\0';
    VLIB_trace(escaped);
}

inline int32_t logExpanded(const char *label, int32_t code, const char *format, va_list arguments) {
    char message[kMessageSize];
    expand(message, format, arguments);
    VLIB_logError(label, code, message);
    return code;
}

// Logs `format` expanded under `label` with `code` and returns `code`:
// report() only when the context traces, reportAlways() whatever its flags.
inline int32_t report(const VCardContext *context, const char *label, int32_t code,
                      const char *format, ...) {
    if (!tracing(context)) return code;
    va_list arguments;
    va_start(arguments, format);
    logExpanded(label, code, format, arguments);
    va_end(arguments);
    return code;
}

inline int32_t reportAlways(const char *label, int32_t code, const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    logExpanded(label, code, format, arguments);
    va_end(arguments);
    return code;
}

// The class of a token code, bits 8 to 11.
constexpr int32_t classOf(int32_t code) { return code & 0xF00; }
constexpr bool isPropertyCode(int32_t code) { return code >= 0x3200 && code <= 0x32FF; }
constexpr bool isParameterCode(int32_t code) { return code >= 0x3300 && code <= 0x33FF; }

// "X-" or "x-": the names and values nobody registers but everybody may use.
inline bool isExtensionName(const char *name) {
    return (name[0] == 'X' || name[0] == 'x') && name[1] == '-';
}

// The first value of a value list: its data and size, or null and 0.
inline char *firstData(const vValue *values) { return values != nullptr ? values->data : nullptr; }
inline int32_t firstSize(const vValue *values) { return values != nullptr ? values->dataSize : 0; }

// A caller's result array of `size` items (and, for values, the parallel
// array of their sizes). Items go in until one does not fit; finish()
// stores the null after the last one when there is room.
template <class Item> class Results {
  public:
    Results(Item *items, int32_t *sizes, int32_t size, int32_t *count)
        : items_(items), sizes_(sizes), size_(size > 0 ? size : 0), count_(count) {
        *count_ = 0;
        if (size_ > 0) {
            items_[0] = Item{};
            if (sizes_ != nullptr) sizes_[0] = 0;
        }
    }
    Results(const Results &) = delete;
    Results &operator=(const Results &) = delete;

    // False when the array is full: the caller stops with VCARD_MORE_ITEMS.
    bool add(Item item, int32_t itemSize = 0) {
        if (*count_ >= size_) return false;
        items_[*count_] = item;
        if (sizes_ != nullptr) sizes_[*count_] = itemSize;
        ++*count_;
        return true;
    }
    int32_t stored() const { return *count_; }
    // 0, or VCARD_ERR_NOT_FOUND when nothing was stored.
    int32_t finish() {
        if (*count_ < size_) {
            items_[*count_] = Item{};
            if (sizes_ != nullptr) sizes_[*count_] = 0;
        }
        return *count_ > 0 ? 0 : VCARD_ERR_NOT_FOUND;
    }

  private:
    Item *items_;
    int32_t *sizes_;
    int32_t size_;
    int32_t *count_;
};

// Clears what the "get" operations clear before they check anything.
template <class Item> void clearOut(Item *items, int32_t *sizes, int32_t size, int32_t *count) {
    if (count != nullptr) *count = 0;
    if (items != nullptr && size > 0) items[0] = Item{};
    if (sizes != nullptr && size > 0) sizes[0] = 0;
}

// A malloc'ed copy of `size` bytes of `data` and a NUL after them; null
// when memory runs out.
inline char *copyBytes(const char *data, int32_t size) {
    const size_t n = size > 0 ? static_cast<size_t>(size) : 0;
    auto *copy = static_cast<char *>(std::malloc(n + 1));
    if (copy == nullptr) return nullptr;
    if (n > 0) std::memcpy(copy, data, n);
    copy[n] = '\0';
    return copy;
}

// Walks a component tree depth first without recursion: `visit` sees
// `root` and everything nested in it (not the components chained after
// `root`). Sets each subcomponent's parent link on the way down, as the
// generator does, since the walk climbs back through them.
template <class Visit> void walkTree(vComponent *root, Visit visit) {
    vComponent *c = root;
    for (;;) {
        visit(c);
        if (vComponent *sub = c->subComponent) {
            sub->parent = c;
            c = sub;
            continue;
        }
        for (;;) {
            if (c == root) return;
            if (vComponent *sibling = c->next) {
                sibling->parent = c->parent;
                c = sibling;
                break;
            }
            c = c->parent;
        }
    }
}

} // namespace vcard

// The components of type `wanted` nested in `object` (itself of type
// `type`), in subcomponent order: 1 when `object` has another type;
// VCARD_MORE_ITEMS as soon as the array is full, without a null after the
// last; else a null after the last and 0. Arguments are not checked.
int32_t VCARD__getObject(VCardContext *context, vComponent *object, int32_t type, int32_t wanted,
                         vComponent **objects, int32_t size, int32_t *count);
