// Verification gives a parsed card its vCard meaning: token codes for
// every name, value types for properties, bare vCard 2.1 parameters sorted
// into TYPE and ENCODING, and values decoded that only a bare encoding
// announced. It repairs rather than rejects: unknown names keep their text
// and get the unknown code of their class. Default TYPE parameters and the
// default value type live here too.
#include <cstdlib>
#include <cstring>

#include "platform/ascii.h"
#include "platform/calapi.h"
#include "vcard/vcInternal.h"

namespace {

constexpr const char kVerifyLabel[] = "VCARD_verifyLevel2()";
constexpr const char kParameterLabel[] = "VCARD_verifyParameterList()";

// `word` in capitals. Most values differ from it in their first letter,
// which is looked at before the call.
bool wordIs(const char *text, const char *word) {
    return ascii::upper(text[0]) == word[0] && calapi::strcasecmp(text, word) == 0;
}

// The encoding a bare parameter value names: -1 for none, 0 for one that
// changes nothing (7BIT, 8BIT), else the parameter-value code.
int32_t bareEncoding(const char *value) {
    if (wordIs(value, "7BIT") || wordIs(value, "8BIT")) return 0;
    if (wordIs(value, "BASE64")) return VCARD_PVAL_BASE64;
    if (wordIs(value, "QUOTED-PRINTABLE")) return VCARD_PVAL_QUOTED_PRINTABLE;
    return -1;
}

bool hasType(const vProperty *property) {
    for (const vParameter *p = property->parameterList; p != nullptr; p = p->next) {
        if (p->parameterType == VCARD_PARM_TYPE) return true;
    }
    return false;
}

class Verifier {
  public:
    explicit Verifier(VCardContext *context) : context_(context) {}
    int32_t result() const { return result_; }

    void component(vComponent *c);

  private:
    // Every problem replaces the one before: the last one met is returned.
    void note(int32_t code) { result_ = code; }
    void note(int32_t code, const char *message) {
        vcard::report(context_, kVerifyLabel, code, "%s", message);
        result_ = code;
    }
    void property(vProperty *p);
    void datatype(vProperty *p);
    void decode(vProperty *p, int32_t encoding);
    void replaceValue(vProperty *p, const char *data, int32_t size, int32_t encoding);

