// versit ab: what the address book's record cannot hold. The exchange
// writes an entry's record as a card; every property of the imported card
// that this card does not give back is kept beside the entry (stream
// CALAPI_STREAM_KEPT) as a card of its own, and put back on export.
//
// Two kinds of property:
// - those a card holds once (N, NOTE, PHOTO ...): reproduced when the
//   exact card has as many of that name, each with the same value (and,
//   for pictures and sounds, the same TYPE label). Otherwise every one of
//   that name is kept and, on export, replaces the exact card's: the
//   record may hold it cut short or in part (a name without its title).
// - all others, which a card may hold many times (TEL, EMAIL, ADR, X- ...):
//   each is reproduced by an exact property of the same name and value
//   that reproduces no other one, one of the same kinds (FAX, HOME ...)
//   taken first. The ones left are kept and, on export, added after the
//   exact card's last property of that name: what the record holds stays
//   as the book has it.
// Names are compared without their group ("item1.") and case; values as
// decoded, a line break whatever its bytes, empty fields at the end aside.
// A group stays whole: with one of its properties kept, all are, and on
// export a kept one takes the place of the exact one it matches. VERSION,
// REV and the record's own extension properties are never kept: the
// record carries them. A nested card (AGENT) is kept with AGENT, which
// goes last so that the card follows it.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "tool.h"
#include "versit_core.h"
#include "versit_vcard.h"

namespace {

constexpr const char *kOnce[] = {"N",     "FN",  "TITLE",    "ROLE",        "ORG",   "BDAY",
                                 "TZ",    "GEO", "NICKNAME", "NOTE",        "PHOTO", "LOGO",
                                 "SOUND", "UID", "MAILER",   "SORT-STRING", "CLASS", "PRODID"};
// Of those, the ones whose TYPE label says how to read the data.
constexpr const char *kMedia[] = {"PHOTO", "LOGO", "SOUND"};
constexpr const char *kAddedKinds[] = {"PREF", "VOICE", "INTERNET"};
constexpr const char *kNeverKept[] = {"VERSION", "REV"};
constexpr const char *kRecordPrefixes[] = {"X-QVT-AB_", "X_QVT-AB_"};
// Bare parameters that name an encoding or value type, not a TYPE label.
constexpr const char *kNotLabels[] = {"BASE64", "B",  "QUOTED-PRINTABLE", "8BIT", "7BIT", "INLINE",
                                      "URL",    "CID"};

// ASCII letters without regard to case (vCard names are ASCII; the C
// library's strcasecmp is not on every system the tool builds for).
bool sameText(const char *a, const char *b) {
    for (;; ++a, ++b) {
        const char x = *a >= 'a' && *a <= 'z' ? static_cast<char>(*a - 'a' + 'A') : *a;
        const char y = *b >= 'a' && *b <= 'z' ? static_cast<char>(*b - 'a' + 'A') : *b;
        if (x != y) return false;
        if (x == '\0') return true;
    }
}

template <size_t N> bool among(const char *const (&words)[N], const std::string &word) {
    for (const char *w : words)
        if (sameText(w, word.c_str())) return true;
    return false;
}

// The name without its group, upper case.
std::string baseName(const vProperty *p) {
    const char *name = p->name != nullptr ? p->name : "";
    const char *dot = std::strrchr(name, '.');
    std::string base = dot != nullptr ? dot + 1 : name;
    for (char &c : base)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return base;
}

// The group ("ITEM1"), upper case; empty for none.
std::string groupOf(const vProperty *p) {
    const char *name = p->name != nullptr ? p->name : "";
    const char *dot = std::strrchr(name, '.');
    std::string group(name, dot != nullptr ? static_cast<size_t>(dot - name) : 0);
    for (char &c : group)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return group;
}

bool neverKept(const std::string &base) {
    if (among(kNeverKept, base)) return true;
    for (const char *prefix : kRecordPrefixes)
        if (base.compare(0, std::strlen(prefix), prefix) == 0) return true;
    return false;
}

// The decoded value: every value's bytes (a base64 value may hold NULs)
// joined by ';', line breaks as LF, the empty fields at the end left out.
std::string valueOf(const vProperty *p) {
    std::string text;
    for (const vValue *v = p->valueList; v != nullptr; v = v->next) {
        if (v != p->valueList) text += ';';
        if (v->data == nullptr) continue;
        const size_t size = v->encoding == VLIB_ENCODING_BASE64 && v->dataSize >= 0
                                ? static_cast<size_t>(v->dataSize)
                                : std::strlen(v->data);
        text.append(v->data, size);
    }
    // A line break is one whatever its bytes: the record keeps CR LF.
    std::string lines;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        lines += text[i] == '\r' ? '\n' : text[i];
    }
    text.swap(lines);
    while (!text.empty() && text.back() == ';' &&
           (text.size() < 2 || text[text.size() - 2] != '\\'))
        text.pop_back();
    return text;
}

