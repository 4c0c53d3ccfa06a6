// Contexts and their token tables: the vocabulary, lookups by name and by
// code, the defaults, and the table's life cycle.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "vcard_support.h"

namespace {

TEST(IdentifyToken, HintsExtensionsAndClasses) {
    vctest::Context context;
    ASSERT_EQ(VCARD_registerToken(context, "X-MINE", 0x3264), 0);
    // "url" last registered as a value type; X- names fall back to the
    // class's X code, a registered name does not; the top nibble of the
    // hint is not compared; 0x3000: not found.
    struct Case {
        const char *name;
        int32_t hint, code;
    } cases[] = {{"url", 0x3200, 0x3223},   {"Mailer", 0x3200, 0x3218}, {"url", 0x3600, 0x360A},
                 {"url", 0x100, 0x10B},     {"url", 0, 0x10B},          {"X-FOO", 0x3200, 0x3202},
                 {"x-foo", 0x3300, 0x3302}, {"X-FOO", 0, 0x3002},       {"XFOO", 0x3200, 0x3000},
                 {"VCARD", 0x3200, 0x3000}, {"x-mine", 0x3200, 0x3264}, {"X-MINE", 0x3600, 0x3000},
                 {"tel", 0x13200, 0x3216},  {"", 0x3200, 0x3000}};
    for (const Case &c : cases) {
        int32_t code = -1;
        EXPECT_EQ(VCARD_identifyToken(context, c.name, c.hint, &code),
                  c.code == 0x3000 ? VCARD_ERR_NOT_FOUND : 0)
            << c.name;
        EXPECT_EQ(code, c.code) << c.name << " with hint " << std::hex << c.hint;
    }
    int32_t code = 0;
    EXPECT_EQ(VCARD_identifyToken(context, nullptr, 0, &code), VCARD_ERR_NULL_ARGUMENT);
}

// The context's own table is read without calls through its functions;
// the same table given other functions (the same buckets, the same
// comparison) is searched through them. Both must find the same entries.
int32_t sameBuckets(const char *key, int32_t buckets) { return VLIB_symbolCaseHash(key, buckets); }
int32_t caseBlind(const char *a, const char *b) {
    for (;; ++a, ++b) {
        const int x = std::tolower(static_cast<unsigned char>(*a));
        const int y = std::tolower(static_cast<unsigned char>(*b));
        if (x != y || x == 0) return x - y;
    }
}

TEST(IdentifyToken, OwnTableReadAsTheGenericSearchReadsIt) {
    vctest::Context own, generic;
    ASSERT_EQ(VCARD_registerToken(own, "X-MINE", 0x3264), 0);
    ASSERT_EQ(VCARD_registerToken(generic, "X-MINE", 0x3264), 0);
    generic->tokenTable->hash = sameBuckets;
    generic->tokenTable->compare = caseBlind;
    std::vector<std::string> names = {"", "X-", "x-mine", "\xC3\xA9", "TEL\xE9", "TE", "TELL"};
    for (int32_t code = 0x3000; code < 0x3A00; ++code) {
        const char *name = nullptr;
        if (VCARD_getTokenString(own, code, &name) != 0) continue;
        std::string lower = name, mixed = name, longer = std::string(name) + "S";
        for (size_t i = 0; i < lower.size(); ++i) {
            lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[i])));
            if (i % 2 == 1) mixed[i] = lower[i];
        }
        std::string other = name;
        other.back() = other.back() == 'Z' ? 'Y' : static_cast<char>(other.back() + 1);
        names.insert(names.end(), {name, lower, mixed, longer, other, "X-" + lower});
    }
    ASSERT_GT(names.size(), 500u);
    for (const std::string &name : names) {
        for (int32_t hint : {0, 0x3200, 0x3300, 0x3400, 0x3600, 0x100}) {
            int32_t a = -1, b = -2;
            EXPECT_EQ(VCARD_identifyToken(own, name.c_str(), hint, &a),
                      VCARD_identifyToken(generic, name.c_str(), hint, &b))
                << name;
            EXPECT_EQ(a, b) << name << " with hint " << std::hex << hint;
        }
    }
}

