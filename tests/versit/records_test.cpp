// The four versit records: construction, linking, copying, removal and
// destruction, and the ownership rules between them.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "versit_core.h"

namespace {

std::vector<std::string> propertyNames(const vComponent *c) {
    std::vector<std::string> names;
    for (const vProperty *p = c->propertyList; p != nullptr; p = p->next)
        names.push_back(p->name);
    return names;
}

vValue *values(std::initializer_list<const char *> texts) {
    vValue *head = nullptr;
    vValue **link = &head;
    for (const char *t : texts) {
        *link = VLIB_new_vValue(VLIB_DATATYPE_UNRESOLVED, t, static_cast<int32_t>(std::strlen(t)),
                                nullptr);
        link = &(*link)->next;
    }
    return head;
}

// TEL;HOME;ENCODING=QUOTED-PRINTABLE:a;b
vProperty *telProperty() {
    vParameter *encoding = VLIB_new_vParameter(VLIB_PARAMETER_NAMED, "ENCODING",
                                               values({"QUOTED-PRINTABLE"}), nullptr);
    vParameter *home = VLIB_new_vParameter(VLIB_PARAMETER_BARE, "", values({"HOME"}), encoding);
    return VLIB_new_vProperty(VLIB_PROPERTY_UNIDENTIFIED, "TEL", values({"a", "b"}), home, nullptr);
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
        {"", 0, ""},
        {"\0\xFF\0A", 4, std::string("\0\xFF\0A", 4)}, // binary data keeps its bytes
    };
    for (const Case &c : cases) {
        vValue *v = VLIB_new_vValue(0x109, c.data, c.size, nullptr);
        ASSERT_NE(v, nullptr);
        vValue *copy = VLIB_dup_vValue(v);
        for (const vValue *w : {v, copy}) {
            EXPECT_EQ(std::string(w->data, static_cast<size_t>(w->dataSize)), c.expect) << c.size;
            EXPECT_EQ(w->data[w->dataSize], '\0') << "data must be followed by a NUL";
        }
        EXPECT_NE(copy->data, v->data);
        EXPECT_EQ(v->dataType, 0x109);
        EXPECT_EQ(v->encoding, 0);
        VLIB_destroy_vValue(&v);
        VLIB_destroy_vValue(&copy);
    }
}

TEST(Value, SetValueKeepsSizeAndStaysReadable) {
    vValue *v = VLIB_new_vValue(0, "abcdef", 6, nullptr);
    VLIB_set_vValue_encoding(v, 0x506);
    ASSERT_EQ(VLIB_set_vValue_value(v, "x"), v);
    EXPECT_STREQ(v->data, "x");
    EXPECT_EQ(v->dataSize, 6);
    // Reading dataSize bytes must stay inside the buffer (checked under ASan).
    std::string all(v->data, static_cast<size_t>(v->dataSize) + 1);
    EXPECT_EQ(all, std::string("x\0\0\0\0\0\0", 7));
    ASSERT_EQ(VLIB_set_vValue_value(v, "longer than before"), v);
    EXPECT_STREQ(v->data, "longer than before");
    EXPECT_EQ(v->dataSize, 6);
    VLIB_destroy_vValue(&v);
}

TEST(Value, StringAtPosition) {
    vValue *list = values({"one", "two", "three"});
    EXPECT_STREQ(VLIB_get_vValue_string(list, 0), "one");
    EXPECT_STREQ(VLIB_get_vValue_string(list, 2), "three");
    EXPECT_EQ(VLIB_get_vValue_string(list, 3), nullptr);
    EXPECT_EQ(VLIB_get_vValue_string(list, -1), nullptr);
    EXPECT_EQ(VLIB_get_vValue_string(nullptr, 0), nullptr);
    VLIB_destroy_vValue(&list);
}

TEST(Getters, NullRecordsGiveTheFixedValues) {
    EXPECT_EQ(VLIB_get_vComponent_componentType(nullptr), 0x400);
    EXPECT_EQ(VLIB_get_vProperty_propertyType(nullptr), 0x200);
    EXPECT_EQ(VLIB_get_vProperty_datatype(nullptr), 0x100);
    EXPECT_EQ(VLIB_get_vProperty_encoding(nullptr), 0);
    EXPECT_EQ(VLIB_get_vParameter_parameterType(nullptr), 0x300);
    EXPECT_EQ(VLIB_get_vValue_dataType(nullptr), 0x100);
    EXPECT_EQ(VLIB_get_vValue_dataSize(nullptr), -1);
    EXPECT_EQ(VLIB_get_vValue_encoding(nullptr), 0);
    EXPECT_EQ(VLIB_get_vComponent_name(nullptr), nullptr);
    EXPECT_EQ(VLIB_get_vProperty_valueList(nullptr), nullptr);
    EXPECT_EQ(VLIB_get_vParameter_parentProperty(nullptr), nullptr);
    EXPECT_EQ(VLIB_get_vValue_next(nullptr), nullptr);
}

