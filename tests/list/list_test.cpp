// The list contract case by case: result codes, creation, lists made from
// text, and the whole-list operations (sorting, flags that look at every
// cell, compare function changes, merging and selection).
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "list/klist.h"
#include "list/klmem.h"
#include "versit_list.h"

namespace {

int32_t numeric(const void *a, const void *b, uint32_t) {
    uint32_t x = 0, y = 0;
    std::memcpy(&x, a, 4);
    std::memcpy(&y, b, 4);
    return x < y ? -1 : x > y ? 1 : 0;
}

int32_t reverse(const void *a, const void *b, uint32_t n) { return numeric(b, a, n); }

// Ids equal when their low bytes are.
int32_t lowByte(const void *a, const void *b, uint32_t) {
    return *static_cast<const unsigned char *>(a) - *static_cast<const unsigned char *>(b);
}

int compares = 0;
int32_t counting(const void *a, const void *b, uint32_t n) {
    ++compares;
    return numeric(a, b, n);
}

KL_HLIST make(uint32_t dataSize, uint32_t flags, std::initializer_list<uint32_t> idList) {
    KL_HLIST list = nullptr;
    EXPECT_EQ(KL_ListCreate(&list, 4, dataSize, flags, nullptr, nullptr), 0);
    uint32_t n = 0;
    for (uint32_t id : idList) {
        ++n;
        EXPECT_EQ(KL_ListAddLast(list, &id, &n), 0);
    }
    return list;
}

std::vector<std::pair<uint32_t, uint32_t>> cells(KL_HLIST list) {
    std::vector<std::pair<uint32_t, uint32_t>> out;
    for (KL_ListCell *c = list->first; c != nullptr; c = c->next) {
        uint32_t id = 0, data = 0;
        std::memcpy(&id, klist::idOf(list, c), 4);
        if (list->dataSize >= 4) std::memcpy(&data, klist::dataOf(c), 4);
        out.emplace_back(id, data);
    }
    return out;
}

std::vector<uint32_t> ids(KL_HLIST list) {
    std::vector<uint32_t> out;
    for (const auto &c : cells(list))
        out.push_back(c.first);
    return out;
}

TEST(ListSort, OrdersByTheCompareInUse) {
    KL_HLIST list = make(0, 0, {3, 1, 2});
    EXPECT_EQ(KL_ListQuickSort(list, numeric, nullptr), 0);
    EXPECT_EQ(ids(list), (std::vector<uint32_t>{1, 2, 3}));
    EXPECT_EQ(list->idCompare, KL_MemCompare) << "the list's own function is back";
    KL_ListDestroy(&list);
    // Byte order looks at the low byte of a little-endian number first.
    list = make(0, 0, {1, 256, 2});
    EXPECT_EQ(KL_ListQuickSort(list, nullptr, nullptr), 0);
    EXPECT_EQ(ids(list), (std::vector<uint32_t>{256, 1, 2}));
    KL_ListDestroy(&list);
}

TEST(ListSort, EdgeCasesAndRefusals) {
    for (auto idList : {std::initializer_list<uint32_t>{}, {5}}) {
        KL_HLIST list = make(0, 0, idList);
        EXPECT_EQ(KL_ListQuickSort(list, nullptr, nullptr), 0);
        EXPECT_EQ(ids(list), std::vector<uint32_t>(idList));
        KL_ListDestroy(&list);
    }
    KL_HLIST same = make(0, 0, {4, 4, 4, 4, 4});
    compares = 0;
    EXPECT_EQ(KL_ListQuickSort(same, counting, nullptr), 0);
    EXPECT_EQ(compares, 4) << "one partition of five equal cells";
    KL_ListDestroy(&same);

    KL_HLIST text = nullptr;
    KL_ListCreate(&text, 8, 0, KL_LIST_STRING_ID, nullptr, nullptr);
    EXPECT_EQ(KL_ListQuickSort(text, nullptr, nullptr), KL_LIST_NOT_SORTABLE);
    KL_ListDestroy(&text);
    KL_HLIST sorted = make(0, KL_LIST_SORTED, {});
    EXPECT_EQ(KL_ListQuickSort(sorted, numeric, nullptr), KL_LIST_NOT_SORTABLE);
    EXPECT_EQ(KL_ListQuickSort(sorted, nullptr, nullptr), 0);
    KL_ListDestroy(&sorted);
}

TEST(ListSort, SetFlag) {
    KL_HLIST list = make(0, 0, {2, 1, 2});
    EXPECT_EQ(KL_ListSetFlag(list, KL_LIST_STRING_ID, 1), 0x15044);
    EXPECT_EQ(KL_ListSetFlag(list, KL_LIST_SORTED, 2), 0x15044);
    EXPECT_EQ(KL_ListSetFlag(list, KL_LIST_UNIQUE, 1), KL_LIST_DUPLICATE);
    EXPECT_EQ(list->flags & KL_LIST_UNIQUE, 0u);
    EXPECT_EQ(KL_ListSetFlag(list, KL_LIST_SORTED, 1), 0);
    EXPECT_EQ(ids(list), (std::vector<uint32_t>{1, 2, 2}));
    const uint32_t two = 2;
    KL_ListDeleteFrom(list, &two, nullptr);
    EXPECT_EQ(KL_ListSetFlag(list, KL_LIST_UNIQUE, 1), 0);
    EXPECT_EQ(KL_ListAddTo(list, &two, nullptr), 0);
    EXPECT_EQ(KL_ListAddTo(list, &two, nullptr), KL_LIST_DUPLICATE);
    EXPECT_EQ(KL_ListSetFlag(list, KL_LIST_MOVE_TO_FRONT, 1), 0);
    EXPECT_EQ(KL_ListSetFlag(list, KL_LIST_SORTED, 0), 0);
    EXPECT_EQ(list->flags, KL_LIST_NO_DATA | KL_LIST_UNIQUE | KL_LIST_MOVE_TO_FRONT);
    KL_ListDestroy(&list);
}

TEST(ListSort, ChangeCmpFct) {
    KL_HLIST unique = make(0, KL_LIST_UNIQUE, {1, 257});
    EXPECT_EQ(KL_ListChangeCmpFct(unique, lowByte, nullptr), KL_LIST_DUPLICATE);
    EXPECT_EQ(unique->idCompare, KL_MemCompare);
    EXPECT_EQ(KL_ListChangeCmpFct(unique, numeric, nullptr), 0);
    EXPECT_EQ(unique->idCompare, numeric);
    KL_ListDestroy(&unique);

    KL_HLIST sorted = make(0, 0, {1, 3, 2});
    KL_ListSetFlag(sorted, KL_LIST_SORTED, 1);
    EXPECT_EQ(KL_ListChangeCmpFct(sorted, reverse, nullptr), 0);
    EXPECT_EQ(ids(sorted), (std::vector<uint32_t>{3, 2, 1}));
    KL_ListDestroy(&sorted);

    KL_HLIST text = nullptr;
    KL_ListCreate(&text, 8, 0, KL_LIST_STRING_ID | KL_LIST_SORTED, nullptr, nullptr);
    EXPECT_EQ(KL_ListChangeCmpFct(text, numeric, nullptr), KL_LIST_NOT_SORTABLE);
    EXPECT_EQ(text->idCompare, numeric) << "the new function stays";
    KL_ListDestroy(&text);
}

TEST(ListMerge, CopySelectionAndMerge) {
    // A duplicate slipped into a unique list through a forced update.
    KL_HLIST unique = make(0, KL_LIST_UNIQUE, {1, 2});
    const uint32_t one = 1;
    KL_ListGetLast(unique, nullptr, nullptr);
    KL_ListForceUpdateCurrent(unique, &one, nullptr);
    KL_HLIST copy = nullptr;
    EXPECT_EQ(KL_ListCopy(&copy, unique), KL_LIST_DUPLICATE);
    KL_ListDestroy(&copy);
    KL_ListDestroy(&unique);

    KL_HLIST source = make(4, 0, {7, 8, 7, 7});
    KL_ListGetFirst(source, nullptr, nullptr);
    KL_ListGetNext(source, nullptr, nullptr);
    KL_ListCell *const current = source->current;
    const uint32_t seven = 7;
    KL_HLIST sevens = nullptr;
    EXPECT_EQ(KL_ListGetIdSelection(&sevens, source, &seven), 0);
    EXPECT_EQ(cells(sevens), (std::vector<std::pair<uint32_t, uint32_t>>{{7, 1}, {7, 3}, {7, 4}}));
    EXPECT_EQ(source->current, current) << "the source's cursor is kept";
    EXPECT_EQ(source->previous, source->first);
    KL_HLIST nothing = nullptr;
    EXPECT_EQ(KL_ListGetIdSelection(&nothing, source, nullptr), 0);
    EXPECT_EQ(nothing->count, 0u) << "no id selects nothing";
    KL_ListDestroy(&nothing);

    KL_HLIST sorted = make(4, KL_LIST_SORTED, {});
    const uint32_t five = 5, zero = 0;
    KL_ListAddTo(sorted, &five, &zero);
    EXPECT_EQ(KL_ListMerge(sorted, source), 0);
    EXPECT_EQ(ids(sorted), (std::vector<uint32_t>{5, 7, 7, 7, 8}));
    EXPECT_EQ(KL_ListMerge(sevens, source), 0);
    EXPECT_EQ(ids(sevens), (std::vector<uint32_t>{7, 7, 7, 7, 8, 7, 7})) << "appended in order";
    KL_HLIST other = make(2, 0, {});
    EXPECT_EQ(KL_ListMerge(other, source), KL_LIST_E_TYPE_MISMATCH);
    EXPECT_EQ(KL_ListMerge(source, source), 0) << "a list merged into itself doubles";
    EXPECT_EQ(ids(source), (std::vector<uint32_t>{7, 8, 7, 7, 7, 8, 7, 7}));
    EXPECT_EQ(source->current, current);
    for (KL_HLIST *l : {&source, &sevens, &sorted, &other})
        KL_ListDestroy(l);
}

KL_HLIST empty(uint32_t idSize, uint32_t dataSize, uint32_t flags) {
    KL_HLIST list = nullptr;
    EXPECT_EQ(KL_ListCreate(&list, idSize, dataSize, flags, nullptr, nullptr), 0);
    return list;
}

TEST(List, NullHandlesGiveEachOperationItsCode) {
    uint32_t v = 7;
    int32_t r = 0;
    uint32_t id = 1;
    KL_HLIST none = nullptr;
    const struct {
        const char *what;
        std::function<int32_t()> call;
        int32_t code;
    } cases[] = {
        {"AddTo", [&] { return KL_ListAddTo(nullptr, &id, nullptr); }, 0x15003},
        {"AddBefore", [&] { return KL_ListAddBefore(nullptr, &id, nullptr, &id, nullptr); },
         0x15006},
        {"AddAfter", [&] { return KL_ListAddAfter(nullptr, &id, nullptr, &id, nullptr); }, 0x15009},
        {"AddLast", [&] { return KL_ListAddLast(nullptr, &id, nullptr); }, 0x1500B},
        {"UpdateCurrent", [&] { return KL_ListUpdateCurrent(nullptr, &id, nullptr); }, 0x1501B},
        {"ForceUpdate", [&] { return KL_ListForceUpdateCurrent(nullptr, &id, nullptr); }, 0x1501B},
        {"Find", [&] { return KL_ListFind(nullptr, &id, nullptr, nullptr, nullptr); }, 0x15021},
        {"GetValue", [&] { return KL_ListGetValue(nullptr, &v, 0); }, 0x15022},
        {"GetNext", [&] { return KL_ListGetNext(nullptr, nullptr, nullptr); }, 0x15023},
        {"GetFirst", [&] { return KL_ListGetFirst(nullptr, nullptr, nullptr); }, 0x15025},
        {"AlwaysGet", [&] { return KL_ListAlwaysGet(nullptr, &id, nullptr); }, 0x15027},
        {"Get", [&] { return KL_ListGet(nullptr, &id, nullptr); }, 0x15027},
        {"CmpId", [&] { return KL_ListCmpId(nullptr, &id, &id, &r) == 0 ? 0 : r; }, 0x1502A},
        {"CmpCell",
         [&] { return KL_ListCmpCell(nullptr, &id, nullptr, &id, nullptr, &r) == 0 ? 0 : r; },
         0x1502B},
        {"GetPrev", [&] { return KL_ListGetPrev(nullptr, nullptr, nullptr); }, 0x1502C},
        {"GetLast", [&] { return KL_ListGetLast(nullptr, nullptr, nullptr); }, 0x1502D},
        {"Destroy", [&] { return KL_ListDestroy(&none); }, 0x15040},
        {"Destroy address", [&] { return KL_ListDestroy(nullptr); }, 0x15040},
        {"SetFlag", [&] { return KL_ListSetFlag(nullptr, KL_LIST_SORTED, 1); }, 0x15045},
        {"ChangeCmpFct", [&] { return KL_ListChangeCmpFct(nullptr, nullptr, nullptr); }, 0x15046},
        {"VerifyType", [&] { return KL_ListVerifyType(nullptr, nullptr); }, 0x15060},
        {"GetSelection", [&] { return KL_ListCopy(&none, nullptr); }, 0x1506A},
        {"DeleteAll", [&] { return KL_ListDeleteAll(nullptr); }, 0x1507A},
        {"DeleteCurrent", [&] { return KL_ListDeleteCurrent(nullptr); }, 0x1507C},
        {"QuickSort", [&] { return KL_ListQuickSort(nullptr, nullptr, nullptr); }, 0x150A0},
        {"Merge", [&] { return KL_ListMerge(nullptr, nullptr); }, 0x15060},
        {"DeleteFrom", [&] { return KL_ListDeleteFrom(nullptr, &id, nullptr); }, 0x1502F},
        {"ChangeData", [&] { return KL_ListChangeData(nullptr, &id, nullptr, &id); }, 0x1502F},
        {"GetData", [&] { return KL_ListGetData(nullptr, &id, nullptr, nullptr); }, 0x1502F},
        {"Alloc", [&] { return KL_ListAlloc(nullptr, nullptr, nullptr, 3); }, 0x1502F},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.call(), c.code) << c.what;
    EXPECT_EQ(v, 0u) << "GetValue clears its output";
    EXPECT_EQ(KL_ListFlagDetect(nullptr, 0, &r), 0);
    EXPECT_EQ(r, 0x15022);
}

TEST(List, CreateChoosesFlagsAndDefaults) {
    KL_HLIST list = reinterpret_cast<KL_HLIST>(&list);
    EXPECT_EQ(KL_ListCreate(&list, 0, 4, 0, nullptr, nullptr), 0x15042);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(KL_ListCreate(nullptr, 4, 4, 0, nullptr, nullptr), 0x15041);
    list = empty(4, 0, KL_LIST_FLAG_08);
    uint32_t flags = 0;
    EXPECT_EQ(KL_ListGetFlags(list, &flags), 0);
    EXPECT_EQ(flags, KL_LIST_FLAG_08 | KL_LIST_NO_DATA);
    EXPECT_EQ(list->idCompare, KL_MemCompare);
    KL_HLIST text = empty(8, 8, KL_LIST_STRING_ID | KL_LIST_STRING_DATA);
    EXPECT_EQ(text->idCompare, KL_StrNCompare);
    EXPECT_EQ(text->dataCompare, KL_StrNCompare);
    EXPECT_EQ(KL_ListVerifyType(list, text), 0x15061);
    // Orders, cursor moves and refusals of a working list are held against
    // a model in list_model_test.cpp; a null id is refused by each add.
    EXPECT_EQ(KL_ListAddTo(list, nullptr, nullptr), 0x15002);
    EXPECT_EQ(KL_ListAddBefore(list, nullptr, nullptr, nullptr, nullptr), 0x15004);
    EXPECT_EQ(KL_ListAddAfter(list, nullptr, nullptr, nullptr, nullptr), 0x15007);
    EXPECT_EQ(KL_ListAddLast(list, nullptr, nullptr), 0x1500A);
    EXPECT_EQ(KL_ListDestroy(&list), 0);
    EXPECT_EQ(list, nullptr);
    KL_ListDestroy(&text);
}

TEST(List, CreateFromText) {
    const struct {
        const char *text;
        uint16_t idKind, dataKind;
        uint32_t dataSize;
        int32_t rc;
        std::vector<std::pair<std::string, uint32_t>> cells; // newest first
    } cases[] = {
        {"a:1,b:2", 1, 2, 4, 0, {{"b", 2}, {"a", 1}}},
        {"a,b:2", 1, 2, 4, 0x15043, {}},
        {"x:0x1F", 1, 2, 4, 0, {{"x", 31}}},
        {"x:12ab,y:0XfF", 1, 2, 4, 0, {{"y", 255}, {"x", 12}}},
        {"a:1:2", 1, 2, 4, 0x15043, {}},
        {"a", 1, 2, 4, 0x15043, {}},
        {"", 1, 2, 4, 0, {}},
        {"a,b,c", 1, 1, 0, 0, {{"c", 0}, {"b", 0}, {"a", 0}}},
        {"a,b:c", 1, 1, 0, 0x15043, {}},
        {"a:1", 1, 3, 4, 0, {}}, // kind 3 adds nothing
        {"a:1,", 1, 2, 4, 0, {{"a", 1}}},
    };
    for (const auto &c : cases) {
        std::string text = c.text;
        KL_HLIST list = reinterpret_cast<KL_HLIST>(&text);
        const int32_t rc = KL_ListCreateFromStr(&list, c.idKind, 8, c.dataKind, c.dataSize,
                                                KL_LIST_STRING_ID, &text[0], ',', ':');
        EXPECT_EQ(rc, c.rc) << c.text;
        if (rc != 0) {
            EXPECT_EQ(list, nullptr) << c.text;
            continue;
        }
        std::vector<std::pair<std::string, uint32_t>> got;
        char id[8];
        uint32_t data = 0;
        for (int r = KL_ListGetFirst(list, id, &data); r == 0; r = KL_ListGetNext(list, id, &data))
            got.emplace_back(id, c.dataSize > 0 ? data : 0);
        EXPECT_EQ(got, c.cells) << c.text;
        KL_ListDestroy(&list);
    }
    std::string text = "12,0x10";
    KL_HLIST numbers = nullptr;
    ASSERT_EQ(KL_ListCreateFromStr(&numbers, 2, 4, 2, 0, 0, &text[0], ',', ':'), 0);
    EXPECT_EQ(ids(numbers), (std::vector<uint32_t>{16, 12}));
    EXPECT_EQ(std::memcmp(text.data(), "12\0", 3), 0) << "separators became NUL";
    KL_ListDestroy(&numbers);
}

} // namespace
