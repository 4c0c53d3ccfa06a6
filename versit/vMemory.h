// Where the records' memory comes from. Every record, name and value the
// object model makes is taken here and given back here, so that a reader
// that builds a card only to look at it and throw it away (the converter)
// can have the whole card taken from one arena and dropped at once,
// instead of some 120 calls of malloc and as many of free per card.
//
// Outside an arena's scope blocks are malloc's, as the interface promises
// its callers; records, names and small blocks are kept when released and
// taken again on the same thread (see Record and takeBlock below). Inside
// a scope, blocks come from the arena, and release() leaves them there; a
// block the arena did not give out is freed as ever, so records may mix
// both. Only code that drops the records before the scope ends may open
// one, and code the scope calls out to (a caller's report function) runs
// with the arena set aside.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdlib>

namespace vmem {

class Arena {
  public:
    Arena() = default;
    ~Arena();
    Arena(const Arena &) = delete;
    Arena &operator=(const Arena &) = delete;

    // A block of `size` bytes, aligned as malloc aligns; null when memory
    // runs out.
    void *take(size_t size);
    bool owns(const void *block) const {
        const auto *p = static_cast<const char *>(block);
        // (After the first reset the arena is one chunk.)
        if (count_ == 1) return p >= chunks_[0].begin && p < chunks_[0].end;
        for (size_t i = count_; i-- > 0;) {
            if (p >= chunks_[i].begin && p < chunks_[i].end) return true;
        }
        return false;
    }
    // Forgets every block given out; the room stays for the next use, in
    // one piece.
    void reset();

  private:
    struct Chunk {
        char *begin;
        char *end;
    };
    bool grow(size_t size);
    // take() when the block is large or the chunk full; kept out of line,
    // so that the common case saves no registers.
#if defined(__GNUC__)
    __attribute__((noinline))
#endif
    void *
    takeElsewhere(size_t size, size_t rounded);

    static constexpr size_t kMaxChunks = 24;
    Chunk chunks_[kMaxChunks] = {};
    size_t count_ = 0;
    char *next_ = nullptr;  // the free room of the last chunk
    char *limit_ = nullptr; // and its end
    size_t nextSize_ = 0;   // of the chunk to make next
};

namespace detail {
// How many scopes are open on all threads: while none is, a block is
// malloc's without a look at the thread's own state, which costs more
// than the test of one number.
extern std::atomic<int> scopes;
void *allocateInScope(size_t size);
void releaseInScope(void *block);
} // namespace detail

namespace detail {
// A card's values are small blocks of as many sizes as its texts have,
// some thirty a card, and when a card is destroyed they were more than
// malloc's cache of each size holds. Released blocks are kept on their
// thread instead, by the room malloc gave them (known where the C library
// says: elsewhere none is kept), and given again for a size that room
// holds. They are malloc's blocks all the same: a caller may free what it
// is given.
void *takeBlock(size_t size);
void keepBlock(void *block);
} // namespace detail

// A block of `size` bytes, or null when memory runs out. (Inline: every
// record and string the parser makes comes through here.) Outside a scope,
// a small block released before on this thread may be given again: see
// keepBlock.
inline void *allocate(size_t size) {
    if (detail::scopes.load(std::memory_order_relaxed) == 0) return detail::takeBlock(size);
    return detail::allocateInScope(size);
}

// Gives a block back: kept, freed, or left in the arena that gave it out.
inline void release(void *block) {
    if (detail::scopes.load(std::memory_order_relaxed) == 0)
        detail::keepBlock(block);
    else
        detail::releaseInScope(block);
}

// The same as allocate(), zero-filled, for `count` items of `size` bytes.
void *allocateZeroed(size_t count, size_t size);

// The records of the object model (component, property, parameter, value):
// a client that imports card after card destroys each one's records only
// to have as many made again for the next, and malloc's own cache keeps
// seven of a size, so most of them went the long way through its bins.
// Released records are kept on their thread instead, up to kKept of each
// kind, and taken again before malloc is asked. They are malloc's blocks
// all the same, given back with free when the thread ends, when more are
// released than are kept, and by dropKept(). The address checker reports
// a use of a kept record as it reports one of a freed block, but for its
// first word: that links it to the next one kept, and a leak check that
// could not read the link would take the rest of the chain for lost. In an
// arena's scope nothing is kept (blocks come from the arena as ever), nor
// on Windows (see keeping()).
enum class Record : unsigned { Component, Property, Parameter, Value };
constexpr unsigned kRecordKinds = 4;
constexpr unsigned kKept = 1024;
static_assert(kKept < 65536, "a kept count is 16 bits");

namespace detail {
void *takeRecord(Record kind, size_t size);
void keepRecord(Record kind, void *block, size_t size);
void keepName(char *name);
} // namespace detail

// A block for a record of `kind`, `size` bytes (the same for every record
// of a kind), or null when memory runs out.
inline void *allocateRecord(Record kind, size_t size) {
    if (detail::scopes.load(std::memory_order_relaxed) != 0) return detail::allocateInScope(size);
    return detail::takeRecord(kind, size);
}

// Gives back a record's block (null is passed over): kept, freed, or left
// in its arena.
inline void releaseRecord(Record kind, void *block, size_t size) {
    if (detail::scopes.load(std::memory_order_relaxed) != 0)
        detail::releaseInScope(block);
    else
        detail::keepRecord(kind, block, size);
}

// The same for the names of components, properties and parameters: a
// copy of `text` (null when memory runs out or `text` is null), and its
// release. Names of up to 31 bytes are kept, by their length.
char *duplicateName(const char *text);
// The same for a name whose length (`length` bytes, no NUL among them) is
// known already.
char *duplicateName(const char *text, size_t length);
inline void releaseName(char *name) {
    if (detail::scopes.load(std::memory_order_relaxed) != 0)
        detail::releaseInScope(name);
    else
        detail::keepName(name);
}

// Frees the records and names kept on this thread: for code that counts
// the heap's blocks.
void dropKept();

// While it lives, blocks made on this thread come from `arena` (null: from
// malloc, as outside any scope).
class ArenaScope {
  public:
    explicit ArenaScope(Arena *arena);
    ~ArenaScope();
    ArenaScope(const ArenaScope &) = delete;
    ArenaScope &operator=(const ArenaScope &) = delete;

  private:
    Arena *saved_;
};

} // namespace vmem
