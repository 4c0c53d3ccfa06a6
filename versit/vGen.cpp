// The text generator: a component tree (or a property, parameter or value
// chain of one) written as versit text, with CR LF line ends, folding and
// transfer encoding. One writer does the work for all four sinks; the
// sixteen exported functions differ only in the sink they hand it.
//
// Decisions this file settles:
// - Values are encoded straight into the writer with the converters' own
//   rules (versit/encoding.h) instead of through their malloc'ed copies, so
//   printing allocates nothing, cannot fail half-way, and a length counted
//   first always matches the text printed after it, byte for byte.
// - The component walk does not recurse, whatever the depth: it climbs back
//   through the parent links, which it sets on the way down to the
//   component whose list holds each subcomponent - the value the object
//   model says they hold. A tree built by hand without them comes out with
//   them set, as it comes out with its names in upper case.
// - A stream, buffer or callback argument that is null gives
//   VLIB_ERR_NULL_ARGUMENT and writes nothing. VLIB_sprint_ always leaves
//   the buffer NUL-terminated, also when nothing is written.
// - Once the callback returns nonzero it is not called again; that result
//   is the one returned.
// - The empty line of flag 0x04 follows a property whose values were
//   written as BASE64, so not under flag 0x01.
// - Under flag 0x01 the column is set back after a value that an encoding
//   would have transformed (BASE64, QUOTED-PRINTABLE or quoting); a value
//   that none applies to advances it as written.
// - A fold may come right after an "=": outside QUOTED-PRINTABLE text the
//   column alone decides where a line breaks, so lines are as short for
//   every reader. The price: the reader takes an "=" before a line break
//   for a soft break and drops it, so a value (or a parameter's NAME=)
//   folded right after an "=" reads back without it. QUOTED-PRINTABLE
//   escapes are kept whole (see quotedPrintable()).
// - A value list printed on its own has no property to name its encoding:
//   only the quoting of unescaped values applies, and it folds as property
//   values do. A parameter list on its own starts with its first parameter.
#include <cstdio>
#include <cstring>

#include "platform/ascii.h"
#include "platform/copy.h"
#include "versit/encoding.h"
#include "versit_core.h"

namespace {

constexpr int32_t kNoEncode = VLIB_GEN_NO_ENCODE;
constexpr int32_t kBlankAfterBase64 = VLIB_GEN_BLANK_AFTER_BASE64;
constexpr int32_t kNoFold = VLIB_GEN_NO_FOLD;
constexpr int32_t kSingle = VLIB_GEN_SINGLE;

// A line is folded before a character written at this column or later.
constexpr int64_t kFoldColumn = 74;

enum class SinkKind { Count, Stream, Memory, Callback };

class Writer {
  public:
    Writer(SinkKind kind, int32_t flags) : kind_(kind), flags_(flags) {}
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    FILE *stream = nullptr;
    char *memory = nullptr;
    vOutputCallback callback = nullptr;
    void *argument = nullptr;

    void components(vComponent *first);
    void properties(vProperty *first);
    void parameters(vParameter *first);
    void values(vValue *first, int32_t encoding);
    // Hands what the stream and callback sinks still hold to them.
    void finish() { flushStage(); }

    size_t count() const { return count_; }
    int32_t lastResult() const { return lastResult_; }

    // Lets the encoders append to the writer: `fold` says whether the
    // piece they encode may be folded.
    struct Encoded {
        Writer &writer;
        bool fold;
        void append(const char *p, size_t n) { writer.put(p, n, fold); }
    };
    struct QuotedPrintableOut {
        Writer &writer;
        void append(const char *p, size_t n) { writer.quotedPrintable(p, n); }
    };

  private:
    void emit(const char *p, size_t n);
    void flushStage();
    void put(const char *p, size_t n, bool fold);
    void quotedPrintable(const char *p, size_t n);
    void literal(const char *text, size_t n) { put(text, n, foldOthers()); }
    void name(char *text);
    void tree(vComponent *root);
    void open(vComponent *component);
    void close(vComponent *component);
    void propertyValue(vValue *value, int32_t encoding);
    void parameterValue(vValue *value);
    void base64(const vValue *value);
    void raw(const char *text, bool fold);
    void escaped(const char *text, bool fold);

    bool foldOthers() const { return (flags_ & kNoFold) == 0; }
    bool encode() const { return (flags_ & kNoEncode) == 0; }
    int32_t column32() const { return venc::clampColumn(column_); }

