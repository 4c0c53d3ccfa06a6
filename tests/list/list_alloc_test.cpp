// Running out of memory at any allocation gives the operation's documented
// code, leaves the list as it was and leaks nothing.
#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "list/klist.h"
#include "support/alloc_hook.h"
#include "versit_list.h"

namespace {

struct Step {
    const char *what;
    std::function<int32_t(KL_HLIST)> call;
    std::set<int32_t> outOfMemory; // the codes this step may give
};

int32_t numeric(const void *a, const void *b, uint32_t) {
    const uint32_t x = *static_cast<const uint32_t *>(a);
    const uint32_t y = *static_cast<const uint32_t *>(b);
    return x < y ? -1 : x > y ? 1 : 0;
}

// Runs the steps on one list until one fails, then destroys everything.
void runSteps(uint32_t idSize, uint32_t dataSize, uint32_t flags, const std::vector<Step> &steps) {
    alloc_hook::sweep([&] {
        KL_HLIST list = nullptr;
        const int32_t rc = KL_ListCreate(&list, idSize, dataSize, flags, nullptr, nullptr);
        if (rc != 0) {
            EXPECT_EQ(rc, KL_LIST_E_CREATE_NO_MEMORY);
            EXPECT_EQ(list, nullptr);
            return;
        }
        for (const Step &s : steps) {
            const uint32_t before = list->count;
            const int32_t r = s.call(list);
            if (r == 0) continue;
            EXPECT_TRUE(s.outOfMemory.count(r) == 1) << s.what << " gave " << std::hex << r;
            if (std::string(s.what).rfind("add", 0) == 0) {
                EXPECT_EQ(list->count, before) << s.what;
            }
            break;
        }
        KL_ListDestroy(&list);
    });
}

TEST(ListAllocation, EveryFailureHasItsCodeAndLeaksNothing) {
    static const uint32_t ids[] = {5, 3, 9, 1, 7};
    std::vector<Step> fixed;
    for (const uint32_t &id : ids) {
        fixed.push_back({"add front",
                         [&id](KL_HLIST l) { return KL_ListAddTo(l, &id, &id); },
                         {KL_LIST_E_ADD_FRONT}});
        fixed.push_back({"add last",
                         [&id](KL_HLIST l) { return KL_ListAddLast(l, &id, &id); },
                         {KL_LIST_E_NO_MEMORY}});
        fixed.push_back({"add after",
                         [&id](KL_HLIST l) { return KL_ListAddAfter(l, &id, nullptr, &id, &id); },
                         {KL_LIST_E_NO_MEMORY}});
    }
    const std::set<int32_t> copyCodes{KL_LIST_E_CREATE_NO_MEMORY, KL_LIST_E_ALLOC_NO_MEMORY,
                                      KL_LIST_E_NO_MEMORY};
    fixed.push_back({"sort",
                     [](KL_HLIST l) { return KL_ListQuickSort(l, numeric, nullptr); },
                     {KL_LIST_E_CREATE_NO_MEMORY, KL_LIST_E_ALLOC_NO_MEMORY, KL_LIST_E_ADD_FRONT}});
    fixed.push_back({"copy",
                     [](KL_HLIST l) {
                         KL_HLIST copy = nullptr;
                         const int32_t rc = KL_ListCopy(&copy, l);
                         KL_ListDestroy(&copy);
                         return rc;
                     },
                     copyCodes});
    fixed.push_back(
        {"merge into itself", [](KL_HLIST l) { return KL_ListMerge(l, l); }, copyCodes});
    fixed.push_back({"set sorted",
                     [](KL_HLIST l) { return KL_ListSetFlag(l, KL_LIST_SORTED, 1); },
                     {KL_LIST_E_CREATE_NO_MEMORY, KL_LIST_E_ALLOC_NO_MEMORY, KL_LIST_E_ADD_FRONT}});
    fixed.push_back({"add sorted",
                     [](KL_HLIST l) { return KL_ListAddTo(l, &ids[2], &ids[0]); },
                     {KL_LIST_E_SORTED_INSERT, KL_LIST_E_NO_MEMORY}});
    runSteps(4, 4, 0, fixed);

    std::vector<Step> text;
    for (const char *id : {"alpha", "beta", "gamma"})
        text.push_back({"add front",
                        [id](KL_HLIST l) { return KL_ListAddTo(l, id, id); },
                        {KL_LIST_E_ADD_FRONT}});
    text.push_back({"change data",
                    [](KL_HLIST l) { return KL_ListChangeData(l, "beta", nullptr, "longer text"); },
                    {KL_LIST_E_NO_MEMORY}});
    text.push_back({"walk", [](KL_HLIST l) { return KL_ListGetFirst(l, nullptr, nullptr); }, {}});
    text.push_back({"update",
                    [](KL_HLIST l) { return KL_ListUpdateCurrent(l, "delta", "x"); },
                    {KL_LIST_E_NO_MEMORY}});
    text.push_back(
        {"unique", [](KL_HLIST l) { return KL_ListSetFlag(l, KL_LIST_UNIQUE, 1); }, copyCodes});
    runSteps(8, 16, KL_LIST_STRING_ID | KL_LIST_STRING_DATA, text);
}

// A unique list past the size where it keeps an id index: a failing index
// allocation costs nothing but speed.
TEST(ListAllocation, TheIdIndexIsOptional) {
    const int points = alloc_hook::sweep([] {
        KL_HLIST list = nullptr;
        if (KL_ListCreate(&list, 4, 0, KL_LIST_UNIQUE_SILENT, nullptr, nullptr) != 0) return;
        uint32_t added = 0;
        for (uint32_t i = 0; i < 80; ++i) {
            const int32_t rc = KL_ListAddTo(list, &i, nullptr);
            if (rc != 0) {
                EXPECT_EQ(rc, KL_LIST_E_ADD_FRONT);
                break;
            }
            EXPECT_EQ(KL_ListAddTo(list, &i, nullptr), 0);
            ++added;
        }
        EXPECT_EQ(list->count, added);
        KL_ListDestroy(&list);
    });
    EXPECT_GT(points, 81) << "the index's own allocations were exercised too";
}

TEST(ListAllocation, CreateFromTextAllOrNothing) {
    alloc_hook::sweep([] {
        char text[] = "a:1,b:2,c:3";
        KL_HLIST list = nullptr;
        const int32_t rc =
            KL_ListCreateFromStr(&list, 1, 8, 2, 4, KL_LIST_STRING_ID, text, ',', ':');
        if (rc != 0) {
            EXPECT_TRUE(rc == KL_LIST_E_CREATE_NO_MEMORY || rc == KL_LIST_E_ADD_FRONT) << rc;
            EXPECT_EQ(list, nullptr);
            return;
        }
        EXPECT_EQ(list->count, 3u);
        KL_ListDestroy(&list);
    });
}

} // namespace
