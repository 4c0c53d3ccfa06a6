// The core's token table and the ENCODING / VALUE resolvers.
#include <gtest/gtest.h>

#include "versit_core.h"

namespace {

TEST(IdentifyToken, SearchesTheClassRunOrEverything) {
    struct Case {
        const char *name;
        int32_t tokenClass;
        int32_t code;
    } cases[] = {
        {"quoted-printable", 0x500, 0x506},
        {"Q", 0x500, 0x506},
        {"b", 0x500, 0x503},
        {"BASE64", 0x500, 0x503},
        {"8bit", 0x500, 0x505},
        {"ICALENDAR", 0x300, 0},  // a component asked for as a parameter
        {"VEVENT", 0x200, 0x40A}, // no property run: the whole table
        {"VEVENT", 0, 0x40A},
        {"date-time", 0x100, 0x104},
        {"DATE", 0x100, 0x103},
        {"CAL-ADDRESS", 0x100, 0x10E},
        {"value", 0x300, 0x306},
        {"VFREEBUSY", 0x400, 0x40F},
        {"DATE", 0x500, 0},
        {"DATES", 0x100, 0},
        {"", 0x100, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(VLIB_identifyToken(c.name, c.tokenClass), c.code)
            << c.name << " in " << c.tokenClass;
    EXPECT_EQ(VLIB_identifyToken(nullptr, 0x100), 0);
}

vProperty *withParameter(const char *name, const char *word) {
    vProperty *p = VLIB_new_vProperty(0x200, "PHOTO", nullptr, nullptr, nullptr);
    if (name != nullptr)
        VLIB_add_vProperty_parameter(
            p,
            VLIB_new_vParameter(0x300, name, VLIB_new_vValue(0x100, word, -1, nullptr), nullptr));
    return p;
}

TEST(PropertyEncoding, ResolvesAndCaches) {
    struct Case {
        const char *parameter;
        const char *word;
        int32_t code;
    } cases[] = {
        {"ENCODING", "BASE64", 0x503},
        {"encoding", "quoted-printable", 0x506},
        {nullptr, nullptr, 1},
        {"ENCODING", "X-UUENCODE", 0},
    };
    for (const Case &c : cases) {
        vProperty *p = withParameter(c.parameter, c.word);
        EXPECT_EQ(VLIB_getPropertyEncoding(p), c.code) << (c.word ? c.word : "(none)");
        EXPECT_EQ(p->encoding, c.code);
        VLIB_destroy_vProperty(&p);
    }

    // A resolved code is kept even when the parameter changes afterwards...
    vProperty *p = withParameter("ENCODING", "BASE64");
    VLIB_getPropertyEncoding(p);
    VLIB_set_vValue_value(p->parameterList->valueList, "QUOTED-PRINTABLE");
    EXPECT_EQ(VLIB_getPropertyEncoding(p), 0x503);
    VLIB_destroy_vProperty(&p);

    // ...but "none" and "unknown" are looked up again.
    p = withParameter(nullptr, nullptr);
    EXPECT_EQ(VLIB_getPropertyEncoding(p), 1);
    VLIB_add_vProperty_parameter(
        p, VLIB_new_vParameter(0x300, "ENCODING", VLIB_new_vValue(0, "Q", -1, nullptr), nullptr));
    EXPECT_EQ(VLIB_getPropertyEncoding(p), 0x506);
    VLIB_destroy_vProperty(&p);
    EXPECT_EQ(VLIB_getPropertyEncoding(nullptr), 0);
}

TEST(PropertyDatatype, ResolvesAndCachesEvenTheUnknown) {
    vProperty *url = withParameter("VALUE", "URL");
    EXPECT_EQ(VLIB_getPropertyDatatype(url), 0x10B);
    VLIB_destroy_vProperty(&url);

    vProperty *none = withParameter(nullptr, nullptr);
    EXPECT_EQ(VLIB_getPropertyDatatype(none), 0x101);
    VLIB_add_vProperty_parameter(
        none, VLIB_new_vParameter(0x300, "VALUE", VLIB_new_vValue(0, "URL", -1, nullptr), nullptr));
    EXPECT_EQ(VLIB_getPropertyDatatype(none), 0x101) << "the default is cached";
    VLIB_destroy_vProperty(&none);

    vProperty *odd = withParameter("VALUE", "CONTENT-ID");
    EXPECT_EQ(VLIB_getPropertyDatatype(odd), 0);
    VLIB_set_vValue_value(odd->parameterList->valueList, "URL");
    EXPECT_EQ(VLIB_getPropertyDatatype(odd), 0) << "an unknown word is cached as 0";
    VLIB_destroy_vProperty(&odd);
    EXPECT_EQ(VLIB_getPropertyDatatype(nullptr), 0);
}

} // namespace
