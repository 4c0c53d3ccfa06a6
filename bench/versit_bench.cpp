// Parser and generator throughput over realistic cards, memory of a parsed
// tree, and the growth of cost with line length, property count and depth.
#include <malloc.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "versit_core.h"
#include "workload.h"

namespace {

// Every card of the text, parsed one call at a time as the vCard import
// does (flags 8). Each is handed to `use` and then destroyed by it.
template <class Use> size_t parseCards(const std::string &text, int32_t flags, Use use) {
    const char *at = text.c_str();
    auto remaining = static_cast<int32_t>(text.size());
    size_t cards = 0;
    while (at != nullptr && remaining > 0) {
        vComponent *card = nullptr;
        char *rest = nullptr;
        VLIB_buildComponentFromBuffer(&card, at, flags, &remaining, &rest);
        if (card != nullptr) {
            ++cards;
            use(card);
        }
        at = rest;
    }
    return cards;
}

void BM_ParseCards(benchmark::State &state) {
    const std::string text = loadWorkload(state, "vcards-10k.vcf");
    if (text.empty()) return;
    size_t cards = 0;
    for (auto _ : state)
        cards = parseCards(text, 8, [](vComponent *c) { VLIB_destroy_vComponent(&c); });
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.counters["cards"] = static_cast<double>(cards);
}
BENCHMARK(BM_ParseCards)->Unit(benchmark::kMillisecond);

// Heap held by all the cards of the file at once, per byte of text (the
// allocator's own overhead included).
void BM_TreeMemory(benchmark::State &state) {
    const std::string text = loadWorkload(state, "vcards-10k.vcf");
    if (text.empty()) return;
    double ratio = 0;
    for (auto _ : state) {
        std::vector<vComponent *> cards;
        cards.reserve(10000);
        const size_t before = mallinfo2().uordblks;
        parseCards(text, 8, [&](vComponent *c) { cards.push_back(c); });
        const size_t after = mallinfo2().uordblks;
        ratio = static_cast<double>(after - before - cards.capacity() * sizeof(vComponent *)) /
                static_cast<double>(text.size());
        for (vComponent *c : cards)
            VLIB_destroy_vComponent(&c);
    }
    state.counters["heap_per_text_byte"] = ratio;
}
BENCHMARK(BM_TreeMemory)->Unit(benchmark::kMillisecond)->Iterations(3);

std::vector<vComponent *> parsedCards(const std::string &text) {
    std::vector<vComponent *> cards;
    parseCards(text, 8, [&](vComponent *c) { cards.push_back(c); });
    return cards;
}

// Writing every card into a buffer, with the vCard export's flags 12:
// counting the length first and printing, as the export does.
void BM_GenerateCards(benchmark::State &state) {
    const std::string text = loadWorkload(state, "vcards-10k.vcf");
    if (text.empty()) return;
    std::vector<vComponent *> cards = parsedCards(text);
    std::vector<char> buffer(1 << 20);
    size_t bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        for (vComponent *c : cards) {
            const int32_t length = VLIB_length_vComponent(c, 12);
            if (static_cast<size_t>(length) >= buffer.size()) buffer.resize(length + 1);
            VLIB_sprint_vComponent(buffer.data(), c, 12);
            bytes += static_cast<size_t>(length);
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    for (vComponent *c : cards)
        VLIB_destroy_vComponent(&c);
}
BENCHMARK(BM_GenerateCards)->Unit(benchmark::kMillisecond);

// Printing only, the length being known.
void BM_PrintCards(benchmark::State &state) {
    const std::string text = loadWorkload(state, "vcards-10k.vcf");
    if (text.empty()) return;
    std::vector<vComponent *> cards = parsedCards(text);
    size_t bytes = 0;
    for (vComponent *c : cards)
        bytes += static_cast<size_t>(VLIB_length_vComponent(c, 12));
    std::vector<char> buffer(bytes + 1);
    for (auto _ : state) {
        char *at = buffer.data();
        for (vComponent *c : cards) {
            VLIB_sprint_vComponent(at, c, 12);
            at += std::char_traits<char>::length(at);
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    for (vComponent *c : cards)
        VLIB_destroy_vComponent(&c);
}
BENCHMARK(BM_PrintCards)->Unit(benchmark::kMillisecond);

int32_t discard(void *, const char *, int32_t) { return 0; }

void BM_CallbackCards(benchmark::State &state) {
    const std::string text = loadWorkload(state, "vcards-10k.vcf");
    if (text.empty()) return;
    std::vector<vComponent *> cards = parsedCards(text);
    size_t bytes = 0;
    for (vComponent *c : cards)
        bytes += static_cast<size_t>(VLIB_length_vComponent(c, 12));
    for (auto _ : state) {
        for (vComponent *c : cards)
            VLIB_cprint_vComponent(discard, nullptr, c, 12);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    for (vComponent *c : cards)
        VLIB_destroy_vComponent(&c);
}
BENCHMARK(BM_CallbackCards)->Unit(benchmark::kMillisecond);

// One value of N bytes on one physical line, and folded as a writer
// would fold it: the cost must grow linearly.
void BM_ParseLongLine(benchmark::State &state) {
    const auto n = static_cast<size_t>(state.range(0));
    std::string text = "BEGIN:X\r\nNOTE:" + std::string(n, 'x') + "\r\nEND:X\r\n";
    for (auto _ : state) {
        vComponent *c = nullptr;
        auto remaining = static_cast<int32_t>(text.size());
        VLIB_buildComponentFromBuffer(&c, text.c_str(), 0, &remaining, nullptr);
        VLIB_destroy_vComponent(&c);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ParseLongLine)
    ->RangeMultiplier(2)
    ->Range(1 << 18, 1 << 22)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

void BM_ParseLongFoldedQuotedPrintable(benchmark::State &state) {
    const auto n = static_cast<size_t>(state.range(0));
    char *encoded = nullptr;
    int32_t column = 31;
    const std::string raw(n, '\xe9');
    VLIB_convertToQuotedPrintable(raw.c_str(), &encoded, &column);
    std::string text =
        "BEGIN:X\r\nNOTE;ENCODING=QUOTED-PRINTABLE:" + std::string(encoded) + "\r\nEND:X\r\n";
    std::free(encoded);
    for (auto _ : state) {
        vComponent *c = nullptr;
        auto remaining = static_cast<int32_t>(text.size());
        VLIB_buildComponentFromBuffer(&c, text.c_str(), 0, &remaining, nullptr);
        VLIB_destroy_vComponent(&c);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ParseLongFoldedQuotedPrintable)
    ->RangeMultiplier(2)
    ->Range(1 << 18, 1 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

std::string manyProperties(int64_t n) {
    std::string text = "BEGIN:X\r\n";
    for (int64_t i = 0; i < n; ++i)
        text += "TEL;HOME:" + std::to_string(i) + "\r\n";
    return text + "END:X\r\n";
}

void BM_ParseManyProperties(benchmark::State &state) {
    const std::string text = manyProperties(state.range(0));
    for (auto _ : state) {
        vComponent *c = nullptr;
        auto remaining = static_cast<int32_t>(text.size());
        VLIB_buildComponentFromBuffer(&c, text.c_str(), 0, &remaining, nullptr);
        VLIB_destroy_vComponent(&c);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ParseManyProperties)
    ->RangeMultiplier(2)
    ->Range(25000, 200000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

void BM_GenerateManyProperties(benchmark::State &state) {
    const std::string text = manyProperties(state.range(0));
    vComponent *c = nullptr;
    auto remaining = static_cast<int32_t>(text.size());
    VLIB_buildComponentFromBuffer(&c, text.c_str(), 0, &remaining, nullptr);
    std::vector<char> buffer(text.size() * 2);
    for (auto _ : state)
        VLIB_sprint_vComponent(buffer.data(), c, 0);
    VLIB_destroy_vComponent(&c);
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_GenerateManyProperties)
    ->RangeMultiplier(2)
    ->Range(25000, 200000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

void BM_GenerateLongValue(benchmark::State &state) {
    const auto n = static_cast<size_t>(state.range(0));
    const std::string data(n, 'v');
    vValue *v = VLIB_new_vValue(0x100, data.c_str(), -1, nullptr);
    vProperty *p = VLIB_new_vProperty(0x200, "NOTE", v, nullptr, nullptr);
    vComponent *c = VLIB_new_vComponent(0x400, "X", p, nullptr, nullptr);
    std::vector<char> buffer(static_cast<size_t>(VLIB_length_vComponent(c, 0)) + 1);
    for (auto _ : state)
        VLIB_sprint_vComponent(buffer.data(), c, 0);
    VLIB_destroy_vComponent(&c);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * buffer.size()));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_GenerateLongValue)
    ->RangeMultiplier(2)
    ->Range(1 << 18, 1 << 22)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// BEGIN inside BEGIN, this deep: passed over past the nesting limit.
void BM_ParseDeepNesting(benchmark::State &state) {
    std::string text;
    for (int64_t i = 0; i < state.range(0); ++i)
        text += "BEGIN:C\r\n";
    for (int64_t i = 0; i < state.range(0); ++i)
        text += "END:C\r\n";
    for (auto _ : state) {
        vComponent *c = nullptr;
        auto remaining = static_cast<int32_t>(text.size());
        VLIB_buildComponentFromBuffer(&c, text.c_str(), 0, &remaining, nullptr);
        VLIB_destroy_vComponent(&c);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ParseDeepNesting)
    ->RangeMultiplier(4)
    ->Range(25000, 400000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

} // namespace
