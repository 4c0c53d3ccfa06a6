// Reading calendars and taking out every event and to-do, exactly and
// tolerantly: the exact reader over the text as it is, and the tolerant
// reader that rewrites the whole text first and never ends a walk at an
// item. The generated workloads are clean, so the difference is what the
// tolerant front end costs when there is nothing to repair. Throughput is
// counted in bytes of input.
#include <cstdint>
#include <string>

#include <benchmark/benchmark.h>

#include "support/memory_source.h"
#include "versit_interop.h"
#include "versit_vcal.h"
#include "workload.h"

namespace {

using Take = int32_t (*)(void *reader, VCalendarNode *calendar, uint16_t type, int first,
                         PropertyParam *item);

int32_t takeExactly(void *, VCalendarNode *calendar, uint16_t type, int first,
                    PropertyParam *item) {
    return VI_takeItem(calendar, type, first, item, nullptr);
}

int32_t takeTolerantly(void *reader, VCalendarNode *calendar, uint16_t type, int first,
                       PropertyParam *item) {
    return VI_takeItemTolerantly(static_cast<VI_TolerantReader *>(reader), calendar, type, first,
                                 item, nullptr);
}

// Every item of every calendar of the tree; returns how many.
size_t takeAll(ParseTreeHandle *tree, Take take, void *reader) {
    size_t items = 0;
    VCalendarNode *calendar = nullptr;
    for (int32_t got = tree != nullptr ? vCal_GetFirstCalendar(tree, &calendar) : 1; got == 0;
         got = vCal_GetNextCalendar(tree, &calendar)) {
        for (uint16_t type : {VCAL_ITEM_EVENT, VCAL_ITEM_TODO}) {
            PropertyParam item{};
            for (int32_t rc = take(reader, calendar, type, 1, &item); rc == 0;
                 rc = take(reader, calendar, type, 0, &item)) {
                ++items;
                VI_releaseItem(&item);
            }
            VI_releaseItem(&item);
        }
    }
    return items;
}

size_t readExactly(const std::string &text) {
    ParseTreeHandle *tree = readTree(text.data(), text.size());
    const size_t items = takeAll(tree, takeExactly, nullptr);
    if (tree != nullptr) vCal_DestroyParseTree(&tree);
    return items;
}

size_t readTolerantly(const std::string &text) {
    VI_TolerantReader *reader = nullptr;
    if (VI_tolerantReaderCreate(&reader, text.data(), text.size(), nullptr, nullptr) != 0) return 0;
    ParseTreeHandle *tree = nullptr;
    VI_readCalendarsTolerantly(reader, &tree);
    const size_t items = takeAll(tree, takeTolerantly, reader);
    VI_tolerantReaderDestroy(&reader); // the tree goes with the reader
    return items;
}

void BM_ReadAndTake(benchmark::State &state, const char *name,
                    size_t (*read)(const std::string &)) {
    const std::string text = loadWorkload(state, name);
    if (text.empty()) return;
    size_t items = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(items = read(text));
    state.counters["items"] = static_cast<double>(items);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
}
BENCHMARK_CAPTURE(BM_ReadAndTake, strict_blocks, "vcal-5k.vcs", readExactly)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadAndTake, tolerant_blocks, "vcal-5k.vcs", readTolerantly)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadAndTake, strict_one_block, "vcal-5k-1block.vcs", readExactly)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadAndTake, tolerant_one_block, "vcal-5k-1block.vcs", readTolerantly)
    ->Unit(benchmark::kMillisecond);

} // namespace