TEST(Construction, NamesAndParentLinks) {
    vProperty *tel = telProperty();
    EXPECT_EQ(tel->encoding, 0);
    EXPECT_EQ(tel->datatype, 0x100);
    EXPECT_EQ(tel->parentComponent, nullptr);
    for (vParameter *p = tel->parameterList; p != nullptr; p = p->next)
        EXPECT_EQ(p->parentProperty, tel);

    vComponent *card = VLIB_new_vComponent(0x400, nullptr, tel, nullptr, nullptr);
    EXPECT_STREQ(card->name, "") << "an absent name is stored as the empty string";
    EXPECT_EQ(tel->parentComponent, card);
    EXPECT_EQ(card->extraData, nullptr);
    EXPECT_EQ(card->parent, nullptr);

    vParameter *bare = VLIB_new_vParameter(0x301, nullptr, nullptr, nullptr);
    EXPECT_STREQ(bare->name, "");
    VLIB_destroy_vParameter(&bare);
    VLIB_destroy_vComponent(&card);
}

TEST(Linking, AddedRecordsStandInReverseOrder) {
    vComponent *card = VLIB_new_vComponent(0x400, "VCARD", nullptr, nullptr, nullptr);
    vProperty *stray = VLIB_new_vProperty(0x200, "STRAY", nullptr, nullptr, nullptr);
    for (const char *name : {"P1", "P2", "P3"}) {
        // A property's own next is overwritten: adding links exactly one.
        vProperty *p = VLIB_new_vProperty(0x200, name, nullptr, nullptr, stray);
        ASSERT_EQ(VLIB_add_vComponent_property(card, p), card);
        EXPECT_EQ(p->parentComponent, card);
    }
    EXPECT_EQ(propertyNames(card), (std::vector<std::string>{"P3", "P2", "P1"}));

    vComponent *a = VLIB_new_vComponent(0x400, "A", nullptr, nullptr, nullptr);
    vComponent *b = VLIB_new_vComponent(0x400, "B", nullptr, nullptr, nullptr);
    VLIB_add_vComponent_subcomponent(card, a);
    VLIB_add_vComponent_subcomponent(card, b);
    EXPECT_EQ(card->subComponent, b);
    EXPECT_EQ(b->next, a);
    EXPECT_EQ(a->parent, card);
    EXPECT_EQ(b->parent, card);

    vParameter *x = VLIB_new_vParameter(0x300, "X", nullptr, nullptr);
    vParameter *y = VLIB_new_vParameter(0x300, "Y", nullptr, nullptr);
    vProperty *p3 = card->propertyList;
    EXPECT_EQ(VLIB_add_vProperty_parameter(p3, x), p3);
    EXPECT_EQ(VLIB_add_vProperty_parameter(p3, y), p3);
    EXPECT_EQ(p3->parameterList, y);
    EXPECT_EQ(y->next, x);
    EXPECT_EQ(x->parentProperty, p3);

    EXPECT_EQ(VLIB_add_vProperty_parameter(nullptr, x), nullptr);
    EXPECT_EQ(VLIB_add_vProperty_parameter(p3, nullptr), nullptr);
    EXPECT_EQ(VLIB_add_vComponent_property(nullptr, stray), nullptr);
    EXPECT_EQ(VLIB_add_vComponent_subcomponent(card, nullptr), nullptr);

    VLIB_destroy_vProperty(&stray);
    VLIB_destroy_vComponent(&card);
}

TEST(Destruction, ChainGoesWithItsHeadAndClearsThePointer) {
    // Three chained properties, each owning values and parameters: under
    // ASan/LSan a missed release shows as a leak, a double one as an error.
    vProperty *p3 = telProperty();
    vProperty *p2 = telProperty();
    p2->next = p3;
    vProperty *p1 = telProperty();
    p1->next = p2;
    VLIB_destroy_vProperty(&p1);
    EXPECT_EQ(p1, nullptr);

    VLIB_destroy_vProperty(nullptr);
    vValue *none = nullptr;
    VLIB_destroy_vValue(&none);
}

