// One card between reading and writing: its properties with their values
// decoded (UTF-8 text, bytes for binary data) and their parameters one
// item each, in the order of the text. The card's readers (2.1 records,
// 3.0/4.0 content lines) fill it and its writers (2.1, 3.0, 4.0, jCard)
// map it to their format, so every source meets every target through one
// model.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "interop/convert/deferredLines.h"
#include "interop/convert/job.h"
#include "interop/recover/array.h"
#include "interop/recover/lines.h"
#include "vcal/vcalmsg.h"
#include "versit_core.h"

namespace interop::convert {

// A piece of the card's text; offsets, because the text grows.
struct Span {
    size_t at = 0;
    size_t length = 0;
};

// How a value is held.
enum class Form : uint8_t {
    Text,       // one field, one item
    Structured, // fields separated by ';', each a list of items (N, ADR, ORG, GEO ...)
    List,       // one field of items separated by ',' (CATEGORIES, NICKNAME)
    Uri,        // one item, the URI as written
    Binary,     // one item, the bytes; `media` the format as labelled
    Card,       // one item, a nested card already written in the target's format
};

struct CardParameter {
    Span name;  // upper case: TYPE, LANGUAGE, X-FOO ...
    Span value; // one item, quotes removed
};

struct PropertyInfo;

struct CardProperty {
    uint64_t line = 0;
    const PropertyInfo *info = nullptr; // what the vocabulary knows of it, if anything
    Span group;                         // "item1" of item1.TEL, or empty
    Span name;                          // upper case, without the group
    Form form = Form::Text;
    Span media; // Binary and Uri: the format label or media type given, if any
    uint32_t firstParameter = 0;
    uint32_t parameterCount = 0;
    uint32_t firstField = 0; // into Card::fields
    uint32_t fieldCount = 0;
};

struct CardField {
    uint32_t firstItem = 0; // into Card::items
    uint32_t itemCount = 0;
};

class Card {
  public:
    uint64_t line = 0; // of its BEGIN
    Array<CardProperty> properties;
    Array<CardParameter> parameters;
    Array<CardField> fields;
    Array<Span> items;

    void clear();
    std::string_view view(Span s) const {
        return text_.text == nullptr ? std::string_view()
                                     : std::string_view(text_.text + s.at, s.length);
    }

    // Building, in this order for each property: begin, its parameters,
    // its fields with their items. Texts are copied in; false when memory
    // ran out.
    bool beginProperty(uint64_t line, std::string_view group, std::string_view name, Form form);
    // The same for a name whose entry in the vocabulary is known already
    // (findProperty(name)).
    bool beginProperty(uint64_t line, std::string_view group, std::string_view name,
                       const PropertyInfo *info, Form form);
    bool addParameter(std::string_view name, std::string_view value);
    bool beginField();
    bool addItem(std::string_view text);
    // An item made of pieces (the text unescaped while it is copied):
    // startItem, append..., endItem.
    void startItem() { pending_ = text_.length; }
    vcal::TextBuffer &itemText() { return text_; }
    bool endItem();
    bool setMedia(std::string_view label);
    CardProperty &current() { return properties[properties.size() - 1]; }

    std::string_view item(const CardProperty &p, uint32_t field, uint32_t index) const;
    // The first item of the first field (a Text, Uri, Binary or Card value).
    std::string_view value(const CardProperty &p) const;
    std::string_view name(const CardProperty &p) const { return view(p.name); }
    const CardParameter &parameter(const CardProperty &p, uint32_t i) const {
        return parameters[p.firstParameter + i];
    }
    // The index of the first property named `name`, or -1.
    long find(std::string_view name) const;
    // Removes the parameter items named `name` with value `value` (any case).
    void dropParameter(CardProperty &p, std::string_view name, std::string_view value);

  private:
    bool store(std::string_view text, Span &out);
    bool storeName(std::string_view text, Span &out);
    vcal::TextBuffer text_;
    size_t pending_ = 0;
};

// The versions a property belongs to.
constexpr uint8_t kIn21 = 1;
constexpr uint8_t kIn30 = 2;
constexpr uint8_t kIn40 = 4;

enum class Shape : uint8_t { Text, Structured, List, Uri, Media, Geo };

struct PropertyInfo {
    std::string_view name;
    uint8_t versions;
    Shape shape;
    std::string_view type4; // the 4.0 (and jCard) value type when none is given
};

// The vocabulary of the three versions; null for a name none of them has.
const PropertyInfo *findProperty(std::string_view name);

// Names only some versions know are written to the others with this
// prefix, and read back without it.
constexpr std::string_view kCarried = "X-VCARD-";

// The format of binary data: what its first bytes say, else its label
// (JPEG, image/jpeg, PNG ...). Null when neither is known.
struct MediaType {
    std::string_view label; // the 2.1/3.0 TYPE word
    std::string_view mime;
};
const MediaType *sniffMedia(std::string_view bytes);
const MediaType *mediaByLabel(std::string_view label);

// The TYPE words of vCard 2.1, written there as bare parameters.
bool isKnownType21(std::string_view word);

// A date or date-time of ISO 8601 (basic or extended) rewritten in the
// basic (vCard 4.0) or extended (jCard) form; false, with nothing
// appended, when `text` is no such value.
bool appendIsoDate(vcal::TextBuffer &out, std::string_view text, bool extended);

// Context of one conversion, also for the cards nested in AGENT.
struct CardConversion {
    int32_t from;
    int32_t to;
    Reporter &report;
    int depth = 0;
};

// Where the properties of the tolerant reader's cards stand in the text:
// each property's line is looked for in the card's text, in the records'
// order, when a report carries it.
class RecordLines : public DeferredLines {
  public:
    RecordLines(const char *text, size_t length) : DeferredLines(text, length) {}
    // The card asked about next: its BEGIN line's number, and where that
    // line starts in the text.
    void card(uint64_t line, size_t at);
    // The line of the next BEGIN:VCARD after `after` (a nested card), 0
    // when none is found.
    uint64_t begin(uint64_t after) { return ask(Question::Begin, {}, after); }
    // The line of the next property named `name` (group left out) before
    // the card's END; `fallback` when there is none.
    uint64_t property(std::string_view name, uint64_t fallback) {
        return ask(Question::Property, name, fallback);
    }
    // Passes over the END of a nested card.
    void end() { ask(Question::End, {}, 0); }

  private:
    void place() override;
    uint64_t search(const Question &q) override;

    uint64_t line_ = 0;
    size_t at_ = 0;
};

// Reading: a card of the tolerant reader (values already UTF-8), and the
// 3.0/4.0 content lines of one card. Nested cards are written in the
// target's form as they are met. False when memory ran out.
bool cardFromRecord(const vComponent *record, RecordLines &lines, uint64_t beginLine, Card &card,
                    CardConversion &c);
class ContentReader;
// Reads the lines after BEGIN:VCARD up to END:VCARD. *ended is false when
// the text ended first, or when a BEGIN:VCARD came first: *nextBegin then
// gets its line (0 otherwise).
bool cardFromLines(ContentReader &reader, uint64_t beginLine, Card &card, CardConversion &c,
                   bool *ended, uint64_t *nextBegin);

// Writing one card to `out` in c.to's format. False when memory ran out.
bool writeCard(Card &card, CardConversion &c, vcal::TextBuffer &out);

// Converts the card held in `text` (a nested one, in c.from's format) to
// c.to's format, appended to `out`. False when memory ran out.
bool convertNestedCard(std::string_view text, CardConversion &c, vcal::TextBuffer &out);

} // namespace interop::convert