TEST(TokenString, NamesByCode) {
    vctest::Context context;
    constexpr int32_t BAD = VCARD_ERR_BAD_CODE, NONE = VCARD_ERR_NOT_FOUND;
    struct Case {
        int32_t code, result;
        const char *name;
    } cases[] = {{0x3612, 0, "VOICE"},    {0x3223, 0, "URL"},      {0x360A, 0, "URL"},
                 {0x3403, 0, "VCARD"},    {0x3307, 0, "TYPE"},     {0x109, BAD, nullptr},
                 {0x13612, BAD, nullptr}, {0x3201, NONE, nullptr}, {0x3A00, NONE, nullptr}};
    for (const Case &c : cases) {
        const char *name = "stale";
        EXPECT_EQ(VCARD_getTokenString(context, c.code, &name), c.result) << std::hex << c.code;
        EXPECT_STREQ(name, c.name);
    }
    // Every code of the standard ranges has a name that leads back to it.
    struct Range {
        int32_t first, last;
    } ranges[] = {{0x3210, 0x3226}, {0x3303, 0x3307}, {0x3603, 0x363D}, {0x3403, 0x3403}};
    int named = 0;
    for (const Range &r : ranges) {
        for (int32_t code = r.first; code <= r.last; ++code, ++named) {
            const char *name = nullptr;
            ASSERT_EQ(VCARD_getTokenString(context, code, &name), 0) << std::hex << code;
            int32_t back = 0;
            EXPECT_EQ(VCARD_identifyToken(context, name, code, &back), 0) << name;
            EXPECT_EQ(back, code) << name;
        }
    }
    EXPECT_EQ(named, 23 + 5 + 59 + 1);
}

// The default value types and TYPE lists are checked where they act: in
// verification, import and export.
TEST(Context, DefaultDatatypes) {
    vctest::Context context;
    EXPECT_EQ(context->flags, 0);
    const int32_t cases[][2] = {{0x3217, 0x10E}, {0x3202, 0x109}, {0x3226, 0x10F}, {0x3230, 0x100}};
    for (const auto &c : cases) {
        int32_t datatype = 0;
        EXPECT_EQ(VCARD_getDefaultPropertyDatatype(context, c[0], &datatype), 0);
        EXPECT_EQ(datatype, c[1]) << std::hex << c[0];
    }
    int32_t datatype = 0;
    EXPECT_EQ(VCARD_getDefaultPropertyDatatype(context, 0x3417, &datatype), VCARD_ERR_BAD_CODE);
    EXPECT_EQ(VCARD_getDefaultPropertyDatatype(context, 0x3217, nullptr), VCARD_ERR_NULL_ARGUMENT);
}

TEST(Context, TokenTableLifeCycle) {
    vctest::Context context;
    EXPECT_EQ(VCARD_initializeTokenTable(context), VCARD_ERR_TOKEN_TABLE);

    // A name registered again is found first; a code named again answers
    // with its new name.
    ASSERT_EQ(VCARD_registerToken(context, "TEL", 0x3290), 0);
    ASSERT_EQ(VCARD_registerToken(context, "PHONE", 0x3216), 0);
    int32_t code = 0;
    EXPECT_EQ(VCARD_identifyToken(context, "Tel", 0x3200, &code), 0);
    EXPECT_EQ(code, 0x3290);
    const char *name = nullptr;
    EXPECT_EQ(VCARD_getTokenString(context, 0x3216, &name), 0);
    EXPECT_STREQ(name, "PHONE");
    EXPECT_EQ(VCARD_registerToken(context, nullptr, 0x3290), VCARD_ERR_NULL_ARGUMENT);

    EXPECT_EQ(VCARD_destroyTokenTable(context), 0);
    EXPECT_EQ(context->tokenTable, nullptr);
    EXPECT_EQ(VCARD_getTokenString(context, 0x3216, &name), VCARD_ERR_NOT_FOUND);
    EXPECT_EQ(VCARD_identifyToken(context, "TEL", 0, &code), VCARD_ERR_TOKEN_TABLE);
    EXPECT_EQ(VCARD_registerToken(context, "TEL", 0x3216), VCARD_ERR_TOKEN_TABLE);
    EXPECT_EQ(VCARD_destroyTokenTable(context), VCARD_ERR_TOKEN_TABLE);
    EXPECT_EQ(VCARD_initializeTokenTable(context), VCARD_ERR_TOKEN_TABLE);

    EXPECT_EQ(VCARD_createContext(nullptr), VCARD_ERR_NULL_ARGUMENT);
    EXPECT_EQ(VCARD_destroyContext(nullptr), VCARD_ERR_NULL_ARGUMENT);
    VCardContext *none = nullptr;
    EXPECT_EQ(VCARD_destroyContext(&none), VCARD_ERR_NO_CONTEXT);
    EXPECT_EQ(VCARD_initializeTokenTable(nullptr), VCARD_ERR_NO_CONTEXT);
}

} // namespace
