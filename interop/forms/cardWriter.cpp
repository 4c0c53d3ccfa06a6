// A card written so every reader reads it back as it is. The exact writer
// writes plain values as they stand: an "=" that a fold leaves at a line's
// end reads back as a soft line break and is lost, a line break in a value
// ends its line early, and 8-bit bytes need a reader that guesses their
// charset. Such values go out quoted-printable instead, where "=", line
// breaks and 8-bit bytes are escaped and every line stays ASCII.
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "interop/cardTree.h"
#include "interop/recover/lines.h"
#include "versit_interop.h"

namespace {

// An "=", a line break or an 8-bit byte in the value. Every value of every
// card written comes here: its end is found first, and its bytes are then
// looked at sixteen at a time.
bool needsEscaping(const vValue *v) {
    if (v->data == nullptr) return false;
    const char *text = v->data;
    const size_t length = std::strlen(text);
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i equals = _mm_set1_epi8('=');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; i + 16 <= length; i += 16) {
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + i));
        const __m128i hit = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(b, equals), _mm_cmpeq_epi8(b, cr)), _mm_cmpeq_epi8(b, lf));
        // (The sign bit of each byte is its high bit.)
        if (_mm_movemask_epi8(_mm_or_si128(hit, b)) != 0) return true;
    }
#endif
    for (; i < length; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '=' || c == '\r' || c == '\n' || c >= 0x80) return true;
    }
    return false;
}

bool isPlain(const vProperty *p) {
    if (p->encoding == VLIB_ENCODING_BASE64 || p->encoding == VLIB_ENCODING_QUOTED_PRINTABLE)
        return false;
    for (const vParameter *q = p->parameterList; q != nullptr; q = q->next) {
        if (q->name != nullptr && interop::sameWord(q->name, "ENCODING")) return false;
    }
    return true;
}

// ENCODING=QUOTED-PRINTABLE on every plain property with a value that
// needs it, in the card and the cards nested in it. False when memory ran
// out.
bool escapeValues(vComponent *card) {
    return interop::forEachProperty(card, [](vProperty *p) {
        bool needed = false;
        for (const vValue *v = p->valueList; v != nullptr && !needed; v = v->next)
            needed = v->encoding != VLIB_ENCODING_BASE64 && needsEscaping(v);
        if (!needed || !isPlain(p)) return true;
        vValue *name = VLIB_new_vValue(VLIB_DATATYPE_UNRESOLVED, "QUOTED-PRINTABLE", -1, nullptr);
        vParameter *encoding =
            name != nullptr ? VLIB_new_vParameter(VLIB_PARAMETER_NAMED, "ENCODING", name, nullptr)
                            : nullptr;
        if (encoding == nullptr) {
            VLIB_destroy_vValue(&name);
            return false;
        }
        VLIB_add_vProperty_parameter(p, encoding);
        p->encoding = VLIB_ENCODING_QUOTED_PRINTABLE;
        return true;
    });
}

// A named parameter without a value ("CHARSET=") says nothing, and the
// exact reader flags it when it reads the card back: it is not written.
void dropEmptyParameters(vComponent *card) {
    interop::forEachProperty(card, [](vProperty *p) {
        for (vParameter **link = &p->parameterList; *link != nullptr;) {
            vParameter *q = *link;
            // Named: a bare parameter has an empty name (its type code
            // becomes the token's once the card is verified).
            const bool empty = q->name != nullptr && q->name[0] != '\0' &&
                               (q->valueList == nullptr || q->valueList->data == nullptr ||
                                q->valueList->data[0] == '\0') &&
                               (q->valueList == nullptr || q->valueList->next == nullptr);
            if (!empty) {
                link = &q->next;
                continue;
            }
            *link = q->next;
            q->next = nullptr;
            VLIB_destroy_vParameter(&q);
        }
        return true;
    });
}

} // namespace

extern "C" {

VERSIT_INTEROP_API int32_t VI_exportCard(VCardContext *context, vComponent *card, char **text) {
    if (text != nullptr) *text = nullptr;
    if (context == nullptr || card == nullptr || text == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    dropEmptyParameters(card);
    if (!escapeValues(card)) return VLIB_ERR_NO_MEMORY;
    return VCARD_exportObjectToBuffer(context, card, text);
}

} // extern "C"
