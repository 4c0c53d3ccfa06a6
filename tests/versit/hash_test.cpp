// String hash tables and the two hash functions.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/calapi.h"
#include "support/alloc_hook.h"
#include "versit_core.h"

namespace {

int32_t caseCompare(const char *a, const char *b) { return calapi::strcasecmp(a, b); }

struct Table {
    explicit Table(vReleaseFunction release = nullptr)
        : t(VLIB_newHashTable(173, VLIB_symbolCaseHash, caseCompare, release)) {}
    ~Table() { VLIB_destroyHashTable(t); }
    Table(const Table &) = delete;
    Table &operator=(const Table &) = delete;
    vHashTable *t;
};

std::vector<std::string> allData(const vHashTable *t, const char *key) {
    std::vector<std::string> out;
    for (const vHashEntry *e = VLIB_findKey(t, key); e != nullptr; e = VLIB_findNext(t, e))
        out.emplace_back(static_cast<const char *>(e->data), static_cast<size_t>(e->dataSize));
    return out;
}

TEST(SymbolHash, ExactBuckets) {
    struct Case {
        const char *key;
        int32_t plain, folded;
    } cases[] = {
        {"TEL", 85, 85},       // h = 0x54454C
        {"VERSION", 143, 143}, // only the last four bytes count: 0x53494F4E
        {"tel", 51, 85},
        {"", 0, 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(VLIB_symbolHash(c.key, 173), c.plain) << c.key;
        EXPECT_EQ(VLIB_symbolCaseHash(c.key, 173), c.folded) << c.key;
    }
    // Bytes from 0x80 up sign-extend; the bucket still lies in range and is stable.
    const char *high = "\xC3\xA9t\xE9";
    const int32_t b = VLIB_symbolHash(high, 173);
    EXPECT_GE(b, 0);
    EXPECT_LT(b, 173);
    EXPECT_EQ(VLIB_symbolHash(high, 173), b);
    EXPECT_EQ(VLIB_symbolHash(nullptr, 173), 0);
    EXPECT_EQ(VLIB_symbolHash("TEL", 0), 0);
}

// A caller's own hash may answer out of range; the table must not care.
int32_t wildHash(const char *key, int32_t) { return key[0] == 'n' ? -1000 : 1 << 30; }

TEST(HashTable, CreationNeedsBothFunctionsAndABucket) {
    EXPECT_EQ(VLIB_newHashTable(173, nullptr, caseCompare, nullptr), nullptr);
    EXPECT_EQ(VLIB_newHashTable(173, VLIB_symbolHash, nullptr, nullptr), nullptr);
    EXPECT_EQ(VLIB_newHashTable(0, VLIB_symbolHash, caseCompare, nullptr), nullptr);
    vHashTable *one = VLIB_newHashTable(1, VLIB_symbolHash, caseCompare, nullptr);
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(VLIB_insert(one, "A", "1", -1), 0);
    EXPECT_EQ(VLIB_insert(one, "B", "2", -1), 0);
    EXPECT_STREQ(static_cast<char *>(VLIB_findDataForKey(one, "a", nullptr)), "1");
    VLIB_destroyHashTable(one);
    vHashTable *wild = VLIB_newHashTable(7, wildHash, caseCompare, nullptr);
    ASSERT_EQ(VLIB_insert(wild, "neg", "1", -1), 0);
    ASSERT_EQ(VLIB_insert(wild, "pos", "2", -1), 0);
    EXPECT_STREQ(static_cast<char *>(VLIB_findDataForKey(wild, "neg", nullptr)), "1");
    EXPECT_STREQ(static_cast<char *>(VLIB_findDataForKey(wild, "pos", nullptr)), "2");
    VLIB_destroyHashTable(wild);
    VLIB_destroyHashTable(nullptr);
}

TEST(HashTable, EqualKeysWalkNewestFirst) {
    Table table;
    ASSERT_EQ(VLIB_insert(table.t, "URL", "first", -1), 0);
    ASSERT_EQ(VLIB_insert(table.t, "EMAIL", "other", -1), 0);
    ASSERT_EQ(VLIB_insert(table.t, "url", "second", -1), 0);
    EXPECT_EQ(allData(table.t, "Url"), (std::vector<std::string>{"second", "first"}));
    EXPECT_EQ(VLIB_findNext(table.t, nullptr), nullptr);
    EXPECT_EQ(VLIB_findKey(table.t, "ADR"), nullptr);
}

TEST(HashTable, DataSizes) {
    Table table;
    ASSERT_EQ(VLIB_insert(table.t, "K1", "abc", -1), 0);
    ASSERT_EQ(VLIB_insert(table.t, "K2", "abc", 2), 0);
    const int32_t code = 0x3001;
    ASSERT_EQ(VLIB_insert(table.t, "K3", &code, sizeof code), 0);
    ASSERT_EQ(VLIB_insert(table.t, "K4", nullptr, 5), 0);

    int32_t size = -7;
    EXPECT_STREQ(static_cast<char *>(VLIB_findDataForKey(table.t, "K1", &size)), "abc");
    EXPECT_EQ(size, 3);
    EXPECT_STREQ(static_cast<char *>(VLIB_findDataForKey(table.t, "K2", &size)), "ab");
    EXPECT_EQ(size, 2);
    const void *stored = VLIB_findDataForKey(table.t, "K3", &size);
    EXPECT_EQ(size, 4);
    int32_t back = 0;
    std::memcpy(&back, stored, sizeof back);
    EXPECT_EQ(back, 0x3001);
    EXPECT_EQ(static_cast<const char *>(stored)[4], '\0');
    EXPECT_STREQ(static_cast<char *>(VLIB_findDataForKey(table.t, "K4", &size)), "");
    EXPECT_EQ(size, 0);

    size = -7;
    EXPECT_EQ(VLIB_findDataForKey(table.t, "absent", &size), nullptr);
    EXPECT_EQ(size, -7) << "size output untouched for an absent key";
}

TEST(HashTable, DestroyKeyRemovesOnlyTheNewest) {
    Table table;
    // Three keys that share a bucket: same last four bytes.
    for (const char *k : {"AXTEL", "BXTEL", "CXTEL"})
        ASSERT_EQ(VLIB_insert(table.t, k, k, -1), 0);
    ASSERT_EQ(VLIB_symbolCaseHash("AXTEL", 173), VLIB_symbolCaseHash("CXTEL", 173));
    EXPECT_EQ(VLIB_destroyKey(table.t, "CXTEL"), 0);
    EXPECT_NE(VLIB_findKey(table.t, "AXTEL"), nullptr);
    EXPECT_NE(VLIB_findKey(table.t, "BXTEL"), nullptr);
    EXPECT_EQ(VLIB_findKey(table.t, "CXTEL"), nullptr);
    EXPECT_EQ(VLIB_destroyKey(table.t, "CXTEL"), VLIB_ERR_KEY_NOT_FOUND);

    ASSERT_EQ(VLIB_insert(table.t, "dup", "old", -1), 0);
    ASSERT_EQ(VLIB_insert(table.t, "dup", "new", -1), 0);
    EXPECT_EQ(VLIB_destroyKey(table.t, "DUP"), 0);
    EXPECT_EQ(allData(table.t, "dup"), (std::vector<std::string>{"old"}));
}

int releases = 0;
void countingRelease(void *data) {
    ++releases;
    std::free(data);
}

TEST(HashTable, ReleaseFunctionGetsEveryDataOnce) {
    releases = 0;
    {
        Table table(countingRelease);
        for (const char *k : {"A", "B", "C", "A"})
            ASSERT_EQ(VLIB_insert(table.t, k, "x", -1), 0);
        EXPECT_EQ(VLIB_destroyKey(table.t, "B"), 0);
        EXPECT_EQ(releases, 1);
    }
    EXPECT_EQ(releases, 4);
}

TEST(HashTable, FailedInsertLeavesTheTableUnchanged) {
    Table table;
    ASSERT_EQ(VLIB_insert(table.t, "KEEP", "1", -1), 0);
    const int points = alloc_hook::sweep([&] {
        const int32_t rc = VLIB_insert(table.t, "NEW", "data", -1);
        if (rc == 0) {
            EXPECT_EQ(VLIB_destroyKey(table.t, "NEW"), 0);
        } else {
            EXPECT_EQ(rc, VLIB_ERR_NO_MEMORY);
            EXPECT_EQ(VLIB_findKey(table.t, "NEW"), nullptr);
        }
    });
    EXPECT_EQ(points, 3) << "entry, key copy, data copy";
    EXPECT_NE(VLIB_findKey(table.t, "KEEP"), nullptr);

    alloc_hook::sweep([] {
        vHashTable *t = VLIB_newHashTable(173, VLIB_symbolHash, caseCompare, nullptr);
        VLIB_destroyHashTable(t);
    });
}

} // namespace
