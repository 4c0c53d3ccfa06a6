// The vCard interface: contexts and tokens, cards, properties and
// parameters by code, verification and helpers.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/temp_dir.h"
#include "sweep.h"
#include "vcard/vcard_support.h"

namespace {

const std::string kCard =
    vctest::cardText({"N:Doe;John", "TEL;WORK;VOICE:1", "TEL:2", "ADR:;;x", "EMAIL;INTERNET:a@b",
                      "NOTE;CHARSET=X:n", "AGENT:", "BEGIN:VCARD", "TEL:3", "END:VCARD"});

// A context, a card read from kCard and a file to export to.
struct Cards {
    vctest::Context context;
    vctest::Card card;
    vProperty *tel = nullptr; // TEL;WORK;VOICE
    TempDir dir;
    FILE *file = std::fopen(dir.file("out.vcf").c_str(), "wb");

    Cards() {
        vctest::import(context, card, kCard);
        const int32_t work[] = {VCARD_PVAL_WORK};
        int32_t count = 0;
        EXPECT_EQ(VCARD_getPropertyByType(context, card, VCARD_PROP_TEL, VCARD_MATCH_ALL, work, 1,
                                          &tel, 1, &count),
                  0);
    }
    ~Cards() { std::fclose(file); }
    Cards(const Cards &) = delete;
    Cards &operator=(const Cards &) = delete;
};

// A copy of the fixture's card for a run that changes it; null when the
// copy itself ran out of memory.
struct Copy : vctest::Card {
    explicit Copy(const Cards &f) { root = VLIB_dup_vComponent_recursive(f.card); }
};

using Row = sweep::Row<Cards>;
using sweep::kNever;
using sweep::kSome;

// Copies handed out, released.
void release(char **values, int32_t count) {
    for (int32_t i = 0; i < count; ++i)
        std::free(values[i]);
}

const int32_t kWork[] = {VCARD_PVAL_WORK};

const Row kRows[] = {
    // Contexts and tokens. A context that failed to fill its token table is
    // handed out all the same.
    {"VCARD_createContext VCARD_destroyContext", kSome,
     [](Cards &) {
         VCardContext *c = nullptr;
         sweep::expect(VCARD_createContext(&c), 0, {VCARD_ERR_NO_MEMORY});
         if (c != nullptr) {
             EXPECT_EQ(VCARD_destroyContext(&c), 0);
         }
     }},
    {"VCARD_initializeTokenTable VCARD_destroyTokenTable", kSome,
     [](Cards &) {
         VCardContext c{};
         sweep::expect(VCARD_initializeTokenTable(&c), 0, {VCARD_ERR_NO_MEMORY});
         if (c.tokenTable != nullptr) {
             EXPECT_EQ(VCARD_destroyTokenTable(&c), 0);
         }
         for (char **&names : c.tokenNames)
             std::free(static_cast<void *>(names));
     }},
    {"VCARD_registerToken", kSome,
     [](Cards &) {
         VCardContext *c = nullptr;
         if (VCARD_createContext(&c) == 0) {
             sweep::expect(VCARD_registerToken(c, "X-NEW", 0x3250), 0, {VCARD_ERR_NO_MEMORY});
         }
         VCARD_destroyContext(&c);
     }},
    {"VCARD_identifyToken", kNever,
     [](Cards &f) {
         int32_t code = 0;
         EXPECT_EQ(VCARD_identifyToken(f.context, "tel", 0x3200, &code), 0);
     }},
    {"VCARD_getTokenString", kNever,
     [](Cards &f) {
         const char *name = nullptr;
         EXPECT_EQ(VCARD_getTokenString(f.context, VCARD_PROP_TEL, &name), 0);
     }},
    // Cards
    {"VCARD_createCard VCARD_destroyCard", kSome,
     [](Cards &f) {
         vComponent *card = nullptr;
         const int32_t result = VCARD_createCard(f.context, &card);
         sweep::expect(result, 0,
                       {VCARD_ERR_CREATE_CARD, VCARD_ERR_CREATE_VALUE, VCARD_ERR_CREATE_PROPERTY});
         EXPECT_EQ(card == nullptr, result == VCARD_ERR_CREATE_CARD);
         if (card != nullptr) {
             EXPECT_EQ(VCARD_destroyCard(f.context, &card), 0);
         }
     }},
    // A parser failure reads nothing; later ones hand out the card.
    {"VCARD_importObjectFromBuffer", kSome,
     [](Cards &f) {
         vctest::Card card;
         const char *rest = nullptr;
         int32_t remaining = 0;
         const int32_t result =
             VCARD_importObjectFromBuffer(f.context, &card.root, kCard.c_str(),
                                          static_cast<int32_t>(kCard.size()), &rest, &remaining);
         sweep::expect(result, 0,
                       {VLIB_ERR_NO_MEMORY, VCARD_ERR_CREATE_VALUE, VCARD_ERR_CREATE_PARAMETER});
         if (card.root == nullptr) {
             EXPECT_EQ(rest, kCard.c_str());
         }
     }},
    {"VCARD_importObjectFromFile", kNever,
     [](Cards &f) {
         vComponent *card = nullptr;
         EXPECT_EQ(VCARD_importObjectFromFile(f.context, &card, f.file), VCARD_ERR_NOT_SUPPORTED);
     }},
    {"VCARD_importObjectFromCallback", kNever,
     [](Cards &f) {
         vComponent *card = nullptr;
         EXPECT_EQ(VCARD_importObjectFromCallback(
                       f.context, &card, [](void *, char *, int32_t) { return 0; }, nullptr),
                   VCARD_ERR_NOT_SUPPORTED);
     }},
    {"VCARD_exportObjectToBuffer", kSome,
     [](Cards &f) {
         Copy copy(f);
         if (copy.root == nullptr) return;
         // The text is fitted to its length at the end; when that fails the
         // larger buffer is handed out.
         char *text = nullptr;
         const int32_t result = VCARD_exportObjectToBuffer(f.context, copy, &text);
         sweep::expect(
             result, 0,
             {0, VCARD_ERR_NO_MEMORY, VCARD_ERR_CREATE_VALUE, VCARD_ERR_CREATE_PARAMETER});
         EXPECT_EQ(text == nullptr, result != 0);
         std::free(text);
     }},
    // The card has its default TYPE parameters already: nothing to add.
    {"VCARD_exportObjectToFile", kNever,
     [](Cards &f) { EXPECT_EQ(VCARD_exportObjectToFile(f.context, f.card, f.file), 0); }},
    {"VCARD_exportObjectToCallback", kNever,
     [](Cards &f) {
         EXPECT_EQ(VCARD_exportObjectToCallback(
                       f.context, f.card, [](void *, const char *, int32_t) { return 0; }, nullptr),
                   0);
     }},
    {"VCARD_getNextCard", kNever,
     [](Cards &f) {
         vComponent *next = nullptr;
         EXPECT_EQ(VCARD_getNextCard(f.context, f.card, &next), VCARD_ERR_NOT_FOUND);
     }},
    {"VCARD_getCardFromCard", kNever,
     [](Cards &f) {
         vComponent *cards[2] = {};
         int32_t count = 0;
         EXPECT_EQ(VCARD_getCardFromCard(f.context, f.card, cards, 2, &count), 0);
         EXPECT_EQ(count, 1);
     }},
    {"VCARD_countCardsInTextBuffer", kNever,
     [](Cards &f) {
         int32_t count = 0;
         EXPECT_EQ(VCARD_countCardsInTextBuffer(f.context, kCard.c_str(),
                                                static_cast<int32_t>(kCard.size()), &count),
                   0);
         EXPECT_EQ(count, 1);
     }},
    // Properties
    {"VCARD_countProperty", kNever,
     [](Cards &f) {
         int32_t count = 0;
         EXPECT_EQ(VCARD_countProperty(f.context, f.card, VCARD_PROP_TEL, &count), 0);
         EXPECT_EQ(count, 2);
     }},
    {"VCARD_getProperty", kNever,
     [](Cards &f) {
         vProperty *found[3] = {};
         int32_t count = 0;
         EXPECT_EQ(VCARD_getProperty(f.context, f.card, VCARD_PROP_TEL, found, 3, &count), 0);
     }},
    {"VCARD_getPropertyValue", kNever,
     [](Cards &f) {
         char *values[3] = {};
         int32_t sizes[3] = {};
         int32_t count = 0;
         EXPECT_EQ(
             VCARD_getPropertyValue(f.context, f.card, VCARD_PROP_TEL, values, sizes, 3, &count),
             0);
     }},
    {"VCARD_getPropertyValueCopy", kSome,
     [](Cards &f) {
         char *values[3] = {};
         int32_t sizes[3] = {};
         int32_t count = 0;
         sweep::expect(VCARD_getPropertyValueCopy(f.context, f.card, VCARD_PROP_TEL, values, sizes,
                                                  3, &count),
                       0, {VCARD_ERR_NO_MEMORY});
         release(values, count);
     }},
    {"VCARD_getSinglePropertyValue", kNever,
     [](Cards &f) {
         char *value = nullptr;
         int32_t size = 0;
         EXPECT_EQ(VCARD_getSinglePropertyValue(f.context, f.tel, &value, &size), 0);
     }},
    {"VCARD_getSinglePropertyValueCopy", kSome,
     [](Cards &f) {
         char *copy = nullptr;
         int32_t size = 0;
         sweep::expect(VCARD_getSinglePropertyValueCopy(f.context, f.tel, &copy, &size), 0,
                       {VCARD_ERR_NO_MEMORY});
         std::free(copy);
     }},
    {"VCARD_addProperty", kSome,
     [](Cards &f) {
         Copy copy(f);
         if (copy.root == nullptr) return;
         sweep::expect(VCARD_addProperty(f.context, copy, VCARD_PROP_FN, "x", -1, nullptr), 0,
                       {VCARD_ERR_CREATE_VALUE, VCARD_ERR_CREATE_PROPERTY});
     }},
    {"VCARD_addCompleteProperty", kSome,
     [](Cards &f) {
         Copy copy(f);
         if (copy.root == nullptr) return;
         const int32_t types[] = {VCARD_PVAL_WORK, VCARD_PVAL_FAX};
         sweep::expect(
             VCARD_addCompleteProperty(f.context, copy, VCARD_PROP_TEL, "1", -1, types, 2,
                                       VCARD_PVAL_URL, VCARD_PVAL_BASE64),
             0, {VCARD_ERR_CREATE_VALUE, VCARD_ERR_CREATE_PROPERTY, VCARD_ERR_CREATE_PARAMETER});
     }},
    {"VCARD_deleteProperty", kSome,
     [](Cards &f) {
         Copy copy(f);
         if (copy.root == nullptr) return;
         int32_t count = 0;
         EXPECT_EQ(VCARD_deleteProperty(f.context, copy, VCARD_PROP_TEL, &count), 0);
     }},
    // Parameters
    {"VCARD_countParameter", kNever,
     [](Cards &f) {
         int32_t count = 0;
         EXPECT_EQ(VCARD_countParameter(f.context, f.tel, VCARD_PARM_TYPE, &count), 0);
         EXPECT_EQ(count, 2);
     }},
    {"VCARD_getParameterFromList", kNever,
     [](Cards &f) {
         vParameter *found[3] = {};
         int32_t count = 0;
         EXPECT_EQ(VCARD_getParameterFromList(f.context, f.tel->parameterList, VCARD_PARM_TYPE,
                                              found, 3, &count),
                   0);
     }},
    {"VCARD_getParameter", kNever,
     [](Cards &f) {
         vParameter *found[3] = {};
         int32_t count = 0;
         EXPECT_EQ(VCARD_getParameter(f.context, f.tel, VCARD_PARM_TYPE, found, 3, &count), 0);
     }},
    {"VCARD_getParameterValue", kNever,
     [](Cards &f) {
         char *values[3] = {};
         int32_t count = 0;
         EXPECT_EQ(VCARD_getParameterValue(f.context, f.tel, VCARD_PARM_TYPE, values, 3, &count),
                   0);
     }},
    {"VCARD_getParameterValueId", kNever,
     [](Cards &f) {
         int32_t codes[3] = {};
         int32_t count = 0;
         EXPECT_EQ(VCARD_getParameterValueId(f.context, f.tel, VCARD_PARM_TYPE, codes, 3, &count),
                   0);
     }},
    {"VCARD_getParameterValueCopy", kSome,
     [](Cards &f) {
         char *values[3] = {};
         int32_t count = 0;
         sweep::expect(
             VCARD_getParameterValueCopy(f.context, f.tel, VCARD_PARM_TYPE, values, 3, &count), 0,
             {VCARD_ERR_NO_MEMORY});
         release(values, count);
     }},
    {"VCARD_addParameter", kSome,
     [](Cards &f) {
         vProperty *p = VLIB_dup_vProperty(f.tel);
         if (p == nullptr) return;
         sweep::expect(VCARD_addParameter(f.context, p, VCARD_PARM_TYPE, "HOME"), 0,
                       {VCARD_ERR_CREATE_VALUE, VCARD_ERR_CREATE_PARAMETER});
         VLIB_destroy_vProperty(&p);
     }},
    {"VCARD_addParameterId", kSome,
     [](Cards &f) {
         vProperty *p = VLIB_dup_vProperty(f.tel);
         if (p == nullptr) return;
         sweep::expect(VCARD_addParameterId(f.context, p, VCARD_PARM_TYPE, VCARD_PVAL_HOME), 0,
                       {VCARD_ERR_CREATE_VALUE, VCARD_ERR_CREATE_PARAMETER});
         VLIB_destroy_vProperty(&p);
     }},
    // Selection by parameter values: a work array.
    {"VCARD_getPropertyByParameter", kSome,
     [](Cards &f) {
         vProperty *found[3] = {};
         int32_t count = 0;
         sweep::expect(VCARD_getPropertyByParameter(f.context, f.card, VCARD_PROP_TEL,
                                                    VCARD_PARM_TYPE, VCARD_MATCH_ALL, kWork, 1,
                                                    found, 3, &count),
                       0, {VCARD_ERR_NO_MEMORY});
     }},
    {"VCARD_getPropertyByType", kSome,
     [](Cards &f) {
         vProperty *found[3] = {};
         int32_t count = 0;
         sweep::expect(VCARD_getPropertyByType(f.context, f.card, VCARD_PROP_TEL, VCARD_MATCH_ALL,
                                               kWork, 1, found, 3, &count),
                       0, {VCARD_ERR_NO_MEMORY});
     }},
    {"VCARD_getPropertyValueByParameter", kSome,
     [](Cards &f) {
         char *values[3] = {};
         int32_t sizes[3] = {};
         int32_t count = 0;
         sweep::expect(VCARD_getPropertyValueByParameter(f.context, f.card, VCARD_PROP_TEL,
                                                         VCARD_PARM_TYPE, VCARD_MATCH_ALL, kWork, 1,
                                                         values, sizes, 3, &count),
                       0, {VCARD_ERR_NO_MEMORY});
     }},
    {"VCARD_getPropertyValueByType", kSome,
     [](Cards &f) {
         char *values[3] = {};
         int32_t sizes[3] = {};
         int32_t count = 0;
         sweep::expect(VCARD_getPropertyValueByType(f.context, f.card, VCARD_PROP_TEL,
                                                    VCARD_MATCH_ALL, kWork, 1, values, sizes, 3,
                                                    &count),
                       0, {VCARD_ERR_NO_MEMORY});
     }},
    // All or nothing: a failed copy takes back the copies made.
    {"VCARD_getPropertyValueCopyByType", kSome,
     [](Cards &f) {
         char *values[3] = {};
         int32_t sizes[3] = {};
         int32_t count = -1;
         sweep::expect(VCARD_getPropertyValueCopyByType(f.context, f.card, VCARD_PROP_TEL,
                                                        VCARD_MATCH_ALL, kWork, 1, values, sizes, 3,
                                                        &count),
                       0, {VCARD_ERR_NO_MEMORY});
         EXPECT_EQ(count, alloc_hook::failed() ? 0 : 1);
         release(values, count);
     }},
    {"VCARD_getFieldEntriesFromCopy", kSome,
     [](Cards &f) {
         char text[] = "a;b\\;c;d";
         char **fields = nullptr;
         int32_t count = 0;
         sweep::expect(VCARD_getFieldEntriesFromCopy(f.context, text, &fields, &count), 0,
                       {VCARD_ERR_NO_MEMORY});
         std::free(static_cast<void *>(fields));
     }},
    // Verification of a card as parsed: bare encodings are renamed and
    // their values decoded.
    {"VCARD_verify VCARD_verifyLevel2", kSome,
     [](Cards &f) {
         const std::string text =
             vctest::cardText({"PHOTO;BASE64:AAEC", "NOTE;QUOTED-PRINTABLE:a=3Db", "TEL;HOME:1"});
         vctest::Card card;
         auto remaining = static_cast<int32_t>(text.size());
         if (VLIB_buildComponentFromBuffer(&card.root, text.c_str(), 1, &remaining, nullptr) != 0)
             return;
         sweep::expect(VCARD_verify(f.context, card), 0, {VLIB_ERR_NO_MEMORY});
     }},
    {"VCARD_verifyParameterList", kSome,
     [](Cards &f) {
         char text[] = "BASE64;HOME:x";
         vParameter *list = nullptr;
         int32_t running = 0;
         int32_t consumed = 0;
         if (VLIB_getParameterList(&list, &running, text, &consumed, 0) != 0) return;
         int32_t encoding = 0;
         sweep::expect(VCARD_verifyParameterList(f.context, list, &encoding), 0,
                       {VLIB_ERR_NO_MEMORY});
         VLIB_destroy_vParameter(&list);
     }},
    // Defaults added before a failure stay on the card.
    {"VCARD_addDefaultTYPEparms", kSome,
     [](Cards &f) {
         f.context->flags = VCARD_NO_DEFAULT_TYPES;
         vctest::Card bare;
         vctest::import(f.context, bare, vctest::cardText({"TEL:1", "ADR:;;x", "EMAIL:a@b"}));
         f.context->flags = 0;
         if (bare.root == nullptr || alloc_hook::failed()) return;
         sweep::expect(VCARD_addDefaultTYPEparms(f.context, bare), 0,
                       {VCARD_ERR_CREATE_VALUE, VCARD_ERR_CREATE_PARAMETER});
     }},
    {"VCARD_getDefaultPropertyDatatype", kNever,
     [](Cards &f) {
         int32_t type = 0;
         EXPECT_EQ(VCARD_getDefaultPropertyDatatype(f.context, VCARD_PROP_N, &type), 0);
     }},
    {"VCARD_getPropertyDatatype", kNever,
     [](Cards &f) {
         int32_t type = 0;
         EXPECT_EQ(VCARD_getPropertyDatatype(f.context, f.tel, &type), 1);
     }},
    {"VCARD_createTimestamp", kNever,
     [](Cards &f) {
         vDateTime now{};
         EXPECT_EQ(VCARD_createTimestamp(f.context, &now), 0);
     }},
    {"VCARD_escapeText", kSome,
     [](Cards &f) {
         char *escaped = nullptr;
         sweep::expect(VCARD_escapeText(f.context, "a;b", &escaped), 0, {VCARD_ERR_NO_MEMORY});
         EXPECT_EQ(escaped == nullptr, alloc_hook::failed());
         std::free(escaped);
     }},
};

const bool registered = sweep::claims(kRows);

TEST(AllocationSweep, Cards) {
    ASSERT_TRUE(registered);
    Cards fixture;
    ASSERT_NE(fixture.file, nullptr);
    ASSERT_NE(fixture.tel, nullptr);
    sweep::run(fixture, kRows);
}

} // namespace
