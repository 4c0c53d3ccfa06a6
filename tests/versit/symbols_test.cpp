// Symbol tables: string hash tables, the two hash functions, the token
// table and the ENCODING / VALUE resolvers.
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/calapi.h"
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
    } cases[] = {{"TEL", 85, 85},       // h = 0x54454C
                 {"VERSION", 143, 143}, // only the last four bytes count: 0x53494F4E
                 {"tel", 51, 85},
                 {"", 0, 0}};
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
    // Long keys with high bytes anywhere: the same buckets as folding every
    // byte in.
    for (const char *key : {"\xFF\xFE"
                            "ABCD",
                            "x\x80\x80\x80\x80y", "abcdefghij\xE9", "\xE9\xE9\xE9\xE9\xE9"}) {
        uint32_t plain = 0, folded = 0;
        for (const char *p = key; *p != '\0'; ++p) {
            plain = (plain << 8) +
                    static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*p)));
            folded = (folded << 8) +
                     static_cast<uint32_t>(static_cast<int32_t>(
                         static_cast<signed char>(std::toupper(static_cast<unsigned char>(*p)))));
        }
        auto bucket = [](uint32_t h) {
            const int32_t r = static_cast<int32_t>(h) % 173;
            return r < 0 ? r + 173 : r;
        };
        EXPECT_EQ(VLIB_symbolHash(key, 173), bucket(plain)) << key;
        EXPECT_EQ(VLIB_symbolCaseHash(key, 173), bucket(folded)) << key;
    }
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

TEST(HashTable, EqualKeysWalkNewestFirstAndDataSizes) {
    Table table;
    const int32_t code = 0x3001;
    ASSERT_EQ(VLIB_insert(table.t, "URL", "first", -1), 0);
    ASSERT_EQ(VLIB_insert(table.t, "EMAIL", "abc", 2), 0);
    ASSERT_EQ(VLIB_insert(table.t, "url", "second", -1), 0);
    ASSERT_EQ(VLIB_insert(table.t, "K3", &code, sizeof code), 0);
    ASSERT_EQ(VLIB_insert(table.t, "K4", nullptr, 5), 0);
    EXPECT_EQ(allData(table.t, "Url"), (std::vector<std::string>{"second", "first"}));
    EXPECT_EQ(VLIB_findNext(table.t, nullptr), nullptr);
    EXPECT_EQ(VLIB_findKey(table.t, "ADR"), nullptr);
    int32_t size = -7;
    EXPECT_STREQ(static_cast<char *>(VLIB_findDataForKey(table.t, "url", &size)), "second");
    EXPECT_EQ(size, 6);
    EXPECT_STREQ(static_cast<char *>(VLIB_findDataForKey(table.t, "EMAIL", &size)), "ab");
    EXPECT_EQ(size, 2);
    const char *stored = static_cast<const char *>(VLIB_findDataForKey(table.t, "K3", &size));
    EXPECT_EQ(size, 4);
    EXPECT_EQ(std::memcmp(stored, &code, 4), 0);
    EXPECT_EQ(stored[4], '\0');
    EXPECT_STREQ(static_cast<char *>(VLIB_findDataForKey(table.t, "K4", &size)), "");
    EXPECT_EQ(size, 0);
    size = -7;
    EXPECT_EQ(VLIB_findDataForKey(table.t, "absent", &size), nullptr);
    EXPECT_EQ(size, -7) << "size output untouched for an absent key";
}

int releases = 0;
void countingRelease(void *data) {
    ++releases;
    std::free(data);
}

// Removal takes the newest entry of a key only; the release function gets
// every data once, on removal or with the table.
TEST(HashTable, DestroyKeyRemovesOnlyTheNewest) {
    releases = 0;
    {
        Table table(countingRelease);
        // Three keys that share a bucket (same last four bytes), one twice.
        for (const char *k : {"AXTEL=old", "BXTEL=b", "CXTEL=c", "AXTEL=new"})
            ASSERT_EQ(VLIB_insert(table.t, std::string(k, 5).c_str(), k + 6, -1), 0);
        ASSERT_EQ(VLIB_symbolCaseHash("AXTEL", 173), VLIB_symbolCaseHash("CXTEL", 173));
        EXPECT_EQ(VLIB_destroyKey(table.t, "CXTEL"), 0);
        EXPECT_EQ(VLIB_destroyKey(table.t, "CXTEL"), VLIB_ERR_KEY_NOT_FOUND);
        EXPECT_NE(VLIB_findKey(table.t, "BXTEL"), nullptr);
        EXPECT_EQ(VLIB_destroyKey(table.t, "axtel"), 0);
        EXPECT_EQ(allData(table.t, "AXTEL"), (std::vector<std::string>{"old"}));
        EXPECT_EQ(releases, 2);
    }
    EXPECT_EQ(releases, 4);
}

// A component asked for as a parameter is not found; with no property run
// (0x200) or no class, the whole table is searched.
TEST(IdentifyToken, SearchesTheClassRunOrEverything) {
    struct Case {
        const char *name;
        int32_t tokenClass, code;
    } cases[] = {
        {"", 0x100, 0},           {"DATES", 0x100, 0},         {"8bit", 0x500, 0x505},
        {"value", 0x300, 0x306},  {"date-time", 0x100, 0x104}, {"CAL-ADDRESS", 0x100, 0x10E},
        {"DATE", 0x500, 0},       {"Q", 0x500, 0x506},         {"DATE", 0x100, 0x103},
        {"BASE64", 0x500, 0x503}, {"VFREEBUSY", 0x400, 0x40F}, {"quoted-printable", 0x500, 0x506},
        {"b", 0x500, 0x503},      {"VEVENT", 0, 0x40A},        {"ICALENDAR", 0x300, 0},
        {"VEVENT", 0x200, 0x40A}};
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
        {datatype, "VALUE", "CONTENT-ID", 0, "URL", 0}     // so is an unknown word
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
