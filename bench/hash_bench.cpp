// Name lookups through the string hash table, as the vCard token registry
// does them: 173 buckets, case-folded hash, case-insensitive compare.
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "platform/calapi.h"
#include "versit_core.h"

namespace {

int32_t caseCompare(const char *a, const char *b) { return calapi::strcasecmp(a, b); }

void BM_FindKey(benchmark::State &state) {
    vHashTable *table = VLIB_newHashTable(173, VLIB_symbolCaseHash, caseCompare, nullptr);
    std::vector<std::string> keys;
    for (int i = 0; i < state.range(0); ++i) {
        keys.push_back("X-NAME-" + std::to_string(i));
        VLIB_insert(table, keys.back().c_str(), &i, sizeof i);
    }
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(VLIB_findKey(table, keys[i].c_str()));
        if (++i == keys.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
    VLIB_destroyHashTable(table);
}
BENCHMARK(BM_FindKey)->Arg(102)->Arg(1000);

} // namespace