// A picture's or sound's format: the TYPE value, or the first bare word
// that names no encoding.
std::string labelOf(const vProperty *p) {
    for (const vParameter *a = p->parameterList; a != nullptr; a = a->next) {
        const char *value = a->valueList != nullptr ? a->valueList->data : nullptr;
        if (value == nullptr) continue;
        const bool bare = a->name == nullptr || a->name[0] == '\0';
        if ((!bare && sameText(a->name, "TYPE")) || (bare && !among(kNotLabels, value))) {
            std::string label = value;
            for (char &c : label)
                if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            return label;
        }
    }
    return "";
}

// The kinds a property's parameters give it (HOME, FAX, ...), upper case
// and sorted; the ones the exchange adds of its own (PREF, VOICE,
// INTERNET) and the encodings aside.
std::vector<std::string> kindsOf(const vProperty *p) {
    std::vector<std::string> kinds;
    for (const vParameter *a = p->parameterList; a != nullptr; a = a->next) {
        const bool bare = a->name == nullptr || a->name[0] == '\0';
        if (!bare && !sameText(a->name, "TYPE")) continue;
        for (const vValue *v = a->valueList; v != nullptr; v = v->next) {
            std::string word = v->data != nullptr ? v->data : "";
            for (char &c : word)
                if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            if (!among(kNotLabels, word) && !among(kAddedKinds, word)) kinds.push_back(word);
        }
    }
    std::sort(kinds.begin(), kinds.end());
    return kinds;
}

bool same(const vProperty *a, const vProperty *b, const std::string &base) {
    return valueOf(a) == valueOf(b) && (!among(kMedia, base) || labelOf(a) == labelOf(b));
}

std::vector<vProperty *> propertiesOf(const vComponent *card) {
    std::vector<vProperty *> all;
    for (vProperty *p = card->propertyList; p != nullptr; p = p->next)
        all.push_back(p);
    return all;
}

std::vector<vProperty *> named(const std::vector<vProperty *> &all, const std::string &base) {
    std::vector<vProperty *> found;
    for (vProperty *p : all)
        if (baseName(p) == base) found.push_back(p);
    return found;
}

// The properties of `all` that `exact` does not reproduce, in their order.
std::vector<vProperty *> unreproduced(const std::vector<vProperty *> &all,
                                      const std::vector<vProperty *> &exact) {
    std::vector<vProperty *> left;
    // Each exact property reproduces one at most: first the one of its
    // kinds (TEL;FAX for TEL;FAX), then any of its value.
    std::vector<bool> used(exact.size(), false), matched(all.size(), false);
    for (const bool byKind : {true, false}) {
        for (size_t k = 0; k < all.size(); ++k) {
            const std::string base = baseName(all[k]);
            if (matched[k] || among(kOnce, base) || neverKept(base)) continue;
            for (size_t i = 0; i < exact.size() && !matched[k]; ++i) {
                if (used[i] || baseName(exact[i]) != base || !same(all[k], exact[i], base) ||
                    (byKind && kindsOf(all[k]) != kindsOf(exact[i])))
                    continue;
                used[i] = matched[k] = true;
            }
        }
    }
    std::vector<std::string> doneOnce;
    for (size_t k = 0; k < all.size(); ++k) {
        vProperty *p = all[k];
        const std::string base = baseName(p);
        if (neverKept(base)) continue;
        if (!among(kOnce, base)) {
            if (!matched[k]) left.push_back(p);
            continue;
        }
        if (std::find(doneOnce.begin(), doneOnce.end(), base) != doneOnce.end()) continue;
        doneOnce.push_back(base);
        const std::vector<vProperty *> mine = named(all, base), theirs = named(exact, base);
        bool reproduced = mine.size() == theirs.size();
        for (size_t i = 0; reproduced && i < mine.size(); ++i)
            reproduced = same(mine[i], theirs[i], base);
        if (!reproduced) left.insert(left.end(), mine.begin(), mine.end());
    }
    // A group stays whole: with one of its properties kept, all are (the
    // exact card has no groups), in the card's order.
    std::vector<std::string> groups;
    for (const vProperty *p : left)
        if (!groupOf(p).empty()) groups.push_back(groupOf(p));
    if (groups.empty()) return left;
    std::vector<vProperty *> whole;
    for (vProperty *p : all) {
        const std::string group = groupOf(p);
        if (std::find(left.begin(), left.end(), p) != left.end() ||
            (!group.empty() && !neverKept(baseName(p)) &&
             std::find(groups.begin(), groups.end(), group) != groups.end()))
            whole.push_back(p);
    }
    return whole;
}

// The exact property of `list` (none of `merged`) with the name, value and
// kinds of `kept`; list.size() when there is none.
size_t twin(const std::vector<vProperty *> &list, const std::vector<vProperty *> &merged,
            const vProperty *kept, const std::string &base) {
    for (size_t i = 0; i < list.size(); ++i)
        if (std::find(merged.begin(), merged.end(), list[i]) == merged.end() &&
            baseName(list[i]) == base && same(kept, list[i], base) &&
            kindsOf(kept) == kindsOf(list[i]))
            return i;
    return list.size();
}

