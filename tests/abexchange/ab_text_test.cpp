// The text forms of record fields and the extension vocabulary.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "ab_support.h"
#include "abexchange/abInternal.h"

namespace {

TEST(TextForms, EscapingAndBoundedCopies) {
    char buffer[kAbValueSize] = "x";
    AB_EscapeAppend(buffer, "a\tb:c;d\\e\\n");
    EXPECT_STREQ(buffer, "xa\\\tb\\:c\\;d\\\\e\\\\n");
    EXPECT_STREQ(AB_Unescape(buffer), "xa\tb:c;d\\e\\n") << "a backslash before a letter stays";
    // Escaping stops at the end of the buffer.
    const std::string colons(2000, ':');
    buffer[0] = '\0';
    AB_EscapeAppend(buffer, colons.c_str());
    EXPECT_EQ(std::strlen(buffer), kAbValueSize - 2);

    char field[6] = "ab";
    AB_BoundedAppend(field, 5, "cdefg");
    AB_BoundedAppend(field, 5, "x");
    AB_BoundedAppend(nullptr, 5, "x");
    AB_BoundedAppend(field, 0, "x");
    AB_BoundedAppend(field, 5, nullptr);
    EXPECT_STREQ(field, "abcde");
}

// Format to TYPE and back: the tables differ for BMP (5) and PMB (7).
TEST(TextForms, PhotoFormats) {
    abtest::Context context;
    const char *const kNames[] = {"GIF",  "DIB", "CGM", "WMF",  "BMP",  "MET",   "PMB", "PICT",
                                  "TIFF", "PDF", "PS",  "JPEG", "MPEG", "MPEG2", "AVI", "QTIME"};
    for (uint16_t format = 1; format <= 16; ++format) {
        const char *name = nullptr;
        EXPECT_EQ(VCARD_getTokenString(context, abPhotoTypeCode(format), &name), 0);
        EXPECT_STREQ(name, kNames[format - 1]);
        EXPECT_EQ(abPhotoFormat(abPhotoTypeCode(format)), format == AB_PHOTO_BMP   ? AB_PHOTO_PMB
                                                          : format == AB_PHOTO_PMB ? AB_PHOTO_BMP
                                                                                   : format);
    }
    EXPECT_EQ(abPhotoTypeCode(0), VCARD_PVAL_NONE);
    EXPECT_EQ(abPhotoTypeCode(17), VCARD_PVAL_NONE);
    EXPECT_EQ(abPhotoFormat(VCARD_PVAL_X), AB_PHOTO_GIF);
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
        {"x_qvt-ab_web1", 0x3200, AB_X_WEB1},   {"X-QVT-AB_Version", 0x3200, AB_X_VERSION},
        {"X-QVT-AB_FIX", 0x3200, AB_X_FIX},     {"X_QVT-AB_EMail2", 0x3200, AB_X_EMAIL2},
        {"X-QVT-TYPE", 0x3300, AB_X_PARM_TYPE}, {"Personal", 0x3600, AB_X_PVAL_PERSONAL},
        {"general", 0x3600, AB_X_PVAL_GENERAL},
    };
    for (const auto &n : names) {
        int32_t code = 0;
        EXPECT_EQ(VCARD_identifyToken(context, n.name, n.hint, &code), 0) << n.name;
        EXPECT_EQ(code, n.code) << n.name;
    }
    // Without a symbol table the registration's failure is returned.
    abtest::Context bare;
    ASSERT_EQ(VCARD_destroyTokenTable(bare), 0);
    EXPECT_EQ(RegisterVCXProperties(bare), VCARD_ERR_TOKEN_TABLE);
}

} // namespace
