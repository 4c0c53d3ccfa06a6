// The text forms of record fields and the extension vocabulary.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "ab_support.h"
#include "abexchange/vcImpExp.h"

namespace {

TEST(TextForms, EscapeUnescapeAndBoundedAppend) {
    const struct {
        const char *text, *escaped, *unescaped;
    } cases[] = {
        {"a\tb:c;d\\e", "a\\\tb\\:c\\;d\\\\e", "a\tb:c;d\\e"},
        {"\\n\\", "\\\\n\\\\", "\\n\\"}, // a backslash before another letter stays
        {"", "", ""},
    };
    for (const auto &c : cases) {
        char buffer[kAbValueSize] = "x";
        AB_EscapeAppend(buffer, c.text);
        EXPECT_EQ(std::string(buffer), std::string("x") + c.escaped) << c.text;
        std::strcpy(buffer, c.escaped);
        EXPECT_STREQ(AB_Unescape(buffer), c.unescaped) << c.text;
    }
    // Escaping never runs past the buffer.
    const std::string colons(2000, ':');
    char buffer[kAbValueSize] = "";
    AB_EscapeAppend(buffer, colons.c_str());
    EXPECT_EQ(std::strlen(buffer), kAbValueSize - 2);

    char field[6] = "ab";
    AB_BoundedAppend(field, 5, "cdefg");
    EXPECT_STREQ(field, "abcde");
    AB_BoundedAppend(field, 5, "x");
    EXPECT_STREQ(field, "abcde");
    AB_BoundedAppend(nullptr, 5, "x");
    AB_BoundedAppend(field, 0, "x");
    AB_BoundedAppend(field, 5, nullptr);
    EXPECT_STREQ(field, "abcde");
}

TEST(TextForms, PhotoFormatsBothWays) {
    EXPECT_EQ(abPhotoTypeCode(0), VCARD_PVAL_NONE);
    EXPECT_EQ(abPhotoTypeCode(17), VCARD_PVAL_NONE);
    const struct {
        uint16_t format;
        int32_t type;
        uint16_t back;
    } cases[] = {
        {1, VCARD_PVAL_GIF, 1},     {2, VCARD_PVAL_DIB, 2},     {3, VCARD_PVAL_CGM, 3},
        {4, VCARD_PVAL_WMF, 4},     {5, VCARD_PVAL_BMP, 7},     {6, VCARD_PVAL_MET, 6},
        {7, VCARD_PVAL_PMB, 5},     {8, VCARD_PVAL_PICT, 8},    {9, VCARD_PVAL_TIFF, 9},
        {10, VCARD_PVAL_PDF, 10},   {11, VCARD_PVAL_PS, 11},    {12, VCARD_PVAL_JPEG, 12},
        {13, VCARD_PVAL_MPEG, 13},  {14, VCARD_PVAL_MPEG2, 14}, {15, VCARD_PVAL_AVI, 15},
        {16, VCARD_PVAL_QTIME, 16},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(abPhotoTypeCode(c.format), c.type) << c.format;
        EXPECT_EQ(abPhotoFormat(c.type), c.back) << c.format;
    }
    EXPECT_EQ(abPhotoFormat(VCARD_PVAL_X), AB_PHOTO_GIF);
    EXPECT_EQ(abPhotoFormat(VCARD_PVAL_NONE), AB_PHOTO_GIF);
}

TEST(Vocabulary, RegisteredOnceAndFound) {
    abtest::Context context;
    EXPECT_EQ(RegisterVCXProperties(nullptr), VCARD_ERR_NO_CONTEXT);
    EXPECT_EQ(RegisterVCXProperties(context), 0);
    EXPECT_EQ(RegisterVCXProperties(context), 0);
    const struct {
        const char *name;
        int32_t hint, code;
    } names[] = {
        {"x_qvt-ab_web1", 0x3200, AB_X_WEB1},     {"X-QVT-AB_Version", 0x3200, AB_X_VERSION},
        {"X-QVT-AB_FIX", 0x3200, AB_X_FIX},       {"X_QVT-AB_EMail2", 0x3200, AB_X_EMAIL2},
        {"X-QVT-TYPE", 0x3300, AB_X_PARM_TYPE},   {"Personal", 0x3600, AB_X_PVAL_PERSONAL},
        {"general", 0x3600, AB_X_PVAL_GENERAL},
    };
    for (const auto &n : names) {
        int32_t code = 0;
        EXPECT_EQ(VCARD_identifyToken(context, n.name, n.hint, &code), 0) << n.name;
        EXPECT_EQ(code, n.code) << n.name;
    }
    const char *name = nullptr;
    EXPECT_EQ(VCARD_getTokenString(context, AB_X_TEL_ASSISTANT, &name), 0);
    EXPECT_STREQ(name, "X_QVT-AB_TEL_Assistant");

    // Without a symbol table the registration's failure is returned.
    abtest::Context bare;
    ASSERT_EQ(VCARD_destroyTokenTable(bare), 0);
    EXPECT_EQ(RegisterVCXProperties(bare), VCARD_ERR_TOKEN_TABLE);
}

} // namespace
