// The id index of unique lists. Every add to a unique list first asks
// whether the id is present; walking the chain for that makes filling a
// list quadratic. Beside the header, a growing list keeps an open-address
// hash set of its cells, keyed the way the default compare functions see
// ids, so the question costs one probe. The cells and every answer stay
// what the walk would give: the set is consulted only while the list's id
// compare is one whose equality the key reproduces.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "list/klist.h"
#include "list/klmem.h"

namespace klist {

namespace {

// Below this many cells a walk is as quick as a probe and no memory is
// spent.
constexpr uint32_t kIndexFrom = 32;

struct Slot {
    KL_ListCell *cell; // null: empty; tombstone: removed
    uint32_t hash;
};

// Marks a slot whose cell was removed, so that probe runs stay unbroken.
KL_ListCell tombstone;
KL_ListCell *const kTombstone = &tombstone;

enum class KeyKind { None, Bytes, Text };

KeyKind keyKind(const KL_ListHeader *h) {
    if (h->idCompare == KL_StrNCompare) return KeyKind::Text;
    if (h->idCompare == KL_MemCompare && !has(h, KL_LIST_STRING_ID)) return KeyKind::Bytes;
    return KeyKind::None;
}

// Equal ids under the compare give equal keys: all id size bytes for
// KL_MemCompare, the bytes before the first NUL (at most id size) for
// KL_StrNCompare.
uint32_t hashId(const KL_ListHeader *h, const void *id) {
    const auto *p = static_cast<const unsigned char *>(id);
    uint32_t n = h->idSize;
    if (keyKind(h) == KeyKind::Text)
        n = static_cast<uint32_t>(strnlen(static_cast<const char *>(id), n));
    uint32_t x = 2166136261u; // FNV-1a
    for (uint32_t i = 0; i < n; ++i)
        x = (x ^ p[i]) * 16777619u;
    return x;
}

} // namespace

struct UniqueIndex {
    uint32_t capacity; // a power of two
    uint32_t live;
    uint32_t used; // live cells and tombstones
    Slot *slots;
};

namespace {

UniqueIndex *newIndex(uint32_t capacity) {
    auto *index = static_cast<UniqueIndex *>(std::malloc(sizeof(UniqueIndex)));
    if (index == nullptr) return nullptr;
    index->slots = static_cast<Slot *>(std::calloc(capacity, sizeof(Slot)));
    if (index->slots == nullptr) {
        std::free(index);
        return nullptr;
    }
    index->capacity = capacity;
    index->live = 0;
    index->used = 0;
    return index;
}

void freeIndex(UniqueIndex *index) {
    if (index == nullptr) return;
    std::free(index->slots);
    std::free(index);
}

void place(UniqueIndex *index, KL_ListCell *cell, uint32_t hash) {
    const uint32_t mask = index->capacity - 1;
    uint32_t i = hash & mask;
    while (index->slots[i].cell != nullptr && index->slots[i].cell != kTombstone)
        i = (i + 1) & mask;
    if (index->slots[i].cell == nullptr) ++index->used;
    index->slots[i] = Slot{cell, hash};
    ++index->live;
}

// Room for one more cell, growing (or sweeping tombstones) at 3/4 load.
bool makeRoom(KL_ListHeader *h) {
    UniqueIndex *index = blockOf(h)->index;
    if ((uint64_t{index->used} + 1) * 4 <= uint64_t{index->capacity} * 3) return true;
    uint32_t capacity = index->capacity;
    while ((uint64_t{index->live} + 1) * 2 > capacity) {
        if (capacity > UINT32_MAX / 2) return false;
        capacity *= 2;
    }
    UniqueIndex *grown = newIndex(capacity);
    if (grown == nullptr) return false;
    for (uint32_t i = 0; i < index->capacity; ++i) {
        const Slot &s = index->slots[i];
        if (s.cell != nullptr && s.cell != kTombstone) place(grown, s.cell, s.hash);
    }
    freeIndex(index);
    blockOf(h)->index = grown;
    return true;
}

bool build(KL_ListHeader *h) {
    uint32_t capacity = 64;
    while (capacity / 2 < h->count) {
        if (capacity > UINT32_MAX / 2) return false;
        capacity *= 2;
    }
    UniqueIndex *index = newIndex(capacity);
    if (index == nullptr) return false;
    for (KL_ListCell *c = h->first; c != nullptr; c = c->next)
        place(index, c, hashId(h, idOf(h, c)));
    blockOf(h)->index = index;
    return true;
}

} // namespace

Presence indexLookup(KL_ListHeader *h, const void *id) {
    if (!has(h, kUniqueFlags) || keyKind(h) == KeyKind::None) return Presence::Unknown;
    UniqueIndex *index = blockOf(h)->index;
    if (index == nullptr) {
        if (h->count < kIndexFrom || !build(h)) return Presence::Unknown;
        index = blockOf(h)->index;
    }
    const uint32_t hash = hashId(h, id);
    const uint32_t mask = index->capacity - 1;
    for (uint32_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot &s = index->slots[i];
        if (s.cell == nullptr) return Presence::Absent;
        if (s.cell != kTombstone && s.hash == hash &&
            h->idCompare(idOf(h, s.cell), id, h->idSize) == 0)
            return Presence::Present;
    }
}

void indexAdd(KL_ListHeader *h, KL_ListCell *cell) {
    if (blockOf(h)->index == nullptr) return;
    if (!makeRoom(h)) {
        indexDrop(h);
        return;
    }
    place(blockOf(h)->index, cell, hashId(h, idOf(h, cell)));
}

void indexRemove(KL_ListHeader *h, KL_ListCell *cell) {
    UniqueIndex *index = blockOf(h)->index;
    if (index == nullptr) return;
    const uint32_t mask = index->capacity - 1;
    const uint32_t start = hashId(h, idOf(h, cell)) & mask;
    // The cell is found along its probe run. Should its id have been
    // written in place behind the list's back, the run is the wrong one:
    // the whole table is searched, so no slot is left naming a freed cell.
    for (uint32_t n = 0, i = start; n < index->capacity; ++n, i = (i + 1) & mask) {
        Slot &s = index->slots[i];
        if (s.cell == cell) {
            s.cell = kTombstone;
            --index->live;
            return;
        }
    }
}

void indexDrop(KL_ListHeader *h) {
    freeIndex(blockOf(h)->index);
    blockOf(h)->index = nullptr;
}

uint32_t indexSize(KL_ListHeader *h) {
    const UniqueIndex *index = blockOf(h)->index;
    return index == nullptr ? 0 : index->live;
}

} // namespace klist
