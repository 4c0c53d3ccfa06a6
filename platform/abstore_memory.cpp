// The address book in plain memory, for builds without SQLite (the
// Windows cross-builds): entries in an array indexed by number - 1, each
// with its record bytes and streams. Books in files are refused.
#include <cstdlib>
#include <cstring>

#include "calapi32.h"
#include "platform/abstore.h"

namespace abstore {
namespace {

constexpr uint32_t kKinds = 4;

struct Entry {
    unsigned char *record;
    uint32_t size;
    char *streams[kKinds]; // null: no stream of that kind
    uint32_t streamSizes[kKinds];
};

} // namespace

struct Book {
    Entry *entries;
    uint32_t count;
    uint32_t capacity;
};

namespace {

Entry *find(Book *book, uint32_t number) {
    return number >= 1 && number <= book->count ? &book->entries[number - 1] : nullptr;
}

// A malloc'ed copy of `size` bytes (at least one byte, so that an empty
// stream is still told from none).
void *copyOf(const void *data, uint32_t size) {
    void *copy = std::malloc(size != 0 ? size : 1);
    if (copy != nullptr && size != 0) std::memcpy(copy, data, size);
    return copy;
}

} // namespace

int32_t open(const char *path, Book **book) {
    *book = nullptr;
    if (path != nullptr && path[0] != '\0' && std::strcmp(path, ":memory:") != 0)
        return CALAPI_ERR_NO_FILES;
    *book = static_cast<Book *>(std::calloc(1, sizeof(Book)));
    return *book != nullptr ? 0 : CALAPI_ERR_NO_MEMORY;
}

void close(Book *book) {
    if (book == nullptr) return;
    for (uint32_t i = 0; i < book->count; ++i) {
        std::free(book->entries[i].record);
        for (char *s : book->entries[i].streams)
            std::free(s);
    }
    std::free(book->entries);
    std::free(book);
}

int32_t create(Book *book, const void *record, uint32_t size, uint32_t *number) {
    if (book->count == book->capacity) {
        const uint32_t grown = book->capacity != 0 ? book->capacity * 2 : 16;
        auto *entries = static_cast<Entry *>(std::realloc(book->entries, grown * sizeof(Entry)));
        if (entries == nullptr) return CALAPI_ERR_NO_MEMORY;
        book->entries = entries;
        book->capacity = grown;
    }
    Entry entry = {};
    entry.record = static_cast<unsigned char *>(copyOf(record, size));
    if (entry.record == nullptr) return CALAPI_ERR_NO_MEMORY;
    entry.size = size;
    book->entries[book->count++] = entry;
    *number = book->count;
    return 0;
}

int32_t read(Book *book, uint32_t number, void *record, uint32_t size) {
    const Entry *e = find(book, number);
    if (e == nullptr) return CALAPI_ERR_NO_ENTRY;
    if (e->size != size) return CALAPI_ERR_STORE;
    std::memcpy(record, e->record, size);
    return 0;
}

int32_t write(Book *book, uint32_t number, const void *record, uint32_t size) {
    Entry *e = find(book, number);
    if (e == nullptr) return CALAPI_ERR_NO_ENTRY;
    if (e->size != size) return CALAPI_ERR_STORE;
    std::memcpy(e->record, record, size);
    return 0;
}

int32_t next(Book *book, uint32_t after, uint32_t *number) {
    if (after >= book->count) return CALAPI_END;
    *number = after + 1;
    return 0;
}

int32_t streamSize(Book *book, uint32_t number, uint32_t kind, uint32_t *size) {
    const Entry *e = find(book, number);
    if (e == nullptr) return CALAPI_ERR_NO_ENTRY;
    if (e->streams[kind] == nullptr) return CALAPI_ERR_NO_STREAM;
    *size = e->streamSizes[kind];
    return 0;
}

int32_t streamRead(Book *book, uint32_t number, uint32_t kind, char *buffer, uint32_t capacity,
                   uint32_t *delivered) {
    uint32_t size = 0;
    if (const int32_t failed = streamSize(book, number, kind, &size)) return failed;
    *delivered = size < capacity ? size : capacity;
    if (*delivered != 0) std::memcpy(buffer, book->entries[number - 1].streams[kind], *delivered);
    return 0;
}

int32_t streamWrite(Book *book, uint32_t number, uint32_t kind, const char *text, uint32_t size) {
    Entry *e = find(book, number);
    if (e == nullptr) return CALAPI_ERR_NO_ENTRY;
    char *copy = static_cast<char *>(copyOf(text, size));
    if (copy == nullptr) return CALAPI_ERR_NO_MEMORY;
    std::free(e->streams[kind]);
    e->streams[kind] = copy;
    e->streamSizes[kind] = size;
    return 0;
}

} // namespace abstore
