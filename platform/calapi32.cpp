// The client library's address-book operations on top of the store. The
// store keeps each record with its first 10 bytes zero; every record handed
// out, and the one ABEntryCreate was given, carries the entry's identifier
// there instead, so that the operations given a record find its entry.
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "calapi32.h"
#include "platform/abstore.h"

namespace {

constexpr uint32_t kMagic = 0x43414C41; // "CALA"
constexpr uint16_t kEntryKind = 1;
constexpr uint32_t kRecordSize = sizeof(ABEntryRecord);

static_assert(sizeof(ABEntryId) == 10, "ABEntryId is 10 bytes");
static_assert(sizeof(ABEntryRecord::reserved0) == sizeof(ABEntryId),
              "a record's first bytes hold an identifier");
static_assert(offsetof(CalapiClient, field18) == 18 && offsetof(CalapiClient, field20) == 20,
              "the exchange reads the connection's 16-bit fields at bytes 18 and 20");

abstore::Book *bookOf(const CalapiClient *client) {
    return client != nullptr && client->magic == kMagic ? static_cast<abstore::Book *>(client->book)
                                                        : nullptr;
}

bool validKind(uint32_t kind) {
    return kind == AB_STREAM_GENERAL_NOTE || kind == CALAPI_STREAM_KEPT ||
           kind == AB_STREAM_PHOTO || kind == AB_STREAM_PERSONAL_NOTE;
}

// The entry number an identifier names; 0 for none.
uint32_t numberOf(const ABEntryId &id) { return id.kind == kEntryKind ? id.number : 0; }

uint32_t numberOf(const ABEntryRecord &record) {
    ABEntryId id;
    std::memcpy(&id, record.reserved0, sizeof id);
    return numberOf(id);
}

ABEntryId idOf(uint32_t number) {
    ABEntryId id;
    id.kind = kEntryKind;
    id.number = number;
    id.check = 0;
    return id;
}

// Reads entry `number`, its identifier put in the first bytes.
int32_t readEntry(abstore::Book *book, uint32_t number, ABEntryRecord *record) {
    if (number == 0) return CALAPI_ERR_NO_ENTRY;
    if (const int32_t failed = abstore::read(book, number, record, kRecordSize)) return failed;
    const ABEntryId id = idOf(number);
    std::memcpy(record->reserved0, &id, sizeof id);
    return 0;
}

int32_t writeEntry(abstore::Book *book, uint32_t number, const ABEntryRecord &record) {
    ABEntryRecord stored = record;
    std::memset(stored.reserved0, 0, sizeof stored.reserved0);
    return abstore::write(book, number, &stored, kRecordSize);
}

// Marks the record as having a stream of `kind`. The record is packed: its
// u32 fields are written byte by byte. The kept properties have no field:
// marking another one would make the exchange look for a stream that is
// not there.
void setIndicator(ABEntryRecord &record, uint32_t kind) {
    if (kind == CALAPI_STREAM_KEPT) return;
    const size_t offset = kind == AB_STREAM_PHOTO          ? offsetof(ABEntryRecord, photo)
                          : kind == AB_STREAM_GENERAL_NOTE ? offsetof(ABEntryRecord, generalNote)
                                                           : offsetof(ABEntryRecord, personalNote);
    const uint32_t one = 1;
    std::memcpy(reinterpret_cast<unsigned char *>(&record) + offset, &one, sizeof one);
}

} // namespace

