// Properties and parameters by code: result arrays, selection by
// parameter values, adding, deleting, copies, splitting, and the messages.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/log_capture.h"
#include "vcard_support.h"

namespace {

using vctest::cardText;

// A card read with the default TYPE parameters left out.
void importBare(vctest::Context &context, vctest::Card &card, const std::string &text) {
    context->flags |= VCARD_NO_DEFAULT_TYPES;
    vctest::import(context, card, text);
    context->flags &= ~VCARD_NO_DEFAULT_TYPES;
    ASSERT_NE(card.root, nullptr);
}

TEST(Selection, ModesCountEveryValue) {
    constexpr int32_t WORK = VCARD_PVAL_WORK, VOICE = VCARD_PVAL_VOICE, HOME = VCARD_PVAL_HOME,
                      PREF = VCARD_PVAL_PREF;
    struct Case {
        const char *tel;
        int32_t mode;
        std::vector<int32_t> wanted;
        bool selected;
    } cases[] = {
        {"TEL;WORK;VOICE:1", 2, {WORK, VOICE}, true},
        {"TEL;WORK;VOICE:1", 2, {WORK}, true},
        {"TEL;WORK;VOICE:1", 1, {WORK, VOICE}, true},
        {"TEL;WORK;VOICE:1", 1, {WORK}, false},
        {"TEL;WORK;VOICE:1", 3, {HOME, VOICE, PREF}, false},
        {"TEL;HOME;VOICE:1", 3, {HOME, VOICE, PREF}, true},
        {"TEL;HOME;HOME:1", 2, {HOME}, false}, // matched counts 2
        {"TEL;HOME;HOME:1", 3, {HOME}, false},
        {"TEL;TYPE=HOME:1", 1, {HOME}, true},
        {"TEL;X-MINE;HOME:1", 2, {HOME}, true}, // an X- value is known
        {"TEL;BOGUS;HOME:1", 2, {HOME}, false}, // the last value looked up is unknown
        {"TEL;HOME;BOGUS:1", 2, {HOME}, true},
        {"TEL:1", 2, {}, false}, // no TYPE at all: never
        {"TEL:1", 3, {HOME}, false},
        {"TEL;HOME:1", 4, {HOME}, false} // no such mode
    };
    for (const Case &c : cases) {
        vctest::Context context;
        vctest::Card card;
        importBare(context, card, cardText({c.tel, "NOTE:x"}));
        vProperty *found[2] = {};
        int32_t count = -1;
        EXPECT_EQ(VCARD_getPropertyByType(context, card, VCARD_PROP_TEL, c.mode, c.wanted.data(),
                                          static_cast<int32_t>(c.wanted.size()), found, 2, &count),
                  0)
            << c.tel;
        EXPECT_EQ(count, c.selected ? 1 : 0) << c.tel << " mode " << c.mode;
    }
}

// Each row: the room in the result array, the result, the count, and
// whether a null follows the last property found.
TEST(ResultArrays, NullAfterTheLastOrMoreItems) {
    vctest::Context context;
    vctest::Card card;
    importBare(context, card, cardText({"EMAIL:a", "EMAIL:b", "EMAIL:c", "N:x"}));
    vProperty *const sentinel = reinterpret_cast<vProperty *>(&card);
    const int32_t cases[][4] = {
        {2, VCARD_MORE_ITEMS, 2, 0}, {3, 0, 3, 0}, {4, 0, 3, 1}, {0, VCARD_MORE_ITEMS, 0, 0}};
    for (const auto &c : cases) {
        vProperty *found[5] = {sentinel, sentinel, sentinel, sentinel, sentinel};
        int32_t count = -1;
        EXPECT_EQ(VCARD_getProperty(context, card, VCARD_PROP_EMAIL, found, c[0], &count), c[1]);
        EXPECT_EQ(count, c[2]);
        EXPECT_EQ(found[c[2]], c[3] != 0 ? nullptr : sentinel) << "size " << c[0];
        EXPECT_TRUE(c[2] == 0 || std::strcmp(found[0]->valueList->data, "c") == 0);
    }
    // None of the code: not found, a null first; no property at all: not even counted.
    vProperty *found[2] = {sentinel, sentinel};
    int32_t count = -1;
    EXPECT_EQ(VCARD_getProperty(context, card, VCARD_PROP_NOTE, found, 2, &count),
              VCARD_ERR_NOT_FOUND);
    EXPECT_EQ(found[0], nullptr);
    EXPECT_EQ(VCARD_countProperty(context, card, VCARD_PROP_NOTE, &count), 0);
    vctest::Card empty;
    empty.root = VLIB_new_vComponent(VCARD_COMP_VCARD, "VCARD", nullptr, nullptr, nullptr);
    EXPECT_EQ(VCARD_countProperty(context, empty, VCARD_PROP_NOTE, &count), VCARD_ERR_NOT_FOUND);
}

TEST(Properties, AddDeleteAndSingleValues) {
    vctest::Context context;
    vctest::Card card;
    ASSERT_EQ(VCARD_createCard(context, &card.root), 0);
    vProperty *p = nullptr;
    ASSERT_EQ(VCARD_addProperty(context, card, VCARD_PROP_PHOTO, "a\0b", 3, &p), 0);
    EXPECT_EQ(p->valueList->dataType, VCARD_TYPE_BINARY);
    char *copy = nullptr;
    int32_t size = 0;
    EXPECT_EQ(VCARD_getSinglePropertyValueCopy(context, p, &copy, &size), 0);
    EXPECT_EQ(size, 3);
    EXPECT_EQ(std::memcmp(copy, "a\0b\0", 4), 0);
    std::free(copy);
    EXPECT_EQ(VCARD_addProperty(context, card, 0x3290, "x", -1, &p), VCARD_ERR_NOT_FOUND);
    EXPECT_EQ(p, nullptr);

    vProperty *bare = VLIB_new_vProperty(VCARD_PROP_NOTE, "NOTE", nullptr, nullptr, nullptr);
    VLIB_add_vComponent_property(card, bare);
    EXPECT_EQ(VCARD_getSinglePropertyValue(context, bare, &copy, &size), 1);
    EXPECT_EQ(copy, nullptr);
    int32_t count = -1;
    EXPECT_EQ(VCARD_deleteProperty(context, card, VCARD_PROP_TEL, &count), VCARD_ERR_NOT_FOUND);
    EXPECT_EQ(count, 0);
    ASSERT_EQ(VCARD_addProperty(context, card, VCARD_PROP_NOTE, "y", -1, nullptr), 0);
    EXPECT_EQ(VCARD_deleteProperty(context, card, VCARD_PROP_NOTE, &count), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(vctest::first(context, card, VCARD_PROP_NOTE), nullptr);
}

TEST(Parameters, AddedBareOrNamed) {
    vctest::Context context;
    vctest::Card card;
    ASSERT_EQ(VCARD_createCard(context, &card.root), 0);
    vProperty *p = nullptr;
    ASSERT_EQ(VCARD_addProperty(context, card, VCARD_PROP_TEL, "1", -1, &p), 0);
    EXPECT_EQ(VCARD_addParameter(context, p, VCARD_PARM_TYPE, "WORK"), 0);
    EXPECT_EQ(VCARD_addParameter(context, p, VCARD_PARM_TYPE, "X-MINE"), 0);
    EXPECT_EQ(VCARD_addParameterId(context, p, VCARD_PARM_TYPE, VCARD_PVAL_PREF), 0);
    EXPECT_EQ(VCARD_addParameter(context, p, VCARD_PARM_CHARSET, "UTF-8"), 0);
    EXPECT_EQ(VCARD_addParameterId(context, p, VCARD_PARM_TYPE, 0x36FF), VCARD_ERR_NOT_FOUND);
    EXPECT_EQ(VCARD_addParameterId(context, p, VCARD_PARM_TYPE, 0x109), VCARD_ERR_BAD_CODE);
    EXPECT_EQ(VCARD_addParameter(context, p, 0x3390, "x"), VCARD_ERR_NOT_FOUND);
    EXPECT_EQ(vctest::line(p), "TEL;CHARSET=UTF-8;PREF;TYPE=X-MINE;WORK:1");

    int32_t count = 0;
    EXPECT_EQ(VCARD_countParameter(context, p, VCARD_PARM_TYPE, &count), 0);
    EXPECT_EQ(count, 3);
    int32_t codes[4] = {};
    EXPECT_EQ(VCARD_getParameterValueId(context, p, VCARD_PARM_TYPE, codes, 4, &count), 0);
    EXPECT_EQ(std::vector<int32_t>(codes, codes + 4),
              (std::vector<int32_t>{VCARD_PVAL_PREF, VCARD_PVAL_X, VCARD_PVAL_WORK, 0}));
    // The identified codes: the result is the last lookup's.
    vctest::Card read;
    importBare(context, read, cardText({"TEL;WORK;X-FOO;FOO:1"}));
    vProperty *tel = read->propertyList;
    EXPECT_EQ(VCARD_getParameterValueId(context, tel, VCARD_PARM_TYPE, codes, 4, &count), 0);
    EXPECT_EQ(std::vector<int32_t>(codes, codes + 3),
              (std::vector<int32_t>{VCARD_PVAL_NONE, VCARD_PVAL_X, VCARD_PVAL_WORK}));
    EXPECT_EQ(VCARD_getParameterValueId(context, tel, VCARD_PARM_TYPE, codes, 1, &count),
              VCARD_ERR_NOT_FOUND);
}

TEST(Properties, AddCompleteProperty) {
    vctest::Context context;
    vctest::Card card;
    ASSERT_EQ(VCARD_createCard(context, &card.root), 0);
    const int32_t types[] = {VCARD_PVAL_WORK, VCARD_PVAL_PREF};
    EXPECT_EQ(VCARD_addCompleteProperty(context, card, VCARD_PROP_URL, "a:b", -1, types, 2,
                                        VCARD_PVAL_URL, VCARD_PVAL_QUOTED_PRINTABLE),
              0);
    EXPECT_EQ(vctest::line(card->propertyList),
              "URL;VALUE=URL;ENCODING=QUOTED-PRINTABLE;PREF;WORK:a:b");
    EXPECT_EQ(VCARD_addCompleteProperty(context, card, VCARD_PROP_TEL, "1", -1, types, 1,
                                        VCARD_PVAL_ABSENT, VCARD_PVAL_ABSENT),
              0);
    EXPECT_EQ(vctest::line(card->propertyList), "TEL;WORK:1");

    LogCapture log;
    context->flags = VCARD_TRACE;
    EXPECT_EQ(VCARD_addCompleteProperty(context, card, VCARD_PROP_NOTE, "n", -1, nullptr, 0,
                                        VCARD_PVAL_HOME, VCARD_PVAL_7BIT),
              0);
    EXPECT_EQ(vctest::line(card->propertyList), "NOTE:n");
    EXPECT_EQ(log.errors(), (std::vector<std::string>{"VCARD_addCompleteProperty():  Invalid "
                                                      "encoding",
                                                      "VCARD_addCompleteProperty():  Invalid "
                                                      "value type"}));
    // A TYPE without name ends the call; the property stays. Logged always.
    log.clear();
    context->flags = 0;
    const int32_t unnamed[] = {VCARD_PVAL_HOME, 0x36FF, VCARD_PVAL_WORK};
    EXPECT_EQ(VCARD_addCompleteProperty(context, card, VCARD_PROP_TEL, "1", -1, unnamed, 3,
                                        VCARD_PVAL_ABSENT, VCARD_PVAL_ABSENT),
              VCARD_ERR_NOT_FOUND);
    EXPECT_EQ(vctest::line(card->propertyList), "TEL;HOME:1");
    EXPECT_EQ(log.errors(), std::vector<std::string>{"VCARD_addCompleteProperty():  VCARD error"});
    EXPECT_EQ(VCARD_addCompleteProperty(context, card, VCARD_PROP_TEL, "1", -1, nullptr, 1,
                                        VCARD_PVAL_ABSENT, VCARD_PVAL_ABSENT),
              VCARD_ERR_NULL_ARGUMENT);
}

TEST(Messages, BadCodesLoggedOnlyWhenTracing) {
    vctest::Context context;
    vctest::Card card;
    ASSERT_EQ(VCARD_createCard(context, &card.root), 0);
    vProperty *p = card->propertyList;
    LogCapture log;
    int32_t count = 0;
    vProperty *found[1];
    char *values[1];
    EXPECT_EQ(VCARD_countProperty(context, card, 0x3307, &count), VCARD_ERR_BAD_CODE);
    EXPECT_TRUE(log.records().empty());
    context->flags = VCARD_TRACE;
    EXPECT_EQ(VCARD_countProperty(context, card, 0x3307, &count), VCARD_ERR_BAD_CODE);
    EXPECT_EQ(VCARD_getProperty(context, card, 0x3400, found, 1, &count), VCARD_ERR_BAD_CODE);
    EXPECT_EQ(VCARD_addProperty(context, card, 0x3301, "v", -1, nullptr), VCARD_ERR_BAD_CODE);
    EXPECT_EQ(VCARD_deleteProperty(context, card, 0x32A, &count), VCARD_ERR_BAD_CODE);
    EXPECT_EQ(VCARD_countParameter(context, p, 0x3216, &count), VCARD_ERR_BAD_CODE);
    EXPECT_EQ(VCARD_getParameterValue(context, p, 0x3400, values, 1, &count), VCARD_ERR_BAD_CODE);
    EXPECT_EQ(VCARD_addParameter(context, p, 0x3200, "v"), VCARD_ERR_BAD_CODE);
    EXPECT_EQ(log.errors(),
              (std::vector<std::string>{
                  "VCARD_countProperty():  Attempted to count code 0x3307 as a property",
                  "VCARD_getProperty():  Attempted to get code 0x3400 as a property",
                  "VCARD_addProperty():  Attempted to add code 0x3301 as a property",
                  "VCARD_deleteProperty():  Attempted to delete code 0x32A as a property",
                  "VCARD_countParameter():  Attempted to count code 0x3216 as a parameter",
                  "VCARD_getParameterValue():  Attempted to count code 0x3400 as a parameter",
                  "VCARD_addParameter():  Attempted to count code 0x3200 as a parameter",
              }));
    for (const LogRecord &r : log.records()) {
        if (!r.trace) {
            EXPECT_EQ(r.code, VCARD_ERR_BAD_CODE);
        }
    }
}

} // namespace