TEST(Destruction, DeeplyNestedComponentsNeedNoStack) {
    vComponent *top = VLIB_new_vComponent(0x400, "L0", nullptr, nullptr, nullptr);
    vComponent *at = top;
    for (int i = 1; i < 200000; ++i) {
        vComponent *child = VLIB_new_vComponent(0x400, "L", telProperty(), nullptr, nullptr);
        VLIB_add_vComponent_subcomponent(at, child);
        // a sibling beside each level as well
        VLIB_add_vComponent_subcomponent(
            at, VLIB_new_vComponent(0x400, "S", nullptr, nullptr, nullptr));
        at = child;
    }
    VLIB_destroy_vComponent(&top);
    EXPECT_EQ(top, nullptr);
}

TEST(Removal, MiddlePropertyTakesOverItsFollower) {
    vComponent *card = VLIB_new_vComponent(0x400, "VCARD", nullptr, nullptr, nullptr);
    VLIB_add_vComponent_property(card, telProperty()); // P3, with parameters
    VLIB_set_vProperty_name(card->propertyList, "P3");
    VLIB_add_vComponent_property(card, VLIB_new_vProperty(0x200, "P2", nullptr, nullptr, nullptr));
    VLIB_add_vComponent_property(card, VLIB_new_vProperty(0x200, "P1", nullptr, nullptr, nullptr));

    vProperty *p2 = card->propertyList->next;
    EXPECT_EQ(VLIB_remove_vProperty(p2), p2);
    EXPECT_EQ(propertyNames(card), (std::vector<std::string>{"P1", "P3"}));
    EXPECT_EQ(card->propertyList->next, p2) << "P2's record now holds P3";
    EXPECT_EQ(p2->parentComponent, card);
    ASSERT_NE(p2->parameterList, nullptr);
    for (vParameter *p = p2->parameterList; p != nullptr; p = p->next)
        EXPECT_EQ(p->parentProperty, p2) << "moved parameters point at their new holder";
    EXPECT_STREQ(VLIB_get_vValue_string(p2->valueList, 1), "b");

    // The last one goes entirely; the caller clears the link.
    EXPECT_EQ(VLIB_remove_vProperty(p2), nullptr);
    card->propertyList->next = nullptr;
    EXPECT_EQ(propertyNames(card), (std::vector<std::string>{"P1"}));
    EXPECT_EQ(VLIB_remove_vProperty(nullptr), nullptr);
    VLIB_destroy_vComponent(&card);
}

TEST(Copying, PropertyCopyIsDeepAndPointsAtItself) {
    vProperty *tel = telProperty();
    tel->encoding = 0x506;
    tel->datatype = 0x10B;
    tel->next = VLIB_new_vProperty(0x200, "NOTE", values({"n"}), nullptr, nullptr);

    vProperty *one = VLIB_dup_vProperty(tel);
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->next, nullptr);
    EXPECT_EQ(one->encoding, 0) << "cached codes are not copied";
    EXPECT_EQ(one->datatype, 0x100);
    EXPECT_NE(one->name, tel->name);
    EXPECT_STREQ(one->name, "TEL");
    EXPECT_STREQ(VLIB_get_vProperty_parameterValueString(one, "encoding"), "QUOTED-PRINTABLE");
    for (vParameter *p = one->parameterList; p != nullptr; p = p->next) {
        EXPECT_EQ(p->parentProperty, one);
        EXPECT_NE(p->valueList->data, nullptr);
    }
    EXPECT_NE(one->parameterList, tel->parameterList);
    EXPECT_NE(one->valueList->data, tel->valueList->data);

    vProperty *all = VLIB_dup_vProperty_recursive(tel);
    ASSERT_NE(all, nullptr);
    EXPECT_STREQ(all->name, "TEL");
    ASSERT_NE(all->next, nullptr);
    EXPECT_STREQ(all->next->name, "NOTE");
    EXPECT_EQ(all->next->next, nullptr);
    for (vParameter *p = all->parameterList; p != nullptr; p = p->next)
        EXPECT_EQ(p->parentProperty, all);

    EXPECT_EQ(VLIB_dup_vProperty(nullptr), nullptr);
    EXPECT_EQ(VLIB_dup_vProperty_recursive(nullptr), nullptr);
    VLIB_destroy_vProperty(&one);
    VLIB_destroy_vProperty(&all);
    VLIB_destroy_vProperty(&tel);
}

