#include "versit/vMemory.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "platform/copy.h"
#include "platform/threadLocal.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define VMEM_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VMEM_ASAN 1
#endif
#endif
#if defined(VMEM_ASAN)
#include <sanitizer/asan_interface.h>
// The arena's free room stays poisoned, so that the address checker sees a
// record overrun or a block used after reset() as it sees one of malloc's.
#define VMEM_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define VMEM_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define VMEM_POISON(p, n) static_cast<void>(0)
#define VMEM_UNPOISON(p, n) static_cast<void>(0)
#endif

namespace vmem {
namespace {

constexpr size_t kAlign = alignof(std::max_align_t);
constexpr size_t kFirstChunk = size_t{32} << 10;
// Larger blocks (a photo's bytes) come from malloc even in a scope: in a
// chunk they would make the arena, kept from card to card, as large as the
// largest of them.
constexpr size_t kLargest = size_t{16} << 10;

// The arena of this thread's innermost scope, or null.
PLATFORM_THREAD_LOCAL Arena *tActive = nullptr;

} // namespace

std::atomic<int> detail::scopes{0};

void *detail::allocateInScope(size_t size) {
    Arena *arena = tActive;
    return arena == nullptr ? std::malloc(size) : arena->take(size);
}

void detail::releaseInScope(void *block) {
    const Arena *arena = tActive;
    if (arena == nullptr || !arena->owns(block)) std::free(block);
}

void *allocateZeroed(size_t count, size_t size) {
    Arena *arena = tActive;
    if (arena == nullptr) return std::calloc(count, size);
    if (size != 0 && count > static_cast<size_t>(-1) / size) return nullptr;
    void *block = arena->take(count * size);
    if (block != nullptr) std::memset(block, 0, count * size);
    return block;
}

namespace {

// Blocks kept by a class of their size, 1 to kTop, in a table of the
// thread's: a block may be too small to link (most names are shorter than
// a pointer).
constexpr unsigned kKeptPerClass = 64;
template <size_t kTop> struct SizedStore {
    unsigned count[kTop + 1];
    void *blocks[kTop + 1][kKeptPerClass];

    static bool holds(size_t c) { return c > 0 && c <= kTop; }
    // A block of class `c`, or null when none is kept.
    void *take(size_t c) { return !holds(c) || count[c] == 0 ? nullptr : blocks[c][--count[c]]; }
    // Keeps `block` in class `c`; false when there is no such class or it
    // is full.
    bool keep(size_t c, void *block) {
        if (!holds(c) || count[c] == kKeptPerClass) return false;
        blocks[c][count[c]++] = block;
        return true;
    }
};

// Names kept by their size with the NUL. A block is given out again only
// for a name of the size it was kept for, which it held, whatever room it
// had.
using NameStore = SizedStore<32>;

// Small blocks kept by the room they have: class k holds blocks of 16k to
// 16k+15 usable bytes, and a request of n bytes takes from class
// ceil(n / 16), whose every block has room for it.
using BlockStore = SizedStore<16>;

// The room malloc gave a block, where the C library says (elsewhere no
// block is kept).
#if defined(__GLIBC__)
constexpr bool kRoomKnown = true;
size_t usableSize(void *block) { return malloc_usable_size(block); }
#else
constexpr bool kRoomKnown = false;
size_t usableSize(void *) { return 0; }
#endif

// What this thread keeps: a chain of each kind of record, linked through
// the records' first bytes, and the tables of names and small blocks.
// (Small: the initial-exec model takes it from the room the loader keeps.)
struct Kept {
    enum State : unsigned char { Unused, Open, Closed };
    void *head[kRecordKinds];
    NameStore *names;
    BlockStore *blocks;
    uint16_t count[kRecordKinds];
    uint16_t size[kRecordKinds]; // of a record of each kind
    State state;
};
PLATFORM_THREAD_LOCAL Kept tKept = {};

#if !defined(_WIN32)
// Made with the thread's first kept block: frees what is kept when the
// thread ends, and has what is released after that freed at once.
struct DropAtExit {
    DropAtExit() = default;
    DropAtExit(const DropAtExit &) = delete;
    DropAtExit &operator=(const DropAtExit &) = delete;
    ~DropAtExit() {
        dropKept();
        tKept.state = Kept::Closed;
    }
};
#endif

// Whether blocks may be kept on this thread (not once it is ending). Not
// on Windows: there a thread's thread_local destructors were not seen to
// have run when the thread was joined (mingw-w64's runtime under wine),
// so what the thread kept would outlive it.
bool keeping() {
#if defined(_WIN32)
    return false;
#else
    Kept &kept = tKept;
    if (kept.state == Kept::Unused) {
        static thread_local DropAtExit drop;
        static_cast<void>(drop);
        kept.state = Kept::Open;
    }
    return kept.state == Kept::Open;
#endif
}

// The thread's table of names or of blocks, made with its first block:
// then rather than when a block is released, as releasing never fails.
// Null, with nothing made, when memory runs out.
template <class Store>
#if defined(__GNUC__)
__attribute__((noinline))
#endif
void *
firstBlockOf(Store *&store, size_t size) {
    if (keeping()) {
        store = static_cast<Store *>(std::calloc(1, sizeof(Store)));
        if (store == nullptr) return nullptr;
    }
    return std::malloc(size);
}

// A block of `size` bytes for a name: one kept for a name of that size,
// or malloc's.
void *nameBlock(size_t size) {
    NameStore *store = tKept.names;
    if (store == nullptr) return firstBlockOf(tKept.names, size);
    void *block = store->take(size);
    if (block == nullptr) return std::malloc(size);
    VMEM_UNPOISON(block, size);
    return block;
}

// keepRecord() when the record is not kept at once: out of line, so that
// keeping one saves no registers.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
void keepElsewhere(Record kind, void *block, size_t size) {
    if (block == nullptr) return;
    if (!keeping() || tKept.count[static_cast<unsigned>(kind)] == kKept) {
        std::free(block);
        return;
    }
    detail::keepRecord(kind, block, size);
}

} // namespace

char *duplicateName(const char *text) {
    return text != nullptr ? duplicateName(text, std::strlen(text)) : nullptr;
}

char *duplicateName(const char *text, size_t length) {
    const size_t n = length + 1;
    void *block = detail::scopes.load(std::memory_order_relaxed) != 0 ? detail::allocateInScope(n)
                                                                      : nameBlock(n);
    if (block == nullptr) return nullptr;
    auto *name = static_cast<char *>(block);
    platform::copyBytes(name, text, length);
    name[length] = '\0';
    return name;
}

namespace {

// Keeps `block` in class `c` of the thread's `store`, its `room` bytes
// poisoned; frees it when it cannot be kept.
template <class Store> void keepOrFree(Store *store, size_t c, void *block, size_t room) {
    static_cast<void>(room); // (read by the address checker's builds only)
    if (store != nullptr && tKept.state == Kept::Open && store->keep(c, block)) {
        VMEM_POISON(block, room);
        return;
    }
    std::free(block);
}

} // namespace

void detail::keepName(char *name) {
    if (name == nullptr) return;
    const size_t n = std::strlen(name) + 1;
    keepOrFree(tKept.names, n, name, n);
}

void *detail::takeBlock(size_t size) {
    BlockStore *store = tKept.blocks;
    if (store == nullptr) return kRoomKnown ? firstBlockOf(tKept.blocks, size) : std::malloc(size);
    void *block = store->take((size + 15) / 16);
    if (block == nullptr) return std::malloc(size);
    // (All its room: the C library may read it all when the block is
    // grown or freed.)
    VMEM_UNPOISON(block, usableSize(block));
    return block;
}

void detail::keepBlock(void *block) {
    if (block == nullptr) return;
    const size_t room = usableSize(block);
    keepOrFree(tKept.blocks, room / 16, block, room);
}

void *detail::takeRecord(Record kind, size_t size) {
    Kept &kept = tKept;
    const auto i = static_cast<unsigned>(kind);
    void *block = kept.head[i];
    if (block == nullptr) return std::malloc(size);
    VMEM_UNPOISON(block, size);
    std::memcpy(&kept.head[i], block, sizeof(void *));
    --kept.count[i];
    return block;
}

void detail::keepRecord(Record kind, void *block, size_t size) {
    Kept &kept = tKept;
    const auto i = static_cast<unsigned>(kind);
    if (block == nullptr || kept.state != Kept::Open || kept.count[i] == kKept) {
        keepElsewhere(kind, block, size);
        return;
    }
    std::memcpy(block, &kept.head[i], sizeof(void *));
    kept.head[i] = block;
    kept.size[i] = static_cast<uint16_t>(size);
    ++kept.count[i];
    VMEM_POISON(static_cast<char *>(block) + sizeof(void *), size - sizeof(void *));
}

namespace {

// Frees a table and the blocks it keeps; `room(class, block)` says how much
// of a block is poisoned.
template <class Store, class Room> void dropStore(Store *&store, Room room) {
    static_cast<void>(room); // (read by the address checker's builds only)
    if (store == nullptr) return;
    for (size_t c = 0; c < std::size(store->count); ++c) {
        for (unsigned i = 0; i < store->count[c]; ++i) {
            VMEM_UNPOISON(store->blocks[c][i], room(c, store->blocks[c][i]));
            std::free(store->blocks[c][i]);
        }
    }
    std::free(store);
    store = nullptr;
}

} // namespace

void dropKept() {
    Kept &kept = tKept;
    for (unsigned i = 0; i < kRecordKinds; ++i) {
        for (void *block = kept.head[i]; block != nullptr;) {
            VMEM_UNPOISON(block, kept.size[i]);
            void *next = nullptr;
            std::memcpy(&next, block, sizeof next);
            std::free(block);
            block = next;
        }
        kept.head[i] = nullptr;
        kept.count[i] = 0;
    }
    dropStore(kept.names, [](size_t c, void *) { return c; });
    dropStore(kept.blocks, [](size_t, void *block) { return usableSize(block); });
}

Arena::~Arena() {
    for (size_t i = 0; i < count_; ++i) {
        VMEM_UNPOISON(chunks_[i].begin, static_cast<size_t>(chunks_[i].end - chunks_[i].begin));
        std::free(chunks_[i].begin);
    }
}

bool Arena::grow(size_t size) {
    if (count_ == kMaxChunks) return false;
    size_t chunk = nextSize_ > kFirstChunk ? nextSize_ : kFirstChunk;
    if (chunk < size) chunk = size;
    auto *begin = static_cast<char *>(std::malloc(chunk));
    if (begin == nullptr) return false;
    VMEM_POISON(begin, chunk);
    chunks_[count_++] = {begin, begin + chunk};
    next_ = begin;
    limit_ = begin + chunk;
    nextSize_ = chunk * 2;
    return true;
}

void *Arena::take(size_t size) {
    // Every block takes room, so that no two share an address.
    const size_t rounded = (size + (kAlign - 1) + (size == 0 ? 1 : 0)) & ~(kAlign - 1);
    char *block = next_;
    if (static_cast<size_t>(limit_ - block) < rounded || size > kLargest)
        return takeElsewhere(size, rounded);
    next_ = block + rounded;
    VMEM_UNPOISON(block, size);
    return block;
}

void *Arena::takeElsewhere(size_t size, size_t rounded) {
    if (size > kLargest) return std::malloc(size);
    // Out of chunks, malloc serves: release() frees what no chunk holds.
    if (!grow(rounded)) return count_ == kMaxChunks ? std::malloc(rounded) : nullptr;
    char *block = next_;
    next_ = block + rounded;
    VMEM_UNPOISON(block, size);
    return block;
}

void Arena::reset() {
    if (count_ == 0) return;
    if (count_ == 1) {
        VMEM_POISON(chunks_[0].begin, static_cast<size_t>(next_ - chunks_[0].begin));
        next_ = chunks_[0].begin;
        return;
    }
    // What one use took in pieces is taken next time in one.
    size_t total = 0;
    for (size_t i = 0; i < count_; ++i) {
        total += static_cast<size_t>(chunks_[i].end - chunks_[i].begin);
        VMEM_UNPOISON(chunks_[i].begin, static_cast<size_t>(chunks_[i].end - chunks_[i].begin));
        std::free(chunks_[i].begin);
    }
    count_ = 0;
    next_ = limit_ = nullptr;
    nextSize_ = total;
}

ArenaScope::ArenaScope(Arena *arena) : saved_(tActive) {
    tActive = arena;
    detail::scopes.fetch_add(1, std::memory_order_relaxed);
}

ArenaScope::~ArenaScope() {
    detail::scopes.fetch_sub(1, std::memory_order_relaxed);
    tActive = saved_;
}

} // namespace vmem
