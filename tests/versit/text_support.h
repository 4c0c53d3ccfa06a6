// Helpers shared by the parser, generator and round-trip tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

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

inline std::vector<std::string> names(const vProperty *p) {
    std::vector<std::string> out;
    for (; p != nullptr; p = p->next)
        out.emplace_back(p->name);
    return out;
}

inline std::vector<std::string> texts(const vValue *v) {
    std::vector<std::string> out;
    for (; v != nullptr; v = v->next)
        out.emplace_back(v->data);
    return out;
}

inline const vProperty *property(const vComponent *c, const char *name) {
    for (const vProperty *p = c->propertyList; p != nullptr; p = p->next) {
        if (std::strcmp(p->name, name) == 0) return p;
    }
    return nullptr;
}

} // namespace vtest
