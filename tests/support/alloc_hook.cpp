#include "support/alloc_hook.h"

#include <cstdlib>
#include <unordered_set>

#include <gtest/gtest.h>

#include "versit/vMemory.h"

extern "C" {
void *__real_malloc(size_t size);
void *__real_calloc(size_t count, size_t size);
void *__real_realloc(void *p, size_t size);
void __real_free(void *p);
}

namespace {

long remaining = -1;
bool didFail = false;
bool tracking = false;
// Set while the hook's own bookkeeping allocates (operator new comes back
// through the C library, not through the wrapped names, but be safe).
bool inHook = false;

std::unordered_set<void *> &liveSet() {
    static std::unordered_set<void *> set;
    return set;
}

bool shouldFail() {
    if (inHook || remaining < 0) return false;
    didFail = remaining-- == 0;
    return didFail;
}

// Records `added` as live and `removed` as gone while tracking.
void track(void *added, void *removed) {
    if (!tracking || inHook) return;
    inHook = true;
    if (removed != nullptr) liveSet().erase(removed);
    if (added != nullptr) liveSet().insert(added);
    inHook = false;
}

} // namespace

extern "C" {

void *__wrap_malloc(size_t size) {
    void *p = shouldFail() ? nullptr : __real_malloc(size);
    track(p, nullptr);
    return p;
}

void *__wrap_calloc(size_t count, size_t size) {
    void *p = shouldFail() ? nullptr : __real_calloc(count, size);
    track(p, nullptr);
    return p;
}

void *__wrap_realloc(void *old, size_t size) {
    void *p = shouldFail() ? nullptr : __real_realloc(old, size);
    if (p != nullptr) track(p, old);
    return p;
}

void __wrap_free(void *p) {
    track(nullptr, p);
    __real_free(p);
}

} // extern "C"

namespace alloc_hook {

// Records the library keeps for reuse are freed first, so that the Nth
// allocation and the count of live blocks are the same from run to run.
void failAfter(long n) {
    if (n >= 0) vmem::dropKept();
    remaining = n;
    didFail = false;
}

bool failed() { return didFail; }

void startTracking() {
    vmem::dropKept();
    inHook = true;
    liveSet().clear();
    inHook = false;
    tracking = true;
}

size_t live() {
    vmem::dropKept();
    return liveSet().size();
}

void stopTracking() {
    vmem::dropKept();
    tracking = false;
}

int sweep(const std::function<void()> &body) {
    int points = 0;
    for (long n = 0;; ++n) {
        startTracking();
        failAfter(n);
        body();
        const bool hit = failed();
        failAfter(-1);
        stopTracking();
        EXPECT_EQ(live(), 0u) << "leak when allocation " << n + 1 << " fails";
        if (!hit) break;
        if (++points > 100000) {
            ADD_FAILURE() << "allocation sweep does not end";
            break;
        }
    }
    return points;
}

} // namespace alloc_hook
