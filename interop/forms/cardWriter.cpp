// A card written so every reader reads it back as it is. The exact writer
// writes plain values as they stand: an "=" that a fold leaves at a line's
// end reads back as a soft line break and is lost, a line break in a value
// ends its line early, and 8-bit bytes need a reader that guesses their
// charset. Such values go out quoted-printable instead, where "=", line
// breaks and 8-bit bytes are escaped and every line stays ASCII.
#include <cstring>

#include "interop/cardTree.h"
#include "interop/recover/lines.h"
#include "versit_interop.h"

namespace {

bool needsEscaping(const vValue *v) {
    if (v->data == nullptr) return false;
    for (const char *p = v->data; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
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
