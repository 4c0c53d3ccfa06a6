#include "versit/vMemory.h"

#include <cstdlib>
#include <cstring>

#include "platform/threadLocal.h"

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

char *duplicate(const char *text) {
    if (text == nullptr) return nullptr;
    const size_t n = std::strlen(text) + 1;
    auto *copy = static_cast<char *>(allocate(n));
    if (copy != nullptr) std::memcpy(copy, text, n);
    return copy;
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

bool Arena::owns(const void *block) const {
    const auto *p = static_cast<const char *>(block);
    // (After the first reset the arena is one chunk.)
    if (count_ == 1) return p >= chunks_[0].begin && p < chunks_[0].end;
    for (size_t i = count_; i-- > 0;) {
        if (p >= chunks_[i].begin && p < chunks_[i].end) return true;
    }
    return false;
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
