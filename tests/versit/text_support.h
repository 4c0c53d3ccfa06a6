// Helpers shared by the parser, generator and record tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "versit_core.h"

namespace vtest {

// Owns a parsed or built tree for the length of a test.
struct Tree {
    vComponent *root = nullptr;
    Tree() = default;
    explicit Tree(vComponent *c) : root(c) {}
    Tree(const Tree &) = delete;
    Tree &operator=(const Tree &) = delete;
    ~Tree() { VLIB_destroy_vComponent(&root); }
};

struct Parsed {
    std::string text; // what was parsed; rest points into it
    int32_t result = 0;
    int32_t remaining = 0;
    const char *rest = nullptr;
    Tree tree;
    long restAt() const { return rest != nullptr ? rest - text.c_str() : -1; }
};

constexpr int32_t kWholeText = INT32_MIN;

// One call of the parser over `text` (all of it, unless `count` says less).
inline void parse(Parsed &out, const std::string &text, int32_t flags, int32_t count = kWholeText) {
    out.text = text;
    out.remaining = count != kWholeText ? count : static_cast<int32_t>(text.size());
    char *rest = nullptr;
    out.result = VLIB_buildComponentFromBuffer(&out.tree.root, out.text.c_str(), flags,
                                               &out.remaining, &rest);
    out.rest = rest;
}

inline std::string print(vComponent *c, int32_t flags = 0) {
    const int32_t length = VLIB_length_vComponent(c, flags);
    std::string text(static_cast<size_t>(length) + 1, '\x7f');
    VLIB_sprint_vComponent(&text[0], c, flags);
    text.pop_back(); // the NUL, checked by the generator tests
    return text;
}

// A tree as text, lists in their order: NAME{property\nproperty\nNESTED{}}
// with a property as NAME;BARE;NAMED=v|v:v|v (no colon without values), a
// value's encoding as @hex when it has one, and "^" before a record whose
// parent link is wrong.
inline std::string dump(const vValue *v) {
    std::string s;
    for (const vValue *at = v; at != nullptr; at = at->next) {
        char encoding[8] = "";
        if (at->encoding != 0) std::snprintf(encoding, sizeof encoding, "@%X", at->encoding);
        s += (at == v ? "" : "|") + std::string(at->data) + encoding;
    }
    return s;
}

inline std::string dump(const vComponent *c) {
    std::string s = std::string(c->name) + "{";
    for (const vProperty *p = c->propertyList; p != nullptr; p = p->next) {
        s += (p == c->propertyList ? "" : "\n") + std::string(p->parentComponent == c ? "" : "^") +
             p->name;
        for (const vParameter *q = p->parameterList; q != nullptr; q = q->next)
            s += ";" + std::string(q->parameterType == VLIB_PARAMETER_BARE ? "" : q->name) +
                 (q->parameterType == VLIB_PARAMETER_BARE ? "" : "=") + dump(q->valueList);
        if (p->valueList != nullptr) s += ":" + dump(p->valueList);
    }
    for (const vComponent *k = c->subComponent; k != nullptr; k = k->next)
        s += "\n" + std::string(k->parent == c ? "" : "^") + dump(k);
    return s + "}";
}

} // namespace vtest
