// Inside the list library: the header and cell layout, and the few
// primitives every operation is built from. Only list/ and tests use it;
// callers above the library that need a scope guard use list/klguard.h.
//
// Where each operation lives (the file names are the list library's
// traditional ones: the letter and digit say the group, L1 lists, L5
// memory helpers):
//   createL1   KL_ListCreate, KL_ListCreateFromStr, KL_ListDestroy
//   addL1      KL_ListAddTo/AddAfter/AddBefore/AddLast, KL_ListChangeData,
//              KL_ListUpdateCurrent, KL_ListForceUpdateCurrent
//   deleteL1   KL_ListDeleteFrom, KL_ListDeleteCurrent
//   dltallL1   KL_ListDeleteAll
//   getL1      the cursor walk (GetFirst/Next/Prev/Last, AlwaysGet), KL_ListGet,
//              KL_ListFind, reading cells (GetData, GetIdPtr, CopyId,
//              CopyData, ZeroId)
//   getinfL1   flags and sizes (FlagDetect, GetValue, GetElemNum, GetDataSize,
//              GetFlags, GetIdSize, GetElemDataSize, GetElemIdSize)
//   cmpcL1     KL_ListCmpId, KL_ListCmpCell, KL_ListChangeCmpFct
//   copyL1     selection and merge (MergeSelect, Merge, GetSelection, Copy,
//              GetIdSelection, AlwaysTrueFct, IdCmpFct)
//   sortL1     KL_ListQuickSort, KL_ListSetFlag
//   verifyL1   KL_ListVerifyType
//   allocL1    KL_ListAlloc, KL_ListFree
//   cmpL5, copyL5, setL5   KL_MemCompare, KL_StrNCompare, KL_MemCopy,
//              KL_StrNCopy, KL_MemSet
//   wallocL1   cells: layout, making one, moving parts in and out
//   indexL1    the id index beside a unique list
//   klmem.h    the byte and text helpers the layers above use too
#pragma once

#include <cstddef>
#include <cstdint>

#include "list/klguard.h"
#include "versit_list.h"

// A cell is one allocation: this reference, then the data part, the id and
// one spare byte (see cellBytes).
struct KL_ListCell {
    KL_ListCell *next;
};
static_assert(sizeof(KL_ListCell) == sizeof(void *), "a cell starts with just its reference");

// The handle points here. Field order is fixed: other code has always read
// these fields by offset.
struct KL_ListHeader {
    KL_ListCell *first;
    KL_ListCell *previous; // cell before current; equal to current once current was deleted
    KL_ListCell *current;
    KL_ListCell *last;
    uint32_t flags;
    uint32_t dataSize;
    uint32_t idSize;
    uint32_t count;
    KL_ListCmpFct idCompare;
    KL_ListCmpFct dataCompare;
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(KL_ListCell) == 4, "a cell starts with a 4-byte reference");
static_assert(offsetof(KL_ListHeader, previous) == 4, "header layout");
static_assert(offsetof(KL_ListHeader, current) == 8, "header layout");
static_assert(offsetof(KL_ListHeader, last) == 12, "header layout");
static_assert(offsetof(KL_ListHeader, flags) == 16, "header layout");
static_assert(offsetof(KL_ListHeader, dataSize) == 20, "header layout");
static_assert(offsetof(KL_ListHeader, idSize) == 24, "header layout");
static_assert(offsetof(KL_ListHeader, count) == 28, "header layout");
static_assert(offsetof(KL_ListHeader, idCompare) == 32, "header layout");
static_assert(offsetof(KL_ListHeader, dataCompare) == 36, "header layout");
static_assert(sizeof(KL_ListHeader) == 40, "header layout");
#endif