TEST(Copying, RecursiveComponentCopyReversesSubcomponentsAndStopsAtSiblings) {
    // VCALENDAR { X-PROP } with subcomponents E1, E2 (in that order), E1
    // holding T1; and a sibling that must not be copied.
    vComponent *t1 = VLIB_new_vComponent(0x40D, "T1", nullptr, nullptr, nullptr);
    vComponent *e1 = VLIB_new_vComponent(0x40A, "E1", telProperty(), t1, nullptr);
    t1->parent = e1;
    vComponent *e2 = VLIB_new_vComponent(0x40A, "E2", nullptr, nullptr, nullptr);
    e1->next = e2;
    vComponent *sibling = VLIB_new_vComponent(0x405, "SIBLING", nullptr, nullptr, nullptr);
    vComponent *cal = VLIB_new_vComponent(0x405, "VCALENDAR", telProperty(), e1, sibling);
    e1->parent = e2->parent = cal;
    void *extra = std::malloc(8);
    VLIB_set_vComponent_extraData(cal, extra);

    vComponent *copy = VLIB_dup_vComponent_recursive(cal);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->next, nullptr);
    EXPECT_EQ(copy->extraData, nullptr);
    EXPECT_EQ(copy->propertyList->parentComponent, copy);
    ASSERT_NE(copy->subComponent, nullptr);
    EXPECT_STREQ(copy->subComponent->name, "E2");
    ASSERT_NE(copy->subComponent->next, nullptr);
    vComponent *e1copy = copy->subComponent->next;
    EXPECT_STREQ(e1copy->name, "E1");
    EXPECT_EQ(e1copy->next, nullptr);
    EXPECT_EQ(e1copy->parent, copy);
    EXPECT_EQ(copy->subComponent->parent, copy);
    ASSERT_NE(e1copy->subComponent, nullptr);
    EXPECT_STREQ(e1copy->subComponent->name, "T1");
    EXPECT_EQ(e1copy->subComponent->parent, e1copy);
    EXPECT_EQ(e1copy->propertyList->parentComponent, e1copy);

    vComponent *flat = VLIB_dup_vComponent(cal);
    EXPECT_EQ(flat->subComponent, nullptr);
    EXPECT_EQ(flat->next, nullptr);
    EXPECT_EQ(flat->componentType, 0x405);

    VLIB_destroy_vComponent(&flat);
    VLIB_destroy_vComponent(&copy);
    VLIB_destroy_vComponent(&cal); // takes the sibling and extraData along
}

TEST(Setters, ListsNamesAndFields) {
    vProperty *tel = telProperty();
    // Replaced lists and names are released (a leak shows under ASan).
    EXPECT_EQ(VLIB_set_vProperty_valueList(tel, values({"new"})), tel);
    EXPECT_EQ(VLIB_set_vProperty_parameterList(tel, nullptr), tel);
    EXPECT_EQ(VLIB_set_vProperty_name(tel, "HOME.TEL"), tel);
    EXPECT_STREQ(tel->name, "HOME.TEL");
    EXPECT_EQ(VLIB_set_vProperty_datatype(nullptr, 1), nullptr);
    EXPECT_EQ(VLIB_set_vProperty_propertyList(nullptr, tel), nullptr);

    vComponent *c = VLIB_new_vComponent(0x400, "A", nullptr, nullptr, nullptr);
    EXPECT_EQ(VLIB_set_vComponent_propertyList(c, tel), c);
    EXPECT_EQ(c->propertyList, tel);
    EXPECT_EQ(VLIB_set_vComponent_propertyList(nullptr, tel), nullptr);

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
    // Bare parameters have the empty name.
    EXPECT_EQ(VLIB_get_vParameter_named(tel->parameterList, ""), tel->parameterList);
    // The search starts from the given parameter.
    EXPECT_EQ(VLIB_get_vParameter_named(tel->parameterList->next, ""), nullptr);

    vProperty *bare = VLIB_new_vProperty(0x200, "N", nullptr, nullptr, nullptr);
    EXPECT_EQ(VLIB_get_vProperty_parameterValueString(bare, "ENCODING"), nullptr);
    VLIB_add_vProperty_parameter(bare, VLIB_new_vParameter(0x300, "VALUE", nullptr, nullptr));
    EXPECT_EQ(VLIB_get_vProperty_parameterValueString(bare, "VALUE"), nullptr)
        << "a parameter without values has no value string";
    VLIB_destroy_vProperty(&bare);
    VLIB_destroy_vProperty(&tel);
}

} // namespace
