// Reading a vCalendar stream and taking out every event and to-do as the
// client does: each converted into a PropertyParam, its rules expanded and
// its occurrence time list made, then everything released. The generated
// workload holds 5,000 events (a third of them recurring) and 1,000
// to-dos; throughput is counted in bytes of input.
#include <cstdint>
#include <cstdlib>
#include <string>

#include <benchmark/benchmark.h>

#include "support/memory_source.h"
#include "versit_interop.h"
#include "versit_vcal.h"
#include "workload.h"

namespace {

// Every item of one kind of the calendar; returns the number of
// occurrences listed.
size_t takeItems(VCalendarNode *calendar, uint16_t type) {
    size_t occurrences = 0;
    PropertyParam item{};
    for (int32_t rc = VI_takeItem(calendar, type, 1, &item, nullptr); rc == 0;
         rc = VI_takeItem(calendar, type, 0, &item, nullptr)) {
        TimePlaceRecurList times{};
        uint8_t recurs = 0;
        if (vCal_GetRecurDateList(&item, &recurs, &times) == 0 && recurs != 0) {
            uint32_t n = 0;
            KL_ListGetElemNum(times.timeList, &n);
            occurrences += n;
            KL_ListDestroy(&times.timeList);
        }
        VI_releaseItem(&item);
    }
    VI_releaseItem(&item);
    return occurrences;
}

size_t readAndTake(const std::string &text) {
    ParseTreeHandle *tree = readTree(text.data(), text.size());
    size_t occurrences = 0;
    VCalendarNode *calendar = nullptr;
    for (int32_t rc = tree != nullptr ? vCal_GetFirstCalendar(tree, &calendar) : 1; rc == 0;
         rc = vCal_GetNextCalendar(tree, &calendar)) {
        occurrences += takeItems(calendar, VCAL_ITEM_EVENT) + takeItems(calendar, VCAL_ITEM_TODO);
    }
    if (tree != nullptr) vCal_DestroyParseTree(&tree);
    return occurrences;
}

void BM_VcalItemsWorkload(benchmark::State &state, const char *name) {
    const std::string text = loadWorkload(state, name);
    if (text.empty()) return;
    size_t occurrences = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(occurrences = readAndTake(text));
    state.counters["occurrences"] = static_cast<double>(occurrences);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
}
BENCHMARK_CAPTURE(BM_VcalItemsWorkload, blocks, "vcal-5k.vcs")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_VcalItemsWorkload, one_block, "vcal-5k-1block.vcs")
    ->Unit(benchmark::kMillisecond);

} // namespace
