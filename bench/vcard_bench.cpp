// The vCard interface over realistic cards: importing card by card (parse,
// verification and default TYPE parameters together), how the cost grows
// with the text, the heap an import run holds at its peak, and export.
#include <malloc.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "versit_interop.h"
#include "versit_vcard.h"
#include "workload.h"

namespace {

struct Context {
    VCardContext *c = nullptr;
    Context() { VCARD_createContext(&c); }
    Context(const Context &) = delete;
    Context &operator=(const Context &) = delete;
    ~Context() { VCARD_destroyContext(&c); }
};

// Imports every card of the first `length` bytes of `text` one call at a
// time, as a client does: each call starts where the last one stopped.
// `use` gets each card and destroys it (or keeps it).
template <class Use>
size_t importCards(VCardContext *context, const char *text, int32_t length, Use use) {
    VI_CardReader reader;
    VI_cardReaderStart(&reader, context, text, length);
    size_t cards = 0;
    vComponent *card = nullptr;
    for (int32_t result = VI_readCard(&reader, &card); result != VCARD_ERR_NO_CARD;
         result = VI_readCard(&reader, &card)) {
        if (card != nullptr) {
            ++cards;
            use(card);
        }
    }
    return cards;
}

void destroy(vComponent *card) { VLIB_destroy_vComponent(&card); }

void BM_ImportCards(benchmark::State &state) {
    const std::string text = loadWorkload(state, "vcards-10k.vcf");
    if (text.empty()) return;
    Context context;
    size_t cards = 0;
    for (auto _ : state)
        cards = importCards(context.c, text.c_str(), static_cast<int32_t>(text.size()), destroy);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.counters["cards"] = static_cast<double>(cards);
}
BENCHMARK(BM_ImportCards)->Unit(benchmark::kMillisecond);

// The first 1/8, 1/4, 1/2 and all of the cards: the time per byte must
// stay the same (the rest pointer moves on; nothing reads the text twice).
void BM_ImportGrowth(benchmark::State &state) {
    const std::string text = loadWorkload(state, "vcards-10k.vcf");
    if (text.empty()) return;
    Context context;
    // Where the first n cards end, found by importing them.
    const auto wanted = static_cast<size_t>(state.range(0));
    VI_CardReader reader;
    VI_cardReaderStart(&reader, context.c, text.c_str(), static_cast<int32_t>(text.size()));
    vComponent *card = nullptr;
    for (size_t n = 0; n < wanted && VI_readCard(&reader, &card) != VCARD_ERR_NO_CARD; ++n)
        destroy(card);
    const std::string prefix = text.substr(0, text.size() - static_cast<size_t>(reader.remaining));
    for (auto _ : state)
        importCards(context.c, prefix.c_str(), static_cast<int32_t>(prefix.size()), destroy);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * prefix.size()));
    state.SetComplexityN(static_cast<int64_t>(prefix.size()));
}
BENCHMARK(BM_ImportGrowth)
    ->RangeMultiplier(2)
    ->Range(1250, 10000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// The heap in use at its highest during a card-by-card import of the whole
// file, the text itself included, per byte of the file. Sampled after each
// import, while the card is alive (the parser's line buffer, already
// released then, is one line long).
void BM_ImportPeakMemory(benchmark::State &state) {
    const std::string loaded = loadWorkload(state, "vcards-10k.vcf");
    if (loaded.empty()) return;
    double ratio = 0;
    for (auto _ : state) {
        const size_t before = mallinfo2().uordblks;
        {
            const std::string text(loaded); // exactly the file's size
            Context context;
            size_t peak = 0;
            importCards(context.c, text.c_str(), static_cast<int32_t>(text.size()),
                        [&](vComponent *card) {
                            const size_t now = mallinfo2().uordblks - before;
                            if (now > peak) peak = now;
                            destroy(card);
                        });
            ratio = static_cast<double>(peak) / static_cast<double>(text.size());
        }
    }
    state.counters["peak_per_file_byte"] = ratio;
}
BENCHMARK(BM_ImportPeakMemory)->Unit(benchmark::kMillisecond)->Iterations(3);

// Every card exported into a buffer of its own, as a client asks for one
// card's text; the cards were imported (and so completed) beforehand.
void BM_ExportCards(benchmark::State &state) {
    const std::string text = loadWorkload(state, "vcards-10k.vcf");
    if (text.empty()) return;
    Context context;
    std::vector<vComponent *> cards;
    importCards(context.c, text.c_str(), static_cast<int32_t>(text.size()),
                [&](vComponent *card) { cards.push_back(card); });
    size_t bytes = 0;
    for (vComponent *card : cards)
        bytes += static_cast<size_t>(VLIB_length_vComponent(card, 12));
    for (auto _ : state) {
        for (vComponent *card : cards) {
            char *out = nullptr;
            VCARD_exportObjectToBuffer(context.c, card, &out);
            benchmark::DoNotOptimize(out);
            std::free(out);
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    for (vComponent *card : cards)
        destroy(card);
}
BENCHMARK(BM_ExportCards)->Unit(benchmark::kMillisecond);

} // namespace
