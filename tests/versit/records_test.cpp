// The four versit records: construction, linking, copying, removal and
// destruction, and the ownership rules between them. Failure without
// leaks is swept in tests/hardening.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "support/alloc_hook.h"
#include "text_support.h"
#include "versit_core.h"

namespace {

vValue *values(std::initializer_list<const char *> texts) {
    vValue *head = nullptr;
    for (auto t = std::rbegin(texts); t != std::rend(texts); ++t)
        head = VLIB_new_vValue(0x100, *t, static_cast<int32_t>(std::strlen(*t)), head);
    return head;
}

// TEL;HOME;ENCODING=QUOTED-PRINTABLE:a;b
vProperty *telProperty() {
    vParameter *encoding =
        VLIB_new_vParameter(0x300, "ENCODING", values({"QUOTED-PRINTABLE"}), nullptr);
    vParameter *home = VLIB_new_vParameter(0x301, "", values({"HOME"}), encoding);
    return VLIB_new_vProperty(0x200, "TEL", values({"a", "b"}), home, nullptr);
}

TEST(Value, DataIsCopiedBySizeOrAsString) {
    struct Case {
        const char *data;
        int32_t size;
        std::string expect; // dataSize bytes
    } cases[] = {
        {"abc", -1, std::string("abc", 4)}, // the terminating NUL is counted
        {"abc", 3, "abc"},
        {"abc", 2, "ab"}, // cut and NUL-terminated
        {nullptr, 7, ""},
        {"\0\xFF\0A", 4, std::string("\0\xFF\0A", 4)} // binary data keeps its bytes
    };
    for (const Case &c : cases) {
        vValue *v = VLIB_new_vValue(0x109, c.data, c.size, nullptr);
        vValue *copy = VLIB_dup_vValue(v);
        for (const vValue *w : {v, copy}) {
            EXPECT_EQ(std::string(w->data, static_cast<size_t>(w->dataSize)), c.expect) << c.size;
            EXPECT_EQ(w->data[w->dataSize], '\0') << "data must be followed by a NUL";
        }
        EXPECT_NE(copy->data, v->data);
        EXPECT_EQ(v->dataType, 0x109);
        VLIB_destroy_vValue(&v);
        VLIB_destroy_vValue(&copy);
    }
    // A new text keeps dataSize, and reading dataSize bytes stays inside.
    vValue *v = VLIB_new_vValue(0, "abcdef", 6, nullptr);
    ASSERT_EQ(VLIB_set_vValue_value(v, "x"), v);
    EXPECT_EQ(std::string(v->data, 7), std::string("x\0\0\0\0\0\0", 7));
    ASSERT_EQ(VLIB_set_vValue_value(v, "longer than before"), v);
    EXPECT_STREQ(v->data, "longer than before");
    EXPECT_EQ(v->dataSize, 6);
    alloc_hook::failAfter(0);
    EXPECT_EQ(VLIB_set_vValue_value(v, "new"), nullptr);
    alloc_hook::failAfter(-1);
    EXPECT_STREQ(v->data, "longer than before") << "a failed change leaves the record";
    VLIB_destroy_vValue(&v);
}

TEST(Getters, NullRecordsAndPositions) {
    EXPECT_EQ(VLIB_get_vComponent_componentType(nullptr), 0x400);
    EXPECT_EQ(VLIB_get_vProperty_propertyType(nullptr), 0x200);
    EXPECT_EQ(VLIB_get_vProperty_datatype(nullptr), 0x100);
    EXPECT_EQ(VLIB_get_vParameter_parameterType(nullptr), 0x300);
    EXPECT_EQ(VLIB_get_vValue_dataType(nullptr), 0x100);
    EXPECT_EQ(VLIB_get_vValue_dataSize(nullptr), -1);
    EXPECT_EQ(VLIB_get_vProperty_encoding(nullptr) + VLIB_get_vValue_encoding(nullptr), 0);
    EXPECT_EQ(VLIB_get_vComponent_name(nullptr), nullptr);
    EXPECT_EQ(VLIB_get_vProperty_valueList(nullptr), nullptr);
    EXPECT_EQ(VLIB_get_vParameter_parentProperty(nullptr), nullptr);
    EXPECT_EQ(VLIB_get_vValue_next(nullptr), nullptr);
    vValue *list = values({"one", "two", "three"});
    EXPECT_STREQ(VLIB_get_vValue_string(list, 2), "three");
    EXPECT_EQ(VLIB_get_vValue_string(list, 3), nullptr);
    EXPECT_EQ(VLIB_get_vValue_string(list, -1), nullptr);
    VLIB_destroy_vValue(&list);
}

const char *const kTel = "TEL;HOME;ENCODING=QUOTED-PRINTABLE:a|b";

TEST(Linking, ParentLinksAndReverseOrder) {
    vProperty *tel = telProperty();
    vComponent *card = VLIB_new_vComponent(0x400, nullptr, tel, nullptr, nullptr);
    EXPECT_STREQ(card->name, "") << "an absent name is stored as the empty string";
    vProperty *stray = VLIB_new_vProperty(0x200, "STRAY", nullptr, nullptr, nullptr);
    for (const char *name : {"P1", "P2"}) // a property's own next is overwritten
        ASSERT_EQ(VLIB_add_vComponent_property(
                      card, VLIB_new_vProperty(0x200, name, nullptr, nullptr, stray)),
                  card);
    for (const char *name : {"A", "B"})
        VLIB_add_vComponent_subcomponent(
            card, VLIB_new_vComponent(0x400, name, nullptr, nullptr, nullptr));
    vParameter *x = VLIB_new_vParameter(0x300, nullptr, nullptr, nullptr);
    EXPECT_STREQ(x->name, "");
    VLIB_set_vParameter_name(x, "X");
    EXPECT_EQ(VLIB_add_vProperty_parameter(tel, x), tel);
    EXPECT_EQ(vtest::dump(card), "{P2\nP1\nTEL;X=;HOME;ENCODING=QUOTED-PRINTABLE:a|b\nB{}\nA{}}");
    for (vParameter *p = tel->parameterList; p != nullptr; p = p->next)
        EXPECT_EQ(p->parentProperty, tel);
    EXPECT_EQ(VLIB_add_vProperty_parameter(nullptr, x), nullptr);
    EXPECT_EQ(VLIB_add_vProperty_parameter(tel, nullptr), nullptr);
    EXPECT_EQ(VLIB_add_vComponent_property(nullptr, stray), nullptr);
    EXPECT_EQ(VLIB_add_vComponent_subcomponent(card, nullptr), nullptr);
    VLIB_destroy_vProperty(&stray);
    VLIB_destroy_vComponent(&card);
    EXPECT_EQ(card, nullptr);
    VLIB_destroy_vProperty(nullptr);
}

TEST(Removal, MiddlePropertyTakesOverItsFollower) {
    vComponent *card = VLIB_new_vComponent(0x400, "C", telProperty(), nullptr, nullptr);
    VLIB_add_vComponent_property(card, VLIB_new_vProperty(0x200, "P2", nullptr, nullptr, nullptr));
    VLIB_add_vComponent_property(card, VLIB_new_vProperty(0x200, "P1", nullptr, nullptr, nullptr));
    vProperty *p2 = card->propertyList->next;
    EXPECT_EQ(VLIB_remove_vProperty(p2), p2);
    EXPECT_EQ(vtest::dump(card), "C{P1\n" + std::string(kTel) + "}");
    for (vParameter *p = p2->parameterList; p != nullptr; p = p->next)
        EXPECT_EQ(p->parentProperty, p2) << "moved parameters point at their new holder";
    // The last one goes entirely; the caller clears the link.
    EXPECT_EQ(VLIB_remove_vProperty(p2), nullptr);
    card->propertyList->next = nullptr;
    EXPECT_EQ(VLIB_remove_vProperty(nullptr), nullptr);
    VLIB_destroy_vComponent(&card);
}

TEST(Setters, NullRecordsListsAndExtraData) {
    vProperty *tel = telProperty();
    // Replaced lists and names are released (a leak shows in the sweeps).
    EXPECT_EQ(VLIB_set_vProperty_valueList(tel, values({"new"})), tel);
    EXPECT_EQ(VLIB_set_vProperty_parameterList(tel, nullptr), tel);
    EXPECT_EQ(VLIB_set_vProperty_name(tel, "HOME.TEL"), tel);
    EXPECT_STREQ(tel->name, "HOME.TEL");
    EXPECT_EQ(VLIB_set_vProperty_datatype(nullptr, 1), nullptr);
    EXPECT_EQ(VLIB_set_vProperty_propertyList(nullptr, tel), nullptr);
    EXPECT_EQ(VLIB_set_vComponent_propertyList(nullptr, tel), nullptr);
    vComponent *c = VLIB_new_vComponent(0x400, "A", nullptr, nullptr, nullptr);
    EXPECT_EQ(VLIB_set_vComponent_propertyList(c, tel), c);
    EXPECT_EQ(c->propertyList, tel);
    void *out = &out;
    EXPECT_EQ(VLIB_get_vComponent_extraData(c, &out), 0);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(VLIB_set_vComponent_extraData(c, std::malloc(4)), 0);
    EXPECT_EQ(VLIB_set_vComponent_extraData(c, std::malloc(4)), 0) << "previous one freed";
    EXPECT_EQ(VLIB_set_vComponent_extraData(c, c->extraData), 0) << "same pointer kept";
    EXPECT_EQ(VLIB_set_vComponent_extraData(nullptr, nullptr), VLIB_ERR_NULL_ARGUMENT);
    EXPECT_EQ(VLIB_get_vComponent_extraData(c, nullptr), VLIB_ERR_NULL_ARGUMENT);
    EXPECT_EQ(VLIB_get_vComponent_extraData(nullptr, &out), VLIB_ERR_NULL_ARGUMENT);
    VLIB_destroy_vComponent(&c);
}

} // namespace
