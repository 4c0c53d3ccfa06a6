// Filling a unique list, as the address-book import does with the id of
// every new entry: 10-byte ids, no data, KL_LIST_UNIQUE_SILENT, each added
// at the front. The time per id must not grow with the list.
#include <cstdint>
#include <cstring>

#include <benchmark/benchmark.h>

#include "versit_list.h"

namespace {

struct EntryId {
    unsigned char bytes[10];
};

EntryId entryId(uint32_t n) {
    EntryId id{};
    std::memcpy(id.bytes, "AB", 2);
    std::memcpy(id.bytes + 2, &n, sizeof n);
    std::memcpy(id.bytes + 6, &n, sizeof n);
    return id;
}

int32_t sameBytes(const void *a, const void *b, uint32_t n) { return std::memcmp(a, b, n); }

void fill(benchmark::State &state, KL_ListCmpFct compare) {
    const auto n = static_cast<uint32_t>(state.range(0));
    for (auto _ : state) {
        KL_HLIST list = nullptr;
        KL_ListCreate(&list, sizeof(EntryId), 0, KL_LIST_UNIQUE_SILENT, compare, nullptr);
        for (uint32_t i = 0; i < n; ++i) {
            const EntryId id = entryId(i);
            KL_ListAddTo(list, &id, nullptr);
        }
        // Every id once more: all are found present and nothing is added.
        for (uint32_t i = 0; i < n; i += 10) {
            const EntryId id = entryId(i);
            KL_ListAddTo(list, &id, nullptr);
        }
        KL_ListDestroy(&list);
    }
    state.SetItemsProcessed(state.iterations() * (n + n / 10));
    state.SetComplexityN(state.range(0));
}

// The default compare: the list keeps an id index.
void BM_UniqueSilentAdd(benchmark::State &state) { fill(state, nullptr); }
BENCHMARK(BM_UniqueSilentAdd)
    ->RangeMultiplier(4)
    ->Range(1 << 10, 1 << 18)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// A caller's own compare cannot be indexed: every add walks the list.
void BM_UniqueSilentAddOwnCompare(benchmark::State &state) { fill(state, sameBytes); }
BENCHMARK(BM_UniqueSilentAddOwnCompare)
    ->RangeMultiplier(2)
    ->Range(1 << 10, 1 << 13)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oNSquared);

// A walk over every cell, yields included.
void BM_Walk(benchmark::State &state) {
    KL_HLIST list = nullptr;
    KL_ListCreate(&list, 4, 4, KL_LIST_FLAG_08, nullptr, nullptr);
    for (uint32_t i = 0; i < static_cast<uint32_t>(state.range(0)); ++i)
        KL_ListAddLast(list, &i, &i);
    uint32_t id = 0, data = 0;
    for (auto _ : state)
        for (int rc = KL_ListGetFirst(list, &id, &data); rc == 0;
             rc = KL_ListGetNext(list, &id, &data))
            benchmark::DoNotOptimize(data);
    state.SetItemsProcessed(state.iterations() * state.range(0));
    KL_ListDestroy(&list);
}
BENCHMARK(BM_Walk)->Arg(1000)->Arg(100000);

} // namespace
