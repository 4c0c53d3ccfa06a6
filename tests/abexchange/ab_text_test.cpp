// The text forms of record fields and the extension vocabulary.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "ab_support.h"
#include "abexchange/abInternal.h"

namespace {

TEST(Vocabulary, RegisteredOnceAndFound) {
    abtest::Context context;
    EXPECT_EQ(RegisterVCXProperties(nullptr), VCARD_ERR_NO_CONTEXT);
    EXPECT_EQ(RegisterVCXProperties(context), 0);
    EXPECT_EQ(RegisterVCXProperties(context), 0);
    const struct {
        const char *name;
        int32_t hint, code;
    } names[] = {{"x_qvt-ab_web1", 0x3200, AB_X_WEB1},
                 {"X-QVT-TYPE", 0x3300, AB_X_PARM_TYPE},
                 {"general", 0x3600, AB_X_PVAL_GENERAL}};
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