    VCardContext *context_;
    int32_t result_ = 0;
};

void Verifier::component(vComponent *c) {
    int32_t code = VCARD_COMP_UNKNOWN;
    if (c->name == nullptr || c->name[0] == '\0') {
        note(VCARD_ERR_NO_COMPONENT_NAME, "No vCard component name");
    } else if (VCARD_identifyToken(context_, c->name, VCARD_COMP_UNKNOWN, &code) != 0) {
        code = VCARD_COMP_UNKNOWN;
        note(VCARD_ERR_BAD_COMPONENT, "Unknown vCard component");
    }
    c->componentType = code;
    for (vProperty *p = c->propertyList; p != nullptr; p = p->next)
        property(p);
}

void Verifier::property(vProperty *p) {
    if (p->name == nullptr || p->name[0] == '\0') {
        p->propertyType = VCARD_PROP_UNKNOWN;
        note(VCARD_ERR_NO_PROPERTY_NAME, "No vCard property name");
    } else {
        // "item1.EMAIL" is an EMAIL of group item1.
        const char *dot = std::strchr(p->name, '.');
        int32_t code = VCARD_TOKEN_NONE;
        if (VCARD_identifyToken(context_, dot != nullptr ? dot + 1 : p->name, VCARD_PROP_UNKNOWN,
                                &code) != 0 ||
            code == VCARD_TOKEN_NONE) {
            p->propertyType = VCARD_PROP_UNKNOWN;
            note(VCARD_ERR_BAD_PROPERTY, "Unknown vCard property");
        } else {
            p->propertyType = code;
            datatype(p);
        }
    }
    int32_t encoding = VCARD_PVAL_NONE;
    const int32_t parameters = VCARD_verifyParameterList(context_, p->parameterList, &encoding);
    if (parameters != 0) note(parameters);
    decode(p, encoding);
}

// The VALUE parameter's type, else the default of the property's code.
void Verifier::datatype(vProperty *p) {
    int32_t type = VLIB_getPropertyDatatype(p);
    if (type == VLIB_DATATYPE_UNRESOLVED || type == VLIB_DATATYPE_DEFAULT) {
        const int32_t found = VCARD_getDefaultPropertyDatatype(context_, p->propertyType, &type);
        if (found != 0) {
            vcard::report(context_, kVerifyLabel, found,
                          "Unrecognized datatype for property \"%s\"", p->name);
            note(found);
            type = VCARD_TYPE_UNKNOWN;
        }
    }
    p->datatype = type;
}

void Verifier::replaceValue(vProperty *p, const char *data, int32_t size, int32_t encoding) {
    vValue *value = VLIB_new_vValue(VCARD_TYPE_UNKNOWN, data, size, nullptr);
    if (value == nullptr) {
        note(VLIB_ERR_NO_MEMORY);
        return;
    }
    // Marked as the parser marks the values it decodes itself.
    value->encoding = encoding;
    VLIB_set_vProperty_valueList(p, value);
}

// A bare BASE64 or QUOTED-PRINTABLE reached the parser as a word without a
// name, so the value is still as written: decode it now.
void Verifier::decode(vProperty *p, int32_t encoding) {
    if (p->valueList == nullptr || p->valueList->data == nullptr) return;
    char *decoded = nullptr;
    if (encoding == VCARD_PVAL_BASE64) {
        int32_t count = 0;
        const int32_t result = VLIB_convertFromBase64(p->valueList->data, &count, &decoded);
        // Skipped characters (line breaks, blanks) leave the data complete.
        if (result == 0 || result == VLIB_ERR_BAD_BASE64)
            replaceValue(p, decoded, count, VLIB_ENCODING_BASE64);
        else
            note(result);
    } else if (encoding == VCARD_PVAL_QUOTED_PRINTABLE) {
        const int32_t result = VLIB_convertFromQuotedPrintable(p->valueList->data, &decoded);
        if (result == 0)
            replaceValue(p, decoded, -1, VLIB_ENCODING_QUOTED_PRINTABLE);
        else
            note(result);
    }
    std::free(decoded);
}

} // namespace

bool vcard::announcesBareEncoding(vComponent *card) {
    bool found = false;
    // (The components verification walks: the card, its siblings, and
    // every card nested in them.)
    for (vComponent *c = card; c != nullptr && !found; c = c->next) {
        vcard::walkTree(c, [&found](vComponent *nested) {
            for (const vProperty *p = nested->propertyList; p != nullptr && !found; p = p->next) {
                for (const vParameter *q = p->parameterList; q != nullptr && !found; q = q->next) {
                    if (q->name != nullptr && q->name[0] != '\0') continue;
                    const char *value = vcard::firstData(q->valueList);
                    found = value != nullptr && bareEncoding(value) >= 0;
                }
            }
        });
    }
    return found;
}

