// A property's parameters by code: counting, fetching, reading their
// values as text, as copies or as parameter-value codes.
#include "platform/crt.h"
#include "vcard/vcInternal.h"

namespace {

int32_t checkParameterCode(const VCardContext *context, const char *label, int32_t code) {
    if (vcard::isParameterCode(code)) return 0;
    return vcard::report(context, label, VCARD_ERR_BAD_CODE,
                         "Attempted to count code 0x%X as a parameter",
                         static_cast<unsigned>(code));
}

// Hands each parameter of `code` in `list` to `take` in list order until
// it declines one: then VCARD_MORE_ITEMS.
template <class Take> int32_t eachParameter(vParameter *list, int32_t code, Take take) {
    for (vParameter *p = list; p != nullptr; p = p->next) {
        if (p->parameterType == code && !take(p)) return VCARD_MORE_ITEMS;
    }
    return 0;
}

// The common shape of the fetches over one property's parameters: entry,
// clearing, null checks, the code's class; then `body`.
template <class Item, class Body>
int32_t overParameters(VCardContext *context, const char *label, vProperty *property, int32_t code,
                       Item *items, int32_t size, int32_t *count, Body body) {
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, label);
    vcard::clearOut(items, static_cast<int32_t *>(nullptr), size, count);
    if (property == nullptr || items == nullptr || count == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    if (const int32_t bad = checkParameterCode(context, label, code)) return bad;
    vcard::Results<Item> out(items, nullptr, size, count);
    return body(out);
}

} // namespace

extern "C" {

VERSIT_API int32_t VCARD_countParameter(VCardContext *context, vProperty *property, int32_t code,
                                        int32_t *count) {
    constexpr const char *kLabel = "VCARD_countParameter()";
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, kLabel);
    if (count != nullptr) *count = 0;
    if (property == nullptr || count == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    if (const int32_t bad = checkParameterCode(context, kLabel, code)) return bad;
    if (property->parameterList == nullptr) return VCARD_ERR_NOT_FOUND;
    eachParameter(property->parameterList, code, [&](const vParameter *) {
        ++*count;
        return true;
    });
    return 0;
}

VERSIT_API int32_t VCARD_getParameterFromList(VCardContext *context, vParameter *list, int32_t code,
                                              vParameter **parameters, int32_t size,
                                              int32_t *count) {
    constexpr const char *kLabel = "VCARD_getParameterFromList()";
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, kLabel);
    vcard::clearOut(parameters, static_cast<int32_t *>(nullptr), size, count);
    if (parameters == nullptr || count == nullptr) return VCARD_ERR_NULL_ARGUMENT;
    if (const int32_t bad = checkParameterCode(context, kLabel, code)) return bad;
    vcard::Results<vParameter *> out(parameters, nullptr, size, count);
    const int32_t walked = eachParameter(list, code, [&](vParameter *p) { return out.add(p); });
    return walked != 0 ? walked : out.finish();
}

VERSIT_API int32_t VCARD_getParameter(VCardContext *context, vProperty *property, int32_t code,
                                      vParameter **parameters, int32_t size, int32_t *count) {
    return overParameters(context, "VCARD_getParameter()", property, code, parameters, size, count,
                          [&](vcard::Results<vParameter *> &out) {
                              const int32_t walked =
                                  eachParameter(property->parameterList, code,
                                                [&](vParameter *p) { return out.add(p); });
                              return walked != 0 ? walked : out.finish();
                          });
}

VERSIT_API int32_t VCARD_getParameterValue(VCardContext *context, vProperty *property, int32_t code,
                                           char **values, int32_t size, int32_t *count) {
    return overParameters(context, "VCARD_getParameterValue()", property, code, values, size, count,
                          [&](vcard::Results<char *> &out) {
                              const int32_t walked = eachParameter(
                                  property->parameterList, code, [&](const vParameter *p) {
                                      return out.add(vcard::firstData(p->valueList));
                                  });
                              return walked != 0 ? walked : out.finish();
                          });
}

VERSIT_API int32_t VCARD_getParameterValueId(VCardContext *context, vProperty *property,
                                             int32_t code, int32_t *codes, int32_t size,
                                             int32_t *count) {
    return overParameters(
        context, "VCARD_getParameterValueId()", property, code, codes, size, count,
        [&](vcard::Results<int32_t> &out) {
            bool lookedUp = false;
            int32_t lookup = 0;
            int32_t fetched =
                eachParameter(property->parameterList, code, [&](const vParameter *p) {
                    if (out.stored() >= size) return false;
                    const char *value = vcard::firstData(p->valueList);
                    int32_t id = VCARD_PVAL_NONE;
                    if (value != nullptr) {
                        lookedUp = true;
                        lookup = VCARD_identifyToken(context, value, VCARD_PVAL_NONE, &id);
                        if (lookup != 0) id = VCARD_PVAL_NONE;
                        if (vcard::isExtensionName(value)) id = VCARD_PVAL_X;
                    }
                    return out.add(id);
                });
            if (fetched == 0) fetched = out.finish();
            return lookedUp ? lookup : fetched;
        });
}

VERSIT_API int32_t VCARD_getParameterValueCopy(VCardContext *context, vProperty *property,
                                               int32_t code, char **values, int32_t size,
                                               int32_t *count) {
    return overParameters(context, "VCARD_getParameterValueCopy()", property, code, values, size,
                          count, [&](vcard::Results<char *> &out) {
                              bool outOfMemory = false;
                              const int32_t walked = eachParameter(
                                  property->parameterList, code, [&](const vParameter *p) {
                                      if (out.stored() >= size) return false;
                                      const char *value = vcard::firstData(p->valueList);
                                      char *copy = crt::_strdup(value != nullptr ? value : "");
                                      if (copy == nullptr) {
                                          outOfMemory = true;
                                          return false;
                                      }
                                      return out.add(copy);
                                  });
                              if (outOfMemory)
                                  return vcard::report(context, "VCARD_getParameterValueCopy",
                                                       VCARD_ERR_NO_MEMORY, "Out of memory");
                              return walked != 0 ? walked : out.finish();
                          });
}

} // extern "C"