    const SinkKind kind_;
    const int32_t flags_;
    int64_t column_ = 0;
    size_t count_ = 0;
    int32_t lastResult_ = 0;
    bool stopped_ = false;
    // The stream and callback sinks take text in runs of up to this size;
    // the count and memory sinks need no staging.
    char stage_[4096];
    size_t staged_ = 0;
};

void Writer::emit(const char *p, size_t n) {
    if (n == 0) return;
    count_ += n;
    switch (kind_) {
    case SinkKind::Count:
        return;
    case SinkKind::Memory:
        platform::copyBytes(memory, p, n);
        memory += n;
        *memory = '\0';
        return;
    case SinkKind::Stream:
    case SinkKind::Callback:
        // Most pieces are a few bytes that the stage has room for.
        if (n <= 16 && sizeof stage_ - staged_ >= 16) {
            platform::copyBytes(stage_ + staged_, p, n);
            staged_ += n;
            return;
        }
        while (n > 0) {
            if (staged_ == sizeof stage_) flushStage();
            const size_t take = n < sizeof stage_ - staged_ ? n : sizeof stage_ - staged_;
            std::memcpy(stage_ + staged_, p, take);
            staged_ += take;
            p += take;
            n -= take;
        }
        return;
    }
}

void Writer::flushStage() {
    if (staged_ == 0) return;
    if (kind_ == SinkKind::Stream) {
        std::fwrite(stage_, 1, staged_, stream);
        std::fflush(stream);
    } else if (kind_ == SinkKind::Callback && !stopped_) {
        lastResult_ = callback(argument, stage_, static_cast<int32_t>(staged_));
        stopped_ = lastResult_ != 0;
    }
    staged_ = 0;
}

// Writes a piece, folded: a CR LF puts the column at 0 after the LF; before
// any other character but "=", once the column has reached kFoldColumn,
// CR LF and a blank are inserted. Text between folds goes out as one run.
void Writer::put(const char *p, size_t n, bool fold) {
    // Most pieces are short and end before the fold column: one look for a
    // CR, and out they go.
    if (n <= 16 && (!fold || column_ + static_cast<int64_t>(n) <= kFoldColumn)) {
        size_t k = 0;
        while (k < n && p[k] != '\r')
            ++k;
        if (k == n) {
            column_ += static_cast<int64_t>(n);
            emit(p, n);
            return;
        }
    }
    size_t i = 0;
    size_t run = 0; // start of what has not been emitted yet
    while (i < n) {
        // Up to the next CR or the next place a fold may go, nothing happens
        // but the column growing.
        size_t stop = n;
        if (fold) {
            const int64_t room = column_ >= kFoldColumn ? 0 : kFoldColumn - column_;
            if (static_cast<uint64_t>(room) < n - i) stop = i + static_cast<size_t>(room);
        }
        if (stop > i) {
            const void *cr = std::memchr(p + i, '\r', stop - i);
            if (cr != nullptr) stop = static_cast<size_t>(static_cast<const char *>(cr) - p);
            column_ += static_cast<int64_t>(stop - i);
            i = stop;
            if (i == n) break;
        }
        const char c = p[i];
        if (c == '\r' && i + 1 < n && p[i + 1] == '\n') {
            column_ = -1; // the LF brings it to 0
            ++i;
            continue;
        }
        if (fold && column_ >= kFoldColumn && c != '=') {
            emit(p + run, i - run);
            emit("\r\n ", 3);
            run = i;
            column_ = 1;
        }
        ++column_;
        ++i;
    }
    emit(p + run, n - run);
}

// QUOTED-PRINTABLE text, folded but for the two characters after each "=".
// A fold right after the "=" of an escape makes the reader drop the "=" as
// a soft break's, leaving the two hex digits as text; one between the
// digits leaves a line that decoders working line by line reject. The
// encoder's soft breaks keep its lines short, so of encoded text only a
// value that starts near or past the fold column (after long parameters,
// which flag 0x08 leaves unfolded) meets the case; stored text written
// under flag 0x01 may meet it anywhere. A line two characters longer is a
// lesser harm than a value that cannot be decoded.
void Writer::quotedPrintable(const char *p, size_t n) {
    while (n > 0) {
        const void *equals = std::memchr(p, '=', n);
        const size_t text =
            equals != nullptr ? static_cast<size_t>(static_cast<const char *>(equals) - p) : n;
        put(p, text, true);
        const size_t escape = n - text < 3 ? n - text : 3;
        put(p + text, escape, false);
        p += text + escape;
        n -= text + escape;
    }
}

// Names are written in upper case, and the tree keeps them so.
void Writer::name(char *text) {
    size_t n = 0;
    for (; text[n] != '\0'; ++n)
        text[n] = ascii::upper(text[n]);
    literal(text, n);
}

void Writer::raw(const char *text, bool fold) { put(text, std::strlen(text), fold); }

void Writer::escaped(const char *text, bool fold) {
    Encoded out{*this, fold};
    column_ = venc::escapeEncode(text, std::strlen(text), column32(), out);
}

void Writer::base64(const vValue *value) {
    const auto *bytes = reinterpret_cast<const unsigned char *>(value->data);
    size_t left = value->dataSize > 0 ? static_cast<size_t>(value->dataSize) : 0;
    char chunk[1024] = {}; // 768 bytes at a time make 1024 characters
    while (left > 0) {
        const size_t take = left < 768 ? left : 768;
        venc::base64Encode(bytes, take, chunk);
        put(chunk, venc::base64EncodedLength(take), true);
        bytes += take;
        left -= take;
    }
}

void Writer::propertyValue(vValue *value, int32_t encoding) {
    const char *text = value->data != nullptr ? value->data : "";
    const int64_t before = column_;
    const bool qp = encoding == VLIB_ENCODING_QUOTED_PRINTABLE;
    const bool b64 = !qp && encoding == VLIB_ENCODING_BASE64;
    const bool quote = !qp && !b64 && value->encoding == VLIB_ENCODING_UNESCAPED;
    if (!qp && !b64 && !quote) {
        raw(text, true);
    } else if (!encode()) {
        // Stored QUOTED-PRINTABLE text is read back as such all the same.
        if (qp)
            quotedPrintable(text, std::strlen(text));
        else
            raw(text, true);
        column_ = before;
    } else if (qp) {
        QuotedPrintableOut out{*this};
        column_ = venc::qpEncode(reinterpret_cast<const unsigned char *>(text), std::strlen(text),
                                 column32(), out);
    } else if (b64) {
        if (value->data != nullptr) base64(value);
        column_ = before;
    } else {
        escaped(text, true);
    }
}

// Parameter values are never transfer-encoded; unescaped ones are quoted.
void Writer::parameterValue(vValue *value) {
    const char *text = value->data != nullptr ? value->data : "";
    if (value->encoding != VLIB_ENCODING_UNESCAPED) {
        raw(text, foldOthers());
    } else if (!encode()) {
        const int64_t before = column_;
        raw(text, foldOthers());
        column_ = before;
    } else {
        escaped(text, foldOthers());
    }
}

void Writer::values(vValue *first, int32_t encoding) {
    for (vValue *v = first; v != nullptr; v = v->next) {
        if (v != first) literal(",", 1);
        propertyValue(v, encoding);
    }
}

void Writer::parameters(vParameter *first) {
    for (vParameter *p = first; p != nullptr; p = p->next) {
        if (p != first) literal(";", 1);
        if (p->name != nullptr && p->name[0] != '\0') {
            name(p->name);
            literal("=", 1);
        }
        for (vValue *v = p->valueList; v != nullptr; v = v->next) {
            if (v != p->valueList) literal(",", 1);
            parameterValue(v);
        }
    }
}

void Writer::properties(vProperty *first) {
    for (vProperty *p = first; p != nullptr; p = p->next) {
        if (p->name == nullptr) continue;
        name(p->name);
        if (p->parameterList != nullptr) {
            literal(";", 1);
            parameters(p->parameterList);
        }
        bool wasBase64 = false;
        if (p->valueList != nullptr) {
            literal(":", 1);
            const int32_t encoding = VLIB_getPropertyEncoding(p);
            values(p->valueList, encoding);
            wasBase64 = encoding == VLIB_ENCODING_BASE64 && encode();
        }
        literal("\r\n", 2);
        if (wasBase64 && (flags_ & kBlankAfterBase64) != 0) literal("\r\n", 2);
    }
}

void Writer::open(vComponent *component) {
    literal("BEGIN:", 6);
    if (component->name != nullptr) name(component->name);
    literal("\r\n", 2);
    properties(component->propertyList);
}

void Writer::close(vComponent *component) {
    literal("END:", 4);
    if (component->name != nullptr) name(component->name);
    literal("\r\n", 2);
}

// One component and everything nested in it, depth first, without
// recursion: see the note at the top of the file.
void Writer::tree(vComponent *root) {
    vComponent *c = root;
    for (;;) {
        open(c);
        if (vComponent *sub = c->subComponent) {
            sub->parent = c;
            c = sub;
            continue;
        }
        for (;;) {
            close(c);
            if (c == root) return;
            if (vComponent *sibling = c->next) {
                sibling->parent = c->parent;
                c = sibling;
                break;
            }
            c = c->parent;
        }
    }
}

void Writer::components(vComponent *first) {
    const bool single = (flags_ & kSingle) != 0;
    for (vComponent *c = first; c != nullptr; c = single ? nullptr : c->next)
        tree(c);
}

void write(Writer &w, vComponent *c) { w.components(c); }
void write(Writer &w, vProperty *p) { w.properties(p); }
void write(Writer &w, vParameter *p) { w.parameters(p); }
void write(Writer &w, vValue *v) { w.values(v, VLIB_ENCODING_DEFAULT); }

// A text of 2 GB or more cannot be counted in the 32-bit result.
int32_t clampCount(size_t count) {
    return count > static_cast<size_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(count);
}

template <class Record> int32_t lengthOf(Record *record, int32_t flags) {
    Writer w(SinkKind::Count, flags);
    write(w, record);
    return clampCount(w.count());
}

template <class Record> int32_t printToStream(FILE *stream, Record *record, int32_t flags) {
    if (stream == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    Writer w(SinkKind::Stream, flags);
    w.stream = stream;
    write(w, record);
    w.finish();
    return 0;
}

template <class Record> int32_t printToBuffer(char *buffer, Record *record, int32_t flags) {
    if (buffer == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    *buffer = '\0';
    Writer w(SinkKind::Memory, flags);
    w.memory = buffer;
    write(w, record);
    return 0;
}

template <class Record>
int32_t printToCallback(vOutputCallback callback, void *argument, Record *record, int32_t flags) {
    if (callback == nullptr) return VLIB_ERR_NULL_ARGUMENT;
    Writer w(SinkKind::Callback, flags);
    w.callback = callback;
    w.argument = argument;
    write(w, record);
    w.finish();
    return w.lastResult();
}

} // namespace

extern "C" {

VERSIT_API int32_t VLIB_length_vComponent(vComponent *component, int32_t flags) {
    return lengthOf(component, flags);
}
VERSIT_API int32_t VLIB_length_vProperty(vProperty *property, int32_t flags) {
    return lengthOf(property, flags);
}
VERSIT_API int32_t VLIB_length_vParameter(vParameter *parameter, int32_t flags) {
    return lengthOf(parameter, flags);
}
VERSIT_API int32_t VLIB_length_vValue(vValue *value, int32_t flags) {
    return lengthOf(value, flags);
}

VERSIT_API int32_t VLIB_fprint_vComponent(FILE *stream, vComponent *component, int32_t flags) {
    return printToStream(stream, component, flags);
}
VERSIT_API int32_t VLIB_fprint_vProperty(FILE *stream, vProperty *property, int32_t flags) {
    return printToStream(stream, property, flags);
}
VERSIT_API int32_t VLIB_fprint_vParameter(FILE *stream, vParameter *parameter, int32_t flags) {
    return printToStream(stream, parameter, flags);
}
VERSIT_API int32_t VLIB_fprint_vValue(FILE *stream, vValue *value, int32_t flags) {
    return printToStream(stream, value, flags);
}

VERSIT_API int32_t VLIB_sprint_vComponent(char *buffer, vComponent *component, int32_t flags) {
    return printToBuffer(buffer, component, flags);
}
VERSIT_API int32_t VLIB_sprint_vProperty(char *buffer, vProperty *property, int32_t flags) {
    return printToBuffer(buffer, property, flags);
}
VERSIT_API int32_t VLIB_sprint_vParameter(char *buffer, vParameter *parameter, int32_t flags) {
    return printToBuffer(buffer, parameter, flags);
}
VERSIT_API int32_t VLIB_sprint_vValue(char *buffer, vValue *value, int32_t flags) {
    return printToBuffer(buffer, value, flags);
}

VERSIT_API int32_t VLIB_cprint_vComponent(vOutputCallback callback, void *argument,
                                          vComponent *component, int32_t flags) {
    return printToCallback(callback, argument, component, flags);
}
VERSIT_API int32_t VLIB_cprint_vProperty(vOutputCallback callback, void *argument,
                                         vProperty *property, int32_t flags) {
    return printToCallback(callback, argument, property, flags);
}
VERSIT_API int32_t VLIB_cprint_vParameter(vOutputCallback callback, void *argument,
                                          vParameter *parameter, int32_t flags) {
    return printToCallback(callback, argument, parameter, flags);
}
VERSIT_API int32_t VLIB_cprint_vValue(vOutputCallback callback, void *argument, vValue *value,
                                      int32_t flags) {
    return printToCallback(callback, argument, value, flags);
}

} // extern "C"