namespace klist {

struct UniqueIndex;

// The allocation behind a handle: the header as laid out above, and beside
// it the optional id index of unique lists (indexL1.cpp).
struct ListBlock {
    KL_ListHeader header;
    UniqueIndex *index;
};

inline ListBlock *blockOf(KL_ListHeader *h) { return reinterpret_cast<ListBlock *>(h); }

constexpr uint32_t kUniqueFlags = KL_LIST_UNIQUE | KL_LIST_UNIQUE_SILENT;

inline bool has(const KL_ListHeader *h, uint32_t flag) { return (h->flags & flag) != 0; }

inline unsigned char *dataOf(KL_ListCell *cell) {
    return reinterpret_cast<unsigned char *>(cell) + sizeof(KL_ListCell);
}

// Where the cell's id starts: after the padded fixed data part, or right
// after the NUL of a text data part.
unsigned char *idOf(const KL_ListHeader *h, KL_ListCell *cell);

// Bytes a cell gives this id or data part (see KL_ListGetElemIdSize).
uint32_t elemIdSize(const KL_ListHeader *h, const void *id);
uint32_t elemDataSize(const KL_ListHeader *h, const void *data);

// Copy one part in the list's form (text bounded by its element size).
void copyId(const KL_ListHeader *h, void *destination, const void *id);
void copyData(const KL_ListHeader *h, void *destination, const void *data);
// Copy a cell's parts out to caller buffers (data NUL-padded to data size).
void readCell(const KL_ListHeader *h, KL_ListCell *cell, void *idOut, void *dataOut);

// Allocates and fills an unlinked cell. 0 or KL_LIST_E_NO_MEMORY.
int32_t makeCell(const KL_ListHeader *h, const void *id, const void *data, KL_ListCell **out);

// Links `cell` after `previous` (null: at the front), or unlinks it from
// after `previous`, keeping first, last, count, the index and the cursor
// right. Detaching frees nothing.
void attach(KL_ListHeader *h, KL_ListCell *previous, KL_ListCell *cell);
void detach(KL_ListHeader *h, KL_ListCell *previous, KL_ListCell *cell);
// Puts `fresh` where `old` stands, moving every header reference, and
// frees `old`.
void replace(KL_ListHeader *h, KL_ListCell *previous, KL_ListCell *old, KL_ListCell *fresh);
// Writes `id` and, when given, `data` over the cell (fixed-size parts).
void overwrite(KL_ListHeader *h, KL_ListCell *cell, const void *id, const void *data);
// Frees every cell and clears the list.
void freeCells(KL_ListHeader *h);

// The cell right before `cell` by walking from the first; null for the
// first cell.
KL_ListCell *predecessor(const KL_ListHeader *h, const KL_ListCell *cell);
// Whether the cell matches as KL_ListFind matches: by id when data is
// null, else by KL_ListCmpCell of (id, data, cell id, cell data).
bool matchesCell(KL_ListHeader *h, KL_ListCell *cell, const void *id, const void *data);
// The first cell matching, and its predecessor.
KL_ListCell *find(KL_ListHeader *h, const void *id, const void *data, KL_ListCell **previous);

// The uniqueness test before an add: 0 to go on, KL_LIST_DUPLICATE, or 1
// when a silent list already holds the id.
int32_t admit(KL_ListHeader *h, const void *id);

// Counts a call of KL_ListGetFirst or KL_ListGetNext and yields the
// processor on every tenth. walkCalls() reads the counter.
void countWalkCall();
uint32_t walkCalls();

// The id index: only lists with a uniqueness flag and a default id
// compare have one, and only once they have grown (the cells stay exactly
// as they would be without it). When it cannot be kept up (no memory) it
// is dropped and the linear search answers again.
enum class Presence { Unknown, Present, Absent };
Presence indexLookup(KL_ListHeader *h, const void *id);
void indexAdd(KL_ListHeader *h, KL_ListCell *cell);
void indexRemove(KL_ListHeader *h, KL_ListCell *cell);
void indexDrop(KL_ListHeader *h);
// Cells counted in the index (tests check it tracks the list).
uint32_t indexSize(KL_ListHeader *h);

// A malloc'ed buffer released at scope end.
class Buffer {
  public:
    explicit Buffer(uint64_t bytes);
    ~Buffer();
    Buffer(const Buffer &) = delete;
    Buffer &operator=(const Buffer &) = delete;
    unsigned char *get() const { return p_; }
    bool ok() const { return p_ != nullptr; }

  private:
    unsigned char *p_;
};

// A KL_ListAlloc buffer (selector 3: one id, 1: one data part), released
// at scope end.
class ListBuffer {
  public:
    ListBuffer() = default;
    ~ListBuffer() { KL_ListFree(p_); }
    ListBuffer(const ListBuffer &) = delete;
    ListBuffer &operator=(const ListBuffer &) = delete;
    int32_t allocate(KL_HLIST list, uint32_t selector) {
        return KL_ListAlloc(list, &p_, nullptr, selector);
    }
    void *get() const { return p_; }

  private:
    void *p_ = nullptr;
};

} // namespace klist
