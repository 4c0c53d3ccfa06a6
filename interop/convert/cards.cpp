// Cards from one vCard version to another, or to jCard: each card read
// into the model, written in the target's format and handed over before
// the next is read, so memory holds one card at a time.
#include "interop/api/reader.h"
#include "interop/convert/card.h"
#include "interop/convert/contentLine.h"
#include "versit/vMemory.h"
#include "versit/vRecords.h"
#include "versit_interop.h"

namespace interop::convert {

namespace {

// Hands one written card over; 0 or the put's failure.
int32_t emit(Job &job, const vcal::TextBuffer &out) {
    const std::string_view text(out.text == nullptr ? "" : out.text, out.length);
    const bool json = job.to == VI_FORMAT_JCARD;
    if ((json && !job.out.beginItem()) || !job.out.put(text) || (json && !job.out.endItem()))
        return job.putFailure();
    ++job.counts.written;
    if (job.report.lossy()) ++job.counts.lossy;
    return 0;
}

class Context {
  public:
    ~Context() {
        if (context_ != nullptr) VCARD_destroyContext(&context_);
    }
    bool create() {
        if (VCARD_createContext(&context_) != 0) return false;
        // The cards are converted as written: no TYPE the text lacks.
        context_->flags |= VCARD_NO_DEFAULT_TYPES;
        return true;
    }
    VCardContext *get() { return context_; }

  private:
    VCardContext *context_ = nullptr;
};

class Reader {
  public:
    ~Reader() { VI_tolerantReaderDestroy(&reader_); }
    VI_TolerantReader *reader_ = nullptr;
};

int32_t convert21(Job &job) {
    Context context;
    if (!context.create()) return VLIB_ERR_NO_MEMORY;
    Reader reader;
    if (VI_tolerantReaderCreate(&reader.reader_, job.text, job.length, Reporter::forward,
                                &job.report) != 0)
        return VLIB_ERR_NO_MEMORY;
    // The lines of the text the reader reads (UTF-8 where the text was UTF-16).
    RecordLines lines(reader.reader_->text, reader.reader_->length);
    ResolvingLines resolving(job.report, DeferredLines::resolve,
                             static_cast<DeferredLines *>(&lines));
    Card card;
    vcal::TextBuffer out;
    // Each card's records live only until it is written: they are taken
    // from one arena and dropped together.
    vmem::Arena arena;
    for (;;) {
        job.report.startItem();
        bool converted = false;
        {
            const vmem::ArenaScope scope(&arena);
            vComponent *record = nullptr;
            CardPlace place;
            const int32_t result =
                readCard(*reader.reader_, context.get(), &record, &place, vcard::Verify::Values);
            if (result == VLIB_ERR_NO_MEMORY) return VLIB_ERR_NO_MEMORY;
            if (result != 0) break;
            ++job.counts.read;
            card.clear();
            out.length = 0;
            CardConversion c{VI_FORMAT_VCARD21, job.to, job.report};
            lines.card(place.line, place.at);
            converted = cardFromRecord(record, lines, place.line, card, c);
            // The model holds copies of what it takes: the records go
            // before the card is written, not to be held with its text (a
            // photo's bytes would be). What of the card malloc gave, not
            // the arena, is freed here.
            vrec::releaseOutside(record, arena);
            record = nullptr;
            converted = converted && writeCard(card, c, out) && !lines.outOfMemory();
            arena.reset();
        }
        if (!converted) return VLIB_ERR_NO_MEMORY;
        const int32_t put = emit(job, out);
        if (put != 0) return put;
    }
    VI_ReadCounts counts{};
    VI_tolerantReaderCounts(reader.reader_, &counts);
    job.counts.skipped += counts.skipped;
    job.counts.junkLines += counts.junkLines;
    return 0;
}

bool isBegin(const ContentLine &l) {
    return sameName(l.name, "BEGIN") && sameName(l.value, "VCARD");
}

int32_t convertContentLines(Job &job) {
    ContentReader reader(job.text, job.length);
    ContentLine l;
    Card card;
    vcal::TextBuffer out;
    uint64_t pending = 0; // a BEGIN read while reading the card before
    bool inJunk = false;
    for (;;) {
        uint64_t begin = pending;
        pending = 0;
        if (begin == 0) {
            const ContentReader::Step step = reader.next(l);
            if (step == ContentReader::Step::End) break;
            if (step == ContentReader::Step::NoMemory) return VLIB_ERR_NO_MEMORY;
            if (step == ContentReader::Step::Malformed || !isBegin(l)) {
                ++job.counts.junkLines;
                if (!inJunk)
                    job.report(l.number, VI_REPORT_NOTE, "passed over text outside any card");
                inJunk = true;
                continue;
            }
            begin = l.number;
        }
        inJunk = false;
        job.report.startItem();
        ++job.counts.read;
        card.clear();
        out.length = 0;
        CardConversion c{job.from, job.to, job.report};
        bool ended = false;
        if (!cardFromLines(reader, begin, card, c, &ended, &pending)) return VLIB_ERR_NO_MEMORY;
        if (!ended) job.report(begin, VI_REPORT_REPAIRED, "the card has no END; kept what it has");
        if (!writeCard(card, c, out)) return VLIB_ERR_NO_MEMORY;
        const int32_t put = emit(job, out);
        if (put != 0) return put;
    }
    return 0;
}

} // namespace

bool convertNestedCard(std::string_view text, CardConversion &c, vcal::TextBuffer &out) {
    ContentReader reader(text.data(), text.size());
    ContentLine l;
    for (;;) {
        const ContentReader::Step step = reader.next(l);
        if (step == ContentReader::Step::NoMemory) return false;
        if (step == ContentReader::Step::End) return true;
        if (step == ContentReader::Step::Line && isBegin(l)) break;
    }
    Card card;
    bool ended = false;
    uint64_t next = 0;
    return cardFromLines(reader, l.number, card, c, &ended, &next) && writeCard(card, c, out);
}

int32_t convertCards(Job &job) {
    return job.from == VI_FORMAT_VCARD21 ? convert21(job) : convertContentLines(job);
}

} // namespace interop::convert
