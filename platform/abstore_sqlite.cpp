// The address book in SQLite: one row per entry holding the record bytes,
// one row per stream. A book in memory is a private in-memory database; a
// file is opened (or created) and its tables made when missing.
#include <sqlite3.h>

#include <cstdlib>
#include <cstring>

#include "calapi32.h"
#include "platform/abstore.h"

namespace abstore {
namespace {

// Entry numbers are never reused (AUTOINCREMENT): an identifier held by a
// client never names another entry later.
constexpr const char *kSchema = "CREATE TABLE IF NOT EXISTS entry("
                                " number INTEGER PRIMARY KEY AUTOINCREMENT,"
                                " record BLOB NOT NULL);"
                                "CREATE TABLE IF NOT EXISTS stream("
                                " entry INTEGER NOT NULL REFERENCES entry(number),"
                                " kind INTEGER NOT NULL,"
                                " text BLOB NOT NULL,"
                                " PRIMARY KEY(entry, kind));";

enum Statement {
    kInsert,
    kRead,
    kWrite,
    kNext,
    kExists,
    kStreamSize,
    kStreamRead,
    kStreamWrite,
    kStatementCount
};

constexpr const char *kStatements[kStatementCount] = {
    "INSERT INTO entry(record) VALUES(?1)",
    "SELECT record FROM entry WHERE number = ?1",
    "UPDATE entry SET record = ?2 WHERE number = ?1",
    "SELECT number FROM entry WHERE number > ?1 ORDER BY number LIMIT 1",
    "SELECT 1 FROM entry WHERE number = ?1",
    "SELECT length(text) FROM stream WHERE entry = ?1 AND kind = ?2",
    "SELECT text FROM stream WHERE entry = ?1 AND kind = ?2",
    "INSERT OR REPLACE INTO stream(entry, kind, text) VALUES(?1, ?2, ?3)",
};

bool inMemory(const char *path) {
    return path == nullptr || path[0] == '\0' || std::strcmp(path, ":memory:") == 0;
}

} // namespace

struct Book {
    sqlite3 *db;
    sqlite3_stmt *statements[kStatementCount];
};

namespace {

// A prepared statement, reset and bound to the entry number (and kind);
// reset again when the step is done, so that it holds no read lock.
class Query {
  public:
    Query(Book *book, Statement which, uint32_t number) : s_(book->statements[which]) {
        sqlite3_reset(s_);
        sqlite3_clear_bindings(s_);
        sqlite3_bind_int64(s_, 1, number);
    }
    Query(Book *book, Statement which, uint32_t number, uint32_t kind)
        : Query(book, which, number) {
        sqlite3_bind_int64(s_, 2, kind);
    }
    ~Query() { sqlite3_reset(s_); }
    Query(const Query &) = delete;
    Query &operator=(const Query &) = delete;

    bool bindBlob(int index, const void *data, uint32_t size) {
        // An empty stream is an empty blob, not NULL: bind a zero-length blob.
        return sqlite3_bind_blob64(s_, index, size != 0 ? data : "", size, SQLITE_TRANSIENT) ==
               SQLITE_OK;
    }
    int step() { return sqlite3_step(s_); }
    sqlite3_stmt *statement() const { return s_; }

