// Shared machinery of the four versit records: releasing chains, copying
// chains, and a guard that releases a half-built chain on an early return.
#pragma once

#include "versit_core.h"

namespace vrec {

// Release a record, everything it owns and every record after it in its
// chain. Walks `next` iteratively, so long chains cost no stack.
void releaseChain(vValue *value);
void releaseChain(vParameter *parameter);
void releaseChain(vProperty *property);
void releaseChain(vComponent *component);
} // namespace vrec

namespace vmem {
class Arena;
}

namespace vrec {
// Releases a tree of components made in `arena`'s scope, and still in it,
// as releaseChain would there, in one walk without a look at the thread's
// scope for each block: only what malloc gave (a large value, a text
// decoded after the parse) is freed, the rest going when the arena is
// reset.
void releaseOutside(vComponent *component, const vmem::Arena &arena);

// Logs the out-of-memory failure of a constructor the way every one of
// them reports it.
void logNoCore(const char *label);

// Copies the chain that starts at `source`, one record at a time with
// `copyOne`, keeping the order. All or nothing: when a copy fails, the
// copies made so far are released and null is returned.
template <class Record, class CopyOne> Record *dupChain(const Record *source, CopyOne copyOne) {
    Record *head = nullptr;
    Record **link = &head;
    for (const Record *s = source; s != nullptr; s = s->next) {
        Record *copy = copyOne(s);
        if (copy == nullptr) {
            releaseChain(head);
            return nullptr;
        }
        *link = copy;
        link = &copy->next;
    }
    return head;
}

// Owns a chain until release() hands it on.
template <class Record> class ChainGuard {
  public:
    explicit ChainGuard(Record *chain) : chain_(chain) {}
    ChainGuard(const ChainGuard &) = delete;
    ChainGuard &operator=(const ChainGuard &) = delete;
    ~ChainGuard() { releaseChain(chain_); }
    Record *get() const { return chain_; }
    Record *release() {
        Record *chain = chain_;
        chain_ = nullptr;
        return chain;
    }
    // Releases what it held and takes `chain` instead.
    void reset(Record *chain) {
        if (chain == chain_) return;
        releaseChain(chain_);
        chain_ = chain;
    }

  private:
    Record *chain_;
};

// The destroy operations share one shape: clear the caller's pointer first,
// then release what it pointed at.
template <class Record> void destroyThrough(Record **holder) {
    if (holder == nullptr) return;
    Record *chain = *holder;
    *holder = nullptr;
    releaseChain(chain);
}

// VLIB_new_vProperty and VLIB_new_vParameter for a name whose length the
// caller knows (the parse does): `name` is `length` bytes without a NUL.
vProperty *newProperty(int32_t propertyType, const char *name, size_t length, vValue *valueList,
                       vParameter *parameterList, vProperty *next);
vParameter *newParameter(int32_t parameterType, const char *name, size_t length, vValue *valueList,
                         vParameter *next);

// Name setters share one shape: copy first, so a failed copy leaves the
// record as it was.
bool replaceName(char *&field, const char *name, const char *label);

} // namespace vrec
