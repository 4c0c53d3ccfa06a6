// Running out of memory in any constructor or copy gives null, logs
// "Not enough core" under the operation's label and leaks nothing.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "support/alloc_hook.h"
#include "support/log_capture.h"
#include "versit_core.h"

namespace {

vProperty *sampleProperty(const char *name) {
    vValue *v2 = VLIB_new_vValue(0x100, "second", -1, nullptr);
    vValue *v1 = VLIB_new_vValue(0x100, "first", -1, v2);
    vValue *pv = VLIB_new_vValue(0x100, "BASE64", -1, nullptr);
    vParameter *p2 =
        VLIB_new_vParameter(0x301, "", VLIB_new_vValue(0x100, "HOME", -1, nullptr), nullptr);
    vParameter *p1 = VLIB_new_vParameter(0x300, "ENCODING", pv, p2);
    return VLIB_new_vProperty(0x200, name, v1, p1, nullptr);
}

vComponent *sampleTree() {
    vProperty *props = sampleProperty("A");
    props->next = sampleProperty("B");
    vComponent *root = VLIB_new_vComponent(0x405, "VCALENDAR", props, nullptr, nullptr);
    for (const char *n : {"E1", "E2"}) {
        vComponent *e = VLIB_new_vComponent(0x40A, n, sampleProperty("SUMMARY"), nullptr, nullptr);
        VLIB_add_vComponent_subcomponent(
            e, VLIB_new_vComponent(0x40D, "ALARM", sampleProperty("TRIGGER"), nullptr, nullptr));
        VLIB_add_vComponent_subcomponent(root, e);
    }
    return root;
}

TEST(AllocationFailure, ConstructorsReturnNullLogAndLeakNothing) {
    struct Case {
        const char *label;
        std::function<void()> body;
    } cases[] = {
        {"VLIB_new_vValue():  Not enough core",
         [] {
             vValue *v = VLIB_new_vValue(0x100, "text", -1, nullptr);
             VLIB_destroy_vValue(&v);
         }},
        {"VLIB_new_vParameter():  Not enough core",
         [] {
             vParameter *p = VLIB_new_vParameter(0x300, "TYPE", nullptr, nullptr);
             VLIB_destroy_vParameter(&p);
         }},
        {"VLIB_new_vProperty():  Not enough core",
         [] {
             vProperty *p = VLIB_new_vProperty(0x200, "TEL", nullptr, nullptr, nullptr);
             VLIB_destroy_vProperty(&p);
         }},
        // The component constructor has always reported under the property label.
        {"VLIB_new_vProperty():  Not enough core",
         [] {
             vComponent *c = VLIB_new_vComponent(0x400, "VCARD", nullptr, nullptr, nullptr);
             VLIB_destroy_vComponent(&c);
         }},
    };
    for (const Case &c : cases) {
        LogCapture log;
        const int points = alloc_hook::sweep(c.body);
        EXPECT_EQ(points, 2) << c.label << ": the record and its text";
        ASSERT_EQ(log.errors().size(), 2u) << c.label;
        for (const LogRecord &r : log.records()) {
            EXPECT_EQ(r.message, c.label);
            EXPECT_EQ(r.code, VLIB_ERR_NO_MEMORY);
            EXPECT_EQ(r.level, 2u);
        }
    }
}

TEST(AllocationFailure, ConstructorLeavesTheListsItWasGivenToTheCaller) {
    alloc_hook::sweep([] {
        vValue *values = VLIB_new_vValue(0x100, "v", -1, nullptr);
        vParameter *params = VLIB_new_vParameter(0x300, "P", nullptr, nullptr);
        vProperty *p = VLIB_new_vProperty(0x200, "X", values, params, nullptr);
        if (p != nullptr) {
            VLIB_destroy_vProperty(&p);
        } else {
            VLIB_destroy_vValue(&values);
            VLIB_destroy_vParameter(&params);
        }
    });
}

TEST(AllocationFailure, CopiesAreAllOrNothing) {
    vComponent *tree = sampleTree();
    std::function<void()> copies[] = {
        [&] {
            vValue *c = VLIB_dup_vValue_recursive(tree->propertyList->valueList);
            if (c != nullptr) {
                EXPECT_STREQ(c->next->data, "second");
            }
            VLIB_destroy_vValue(&c);
        },
        [&] {
            vParameter *c = VLIB_dup_vParameter_recursive(tree->propertyList->parameterList);
            if (c != nullptr) {
                EXPECT_NE(c->next, nullptr);
            }
            VLIB_destroy_vParameter(&c);
        },
        [&] {
            vProperty *c = VLIB_dup_vProperty_recursive(tree->propertyList);
            if (c != nullptr) {
                EXPECT_NE(c->next, nullptr);
            }
            VLIB_destroy_vProperty(&c);
        },
        [&] {
            vComponent *c = VLIB_dup_vComponent(tree);
            VLIB_destroy_vComponent(&c);
        },
        [&] {
            vComponent *c = VLIB_dup_vComponent_recursive(tree);
            if (c != nullptr) {
                // complete or nothing: both events, each with its alarm
                ASSERT_NE(c->subComponent, nullptr);
                ASSERT_NE(c->subComponent->next, nullptr);
                EXPECT_NE(c->subComponent->next->subComponent, nullptr);
            }
            VLIB_destroy_vComponent(&c);
        },
    };
    for (auto &copy : copies)
        EXPECT_GT(alloc_hook::sweep(copy), 0);
    VLIB_destroy_vComponent(&tree);
}

TEST(AllocationFailure, FailedRenameLeavesTheRecordAsItWas) {
    vProperty *p = VLIB_new_vProperty(0x200, "OLD", nullptr, nullptr, nullptr);
    vValue *v = VLIB_new_vValue(0, "old", -1, nullptr);
    alloc_hook::failAfter(0);
    EXPECT_EQ(VLIB_set_vProperty_name(p, "NEW"), nullptr);
    alloc_hook::failAfter(0);
    EXPECT_EQ(VLIB_set_vValue_value(v, "new"), nullptr);
    alloc_hook::failAfter(-1);
    EXPECT_STREQ(p->name, "OLD");
    EXPECT_STREQ(v->data, "old");
    VLIB_destroy_vProperty(&p);
    VLIB_destroy_vValue(&v);
}

} // namespace
