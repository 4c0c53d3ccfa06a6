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

// Each row: the parameter a PHOTO property starts with (none when null),
// the code resolved, then the word the parameter is changed to (or added
// with) and the code asked for again: a resolved code is cached, but an
// encoding of "none" or "unknown" is looked up again.
TEST(PropertyEncodingAndDatatype, ResolveAndCache) {
    using Resolve = int32_t (*)(vProperty *);
    const Resolve encoding = VLIB_getPropertyEncoding;
    const Resolve datatype = VLIB_getPropertyDatatype;
    struct Case {
        Resolve resolve;
        const char *parameter, *word;
        int32_t code;
        const char *later;
        int32_t laterCode;
    } cases[] = {
        {encoding, "ENCODING", "BASE64", 0x503, "QUOTED-PRINTABLE", 0x503},
        {encoding, "encoding", "quoted-printable", 0x506, nullptr, 0},
        {encoding, nullptr, nullptr, 1, "Q", 0x506},
        {encoding, "ENCODING", "X-UUENCODE", 0, nullptr, 0},
        {datatype, "VALUE", "URL", 0x10B, nullptr, 0},
        {datatype, nullptr, nullptr, 0x101, "URL", 0x101}, // the default is cached
        {datatype, "VALUE", "CONTENT-ID", 0, "URL", 0},    // so is an unknown word
    };
    for (const Case &c : cases) {
        vProperty *p = withParameter(c.parameter, c.word);
        EXPECT_EQ(c.resolve(p), c.code) << (c.word ? c.word : "(none)");
        EXPECT_EQ(c.resolve == encoding ? p->encoding : p->datatype, c.code);
        if (c.later != nullptr && p->parameterList != nullptr) {
            VLIB_set_vValue_value(p->parameterList->valueList, c.later);
        } else if (c.later != nullptr) {
            VLIB_add_vProperty_parameter(
                p, VLIB_new_vParameter(0x300, c.resolve == encoding ? "ENCODING" : "VALUE",
                                       VLIB_new_vValue(0, c.later, -1, nullptr), nullptr));
        }
        if (c.later != nullptr) {
            EXPECT_EQ(c.resolve(p), c.laterCode) << c.later;
        }
        VLIB_destroy_vProperty(&p);
    }
    EXPECT_EQ(VLIB_getPropertyEncoding(nullptr), 0);
    EXPECT_EQ(VLIB_getPropertyDatatype(nullptr), 0);
}

} // namespace