  private:
    sqlite3_stmt *s_;
};

int32_t done(int rc) { return rc == SQLITE_DONE ? 0 : CALAPI_ERR_STORE; }

// 0 when the book has entry `number`.
int32_t exists(Book *book, uint32_t number) {
    Query q(book, kExists, number);
    const int rc = q.step();
    if (rc == SQLITE_DONE) return CALAPI_ERR_NO_ENTRY;
    return rc == SQLITE_ROW ? 0 : CALAPI_ERR_STORE;
}

// Why a stream was not found: no such entry, or no such stream.
int32_t missing(Book *book, uint32_t number) {
    const int32_t entry = exists(book, number);
    return entry != 0 ? entry : CALAPI_ERR_NO_STREAM;
}

} // namespace

int32_t open(const char *path, Book **book) {
    *book = nullptr;
    auto *b = static_cast<Book *>(std::calloc(1, sizeof(Book)));
    if (b == nullptr) return CALAPI_ERR_NO_MEMORY;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    int rc = sqlite3_open_v2(inMemory(path) ? ":memory:" : path, &b->db, flags, nullptr);
    if (rc == SQLITE_OK && !inMemory(path)) {
        // Each entry is its own transaction: with a write-ahead log they
        // do not wait for the disk one by one.
        rc = sqlite3_exec(b->db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr,
                          nullptr, nullptr);
    }
    if (rc == SQLITE_OK) rc = sqlite3_exec(b->db, kSchema, nullptr, nullptr, nullptr);
    for (int i = 0; rc == SQLITE_OK && i < kStatementCount; ++i)
        rc = sqlite3_prepare_v2(b->db, kStatements[i], -1, &b->statements[i], nullptr);
    if (rc != SQLITE_OK) {
        close(b);
        return rc == SQLITE_NOMEM ? CALAPI_ERR_NO_MEMORY : CALAPI_ERR_OPEN;
    }
    *book = b;
    return 0;
}

void close(Book *book) {
    if (book == nullptr) return;
    for (sqlite3_stmt *s : book->statements)
        sqlite3_finalize(s);
    sqlite3_close(book->db);
    std::free(book);
}

int32_t create(Book *book, const void *record, uint32_t size, uint32_t *number) {
    Query q(book, kInsert, 0);
    if (!q.bindBlob(1, record, size) || q.step() != SQLITE_DONE) return CALAPI_ERR_STORE;
    *number = static_cast<uint32_t>(sqlite3_last_insert_rowid(book->db));
    return 0;
}

int32_t read(Book *book, uint32_t number, void *record, uint32_t size) {
    Query q(book, kRead, number);
    const int rc = q.step();
    if (rc == SQLITE_DONE) return CALAPI_ERR_NO_ENTRY;
    if (rc != SQLITE_ROW || sqlite3_column_bytes(q.statement(), 0) != static_cast<int>(size))
        return CALAPI_ERR_STORE;
    std::memcpy(record, sqlite3_column_blob(q.statement(), 0), size);
    return 0;
}

int32_t write(Book *book, uint32_t number, const void *record, uint32_t size) {
    Query q(book, kWrite, number);
    if (!q.bindBlob(2, record, size)) return CALAPI_ERR_STORE;
    if (const int32_t failed = done(q.step())) return failed;
    return sqlite3_changes(book->db) == 1 ? 0 : CALAPI_ERR_NO_ENTRY;
}

int32_t next(Book *book, uint32_t after, uint32_t *number) {
    Query q(book, kNext, after);
    const int rc = q.step();
    if (rc == SQLITE_DONE) return CALAPI_END;
    if (rc != SQLITE_ROW) return CALAPI_ERR_STORE;
    *number = static_cast<uint32_t>(sqlite3_column_int64(q.statement(), 0));
    return 0;
}

int32_t streamSize(Book *book, uint32_t number, uint32_t kind, uint32_t *size) {
    Query q(book, kStreamSize, number, kind);
    const int rc = q.step();
    if (rc == SQLITE_DONE) return missing(book, number);
    if (rc != SQLITE_ROW) return CALAPI_ERR_STORE;
    *size = static_cast<uint32_t>(sqlite3_column_int64(q.statement(), 0));
    return 0;
}

int32_t streamRead(Book *book, uint32_t number, uint32_t kind, char *buffer, uint32_t capacity,
                   uint32_t *delivered) {
    Query q(book, kStreamRead, number, kind);
    const int rc = q.step();
    if (rc == SQLITE_DONE) return missing(book, number);
    if (rc != SQLITE_ROW) return CALAPI_ERR_STORE;
    const void *text = sqlite3_column_blob(q.statement(), 0);
    const auto size = static_cast<uint32_t>(sqlite3_column_bytes(q.statement(), 0));
    *delivered = size < capacity ? size : capacity;
    if (*delivered != 0) std::memcpy(buffer, text, *delivered);
    return 0;
}

int32_t streamWrite(Book *book, uint32_t number, uint32_t kind, const char *text, uint32_t size) {
    if (const int32_t failed = exists(book, number)) return failed;
    Query q(book, kStreamWrite, number, kind);
    if (!q.bindBlob(3, text, size)) return CALAPI_ERR_STORE;
    return done(q.step());
}

} // namespace abstore
