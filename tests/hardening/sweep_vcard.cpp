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
    // Outputs of the rows.
    int32_t count = 0, sizes[3] = {};
    char *values[3] = {}, *copies[3] = {};
    int32_t copyCount = 0;
    const char *name = nullptr;
    vComponent *found = nullptr, *cards[2] = {};
    vProperty *properties[3] = {};
    vParameter *parameters[3] = {};
    vDateTime now{};

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
using sweep::is;

// Copies handed out, released.
void release(char **values, int32_t count) {
    for (int32_t i = 0; i < count; ++i)
        std::free(values[i]);
}

const int32_t kWork[] = {VCARD_PVAL_WORK};

// A change made to a copy of the fixture's card, when the copy could be made.
void onCopy(Cards &f, int32_t (*change)(Cards &, vComponent *),
            std::initializer_list<int32_t> outOfMemory) {
    Copy copy(f);
    if (copy.root != nullptr) sweep::expect(change(f, copy), 0, outOfMemory);
}
// The same on a copy of its TEL;WORK;VOICE.
void onTel(Cards &f, int32_t (*change)(Cards &, vProperty *)) {
    vProperty *p = VLIB_dup_vProperty(f.tel);
    if (p == nullptr) return;
    sweep::expect(change(f, p), 0, {VCARD_ERR_CREATE_VALUE, VCARD_ERR_CREATE_PARAMETER});
    VLIB_destroy_vProperty(&p);
}
// A copying lookup into f.copies: all or nothing, released.
void copied(Cards &f, int32_t result) {
    sweep::expect(result, 0, {VCARD_ERR_NO_MEMORY});
    release(f.copies, f.copyCount);
    f.copyCount = 0;
}
// A lookup that counts.
void counted(Cards &f, int32_t result, int32_t count) {
    EXPECT_EQ(result, 0);
    EXPECT_EQ(f.count, count);
}

