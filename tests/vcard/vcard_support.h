// Helpers shared by the vCard interface tests.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "versit_vcard.h"

namespace vctest {

// A fresh context for the length of a test.
struct Context {
    VCardContext *c = nullptr;
    Context() { EXPECT_EQ(VCARD_createContext(&c), 0); }
    Context(const Context &) = delete;
    Context &operator=(const Context &) = delete;
    ~Context() { VCARD_destroyContext(&c); }
    operator VCardContext *() const { return c; }
    VCardContext *operator->() const { return c; }
};

// Owns a card (and the cards chained after it).
struct Card {
    vComponent *root = nullptr;
    Card() = default;
    Card(const Card &) = delete;
    Card &operator=(const Card &) = delete;
    ~Card() { VLIB_destroy_vComponent(&root); }
    operator vComponent *() const { return root; }
    vComponent *operator->() const { return root; }
};

// Imports the first card of `text`; the result code in *result.
inline void import(VCardContext *context, Card &card, const std::string &text,
                   int32_t *result = nullptr) {
    const char *rest = nullptr;
    int32_t remaining = 0;
    const int32_t r = VCARD_importObjectFromBuffer(
        context, &card.root, text.c_str(), static_cast<int32_t>(text.size()), &rest, &remaining);
    if (result != nullptr) *result = r;
}

inline std::string exported(VCardContext *context, vComponent *card) {
    char *text = nullptr;
    EXPECT_EQ(VCARD_exportObjectToBuffer(context, card, &text), 0);
    std::string out = text != nullptr ? text : "(null)";
    std::free(text);
    return out;
}

// A card of the given content lines, CR LF after each.
inline std::string cardText(const std::vector<std::string> &lines) {
    std::string text = "BEGIN:VCARD\r\n";
    for (const std::string &line : lines)
        text += line + "\r\n";
    return text + "END:VCARD\r\n";
}

// The text of one property as the export writes it, without its line end.
inline std::string line(vProperty *p) {
    vProperty *next = p->next;
    p->next = nullptr;
    std::string text(static_cast<size_t>(VLIB_length_vProperty(p, 12)) + 1, '\0');
    VLIB_sprint_vProperty(&text[0], p, 12);
    p->next = next;
    text.resize(text.size() - 3); // the NUL and CR LF
    return text;
}

inline vProperty *first(VCardContext *context, vComponent *card, int32_t code) {
    vProperty *found[2] = {};
    int32_t count = 0;
    VCARD_getProperty(context, card, code, found, 2, &count);
    return found[0];
}

} // namespace vctest
