// The stand-ins for the client library and the Windows runtime behave as
// the library relies on: the C runtime, the socket error and system texts,
// and the address book kept in memory and in a file.
#include <cstdio>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "calapi32.h"

#include "platform/copy.h"
#include "platform/crt.h"
#include "platform/win32.h"
#include "support/temp_dir.h"

namespace {

// Every length a writer or the parse copies, from and to every alignment
// within sixteen bytes: exactly those bytes, none written before or after
// them (lengths of 4 to 16 are copied as two overlapping pieces).
TEST(Copy, EveryLengthAndAlignment) {
    char from[256];
    for (size_t i = 0; i < sizeof from; ++i)
        from[i] = static_cast<char>('A' + i % 53);
    for (size_t n = 0; n <= 160; ++n) {
        for (size_t at = 0; at < 16; ++at) {
            char to[256];
            std::memset(to, '.', sizeof to);
            platform::copyBytes(to + 16 + at, from + at, n);
            ASSERT_EQ(std::memcmp(to + 16 + at, from + at, n), 0) << n << " at " << at;
            for (size_t i = 0; i < sizeof to; ++i) {
                if (i < 16 + at || i >= 16 + at + n) {
                    ASSERT_EQ(to[i], '.') << n << " at " << at;
                }
            }
        }
    }
}

// What the log writer's records do not reach: refused arguments, sleeping
// and system texts that do not fit or do not exist.
TEST(Runtime, FilesClockSocketErrorAndMessages) {
    char text[128] = {};
    EXPECT_EQ(crt::_open(nullptr, crt::OpenWriteOnly, 0), -1);
    EXPECT_EQ(crt::_strdup(nullptr), nullptr);
    EXPECT_EQ(win32::SleepEx(0, 1) + win32::SleepEx(1, 1), 0u);
    EXPECT_EQ(win32::FormatMessageA(0, nullptr, 987654, 0, text, sizeof text, nullptr), 0u);
    // A text that does not fit: cut and ended, or refused (Windows leaves
    // the buffer as it was).
    char tiny[4] = {};
    const auto cut = win32::FormatMessageA(0, nullptr, 2, 0, tiny, sizeof tiny, nullptr);
    EXPECT_LE(cut, 3u);
    EXPECT_EQ(tiny[cut], '\0');
}

ABEntryRecord named(const char *family) {
    ABEntryRecord r;
    std::memset(&r, 0, sizeof r);
    std::strcpy(r.familyName, family);
    return r;
}

TEST(ClientLibrary, EntriesAndStreams) {
    CalapiClient *c = nullptr;
    ASSERT_EQ(CalapiOpen(nullptr, 7, 9, &c), 0);
    EXPECT_EQ(c->field18 * 100 + c->field20, 709);
    ABEntryRecord a = named("A"), b = named("B");
    ABEntryId ida = {}, idb = {};
    ASSERT_EQ(ABEntryCreate(c, 0, &a, 0, &ida), 0);
    ASSERT_EQ(ABEntryCreate(c, 0, &b, 0, &idb), 0);
    EXPECT_EQ(+ida.kind * 100 + ida.number * 10 + idb.number, 112u);
    EXPECT_EQ(std::memcmp(b.reserved0, &idb, sizeof idb), 0) << "the record names its entry";
    ASSERT_EQ(ABEntryStreamReplace(c, 0, AB_STREAM_PHOTO, &idb, "old", nullptr), 0);
    ASSERT_EQ(ABEntryStreamReplace(c, 0, AB_STREAM_PHOTO, &idb, "abcdef", &b.photo), 0);
    EXPECT_EQ(+b.photo, 1u);
    uint32_t size = 0;
    EXPECT_EQ(ABEntryStreamSizeGet(c, 0, AB_STREAM_PHOTO, &b, &size), 0);
    EXPECT_EQ(size, 6u);
    char buffer[8] = {};
    EXPECT_EQ(ABEntryStreamGet(c, 0, AB_STREAM_PHOTO, &b, buffer, 4, &size, 0), 0);
    EXPECT_EQ(std::string(buffer, size), "abcd");

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
    EXPECT_EQ(+out.photoFormat * 10 + out.photo, 51u);
    EXPECT_STREQ(out.familyName, "B");
    ASSERT_EQ(ABEntryUpdate(c, 1, &b, 0), 0);
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
    ABEntryId id = {}, next = {};
    ASSERT_EQ(ABEntryCreate(c, 0, &r, 0, &id), 0);
    ASSERT_EQ(ABEntryStreamReplace(c, 0, AB_STREAM_PERSONAL_NOTE, &id, "note", nullptr), 0);
    ASSERT_EQ(CalapiClose(&c), 0);
    ASSERT_EQ(CalapiOpen(path.c_str(), 0, 0, &c), 0);
    ABEntryRecord out;
    ASSERT_EQ(ABEntryGet(c, &id, &out), 0);
    EXPECT_STREQ(out.familyName, "Kept");
    uint32_t size = 0;
    EXPECT_EQ(ABEntryStreamSizeGet(c, 0, AB_STREAM_PERSONAL_NOTE, &out, &size), 0);
    EXPECT_EQ(size * 10 + out.personalNote, 41u);
    ASSERT_EQ(ABEntryCreate(c, 0, &r, 0, &next), 0);
    EXPECT_EQ(+next.number, 2u);
    ASSERT_EQ(CalapiClose(&c), 0);
    // A file that is no book is refused.
    FILE *junk = std::fopen(dir.file("junk.db").c_str(), "wb");
    ASSERT_NE(junk, nullptr);
    std::fputs("not a database, not at all, but long enough to be looked at", junk);
    std::fclose(junk);
    EXPECT_EQ(CalapiOpen(dir.file("junk.db").c_str(), 0, 0, &c), CALAPI_ERR_OPEN);
    EXPECT_EQ(c, nullptr);
}

} // namespace
