// The client library's address book: entries and streams kept, found and
// refused as calapi32.h says, in memory and in a file.
#include <cstdio>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "calapi32.h"
#include "support/temp_dir.h"

namespace {

ABEntryRecord named(const char *family) {
    ABEntryRecord r;
    std::memset(&r, 0, sizeof r);
    std::strcpy(r.familyName, family);
    return r;
}

TEST(ClientLibrary, EntriesAndStreams) {
    CalapiClient *c = nullptr;
    ASSERT_EQ(CalapiOpen(nullptr, 7, 9, &c), 0);
    EXPECT_EQ(c->field18, 7);
    EXPECT_EQ(c->field20, 9);
    ABEntryRecord a = named("A"), b = named("B");
    ABEntryId ida = {}, idb = {};
    ASSERT_EQ(ABEntryCreate(c, 0, &a, 0, &ida), 0);
    ASSERT_EQ(ABEntryCreate(c, 0, &b, 0, &idb), 0);
    EXPECT_EQ(+ida.kind, 1);
    EXPECT_EQ(+ida.number, 1u);
    EXPECT_EQ(+idb.number, 2u);
    EXPECT_EQ(std::memcmp(b.reserved0, &idb, sizeof idb), 0) << "the record names its entry";

    ASSERT_EQ(ABEntryStreamReplace(c, 0, AB_STREAM_PHOTO, &idb, "old", nullptr), 0);
    ASSERT_EQ(ABEntryStreamReplace(c, 0, AB_STREAM_PHOTO, &idb, "abcdef", &b.photo), 0);
    EXPECT_EQ(+b.photo, 1u);
    uint32_t size = 0;
    EXPECT_EQ(ABEntryStreamSizeGet(c, 0, AB_STREAM_PHOTO, &b, &size), 0);
    EXPECT_EQ(size, 6u);
    char buffer[8] = {};
    uint32_t delivered = 0;
    EXPECT_EQ(ABEntryStreamGet(c, 0, AB_STREAM_PHOTO, &b, buffer, 4, &delivered, 0), 0);
    EXPECT_EQ(delivered, 4u);
    EXPECT_EQ(std::string(buffer, 4), "abcd");

    const ABEntryId missing = {1, 42, 0}, bad = {2, 1, 0};
    ABEntryRecord out;
    EXPECT_EQ(ABEntryStreamSizeGet(c, 0, AB_STREAM_PHOTO, &a, &size), CALAPI_ERR_NO_STREAM);
    EXPECT_EQ(ABEntryStreamSizeGet(c, 0, 4, &b, &size), CALAPI_ERR_STREAM_KIND);
    EXPECT_EQ(ABEntryStreamReplace(c, 0, 0, &missing, "x", nullptr), CALAPI_ERR_NO_ENTRY);
    EXPECT_EQ(ABEntryGet(c, &bad, &out), CALAPI_ERR_NO_ENTRY);
    EXPECT_EQ(ABEntryUpdate(c, 3, &b, 0), CALAPI_ERR_ARGUMENT);

    // Mode 2 stores the photo format and the indicators only; mode 1 all.
    b.photoFormat = 5;
    std::strcpy(b.familyName, "changed");
    ASSERT_EQ(ABEntryUpdate(c, 2, &b, 0), 0);
    ASSERT_EQ(ABEntryGet(c, &idb, &out), 0);
    EXPECT_EQ(+out.photoFormat, 5);
    EXPECT_EQ(+out.photo, 1u);
    EXPECT_STREQ(out.familyName, "B");
    ASSERT_EQ(ABEntryUpdate(c, 1, &b, 0), 0);
    ASSERT_EQ(ABEntryGet(c, &idb, &out), 0);
    EXPECT_STREQ(out.familyName, "changed");

    ABEntryId id = {};
    std::string order;
    for (int32_t r = ABEntryGetNext(c, nullptr, &id, &out); r == 0;
         r = ABEntryGetNext(c, &id, &id, &out))
        order += out.familyName[0];
    EXPECT_EQ(order, "Ac");
    EXPECT_STREQ(CalapiResultName(CALAPI_ERR_NO_STREAM), "CALAPI_ERR_NO_STREAM");
    EXPECT_EQ(CalapiResultName(0), nullptr);
    EXPECT_EQ(CalapiClose(&c), 0);
    EXPECT_EQ(c, nullptr);
    EXPECT_EQ(CalapiClose(&c), CALAPI_ERR_ARGUMENT);
}

// A book in a file keeps its entries; a file that is no book is refused.
// Builds without files refuse every path with their own code.
TEST(ClientLibrary, BookInAFile) {
    TempDir dir;
    const std::string path = dir.file("book.db");
    CalapiClient *c = nullptr;
    const int32_t opened = CalapiOpen(path.c_str(), 0, 0, &c);
    if (opened == CALAPI_ERR_NO_FILES) {
        EXPECT_EQ(c, nullptr);
        GTEST_SKIP() << "this build keeps books in memory only";
    }
    ASSERT_EQ(opened, 0);
    ABEntryRecord r = named("Kept");
    ABEntryId id = {};
    ASSERT_EQ(ABEntryCreate(c, 0, &r, 0, &id), 0);
    ASSERT_EQ(ABEntryStreamReplace(c, 0, AB_STREAM_PERSONAL_NOTE, &id, "note", nullptr), 0);
    ASSERT_EQ(CalapiClose(&c), 0);

    ASSERT_EQ(CalapiOpen(path.c_str(), 0, 0, &c), 0);
    ABEntryRecord out;
    ASSERT_EQ(ABEntryGet(c, &id, &out), 0);
    EXPECT_STREQ(out.familyName, "Kept");
    EXPECT_EQ(+out.personalNote, 1u);
    uint32_t size = 0;
    EXPECT_EQ(ABEntryStreamSizeGet(c, 0, AB_STREAM_PERSONAL_NOTE, &out, &size), 0);
    EXPECT_EQ(size, 4u);
    ABEntryId next = {};
    ASSERT_EQ(ABEntryCreate(c, 0, &r, 0, &next), 0);
    EXPECT_EQ(+next.number, 2u);
    ASSERT_EQ(CalapiClose(&c), 0);

    const std::string junk = dir.file("junk.db");
    if (FILE *f = std::fopen(junk.c_str(), "wb")) {
        std::fputs("not a database, not at all, but long enough to be looked at", f);
        std::fclose(f);
    }
    EXPECT_EQ(CalapiOpen(junk.c_str(), 0, 0, &c), CALAPI_ERR_OPEN);
    EXPECT_EQ(c, nullptr);
}

} // namespace