const Row kRows[] = {
    // Contexts and tokens. A context that failed to fill its token table is
    // handed out all the same.
    {"VCARD_createContext VCARD_destroyContext", sweep::kSome,
     [](Cards &) {
         VCardContext *c = nullptr;
         sweep::expect(VCARD_createContext(&c), 0, {VCARD_ERR_NO_MEMORY});
         if (c != nullptr) is(VCARD_destroyContext(&c), 0);
     }},
    {"VCARD_initializeTokenTable VCARD_destroyTokenTable", sweep::kSome,
     [](Cards &) {
         VCardContext c{};
         sweep::expect(VCARD_initializeTokenTable(&c), 0, {VCARD_ERR_NO_MEMORY});
         if (c.tokenTable != nullptr) is(VCARD_destroyTokenTable(&c), 0);
         for (char **&names : c.tokenNames)
             std::free(static_cast<void *>(names));
     }},
    {"VCARD_registerToken", sweep::kSome,
     [](Cards &) {
         VCardContext *c = nullptr;
         if (VCARD_createContext(&c) == 0)
             sweep::expect(VCARD_registerToken(c, "X-NEW", 0x3250), 0, {VCARD_ERR_NO_MEMORY});
         VCARD_destroyContext(&c);
     }},
    NEVER("VCARD_identifyToken", is(VCARD_identifyToken(f.context, "tel", 0x3200, &f.count), 0)),
    NEVER("VCARD_getTokenString", is(VCARD_getTokenString(f.context, VCARD_PROP_TEL, &f.name), 0)),
    // Cards
    {"VCARD_createCard VCARD_destroyCard", sweep::kSome,
     [](Cards &f) {
         vComponent *card = nullptr;
         const int32_t result = VCARD_createCard(f.context, &card);
         sweep::expect(result, 0,
                       {VCARD_ERR_CREATE_CARD, VCARD_ERR_CREATE_VALUE, VCARD_ERR_CREATE_PROPERTY});
         EXPECT_EQ(card == nullptr, result == VCARD_ERR_CREATE_CARD);
         if (card != nullptr) is(VCARD_destroyCard(f.context, &card), 0);
     }},
    // A parser failure reads nothing; later ones hand out the card.
    {"VCARD_importObjectFromBuffer", sweep::kSome,
     [](Cards &f) {
         vctest::Card card;
         const char *rest = nullptr;
         const int32_t result =
             VCARD_importObjectFromBuffer(f.context, &card.root, kCard.c_str(),
                                          static_cast<int32_t>(kCard.size()), &rest, &f.count);
         sweep::expect(result, 0,
                       {VLIB_ERR_NO_MEMORY, VCARD_ERR_CREATE_VALUE, VCARD_ERR_CREATE_PARAMETER});
         if (card.root == nullptr) is(rest, kCard.c_str());
     }},
    IS(VCARD_importObjectFromFile, (f.context, &f.found, f.file), VCARD_ERR_NOT_SUPPORTED),
    IS(VCARD_importObjectFromCallback,
       (f.context, &f.found, [](void *, char *, int32_t) { return 0; }, nullptr),
       VCARD_ERR_NOT_SUPPORTED),
    // The text is fitted to its length at the end; when that fails the
    // larger buffer is handed out.
    {"VCARD_exportObjectToBuffer", sweep::kSome,
     [](Cards &f) {
         Copy copy(f);
         if (copy.root == nullptr) return;
         char *text = nullptr;
         const int32_t result = VCARD_exportObjectToBuffer(f.context, copy, &text);
         sweep::expect(
             result, 0,
             {0, VCARD_ERR_NO_MEMORY, VCARD_ERR_CREATE_VALUE, VCARD_ERR_CREATE_PARAMETER});
         EXPECT_EQ(text == nullptr, result != 0);
         std::free(text);
     }},
    // The card has its default TYPE parameters already: nothing to add.
    NEVER("VCARD_exportObjectToFile", is(VCARD_exportObjectToFile(f.context, f.card, f.file), 0)),
    IS(VCARD_exportObjectToCallback,
       (f.context, f.card, [](void *, const char *, int32_t) { return 0; }, nullptr), 0),
    IS(VCARD_getNextCard, (f.context, f.card, &f.found), VCARD_ERR_NOT_FOUND),
    NEVER("VCARD_getCardFromCard",
          counted(f, VCARD_getCardFromCard(f.context, f.card, f.cards, 2, &f.count), 1)),
    NEVER("VCARD_countCardsInTextBuffer",
          counted(f, VCARD_countCardsInTextBuffer(f.context, kCard.c_str(),
                                          static_cast<int32_t>(kCard.size()), &f.count), 1)),
    // Properties
    NEVER("VCARD_countProperty",
          counted(f, VCARD_countProperty(f.context, f.card, VCARD_PROP_TEL, &f.count), 2)),
    IS(VCARD_getProperty, (f.context, f.card, VCARD_PROP_TEL, f.properties, 3, &f.count), 0),
    IS(VCARD_getPropertyValue,
       (f.context, f.card, VCARD_PROP_TEL, f.values, f.sizes, 3, &f.count), 0),
    SOME("VCARD_getPropertyValueCopy",
         copied(f, VCARD_getPropertyValueCopy(f.context, f.card, VCARD_PROP_TEL, f.copies, f.sizes,
                                              3, &f.copyCount))),
    IS(VCARD_getSinglePropertyValue, (f.context, f.tel, f.values, f.sizes), 0),
    {"VCARD_getSinglePropertyValueCopy", sweep::kSome,
     [](Cards &f) {
         char *copy = nullptr;
         sweep::expect(VCARD_getSinglePropertyValueCopy(f.context, f.tel, &copy, f.sizes), 0,
                       {VCARD_ERR_NO_MEMORY});
         std::free(copy);
     }},
    SOME("VCARD_addProperty",
         onCopy(
             f,
             [](Cards &f, vComponent *c) {
                 return VCARD_addProperty(f.context, c, VCARD_PROP_FN, "x", -1, nullptr);
             },
             {VCARD_ERR_CREATE_VALUE, VCARD_ERR_CREATE_PROPERTY})),
    SOME("VCARD_addCompleteProperty",
         onCopy(
             f,
             [](Cards &f, vComponent *c) {
                 const int32_t types[] = {VCARD_PVAL_WORK, VCARD_PVAL_FAX};
                 return VCARD_addCompleteProperty(f.context, c, VCARD_PROP_TEL, "1", -1, types, 2,
                                                  VCARD_PVAL_URL, VCARD_PVAL_BASE64);
             },
             {VCARD_ERR_CREATE_VALUE, VCARD_ERR_CREATE_PROPERTY, VCARD_ERR_CREATE_PARAMETER})),
    SOME("VCARD_deleteProperty",
         onCopy(
             f,
             [](Cards &f, vComponent *c) {
                 return VCARD_deleteProperty(f.context, c, VCARD_PROP_TEL, &f.count);
             },
             {})),
    // Parameters
    NEVER("VCARD_countParameter",
          counted(f, VCARD_countParameter(f.context, f.tel, VCARD_PARM_TYPE, &f.count), 2)),
    IS(VCARD_getParameterFromList,
       (f.context, f.tel->parameterList, VCARD_PARM_TYPE, f.parameters, 3, &f.count), 0),
    IS(VCARD_getParameter, (f.context, f.tel, VCARD_PARM_TYPE, f.parameters, 3, &f.count), 0),
    IS(VCARD_getParameterValue, (f.context, f.tel, VCARD_PARM_TYPE, f.values, 3, &f.count), 0),
    IS(VCARD_getParameterValueId, (f.context, f.tel, VCARD_PARM_TYPE, f.sizes, 3, &f.count), 0),
    SOME("VCARD_getParameterValueCopy",
         copied(f, VCARD_getParameterValueCopy(f.context, f.tel, VCARD_PARM_TYPE, f.copies, 3,
                                               &f.copyCount))),
    SOME("VCARD_addParameter", onTel(f, [](Cards &f, vProperty *p) {
             return VCARD_addParameter(f.context, p, VCARD_PARM_TYPE, "HOME");
         })),
    SOME("VCARD_addParameterId", onTel(f, [](Cards &f, vProperty *p) {
             return VCARD_addParameterId(f.context, p, VCARD_PARM_TYPE, VCARD_PVAL_HOME);
         })),
    // Selection by parameter values: a work array.
    SOME("VCARD_getPropertyByParameter",
         sweep::expect(VCARD_getPropertyByParameter(f.context, f.card, VCARD_PROP_TEL,
                                                    VCARD_PARM_TYPE, VCARD_MATCH_ALL, kWork, 1,
                                                    f.properties, 3, &f.count),
                       0, {VCARD_ERR_NO_MEMORY})),
    SOME("VCARD_getPropertyByType",
         sweep::expect(VCARD_getPropertyByType(f.context, f.card, VCARD_PROP_TEL, VCARD_MATCH_ALL,
                                               kWork, 1, f.properties, 3, &f.count),
                       0, {VCARD_ERR_NO_MEMORY})),
    SOME("VCARD_getPropertyValueByParameter",
         sweep::expect(VCARD_getPropertyValueByParameter(f.context, f.card, VCARD_PROP_TEL,
                                                         VCARD_PARM_TYPE, VCARD_MATCH_ALL, kWork, 1,
                                                         f.values, f.sizes, 3, &f.count),
                       0, {VCARD_ERR_NO_MEMORY})),
    SOME("VCARD_getPropertyValueByType",
         sweep::expect(VCARD_getPropertyValueByType(f.context, f.card, VCARD_PROP_TEL,
                                                    VCARD_MATCH_ALL, kWork, 1, f.values, f.sizes, 3,
                                                    &f.count),
                       0, {VCARD_ERR_NO_MEMORY})),
    // All or nothing: a failed copy takes back the copies made.
    {"VCARD_getPropertyValueCopyByType", sweep::kSome,
     [](Cards &f) {
         f.copyCount = -1;
         const int32_t result = VCARD_getPropertyValueCopyByType(
             f.context, f.card, VCARD_PROP_TEL, VCARD_MATCH_ALL, kWork, 1, f.copies, f.sizes, 3,
             &f.copyCount);
         EXPECT_EQ(f.copyCount, alloc_hook::failed() ? 0 : 1);
         copied(f, result);
     }},
    {"VCARD_getFieldEntriesFromCopy", sweep::kSome,
     [](Cards &f) {
         char text[] = "a;b\\;c;d";
         char **fields = nullptr;
         sweep::expect(VCARD_getFieldEntriesFromCopy(f.context, text, &fields, &f.count), 0,
                       {VCARD_ERR_NO_MEMORY});
         std::free(static_cast<void *>(fields));
     }},
    // Verification of a card as parsed: bare encodings are renamed and
    // their values decoded.
    {"VCARD_verify VCARD_verifyLevel2", sweep::kSome,
     [](Cards &f) {
         const std::string text =
             vctest::cardText({"PHOTO;BASE64:AAEC", "NOTE;QUOTED-PRINTABLE:a=3Db", "TEL;HOME:1"});
         vctest::Card card;
         auto remaining = static_cast<int32_t>(text.size());
         if (VLIB_buildComponentFromBuffer(&card.root, text.c_str(), 1, &remaining, nullptr) == 0)
             sweep::expect(VCARD_verify(f.context, card), 0, {VLIB_ERR_NO_MEMORY});
     }},
    {"VCARD_verifyParameterList", sweep::kSome,
     [](Cards &f) {
         char text[] = "BASE64;HOME:x";
         vParameter *list = nullptr;
         int32_t running = 0, consumed = 0;
         if (VLIB_getParameterList(&list, &running, text, &consumed, 0) != 0) return;
         sweep::expect(VCARD_verifyParameterList(f.context, list, f.sizes), 0,
                       {VLIB_ERR_NO_MEMORY});
         VLIB_destroy_vParameter(&list);
     }},
    // Defaults added before a failure stay on the card.
    {"VCARD_addDefaultTYPEparms", sweep::kSome,
     [](Cards &f) {
         f.context->flags = VCARD_NO_DEFAULT_TYPES;
         vctest::Card bare;
         vctest::import(f.context, bare, vctest::cardText({"TEL:1", "ADR:;;x", "EMAIL:a@b"}));
         f.context->flags = 0;
         if (bare.root == nullptr || alloc_hook::failed()) return;
         sweep::expect(VCARD_addDefaultTYPEparms(f.context, bare), 0,
                       {VCARD_ERR_CREATE_VALUE, VCARD_ERR_CREATE_PARAMETER});
     }},
    IS(VCARD_getDefaultPropertyDatatype, (f.context, VCARD_PROP_N, &f.count), 0),
    IS(VCARD_getPropertyDatatype, (f.context, f.tel, &f.count), 1),
    NEVER("VCARD_createTimestamp", is(VCARD_createTimestamp(f.context, &f.now), 0)),
    {"VCARD_escapeText", sweep::kSome,
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