extern "C" {

CALAPI_API int32_t CalapiOpen(const char *path, uint16_t node, uint16_t user,
                              CalapiClient **client) {
    if (client == nullptr) return CALAPI_ERR_ARGUMENT;
    *client = nullptr;
    auto *c = static_cast<CalapiClient *>(std::calloc(1, sizeof(CalapiClient)));
    if (c == nullptr) return CALAPI_ERR_NO_MEMORY;
    abstore::Book *book = nullptr;
    if (const int32_t failed = abstore::open(path, &book)) {
        std::free(c);
        return failed;
    }
    c->magic = kMagic;
    c->field18 = node;
    c->field20 = user;
    c->book = book;
    *client = c;
    return 0;
}

CALAPI_API int32_t CalapiClose(CalapiClient **client) {
    if (client == nullptr || bookOf(*client) == nullptr) return CALAPI_ERR_ARGUMENT;
    abstore::close(bookOf(*client));
    (*client)->magic = 0;
    std::free(*client);
    *client = nullptr;
    return 0;
}

CALAPI_API const char *CalapiResultName(int32_t code) {
    switch (code) {
    case CALAPI_ERR_ARGUMENT:
        return "CALAPI_ERR_ARGUMENT";
    case CALAPI_ERR_NO_MEMORY:
        return "CALAPI_ERR_NO_MEMORY";
    case CALAPI_ERR_NO_ENTRY:
        return "CALAPI_ERR_NO_ENTRY";
    case CALAPI_ERR_NO_STREAM:
        return "CALAPI_ERR_NO_STREAM";
    case CALAPI_ERR_STREAM_KIND:
        return "CALAPI_ERR_STREAM_KIND";
    case CALAPI_ERR_STORE:
        return "CALAPI_ERR_STORE";
    case CALAPI_ERR_OPEN:
        return "CALAPI_ERR_OPEN";
    case CALAPI_ERR_NO_FILES:
        return "CALAPI_ERR_NO_FILES";
    case CALAPI_END:
        return "CALAPI_END";
    default:
        return nullptr;
    }
}

CALAPI_API int32_t ABEntryStreamSizeGet(CalapiClient *client, uint32_t, uint32_t kind,
                                        const ABEntryRecord *record, uint32_t *size) {
    abstore::Book *book = bookOf(client);
    if (book == nullptr || record == nullptr || size == nullptr) return CALAPI_ERR_ARGUMENT;
    *size = 0;
    if (!validKind(kind)) return CALAPI_ERR_STREAM_KIND;
    const uint32_t number = numberOf(*record);
    if (number == 0) return CALAPI_ERR_NO_ENTRY;
    return abstore::streamSize(book, number, kind, size);
}

CALAPI_API int32_t ABEntryStreamGet(CalapiClient *client, uint32_t, uint32_t kind,
                                    const ABEntryRecord *record, char *buffer, uint32_t capacity,
                                    uint32_t *delivered, uint32_t) {
    abstore::Book *book = bookOf(client);
    if (book == nullptr || record == nullptr || delivered == nullptr ||
        (buffer == nullptr && capacity != 0))
        return CALAPI_ERR_ARGUMENT;
    *delivered = 0;
    if (!validKind(kind)) return CALAPI_ERR_STREAM_KIND;
    const uint32_t number = numberOf(*record);
    if (number == 0) return CALAPI_ERR_NO_ENTRY;
    return abstore::streamRead(book, number, kind, buffer, capacity, delivered);
}

CALAPI_API int32_t ABEntryCreate(CalapiClient *client, uint32_t, ABEntryRecord *record, uint32_t,
                                 ABEntryId *id) {
    abstore::Book *book = bookOf(client);
    if (book == nullptr || record == nullptr || id == nullptr) return CALAPI_ERR_ARGUMENT;
    std::memset(id, 0, sizeof *id);
    ABEntryRecord stored = *record;
    std::memset(stored.reserved0, 0, sizeof stored.reserved0);
    uint32_t number = 0;
    if (const int32_t failed = abstore::create(book, &stored, kRecordSize, &number)) return failed;
    *id = idOf(number);
    std::memcpy(record->reserved0, id, sizeof *id);
    return 0;
}

CALAPI_API int32_t ABEntryStreamReplace(CalapiClient *client, uint32_t, uint32_t kind,
                                        const ABEntryId *id, const char *text, void *indicator) {
    abstore::Book *book = bookOf(client);
    if (book == nullptr || id == nullptr || text == nullptr) return CALAPI_ERR_ARGUMENT;
    if (!validKind(kind)) return CALAPI_ERR_STREAM_KIND;
    ABEntryRecord record;
    const uint32_t number = numberOf(*id);
    if (const int32_t failed = readEntry(book, number, &record)) return failed;
    const size_t size = std::strlen(text);
    if (size > UINT32_MAX) return CALAPI_ERR_ARGUMENT;
    if (const int32_t failed =
            abstore::streamWrite(book, number, kind, text, static_cast<uint32_t>(size)))
        return failed;
    setIndicator(record, kind);
    if (const int32_t failed = writeEntry(book, number, record)) return failed;
    const uint32_t one = 1;
    if (indicator != nullptr) std::memcpy(indicator, &one, sizeof one);
    return 0;
}

CALAPI_API int32_t ABEntryUpdate(CalapiClient *client, uint32_t mode, const ABEntryRecord *record,
                                 uint32_t) {
    abstore::Book *book = bookOf(client);
    if (book == nullptr || record == nullptr || (mode != 1 && mode != 2))
        return CALAPI_ERR_ARGUMENT;
    const uint32_t number = numberOf(*record);
    if (mode == 1) {
        if (number == 0) return CALAPI_ERR_NO_ENTRY;
        return writeEntry(book, number, *record);
    }
    ABEntryRecord stored;
    if (const int32_t failed = readEntry(book, number, &stored)) return failed;
    stored.photoFormat = record->photoFormat;
    stored.photo = record->photo;
    stored.generalNote = record->generalNote;
    stored.personalNote = record->personalNote;
    return writeEntry(book, number, stored);
}

CALAPI_API int32_t ABEntryGet(CalapiClient *client, const ABEntryId *id, ABEntryRecord *record) {
    abstore::Book *book = bookOf(client);
    if (book == nullptr || id == nullptr || record == nullptr) return CALAPI_ERR_ARGUMENT;
    return readEntry(book, numberOf(*id), record);
}

CALAPI_API int32_t ABEntryGetNext(CalapiClient *client, const ABEntryId *after, ABEntryId *id,
                                  ABEntryRecord *record) {
    abstore::Book *book = bookOf(client);
    if (book == nullptr || id == nullptr) return CALAPI_ERR_ARGUMENT;
    // `after` may be `id` itself: read it before clearing.
    const uint32_t previous = after != nullptr ? numberOf(*after) : 0;
    std::memset(id, 0, sizeof *id);
    uint32_t number = 0;
    if (const int32_t end = abstore::next(book, previous, &number)) return end;
    *id = idOf(number);
    return record != nullptr ? readEntry(book, number, record) : 0;
}

} // extern "C"
