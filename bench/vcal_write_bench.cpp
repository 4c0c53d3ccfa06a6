// Writing vCalendar: the 6,000 items of the generated workload (5,000
// events, 1,000 to-dos), read, taken out and put in the writer's form once
// (as versit vcal rewrite does), are added to a new tree
// and written through a byte sink, one call per byte, as a client does.
// Throughput is counted in bytes of output. BM_VcalWrite times the
// writing alone, BM_VcalAddAndWrite the adding, writing and destruction.
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "support/memory_source.h"
#include "versit_interop.h"
#include "versit_vcal.h"
#include "workload.h"

namespace {

// A client's sink: a buffer large enough for any output of the workload.
struct Sink {
    std::vector<uint8_t> bytes;
    size_t size = 0;
};

int32_t putByte(void *stream, uint8_t byte) {
    auto *s = static_cast<Sink *>(stream);
    if (s->size == s->bytes.size()) return 1;
    s->bytes[s->size++] = byte;
    return 0;
}

struct Item {
    PropertyParam record;
    uint16_t type;
};

// Every item of the workload, as the client takes them out.
std::vector<Item> takeItems(const std::string &text) {
    ParseTreeHandle *tree = readTree(text.data(), text.size());
    std::vector<Item> items;
    VCalendarNode *calendar = nullptr;
    for (int32_t rc = tree != nullptr ? vCal_GetFirstCalendar(tree, &calendar) : 1; rc == 0;
         rc = vCal_GetNextCalendar(tree, &calendar)) {
        for (uint16_t type : {VCAL_ITEM_EVENT, VCAL_ITEM_TODO}) {
            // Each record taken moves into the vector, which owns it from then on.
            Item item{{}, type};
            const PropertyNode *lines = nullptr;
            for (int32_t got = VI_takeItem(calendar, type, 1, &item.record, &lines); got == 0;
                 got = VI_takeItem(calendar, type, 0, &item.record, &lines)) {
                VI_itemToWriterForm(&item.record, type, lines);
                items.push_back(item);
            }
        }
    }
    if (tree != nullptr) vCal_DestroyParseTree(&tree);
    return items;
}

void release(std::vector<Item> &items) {
    for (Item &item : items)
        VI_releaseItem(&item.record);
}

ParseTreeHandle *build(const std::vector<Item> &items) {
    ParseTreeHandle *tree = nullptr;
    for (const Item &item : items)
        vCal_AddxItemInfoToPTree(&tree, &item.record, item.type, 0);
    return tree;
}

size_t write(ParseTreeHandle *tree, Sink &sink) {
    sink.size = 0;
    return vCal_ParseTreeToStreamPut(tree, &sink, putByte, "1.0", nullptr) == 0 ? sink.size : 0;
}

void BM_VcalWrite(benchmark::State &state) {
    const std::string text = loadWorkload(state, "vcal-5k.vcs");
    if (text.empty()) return;
    std::vector<Item> items = takeItems(text);
    ParseTreeHandle *tree = build(items);
    if (tree == nullptr) {
        state.SkipWithError("no tree was made");
        return;
    }
    Sink sink;
    sink.bytes.resize(text.size() * 2);
    size_t bytes = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(bytes = write(tree, sink));
    vCal_DestroyParseTree(&tree);
    release(items);
    state.counters["items"] = static_cast<double>(items.size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}
BENCHMARK(BM_VcalWrite)->Unit(benchmark::kMillisecond);

void BM_VcalAddAndWrite(benchmark::State &state) {
    const std::string text = loadWorkload(state, "vcal-5k.vcs");
    if (text.empty()) return;
    std::vector<Item> items = takeItems(text);
    Sink sink;
    sink.bytes.resize(text.size() * 2);
    size_t bytes = 0;
    for (auto _ : state) {
        ParseTreeHandle *tree = build(items);
        benchmark::DoNotOptimize(bytes = write(tree, sink));
        vCal_DestroyParseTree(&tree);
    }
    release(items);
    state.counters["items"] = static_cast<double>(items.size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}
BENCHMARK(BM_VcalAddAndWrite)->Unit(benchmark::kMillisecond);

} // namespace