// Makes `list` the card's properties, in that order.
void relink(vComponent *card, const std::vector<vProperty *> &list) {
    vProperty *next = nullptr;
    for (size_t i = list.size(); i-- > 0;) {
        list[i]->next = next;
        list[i]->parentComponent = card;
        next = list[i];
    }
    card->propertyList = next;
}

} // namespace

bool keptProperties(vComponent *original, const vComponent *exact, vComponent **kept) {
    *kept = nullptr;
    std::vector<vProperty *> all = propertiesOf(original);
    const std::vector<vProperty *> left = unreproduced(all, propertiesOf(exact));
    if (left.empty()) return true;
    vComponent *card = VLIB_new_vComponent(VCARD_COMP_VCARD, "VCARD", nullptr, nullptr, nullptr);
    vValue *number = VLIB_new_vValue(VLIB_DATATYPE_UNRESOLVED, "2.1", -1, nullptr);
    vProperty *version = number != nullptr ? VLIB_new_vProperty(VCARD_PROP_VERSION, "VERSION",
                                                                number, nullptr, nullptr)
                                           : nullptr;
    if (card == nullptr || version == nullptr) {
        VLIB_destroy_vComponent(&card);
        if (version != nullptr)
            VLIB_destroy_vProperty(&version);
        else
            VLIB_destroy_vValue(&number);
        return false;
    }
    // The properties move: the original card is not needed after this.
    // The writer goes down the list, the reader builds it backwards: the
    // kept card's text follows the original's order.
    std::vector<vProperty *> moved = {version};
    moved.insert(moved.end(), left.rbegin(), left.rend());
    all.erase(std::remove_if(all.begin(), all.end(),
                             [&](vProperty *p) {
                                 return std::find(left.begin(), left.end(), p) != left.end();
                             }),
              all.end());
    if (original->subComponent != nullptr)
        std::stable_partition(moved.begin(), moved.end(),
                              [](const vProperty *p) { return baseName(p) != "AGENT"; });
    relink(original, all);
    relink(card, moved);
    // A nested card (AGENT) goes with them: neither the record nor the
    // exact card holds one.
    if (original->subComponent != nullptr && !named(left, "AGENT").empty()) {
        card->subComponent = original->subComponent;
        original->subComponent = nullptr;
        for (vComponent *c = card->subComponent; c != nullptr; c = c->next)
            c->parent = card;
    }
    *kept = card;
    return true;
}

void mergeKept(vComponent *exact, vComponent *kept) {
    std::vector<vProperty *> list = propertiesOf(exact);
    std::vector<vProperty *> rest; // never-kept ones, left with `kept`
    std::vector<std::string> replaced;
    std::vector<vProperty *> merged; // the kept ones put in so far
    // In the order of the kept card's text (its list runs backwards, the
    // exact card's too, and the writer goes down the list): added ones
    // come out in the order they were read.
    std::vector<vProperty *> keptList = propertiesOf(kept);
    std::reverse(keptList.begin(), keptList.end());
    for (vProperty *k : keptList) {
        const std::string base = baseName(k);
        if (neverKept(base)) {
            rest.push_back(k);
            continue;
        }
        size_t at = list.size();
        if (among(kOnce, base) &&
            std::find(replaced.begin(), replaced.end(), base) == replaced.end()) {
            // The first kept one takes the place of the first exact one;
            // all exact ones of that name go.
            replaced.push_back(base);
            for (size_t i = list.size(); i-- > 0;) {
                if (baseName(list[i]) != base) continue;
                at = i;
                list[i]->next = nullptr;
                VLIB_destroy_vProperty(&list[i]);
                list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
            }
        } else if (!groupOf(k).empty() && (at = twin(list, merged, k, base)) < list.size()) {
            // Kept with its group: it takes the place of the exact one.
            list[at]->next = nullptr;
            VLIB_destroy_vProperty(&list[at]);
            list.erase(list.begin() + static_cast<std::ptrdiff_t>(at));
        } else {
            // After the last one of the name (a kept one of a name held
            // once follows the one put before it).
            at = list.size();
            for (size_t i = list.size(); i-- > 0;) {
                if (baseName(list[i]) == base) {
                    at = i + 1;
                    break;
                }
            }
        }
        list.insert(list.begin() + static_cast<std::ptrdiff_t>(at), k);
        merged.push_back(k);
    }
    if (kept->subComponent != nullptr && exact->subComponent == nullptr) {
        // The writer puts nested cards after the last property: AGENT goes
        // last, so that its card follows it.
        std::stable_partition(list.begin(), list.end(),
                              [](const vProperty *p) { return baseName(p) != "AGENT"; });
    }
    relink(exact, list);
    relink(kept, rest);
    if (exact->subComponent == nullptr) {
        exact->subComponent = kept->subComponent;
        kept->subComponent = nullptr;
        for (vComponent *c = exact->subComponent; c != nullptr; c = c->next)
            c->parent = exact;
    }
}
