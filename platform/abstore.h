// The store behind the client library's address book: entry records and
// their streams, by entry number. Two back ends stand behind these
// functions: SQLite (abstore_sqlite.cpp) where the system has it, and a
// plain in-memory store (abstore_memory.cpp) on Windows builds. The
// client library (calapi32.cpp) knows the record layout; the store keeps
// records as opaque bytes.
#pragma once

#include <cstdint>

namespace abstore {

struct Book;

// Each function returns 0 or a CALAPI_ code (calapi32.h).

// A book in memory (path null, "" or ":memory:") or in a file, created
// when missing. CALAPI_ERR_OPEN, CALAPI_ERR_NO_FILES, CALAPI_ERR_NO_MEMORY.
int32_t open(const char *path, Book **book);
void close(Book *book);

// Stores a new entry of `size` record bytes; *number receives its number,
// counted from 1 and never reused.
int32_t create(Book *book, const void *record, uint32_t size, uint32_t *number);
// CALAPI_ERR_NO_ENTRY when the book has no entry `number`.
int32_t read(Book *book, uint32_t number, void *record, uint32_t size);
int32_t write(Book *book, uint32_t number, const void *record, uint32_t size);
// The smallest entry number above `after`; CALAPI_END when there is none.
int32_t next(Book *book, uint32_t after, uint32_t *number);

// Streams: text without NUL, by kind (0 to 3). CALAPI_ERR_NO_STREAM.
int32_t streamSize(Book *book, uint32_t number, uint32_t kind, uint32_t *size);
// Copies at most `capacity` bytes; *delivered receives how many.
int32_t streamRead(Book *book, uint32_t number, uint32_t kind, char *buffer, uint32_t capacity,
                   uint32_t *delivered);
// Stores `size` bytes of `text` as the stream, replacing the one there.
int32_t streamWrite(Book *book, uint32_t number, uint32_t kind, const char *text, uint32_t size);

} // namespace abstore
