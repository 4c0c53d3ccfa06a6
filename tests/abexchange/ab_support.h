// Helpers shared by the address-book exchange tests: a book in memory, a
// vCard context, records with their streams, and the two directions.
#pragma once

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "calapi32.h"
#include "versit_abx.h"

namespace abtest {

// A connection to a book (in memory unless a path is given).
struct Book {
    CalapiClient *c = nullptr;
    explicit Book(const char *path = nullptr, uint16_t node = 0x1234, uint16_t user = 0x5678) {
        EXPECT_EQ(CalapiOpen(path, node, user, &c), 0);
    }
    ~Book() {
        if (c != nullptr) CalapiClose(&c);
    }
    operator CalapiClient *() const { return c; }
};

struct Context {
    VCardContext *c = nullptr;
    Context() { EXPECT_EQ(VCARD_createContext(&c), 0); }
    ~Context() { VCARD_destroyContext(&c); }
    operator VCardContext *() const { return c; }
};

struct List {
    KL_HLIST l = nullptr;
    ~List() {
        if (l != nullptr) KL_ListDestroy(&l);
    }
    // The identifiers, first cell first.
    std::vector<ABEntryId> ids() const {
        std::vector<ABEntryId> out;
        ABEntryId id;
        for (int32_t r = KL_ListGetFirst(l, &id, nullptr); r == 0;
             r = KL_ListGetNext(l, &id, nullptr))
            out.push_back(id);
        return out;
    }
};

inline ABEntryRecord emptyRecord() { return ABEntryRecord{}; }

template <size_t N> void set(char (&field)[N], const std::string &text) {
    ASSERT_LT(text.size(), N) << text;
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), text.size());
}

// Streams by kind (0, 2, 3); absent kinds are not stored.
struct Streams {
    const char *general = nullptr;
    const char *photo = nullptr;
    const char *personal = nullptr;
};

// Creates an entry from `record` with `streams`; the record comes back as
// the book holds it.
inline ABEntryId createEntry(CalapiClient *book, ABEntryRecord &record, const Streams &s = {}) {
    ABEntryId id = {};
    EXPECT_EQ(ABEntryCreate(book, 0, &record, 0, &id), 0);
    const struct {
        const char *text;
        uint32_t kind;
        uint32_t *indicator;
    } kinds[] = {{s.general, AB_STREAM_GENERAL_NOTE, &record.generalNote},
                 {s.photo, AB_STREAM_PHOTO, &record.photo},
                 {s.personal, AB_STREAM_PERSONAL_NOTE, &record.personalNote}};
    for (const auto &k : kinds) {
        if (k.text != nullptr) {
            EXPECT_EQ(ABEntryStreamReplace(book, 0, k.kind, &id, k.text, k.indicator), 0);
        }
    }
    EXPECT_EQ(ABEntryUpdate(book, 1, &record, 0), 0);
    return id;
}

// The stream `kind` of the record's entry; "(none)" when it has none.
inline std::string stream(CalapiClient *book, const ABEntryRecord &record, uint32_t kind) {
    uint32_t size = 0;
    if (ABEntryStreamSizeGet(book, 0, kind, &record, &size) != 0) return "(none)";
    std::string text(size, '\0');
    uint32_t delivered = 0;
    EXPECT_EQ(ABEntryStreamGet(book, 0, kind, &record, &text[0], size, &delivered, 0), 0);
    EXPECT_EQ(delivered, size);
    return text;
}

// The vCard text of an entry; the result in *result.
inline std::string exportEntry(CalapiClient *book, VCardContext *context,
                               const ABEntryRecord &record, int32_t *result = nullptr) {
    char *text = nullptr;
    int32_t length = -1;
    const int32_t r = GetVCardStreamFromABRecID(book, context, &record, &text, &length);
    if (result != nullptr)
        *result = r;
    else
        EXPECT_EQ(r, 0);
    std::string out = text != nullptr ? std::string(text) : std::string();
    EXPECT_EQ(static_cast<size_t>(length), out.size());
    std::free(text);
    return out;
}

// What one import did.
struct Imported {
    int32_t result = -1;
    uint16_t skipped = 0xFFFF;
    uint32_t budget = 0;
    std::vector<ABEntryId> ids; // newest first
};

inline Imported importText(CalapiClient *book, VCardContext *context, const std::string &text,
                           uint32_t budget = 1000, const uint8_t *owner = nullptr) {
    Imported out;
    List list;
    out.budget = budget;
    out.result = GetNewABRecIDsFromVCardStream(book, context, text.data(), owner,
                                               static_cast<int32_t>(text.size()), &list.l,
                                               &out.skipped, &out.budget);
    if (list.l != nullptr) out.ids = list.ids();
    return out;
}

inline ABEntryRecord entry(CalapiClient *book, const ABEntryId &id) {
    ABEntryRecord r = emptyRecord();
    EXPECT_EQ(ABEntryGet(book, &id, &r), 0);
    return r;
}

// One field of an entry: a text, a number (u8 to u32) or a stream.
struct Field {
    size_t offset, size; // size 0: a text field; 1000: a stream of kind `offset`
    uint32_t number;
    const char *text;
};
#define TEXT(field, value)                                                                         \
    abtest::Field { offsetof(ABEntryRecord, field), 0, 0, value }
#define NUMBER(field, value)                                                                       \
    abtest::Field { offsetof(ABEntryRecord, field), sizeof(ABEntryRecord::field), value, nullptr }
#define STREAM(kind, value)                                                                        \
    abtest::Field { kind, 1000, 0, value }

inline void put(ABEntryRecord &r, const Field &f) {
    char *at = reinterpret_cast<char *>(&r) + f.offset;
    if (f.size == 0)
        std::strcpy(at, f.text);
    else
        std::memcpy(at, &f.number, f.size);
}

inline void expectField(CalapiClient *book, const ABEntryRecord &r, const Field &f) {
    const char *at = reinterpret_cast<const char *>(&r) + f.offset;
    if (f.size == 1000) {
        EXPECT_EQ(stream(book, r, static_cast<uint32_t>(f.offset)), f.text) << f.offset;
    } else if (f.size == 0) {
        EXPECT_STREQ(at, f.text) << "at byte " << f.offset;
    } else {
        uint32_t n = 0;
        std::memcpy(&n, at, f.size);
        EXPECT_EQ(n, f.number) << "at byte " << f.offset;
    }
}

// A card of the given content lines, CR LF after each.
inline std::string cardText(const std::vector<std::string> &lines) {
    std::string text = "BEGIN:VCARD\r\nVERSION:2.1\r\n";
    for (const std::string &line : lines)
        text += line + "\r\n";
    return text + "END:VCARD\r\n";
}

} // namespace abtest
