// Selecting a card's properties by the values of one of their parameters,
// typically TYPE: "the TEL that is WORK and VOICE".
#include <cstdlib>

#include "vcard/vcInternal.h"

namespace {

constexpr const char kByTypeLabel[] = "VCARD_getPropertyByType()";
constexpr const char kValueByTypeLabel[] = "VCARD_getPropertyValueByType()";

// A malloc'ed work array, released on every way out.
template <class Item> class WorkArray {
  public:
    WorkArray() = default;
    WorkArray(const WorkArray &) = delete;
    WorkArray &operator=(const WorkArray &) = delete;
    ~WorkArray() { std::free(items_); }
    // Room for at least `size` items; false when memory runs out.
    bool reserve(int32_t size) {
        if (size <= capacity_) return true;
        // NOLINTNEXTLINE(bugprone-sizeof-expression): the items may be pointers, on purpose
        void *grown = std::realloc(items_, static_cast<size_t>(size) * sizeof(Item));
        if (grown == nullptr) return false;
        items_ = static_cast<Item *>(grown);
        capacity_ = size;
        return true;
    }
    Item *get() const { return items_; }

  private:
    Item *items_ = nullptr;
    int32_t capacity_ = 0;
};

struct Wanted {
    int32_t mode;
    const int32_t *codes;
    int32_t count;

    bool contains(int32_t code) const {
        for (int32_t i = 0; i < count; ++i) {
            if (codes[i] == code) return true;
        }
        return false;
    }

    // Every value code counts, so a value given twice is matched twice.
    bool selects(const int32_t *values, int32_t valueCount) const {
        int32_t matched = 0;
        int32_t unmatched = 0;
        for (int32_t i = 0; i < valueCount; ++i)
            ++(contains(values[i]) ? matched : unmatched);
        switch (mode) {
        case VCARD_MATCH_EXACT:
            return matched == count && unmatched == 0;
        case VCARD_MATCH_ALL:
            return matched == count;
        case VCARD_MATCH_SUBSET:
            return matched <= count && unmatched == 0;
        default:
            return false;
        }
    }
};

// Hands each selected property to `take` in list order until it declines
// one (then VCARD_MORE_ITEMS). VCARD_ERR_NOT_FOUND when the card has no
// property of `code`.
template <class Take>
int32_t selectProperties(VCardContext *context, vComponent *card, int32_t code,
                         int32_t parameterCode, const Wanted &wanted, Take take) {
    int32_t total = 0;
    if (const int32_t counted = VCARD_countProperty(context, card, code, &total)) return counted;
    WorkArray<vProperty *> properties;
    if (!properties.reserve(total + 1))
        return vcard::report(context, kByTypeLabel, VCARD_ERR_NO_MEMORY, "Out of memory");
    int32_t fetched = 0;
    const int32_t got =
        VCARD_getProperty(context, card, code, properties.get(), total + 1, &fetched);
    if (got != 0) return got;
    WorkArray<int32_t> values;
    for (int32_t i = 0; i < fetched; ++i) {
        vProperty *property = properties.get()[i];
        int32_t parameters = 0;
        if (VCARD_countParameter(context, property, parameterCode, &parameters) != 0 ||
            parameters == 0)
            continue;
        if (!values.reserve(parameters + 1))
            return vcard::report(context, kByTypeLabel, VCARD_ERR_NO_MEMORY, "Out of memory");
        int32_t valueCount = 0;
        const int32_t identified = VCARD_getParameterValueId(
            context, property, parameterCode, values.get(), parameters + 1, &valueCount);
        if (identified != 0 && identified != VCARD_MORE_ITEMS) continue;
        if (wanted.selects(values.get(), valueCount) && !take(property)) return VCARD_MORE_ITEMS;
    }
    return 0;
}

} // namespace