extern "C" {

VERSIT_API int32_t VCARD_verify(VCardContext *context, vComponent *component) {
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, "VCARD_verify()");
    if (component == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    return VCARD_verifyLevel2(context, component);
}

VERSIT_API int32_t VCARD_verifyLevel2(VCardContext *context, vComponent *component) {
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, kVerifyLabel);
    if (component == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    Verifier verifier(context);
    for (vComponent *c = component; c != nullptr; c = c->next)
        vcard::walkTree(c, [&](vComponent *nested) { verifier.component(nested); });
    return verifier.result();
}

VERSIT_API int32_t VCARD_verifyParameterList(VCardContext *context, vParameter *list,
                                             int32_t *encoding) {
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, kParameterLabel);
    if (encoding == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    *encoding = VCARD_PVAL_NONE;
    int32_t result = 0;
    for (vParameter *p = list; p != nullptr; p = p->next) {
        if (p->name != nullptr && p->name[0] != '\0') {
            int32_t code = VCARD_TOKEN_NONE;
            if (VCARD_identifyToken(context, p->name, VCARD_PARM_UNKNOWN, &code) == 0 &&
                code != VCARD_TOKEN_NONE) {
                p->parameterType = code;
            } else {
                p->parameterType = VCARD_PARM_UNKNOWN;
                result = vcard::report(context, kParameterLabel, VCARD_ERR_BAD_PARAMETER,
                                       "Unknown vCard parameter");
            }
            continue;
        }
        p->parameterType = VCARD_PARM_BARE;
        const char *value = vcard::firstData(p->valueList);
        if (value == nullptr) continue;
        const int32_t announced = bareEncoding(value);
        if (announced < 0) {
            p->parameterType = VCARD_PARM_TYPE;
            continue;
        }
        // Named, so that the generator (which reads ENCODING by name)
        // writes the value in the encoding the parameter now announces.
        if (VLIB_set_vParameter_name(p, "ENCODING") == nullptr) {
            result = VLIB_ERR_NO_MEMORY;
            continue;
        }
        p->parameterType = VCARD_PARM_ENCODING;
        if (announced != 0) *encoding = announced;
    }
    return result;
}

VERSIT_API int32_t VCARD_addDefaultTYPEparms(VCardContext *context, vComponent *card) {
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, "VCARD_addDefaultTYPEparms()");
    if (card == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    const bool tracing = vcard::tracing(context);
    for (vProperty *p = card->propertyList; p != nullptr; p = p->next) {
        const int32_t *types = context->defaultTypeList[p->propertyType & 0xFF];
        // Most properties have no list: unless the trace wants to hear of
        // them, their parameters need not be looked at (an export walks
        // every card it writes through here).
        if ((types == nullptr && !tracing) || hasType(p)) continue;
        if (tracing) {
            const char *name = nullptr;
            if (VCARD_getTokenString(context, p->propertyType, &name) != 0) name = p->name;
            vcard::traceText("VCARD_addDefaultTYPEparm() for property %s", name);
        }
        if (types == nullptr) {
            if (tracing) vcard::traceText("VCARD_addDefaultTYPEparms():  no default TYPE list\n");
            continue;
        }
        for (; *types != 0; ++types) {
            const int32_t added = VCARD_addParameterId(context, p, VCARD_PARM_TYPE, *types);
            if (added != 0)
                return vcard::report(context, "VCARD_addParameterId()", added, "VCARD error");
        }
    }
    return 0;
}

VERSIT_API int32_t VCARD_getDefaultPropertyDatatype(VCardContext *context, int32_t code,
                                                    int32_t *datatype) {
    constexpr const char *kLabel = "VCARD_getDefaultPropertyDatatype()";
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, kLabel);
    if (datatype == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    if (((code >> 8) & 0xFF) != 0x32)
        return vcard::report(context, kLabel, VCARD_ERR_BAD_CODE, "Requested property ID 0x%0X",
                             static_cast<unsigned>(code));
    *datatype = context->defaultDatatype[code & 0xFF];
    return 0;
}

// Decision: this operation answers nothing. It returns 1 ("no answer
// here") and writes nothing, as it always has, so callers that test for 1
// keep working; the question it names is answered elsewhere: verification
// stores each property's value type (its VALUE parameter, else the
// context's default) in the property's datatype field, and
// VCARD_getDefaultPropertyDatatype gives a code's default.
VERSIT_API int32_t VCARD_getPropertyDatatype(VCardContext *context, vProperty *property,
                                             int32_t *datatype) {
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, "VCARD_getPropertyDatatype()");
    if (property == nullptr || datatype == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    return 1;
}

} // extern "C"
