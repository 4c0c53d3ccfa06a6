// The four versit records: construction, linking, copying, removal and
// destruction, the ownership rules between them, and what running out of
// memory in them logs. Failure without leaks is swept in tests/hardening.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/alloc_hook.h"
#include "support/log_capture.h"
#include "text_support.h"
#include "versit_core.h"

namespace {

using Strings = std::vector<std::string>;

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
        {"\0\xFF\0A", 4, std::string("\0\xFF\0A", 4)}, // binary data keeps its bytes
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

TEST(Destruction, DeeplyNestedComponentsNeedNoStack) {
    vComponent *top = VLIB_new_vComponent(0x400, "L0", nullptr, nullptr, nullptr);
    vComponent *at = top;
    for (int i = 1; i < 200000; ++i) {
        vComponent *child = VLIB_new_vComponent(0x400, "L", telProperty(), nullptr, nullptr);
        VLIB_add_vComponent_subcomponent(at, child);
        VLIB_add_vComponent_subcomponent(at, VLIB_new_vComponent(0x400, "S", nullptr, nullptr,
                                                                 nullptr)); // a sibling too
        at = child;
    }
    VLIB_destroy_vComponent(&top);
    EXPECT_EQ(top, nullptr);
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

TEST(Copying, PropertyCopyIsDeepAndPointsAtItself) {
    vProperty *tel = telProperty();
    tel->encoding = 0x506;
    tel->datatype = 0x10B;
    tel->next = VLIB_new_vProperty(0x200, "NOTE", values({"n"}), nullptr, nullptr);
    vProperty *one = VLIB_dup_vProperty(tel);
    EXPECT_EQ(one->next, nullptr);
    EXPECT_EQ(one->encoding, 0) << "cached codes are not copied";
    EXPECT_EQ(one->datatype, 0x100);
    EXPECT_NE(one->valueList->data, tel->valueList->data);
    vProperty *all = VLIB_dup_vProperty_recursive(tel);
    vComponent *holder = VLIB_new_vComponent(0x400, "C", all, nullptr, nullptr);
    EXPECT_EQ(vtest::dump(holder), "C{" + std::string(kTel) + "\nNOTE:n}");
    for (vProperty *copy : {one, all}) {
        for (vParameter *p = copy->parameterList; p != nullptr; p = p->next)
            EXPECT_EQ(p->parentProperty, copy);
    }
    EXPECT_EQ(VLIB_dup_vProperty(nullptr), nullptr);
    EXPECT_EQ(VLIB_dup_vProperty_recursive(nullptr), nullptr);
    VLIB_destroy_vProperty(&one);
    VLIB_destroy_vComponent(&holder);
    VLIB_destroy_vProperty(&tel);
}

TEST(Copying, RecursiveComponentCopyReversesSubcomponentsAndStopsAtSiblings) {
    // VCALENDAR with subcomponents E1 (holding T1), E2, and a sibling that
    // must not be copied.
    vComponent *t1 = VLIB_new_vComponent(0x40D, "T1", nullptr, nullptr, nullptr);
    vComponent *e1 = VLIB_new_vComponent(0x40A, "E1", telProperty(), t1, nullptr);
    t1->parent = e1;
    e1->next = VLIB_new_vComponent(0x40A, "E2", nullptr, nullptr, nullptr);
    vComponent *sibling = VLIB_new_vComponent(0x405, "SIBLING", nullptr, nullptr, nullptr);
    vComponent *cal = VLIB_new_vComponent(0x405, "VCALENDAR", telProperty(), e1, sibling);
    e1->parent = e1->next->parent = cal;
    VLIB_set_vComponent_extraData(cal, std::malloc(8));
    vComponent *copy = VLIB_dup_vComponent_recursive(cal);
    EXPECT_EQ(copy->next, nullptr);
    EXPECT_EQ(copy->extraData, nullptr);
    const std::string tel = kTel;
    EXPECT_EQ(vtest::dump(copy), "VCALENDAR{" + tel + "\nE2{}\nE1{" + tel + "\nT1{}}}");
    vComponent *flat = VLIB_dup_vComponent(cal);
    EXPECT_EQ(vtest::dump(flat), "VCALENDAR{" + tel + "}");
    EXPECT_EQ(flat->next, nullptr);
    EXPECT_EQ(flat->componentType, 0x405);
    VLIB_destroy_vComponent(&flat);
    VLIB_destroy_vComponent(&copy);
    VLIB_destroy_vComponent(&cal); // takes the sibling and extraData along
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

TEST(Lookups, ParametersByNameIgnoringCase) {
    vProperty *tel = telProperty();
    EXPECT_EQ(VLIB_get_vProperty_parameterNamed(tel, "encoding"), tel->parameterList->next);
    EXPECT_STREQ(VLIB_get_vProperty_parameterValueString(tel, "Encoding"), "QUOTED-PRINTABLE");
    EXPECT_EQ(VLIB_get_vProperty_parameterNamed(tel, "CHARSET"), nullptr);
    // Bare parameters have the empty name; the search starts where it is told.
    EXPECT_EQ(VLIB_get_vParameter_named(tel->parameterList, ""), tel->parameterList);
    EXPECT_EQ(VLIB_get_vParameter_named(tel->parameterList->next, ""), nullptr);
    vProperty *bare = VLIB_new_vProperty(0x200, "N", nullptr, nullptr, nullptr);
    EXPECT_EQ(VLIB_get_vProperty_parameterValueString(bare, "ENCODING"), nullptr);
    VLIB_add_vProperty_parameter(bare, VLIB_new_vParameter(0x300, "VALUE", nullptr, nullptr));
    EXPECT_EQ(VLIB_get_vProperty_parameterValueString(bare, "VALUE"), nullptr)
        << "a parameter without values has no value string";
    VLIB_destroy_vProperty(&bare);
    VLIB_destroy_vProperty(&tel);
}

// The first failed allocation of each operation is logged, with
// VLIB_ERR_NO_MEMORY at level 2, under the operation's own label.
TEST(OutOfMemory, LoggedUnderTheOperationsLabel) {
    int32_t n = 0;
    char *out = nullptr;
    void *record = nullptr;
    vTime time;
    struct Case {
        const char *label;
        std::function<void()> call;
    } cases[] = {
        {"VLIB_new_vValue():  Not enough core", [] { VLIB_new_vValue(0, "t", -1, nullptr); }},
        {"VLIB_new_vProperty():  Not enough core",
         [] { VLIB_new_vProperty(0x200, "T", nullptr, nullptr, nullptr); }},
        // The component constructor has always reported under the property label.
        {"VLIB_new_vProperty():  Not enough core",
         [] { VLIB_new_vComponent(0x400, "V", nullptr, nullptr, nullptr); }},
        {"VLIB_convertToBase64():  Not enough core",
         [&] { VLIB_convertFromBase64("YW", &n, &out); }},
        {"VLIB_parseValue:  Not enough core",
         [&] { VLIB_parseValue(VLIB_TYPE_INTEGER, "1", &record); }},
        {"VLIB_parseAsDate:  Not enough core", [&] { VLIB_parseAsTime("120000", &time); }},
        {"", [&] { VLIB_convertToEscapedString("a;b", &out, &n); }},
    };
    for (const Case &c : cases) {
        LogCapture log;
        alloc_hook::failAfter(0);
        c.call();
        alloc_hook::failAfter(-1);
        if (c.label[0] == '\0') {
            EXPECT_TRUE(log.records().empty());
            continue;
        }
        ASSERT_EQ(log.errors().size(), 1u) << c.label;
        EXPECT_EQ(log.records()[0].message, c.label);
        EXPECT_EQ(log.records()[0].code, VLIB_ERR_NO_MEMORY);
        EXPECT_EQ(log.records()[0].level, 2u);
    }
}

} // namespace