extern "C" {

VERSIT_API int32_t VCARD_getPropertyByParameter(VCardContext *context, vComponent *card,
                                                int32_t code, int32_t parameterCode, int32_t mode,
                                                const int32_t *wanted, int32_t wantedCount,
                                                vProperty **properties, int32_t size,
                                                int32_t *count) {
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, "VCARD_getPropertyByParameter()");
    vcard::clearOut(properties, static_cast<int32_t *>(nullptr), size, count);
    if (card == nullptr || properties == nullptr || count == nullptr ||
        (wanted == nullptr && wantedCount > 0))
        return VCARD_ERR_NULL_ARGUMENT;
    vcard::Results<vProperty *> out(properties, nullptr, size, count);
    return selectProperties(context, card, code, parameterCode, {mode, wanted, wantedCount},
                            [&](vProperty *p) { return out.add(p); });
}

VERSIT_API int32_t VCARD_getPropertyByType(VCardContext *context, vComponent *card, int32_t code,
                                           int32_t mode, const int32_t *wanted, int32_t wantedCount,
                                           vProperty **properties, int32_t size, int32_t *count) {
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, kByTypeLabel);
    return VCARD_getPropertyByParameter(context, card, code, VCARD_PARM_TYPE, mode, wanted,
                                        wantedCount, properties, size, count);
}

VERSIT_API int32_t VCARD_getPropertyValueByParameter(VCardContext *context, vComponent *card,
                                                     int32_t code, int32_t parameterCode,
                                                     int32_t mode, const int32_t *wanted,
                                                     int32_t wantedCount, char **values,
                                                     int32_t *sizes, int32_t size, int32_t *count) {
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, "VCARD_getPropertyValueByParameter()");
    vcard::clearOut(values, sizes, size, count);
    if (card == nullptr || values == nullptr || sizes == nullptr || count == nullptr ||
        (wanted == nullptr && wantedCount > 0))
        return VCARD_ERR_NULL_ARGUMENT;
    vcard::Results<char *> out(values, sizes, size, count);
    const int32_t result = selectProperties(
        context, card, code, parameterCode, {mode, wanted, wantedCount}, [&](const vProperty *p) {
            return out.add(vcard::firstData(p->valueList), vcard::firstSize(p->valueList));
        });
    if (result != 0 && result != VCARD_MORE_ITEMS && context->flags != 0)
        VLIB_logError(kValueByTypeLabel, result, "");
    return result;
}

VERSIT_API int32_t VCARD_getPropertyValueByType(VCardContext *context, vComponent *card,
                                                int32_t code, int32_t mode, const int32_t *wanted,
                                                int32_t wantedCount, char **values, int32_t *sizes,
                                                int32_t size, int32_t *count) {
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, kValueByTypeLabel);
    return VCARD_getPropertyValueByParameter(context, card, code, VCARD_PARM_TYPE, mode, wanted,
                                             wantedCount, values, sizes, size, count);
}

VERSIT_API int32_t VCARD_getPropertyValueCopyByType(VCardContext *context, vComponent *card,
                                                    int32_t code, int32_t mode,
                                                    const int32_t *wanted, int32_t wantedCount,
                                                    char **values, int32_t *sizes, int32_t size,
                                                    int32_t *count) {
    constexpr const char *kLabel = "VCARD_getPropertyValueCopyByType()";
    if (context == nullptr) return VCARD_ERR_NO_CONTEXT;
    vcard::traceEntry(context, kLabel);
    const int32_t selected = VCARD_getPropertyValueByType(context, card, code, mode, wanted,
                                                          wantedCount, values, sizes, size, count);
    if (selected != 0 && selected != VCARD_MORE_ITEMS) {
        if (context->flags != 0) VLIB_logError(kLabel, selected, "");
        return selected;
    }
    for (int32_t i = 0; i < *count; ++i) {
        if (values[i] == nullptr) continue;
        char *copy = vcard::copyBytes(values[i], sizes[i]);
        if (copy == nullptr) {
            // What was copied goes back; nothing handed out points into the card.
            for (int32_t k = 0; k < *count; ++k) {
                if (k < i) std::free(values[k]);
                values[k] = nullptr;
            }
            *count = 0;
            return vcard::report(context, kLabel, VCARD_ERR_NO_MEMORY, "Out of memory");
        }
        values[i] = copy;
    }
    return selected;
}

} // extern "C"
