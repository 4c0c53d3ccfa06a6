/*
 * calapi32.h - the client library's address book (CALAPI32), as this project provides it.
 *
 * The calendaring client reaches its address-book store through its own library; the address-
 * book exchange (versit_abx.h) calls five of its operations. This library stands in for it: a
 * real address book whose entries and streams live in an SQLite database, in memory or in a
 * file (on Windows builds, which have no SQLite, in memory only).
 *
 * A client opens a connection with CalapiOpen and passes the handle to every call. Entries are
 * ABEntryRecord records (versit_abx.h) named by an ABEntryId; each may have four text streams:
 * the exchange's three (AB_STREAM_...) and CALAPI_STREAM_KEPT. Records handed out by the library
 * carry their entry's identifier in their first 10 bytes, and ABEntryCreate writes it there too:
 * the operations that take a record find its entry through those bytes.
 *
 * Every operation returns 0 for success or one of the CALAPI_ codes below, a block of its own
 * that no versit code uses. Not thread-safe: one connection, one thread.
 */
#ifndef CALAPI32_H
#define CALAPI32_H

#include <stdint.h>

#include "versit_abx.h"

#if defined(CALAPI_BUILDING) && defined(_WIN32)
#define CALAPI_API __declspec(dllexport)
#elif defined(CALAPI_BUILDING) && defined(__GNUC__)
#define CALAPI_API __attribute__((visibility("default")))
#else
#define CALAPI_API /* functions need no import marking */
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes. */
#define CALAPI_ERR_ARGUMENT 0x0CA10001    /* a null handle, record, text or output; a bad mode */
#define CALAPI_ERR_NO_MEMORY 0x0CA10002   /* memory ran out */
#define CALAPI_ERR_NO_ENTRY 0x0CA10003    /* no entry has that identifier */
#define CALAPI_ERR_NO_STREAM 0x0CA10004   /* the entry has no stream of that kind */
#define CALAPI_ERR_STREAM_KIND 0x0CA10005 /* a stream kind other than 0 to 3 */
#define CALAPI_ERR_STORE 0x0CA10006       /* the database refused a read or a write */
#define CALAPI_ERR_OPEN 0x0CA10007        /* the book cannot be opened or is not an address book */
#define CALAPI_ERR_NO_FILES 0x0CA10008    /* this build keeps books in memory only */
#define CALAPI_END 0x0CA10009             /* no further entry */

/* The connection record. The address-book exchange reads `field18` and `field20`, which every
 * entry it creates receives (record bytes 16 and 18). */
struct CalapiClient {
    uint32_t magic;       /*  0 marks a live connection */
    uint8_t reserved[14]; /*  4 */
    uint16_t field18;     /* 18 the client's node number */
    uint16_t field20;     /* 20 the client's user number */
    void *book;           /* 24 the store behind the connection */
};
#ifndef CALAPI_CLIENT_DECLARED
#define CALAPI_CLIENT_DECLARED
typedef struct CalapiClient CalapiClient;
#endif

/* Opens the address book at `path` (null, "" or ":memory:": a new empty book in memory; a file
 * is created when missing) and hands out a connection in *client, whose field18 and field20
 * get `node` and `user`. CALAPI_ERR_ARGUMENT; CALAPI_ERR_NO_MEMORY; CALAPI_ERR_OPEN;
 * CALAPI_ERR_NO_FILES for a path in a build without files. *client is null on failure. */
CALAPI_API int32_t CalapiOpen(const char *path, uint16_t node, uint16_t user,
                              CalapiClient **client);

/* Closes the connection (a book in memory is gone with it) and clears *client.
 * CALAPI_ERR_ARGUMENT for a null address or connection. */
CALAPI_API int32_t CalapiClose(CalapiClient **client);

/* The symbolic name of a CALAPI_ code, or null for any other number. */
CALAPI_API const char *CalapiResultName(int32_t code);

/* The stream kind the exchange leaves free: the properties of the imported card that the record
 * has no field for, as the text of one vCard 2.1 (versit ab keeps them there and adds them back
 * when it exports the entry). No record field marks it: ABEntryStreamSizeGet tells. */
#define CALAPI_STREAM_KEPT 1

/* ------------------------------------------------------------------------
 * The five operations of the address-book exchange. Arguments named `reserved` are 0.
 */

/* The length in bytes of the stream `kind` of the record's entry, in *size.
 * CALAPI_ERR_NO_ENTRY, CALAPI_ERR_NO_STREAM, CALAPI_ERR_STREAM_KIND, CALAPI_ERR_ARGUMENT. */
CALAPI_API int32_t ABEntryStreamSizeGet(CalapiClient *client, uint32_t reserved, uint32_t kind,
                                        const ABEntryRecord *record, uint32_t *size);

/* Copies the stream `kind` of the record's entry into `buffer`: at most `capacity` bytes, no
 * NUL added; *delivered receives the number copied. Codes as ABEntryStreamSizeGet. */
CALAPI_API int32_t ABEntryStreamGet(CalapiClient *client, uint32_t reserved, uint32_t kind,
                                    const ABEntryRecord *record, char *buffer, uint32_t capacity,
                                    uint32_t *delivered, uint32_t reserved2);

/* Creates an entry holding `record` (its first 10 bytes aside) and writes its identifier to
 * *id and to the record's first 10 bytes. The identifier: kind 1, the entry's number (from 1 in
 * each book, never reused), check 0. CALAPI_ERR_ARGUMENT, CALAPI_ERR_STORE. */
CALAPI_API int32_t ABEntryCreate(CalapiClient *client, uint32_t reserved, ABEntryRecord *record,
                                 uint32_t reserved2, ABEntryId *id);

/* Stores the NUL-terminated `text` (without its NUL) as stream `kind` of entry *id, replacing
 * the one it had, marks the stored entry as having it (in the record field named beside the
 * AB_STREAM_ kind; CALAPI_STREAM_KEPT has none) and sets the u32 at `indicator` (when not null;
 * the field of a packed record, so it is written byte by byte) to 1.
 * CALAPI_ERR_NO_ENTRY, CALAPI_ERR_STREAM_KIND, CALAPI_ERR_ARGUMENT, CALAPI_ERR_STORE. */
CALAPI_API int32_t ABEntryStreamReplace(CalapiClient *client, uint32_t reserved, uint32_t kind,
                                        const ABEntryId *id, const char *text, void *indicator);

/* Stores fields of `record` into its entry: mode 2 the photo format and the three stream
 * indicators, mode 1 every field. CALAPI_ERR_ARGUMENT (also for another mode),
 * CALAPI_ERR_NO_ENTRY, CALAPI_ERR_STORE. */
CALAPI_API int32_t ABEntryUpdate(CalapiClient *client, uint32_t mode, const ABEntryRecord *record,
                                 uint32_t reserved);

/* ------------------------------------------------------------------------
 * Reading the book.
 */

/* The record of entry *id in *record. CALAPI_ERR_NO_ENTRY, CALAPI_ERR_ARGUMENT. */
CALAPI_API int32_t ABEntryGet(CalapiClient *client, const ABEntryId *id, ABEntryRecord *record);

/* The entry that follows *after in the book (after null: the first), its identifier in *id and
 * its record in *record (may be null). CALAPI_END after the last; CALAPI_ERR_ARGUMENT. */
CALAPI_API int32_t ABEntryGetNext(CalapiClient *client, const ABEntryId *after, ABEntryId *id,
                                  ABEntryRecord *record);

#ifdef __cplusplus
}
#endif

#endif /* CALAPI32_H */
