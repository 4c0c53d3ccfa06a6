// The parser over every real-world file of the shared corpus (when it is
// there): no crash, only the parser's own codes, the whole text consumed,
// and every tree printed to exactly its counted length.
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "text_support.h"
#include "versit_core.h"

namespace {

namespace fs = std::filesystem;

TEST(Corpus, EveryFileParsesAndPrints) {
    const fs::path corpus = VERSIT_CORPUS_DIR;
    if (!fs::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    const std::set<int32_t> componentCodes = {0,
                                              VLIB_ERR_NO_COLON,
                                              VLIB_ERR_EMPTY_PARAMETER,
                                              VLIB_ERR_BAD_QUOTED_PRINTABLE,
                                              VLIB_ERR_BAD_BASE64_VALUE,
                                              VLIB_ERR_BEGIN_WITHOUT_NAME,
                                              VLIB_ERR_NESTED_COMPONENT,
                                              VLIB_ERR_LINE_WITHOUT_NAME};
    int files = 0, components = 0, fixedPoints = 0;
    for (const auto &entry : fs::recursive_directory_iterator(corpus)) {
        if (!entry.is_regular_file() || entry.path().filename() == "MANIFEST.tsv") continue;
        ++files;
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream read;
        read << in.rdbuf();
        const std::string text = read.str();
        for (int32_t flags : {0, 8}) {
            const char *at = text.c_str();
            auto remaining = static_cast<int32_t>(text.size());
            for (int calls = 0; at != nullptr && remaining > 0; ++calls) {
                ASSERT_LT(calls, 100000) << entry.path() << ": the parser must move on";
                vComponent *c = nullptr;
                char *rest = nullptr;
                const int32_t before = remaining;
                const int32_t result =
                    VLIB_buildComponentFromBuffer(&c, at, flags, &remaining, &rest);
                vtest::Tree tree(c);
                ASSERT_TRUE(remaining < before || rest == nullptr) << entry.path();
                at = rest;
                if (c == nullptr) {
                    EXPECT_TRUE(result == VLIB_ERR_NO_BEGIN || result == VLIB_ERR_NO_NAME)
                        << entry.path() << ": " << result;
                    continue;
                }
                ++components;
                EXPECT_EQ(componentCodes.count(result), 1u) << entry.path() << ": " << result;
                const std::string t0 = vtest::print(c, 0);
                EXPECT_EQ(std::strlen(t0.c_str()), t0.size()) << entry.path();
                // Written, read and written twice more: how often the text
                // is a fixed point (an "=" in plain text may be lost).
                vtest::Parsed p1, p2;
                vtest::parse(p1, t0, flags);
                ASSERT_NE(p1.tree.root, nullptr) << entry.path();
                vtest::parse(p2, vtest::print(p1.tree.root), flags);
                ASSERT_NE(p2.tree.root, nullptr) << entry.path();
                if (vtest::print(p2.tree.root) == t0) ++fixedPoints;
            }
        }
    }
    EXPECT_GT(files, 0);
    std::printf("corpus: %d files, %d components, %d printed texts are fixed points\n", files,
                components, fixedPoints);
}

} // namespace
