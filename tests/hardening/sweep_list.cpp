// The ordered list: creation, adding, walking, changing, deleting, sorting,
// merging and selection.
#include <cstring>

#include "sweep.h"
#include "versit_list.h"

namespace {

const uint32_t kOne = 1, kTwo = 2, kThree = 3, kNine = 9;

// Numbers 3, 2, 1 (ids and data alike); a text list a=1, b=2; a list of
// five numbers for the rows that delete.
struct Lists {
    KL_HLIST numbers = nullptr;
    KL_HLIST text = nullptr;
    KL_HLIST doomed = nullptr;
    // Outputs of the rows.
    uint32_t id = 0, data = 0;
    int32_t compared = -1;
    KL_HLIST made = nullptr;

    Lists() {
        EXPECT_EQ(KL_ListCreate(&numbers, 4, 4, 0, nullptr, nullptr), 0);
        EXPECT_EQ(KL_ListCreate(&doomed, 4, 4, 0, nullptr, nullptr), 0);
        EXPECT_EQ(
            KL_ListCreate(&text, 8, 8, KL_LIST_STRING_ID | KL_LIST_STRING_DATA, nullptr, nullptr),
            0);
        for (const uint32_t *n : {&kOne, &kTwo, &kThree}) {
            EXPECT_EQ(KL_ListAddTo(numbers, n, n), 0);
            EXPECT_EQ(KL_ListAddTo(doomed, n, n), 0);
        }
        EXPECT_EQ(KL_ListAddTo(doomed, &kNine, &kNine), 0);
        EXPECT_EQ(KL_ListAddTo(text, "b", "2"), 0);
        EXPECT_EQ(KL_ListAddTo(text, "a", "1"), 0);
    }
    ~Lists() {
        KL_ListDestroy(&numbers);
        KL_ListDestroy(&text);
        KL_ListDestroy(&doomed);
    }
    Lists(const Lists &) = delete;
    Lists &operator=(const Lists &) = delete;
};

using Row = sweep::Row<Lists>;
using sweep::is;
using sweep::kNever;
using sweep::kSome;

// Adds 9 by `add` and takes it out again.
void addAndRemove(KL_HLIST list, int32_t result, int32_t outOfMemory) {
    sweep::expect(result, 0, {outOfMemory});
    uint32_t count = 0;
    KL_ListGetElemNum(list, &count);
    EXPECT_EQ(count, result == 0 ? 4u : 3u) << "a failed add leaves the list as it was";
    if (result == 0) {
        EXPECT_EQ(KL_ListDeleteFrom(list, &kNine, nullptr), 0);
    }
}

// What the copy, selection and sorting functions give when memory runs out.
const std::initializer_list<int32_t> kCopyCodes = {KL_LIST_E_CREATE_NO_MEMORY,
                                                   KL_LIST_E_ALLOC_NO_MEMORY, KL_LIST_E_NO_MEMORY};
const std::initializer_list<int32_t> kSortCodes = {KL_LIST_E_CREATE_NO_MEMORY,
                                                   KL_LIST_E_ALLOC_NO_MEMORY, KL_LIST_E_ADD_FRONT};

// A list made from another, destroyed again.
void expectSelection(Lists &f, int32_t result) {
    sweep::expect(result, 0, kCopyCodes);
    if (f.made != nullptr) KL_ListDestroy(&f.made);
}

const Row kRows[] = {
    {"KL_ListCreate KL_ListDestroy", kSome,
     [](Lists &) {
         KL_HLIST l = nullptr;
         sweep::expect(KL_ListCreate(&l, 4, 4, 0, nullptr, nullptr), 0,
                       {KL_LIST_E_CREATE_NO_MEMORY});
         sweep::expectMade(l);
         if (l != nullptr) KL_ListDestroy(&l);
     }},
    {"KL_ListCreateFromStr", kSome,
     [](Lists &) {
         char text[] = "a:1,b:2";
         KL_HLIST l = nullptr;
         sweep::expect(KL_ListCreateFromStr(&l, 1, 8, 2, 4, 0, text, ',', ':'), 0,
                       {KL_LIST_E_CREATE_NO_MEMORY, KL_LIST_E_ADD_FRONT});
         sweep::expectMade(l);
         if (l != nullptr) KL_ListDestroy(&l);
     }},
    SOME("KL_ListAddTo",
         addAndRemove(f.numbers, KL_ListAddTo(f.numbers, &kNine, &kNine), KL_LIST_E_ADD_FRONT)),
    SOME("KL_ListAddAfter",
         addAndRemove(f.numbers, KL_ListAddAfter(f.numbers, &kTwo, nullptr, &kNine, &kNine),
                      KL_LIST_E_NO_MEMORY)),
    SOME("KL_ListAddBefore",
         addAndRemove(f.numbers, KL_ListAddBefore(f.numbers, &kTwo, nullptr, &kNine, &kNine),
                      KL_LIST_E_NO_MEMORY)),
    SOME("KL_ListAddLast",
         addAndRemove(f.numbers, KL_ListAddLast(f.numbers, &kNine, &kNine), KL_LIST_E_NO_MEMORY)),
    {"KL_ListAlloc KL_ListFree", kSome,
     [](Lists &f) {
         void *handle = nullptr;
         void *address = nullptr;
         sweep::expect(KL_ListAlloc(f.numbers, &handle, &address, 3), 0,
                       {KL_LIST_E_ALLOC_NO_MEMORY});
         KL_ListFree(handle);
     }},
    // Text data: a change makes a new cell (in a copy, which the run owns).
    {"KL_ListChangeData", kSome,
     [](Lists &f) {
         KL_HLIST l = nullptr;
         if (KL_ListCopy(&l, f.text) == 0) {
             sweep::expect(KL_ListChangeData(l, "a", nullptr, "1"), 0, {KL_LIST_E_NO_MEMORY});
         }
         if (l != nullptr) KL_ListDestroy(&l);
     }},
    {"KL_ListUpdateCurrent", kSome,
     [](Lists &f) {
         KL_HLIST l = nullptr;
         if (KL_ListCopy(&l, f.text) == 0 && KL_ListGetFirst(l, nullptr, nullptr) == 0) {
             sweep::expect(KL_ListUpdateCurrent(l, "c", "3"), 0, {KL_LIST_E_NO_MEMORY});
         }
         if (l != nullptr) KL_ListDestroy(&l);
     }},
    NEVER("KL_ListGetFirst KL_ListGetNext KL_ListGetPrev KL_ListGetLast KL_ListForceUpdateCurrent",
          KL_ListGetFirst(f.numbers, &f.id, &f.data); KL_ListGetNext(f.numbers, &f.id, nullptr);
          KL_ListGetLast(f.numbers, &f.id, nullptr); KL_ListGetPrev(f.numbers, &f.id, &f.data);
          is(KL_ListForceUpdateCurrent(f.numbers, &f.id, &f.data), 0)),
    NEVER("KL_ListGet", is(KL_ListGet(f.numbers, &kTwo, &f.data), 0)),
    NEVER("KL_ListAlwaysGet", is(KL_ListAlwaysGet(f.numbers, &kTwo, &f.data), 0)),
    NEVER("KL_ListFind KL_ListGetData KL_ListGetIdPtr", KL_HCELL previous = nullptr;
          KL_HCELL cell = nullptr; void *at = nullptr;
          is(KL_ListFind(f.numbers, &kTwo, nullptr, &previous, &cell), 0);
          KL_ListGetData(f.numbers, &f.id, nullptr, cell); is(KL_ListGetIdPtr(f.numbers, cell, &at), 0)),
    NEVER("KL_ListCopyId KL_ListCopyData KL_ListZeroId", KL_ListCopyId(f.numbers, &f.id, &kTwo);
          KL_ListCopyData(f.numbers, &f.id, &kTwo); is(KL_ListZeroId(f.numbers, &f.id), 0)),
    NEVER("KL_ListCmpId", is(KL_ListCmpId(f.numbers, &kTwo, &kTwo, &f.compared), 0)),
    IS(KL_ListCmpCell, (f.numbers, &kTwo, &kTwo, &kTwo, &kTwo, &f.compared), 0),
    NEVER("KL_ListFlagDetect", is(KL_ListFlagDetect(f.text, KL_LIST_STRING_ID, &f.compared), 1)),
    NEVER("KL_ListGetValue KL_ListGetElemNum KL_ListGetDataSize KL_ListGetFlags KL_ListGetIdSize",
          KL_ListGetValue(f.numbers, &f.id, KL_LIST_VALUE_COUNT); KL_ListGetElemNum(f.numbers, &f.id);
          KL_ListGetDataSize(f.numbers, &f.id); KL_ListGetFlags(f.numbers, &f.id);
          is(KL_ListGetIdSize(f.numbers, &f.id), 0)),
    NEVER("KL_ListGetElemDataSize", is(KL_ListGetElemDataSize(f.text, &f.data, "ab"), 0)),
    NEVER("KL_ListGetElemIdSize", is(KL_ListGetElemIdSize(f.text, &f.id, "ab"), 0)),
    NEVER("KL_ListVerifyType", is(KL_ListVerifyType(f.numbers, f.doomed), 0)),
    NEVER("KL_ListAlwaysTrueFct", is(KL_ListAlwaysTrueFct(f.numbers, &kOne, nullptr, nullptr), 1)),
    IS(KL_ListIdCmpFct, (f.numbers, &kOne, nullptr, const_cast<uint32_t *>(&kOne)), 1),
    NEVER("KL_ListSetFlag", KL_ListSetFlag(f.numbers, KL_LIST_MOVE_TO_FRONT, 1);
          is(KL_ListSetFlag(f.numbers, KL_LIST_MOVE_TO_FRONT, 0), 0)),
    NEVER("KL_ListChangeCmpFct", is(KL_ListChangeCmpFct(f.numbers, nullptr, nullptr), 0)),
    SOME("KL_ListQuickSort",
         sweep::expect(KL_ListQuickSort(f.numbers, nullptr, nullptr), 0, kSortCodes)),
    SOME("KL_ListCopy", expectSelection(f, KL_ListCopy(&f.made, f.numbers))),
    SOME("KL_ListGetSelection",
         expectSelection(f, KL_ListGetSelection(&f.made, f.text, KL_ListAlwaysTrueFct, nullptr))),
    SOME("KL_ListGetIdSelection",
         expectSelection(f, KL_ListGetIdSelection(&f.made, f.numbers, &kTwo))),
    {"KL_ListMerge KL_ListMergeSelect", kSome,
     [](Lists &f) {
         KL_HLIST into = nullptr;
         if (KL_ListCreate(&into, 4, 4, 0, nullptr, nullptr) != 0) return;
         sweep::expect(KL_ListMerge(into, f.numbers), 0,
                       {KL_LIST_E_ALLOC_NO_MEMORY, KL_LIST_E_NO_MEMORY});
         if (!alloc_hook::failed())
             sweep::expect(KL_ListMergeSelect(into, f.numbers, KL_ListIdCmpFct,
                                              const_cast<uint32_t *>(&kOne)),
                           0, {KL_LIST_E_ALLOC_NO_MEMORY, KL_LIST_E_NO_MEMORY});
         KL_ListDestroy(&into);
     }},
    // On a copy: setting KL_LIST_SORTED sorts, a sorted list inserts in
    // place, KL_LIST_UNIQUE looks at every id, and a list merges into itself.
    {"KL_ListSetFlag KL_ListAddTo KL_ListMerge", kSome,
     [](Lists &f) {
         if (KL_ListCopy(&f.made, f.numbers) == 0) {
             sweep::expect(KL_ListSetFlag(f.made, KL_LIST_UNIQUE, 1), 0, kCopyCodes);
             if (!alloc_hook::failed())
                 sweep::expect(KL_ListSetFlag(f.made, KL_LIST_SORTED, 1), 0, kSortCodes);
             if (!alloc_hook::failed())
                 sweep::expect(KL_ListAddTo(f.made, &kNine, &kNine), 0,
                               {KL_LIST_E_SORTED_INSERT, KL_LIST_E_NO_MEMORY});
             KL_ListSetFlag(f.made, KL_LIST_UNIQUE, 0);
             if (!alloc_hook::failed())
                 sweep::expect(KL_ListMerge(f.made, f.made), 0,
                               {KL_LIST_E_ALLOC_NO_MEMORY, KL_LIST_E_NO_MEMORY,
                                KL_LIST_E_SORTED_INSERT});
         }
         if (f.made != nullptr) KL_ListDestroy(&f.made);
     }},
    // Past some size a unique list keeps an id index: a failing index
    // allocation costs nothing but speed.
    {"KL_ListAddTo", kSome,
     [](Lists &) {
         KL_HLIST l = nullptr;
         if (KL_ListCreate(&l, 4, 0, KL_LIST_UNIQUE_SILENT, nullptr, nullptr) != 0) return;
         uint32_t added = 0, count = 0;
         for (int32_t rc = 0; rc == 0 && added < 80; ++added) {
             rc = KL_ListAddTo(l, &added, nullptr);
             if (rc != 0) {
                 EXPECT_EQ(rc, KL_LIST_E_ADD_FRONT);
                 break;
             }
             EXPECT_EQ(KL_ListAddTo(l, &added, nullptr), 0);
         }
         KL_ListGetElemNum(l, &count);
         EXPECT_EQ(count, added);
         KL_ListDestroy(&l);
     }},
    // Deleting, last: these rows use up the list they work on.
    NEVER("KL_ListDeleteFrom", is(KL_ListDeleteFrom(f.doomed, &kNine, nullptr), 0)),
    NEVER("KL_ListDeleteCurrent", KL_ListGetFirst(f.doomed, nullptr, nullptr);
          is(KL_ListDeleteCurrent(f.doomed), 0)),
    NEVER("KL_ListDeleteAll", is(KL_ListDeleteAll(f.doomed), 0)),
};

const bool registered = sweep::claims(kRows);

TEST(AllocationSweep, Lists) {
    ASSERT_TRUE(registered);
    Lists fixture;
    sweep::run(fixture, kRows);
}

} // namespace
