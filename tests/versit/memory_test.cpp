// The records' memory: an arena's blocks in its scope, malloc's outside
// it, and release() telling the two apart wherever a record was made;
// records released outside a scope kept for the next of their kind.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include "support/alloc_hook.h"
#include "versit/vMemory.h"
#include "versit_core.h"

namespace {

bool aligned(const void *p) {
    return reinterpret_cast<uintptr_t>(p) % alignof(std::max_align_t) == 0;
}

TEST(Arena, BlocksAreDistinctAlignedAndOwned) {
    vmem::Arena arena;
    std::set<const void *> seen;
    // Sizes around the alignment, zero among them, and enough blocks to
    // need several chunks.
    for (int round = 0; round < 4000; ++round) {
        const size_t size = static_cast<size_t>(round % 40);
        auto *p = static_cast<unsigned char *>(arena.take(size));
        ASSERT_NE(p, nullptr);
        EXPECT_TRUE(aligned(p)) << size;
        EXPECT_TRUE(seen.insert(p).second) << "two blocks at one address";
        EXPECT_TRUE(arena.owns(p));
        std::memset(p, 0xA5, size); // the checker sees an overrun of any of them
    }
    int local = 0;
    EXPECT_FALSE(arena.owns(&local));
}

TEST(Arena, LargeBlocksComeFromMallocAndAreFreedByRelease) {
    vmem::Arena arena;
    const vmem::ArenaScope scope(&arena);
    void *small = vmem::allocate(100);
    void *large = vmem::allocate(size_t{1} << 20);
    EXPECT_TRUE(small != nullptr && arena.owns(small));
    EXPECT_TRUE(large != nullptr && !arena.owns(large));
    alloc_hook::startTracking();
    vmem::release(small); // stays in the arena: nothing to free
    EXPECT_EQ(alloc_hook::live(), 0u);
    alloc_hook::stopTracking();
    vmem::release(large); // a leak here would be the checker's finding
}

TEST(Arena, ResetKeepsTheRoomInOnePiece) {
    vmem::Arena arena;
    for (int i = 0; i < 20000; ++i)
        ASSERT_NE(arena.take(64), nullptr);
    arena.reset();
    // The same use again fits in the one chunk the reset made: no malloc.
    alloc_hook::startTracking();
    for (int i = 0; i < 20000; ++i)
        ASSERT_NE(arena.take(64), nullptr);
    EXPECT_EQ(alloc_hook::live(), 1u);
    alloc_hook::stopTracking();
    arena.reset();
    void *again = arena.take(8);
    EXPECT_TRUE(arena.owns(again));
}

TEST(ArenaScope, RecordsComeFromTheArenaOnlyInside) {
    vmem::Arena arena;
    vValue *outside = VLIB_new_vValue(0, "kept", -1, nullptr);
    vValue *inside = nullptr;
    vValue *suspended = nullptr;
    {
        const vmem::ArenaScope scope(&arena);
        inside = VLIB_new_vValue(0, "dropped", -1, nullptr);
        {
            const vmem::ArenaScope plain(nullptr);
            suspended = VLIB_new_vValue(0, "kept too", -1, nullptr);
        }
        ASSERT_NE(inside, nullptr);
        EXPECT_TRUE(arena.owns(inside) && arena.owns(inside->data));
        // A record made outside may be released inside: it is freed.
        VLIB_destroy_vValue(&outside);
        VLIB_destroy_vValue(&inside);
    }
    ASSERT_NE(suspended, nullptr);
    EXPECT_FALSE(arena.owns(suspended) || arena.owns(suspended->data));
    VLIB_destroy_vValue(&suspended);
    arena.reset();
}

TEST(ArenaScope, RunningOutOfMemoryIsReportedNotFallenBackFrom) {
    vmem::Arena arena;
    const vmem::ArenaScope scope(&arena);
    alloc_hook::failAfter(0); // the arena's first chunk
    EXPECT_EQ(VLIB_new_vValue(0, "x", -1, nullptr), nullptr);
    EXPECT_TRUE(alloc_hook::failed());
    alloc_hook::failAfter(-1);
    vValue *v = VLIB_new_vValue(0, "x", -1, nullptr);
    EXPECT_NE(v, nullptr);
    VLIB_destroy_vValue(&v);
}

// A kept record comes back only as a record of its own kind, on its own
// thread, and made afresh: nothing of its last use shows.
TEST(KeptRecords, ComeBackAsTheirKindOnTheirThread) {
#if defined(_WIN32)
    GTEST_SKIP() << "nothing is kept on Windows";
#endif
    vmem::dropKept();
    vProperty *first = VLIB_new_vProperty(7, "TEL", nullptr, nullptr, nullptr);
    ASSERT_NE(first, nullptr);
    const void *was = first;
    VLIB_set_vProperty_datatype(first, 3);
    VLIB_destroy_vProperty(&first);

    vValue *value = VLIB_new_vValue(0, "x", -1, nullptr);
    vParameter *parameter = VLIB_new_vParameter(0, "TYPE", nullptr, nullptr);
    EXPECT_NE(static_cast<const void *>(value), was);
    EXPECT_NE(static_cast<const void *>(parameter), was);
    std::thread([was] {
        vProperty *other = VLIB_new_vProperty(0, "N", nullptr, nullptr, nullptr);
        EXPECT_NE(static_cast<const void *>(other), was);
        VLIB_destroy_vProperty(&other);
    }).join();

    vProperty *again = VLIB_new_vProperty(0, "FN", nullptr, nullptr, nullptr);
    ASSERT_EQ(static_cast<const void *>(again), was);
    EXPECT_STREQ(again->name, "FN");
    EXPECT_EQ(again->propertyType, 0);
    EXPECT_EQ(again->datatype, VLIB_DATATYPE_UNRESOLVED);
    EXPECT_EQ(again->valueList, nullptr);
    EXPECT_EQ(again->parameterList, nullptr);
    EXPECT_EQ(again->next, nullptr);
    EXPECT_EQ(again->parentComponent, nullptr);
    VLIB_destroy_vProperty(&again);
    VLIB_destroy_vValue(&value);
    VLIB_destroy_vParameter(&parameter);
}

// A kept name's block is given out again for a name of its size only,
// whichever record the name is for.
TEST(KeptRecords, NamesComeBackForNamesOfTheirSize) {
#if defined(_WIN32)
    GTEST_SKIP() << "nothing is kept on Windows";
#endif
    vmem::dropKept();
    vProperty *property = VLIB_new_vProperty(0, "TEL", nullptr, nullptr, nullptr);
    ASSERT_NE(property, nullptr);
    const void *was = property->name;
    VLIB_destroy_vProperty(&property);
    vParameter *longer = VLIB_new_vParameter(0, "TYPE", nullptr, nullptr);
    vParameter *same = VLIB_new_vParameter(0, "FAX", nullptr, nullptr);
    ASSERT_TRUE(longer != nullptr && same != nullptr);
    EXPECT_NE(static_cast<const void *>(longer->name), was);
    EXPECT_EQ(static_cast<const void *>(same->name), was);
    EXPECT_STREQ(same->name, "FAX");
    // A name set by its setter is released as one.
    ASSERT_EQ(VLIB_set_vParameter_name(same, "A-LONGER-NAME"), same);
    vComponent *component = VLIB_new_vComponent(0, "FAX", nullptr, nullptr, nullptr);
    ASSERT_NE(component, nullptr);
    EXPECT_EQ(static_cast<const void *>(component->name), was);
    VLIB_destroy_vComponent(&component);
    VLIB_destroy_vParameter(&longer);
    VLIB_destroy_vParameter(&same);
}

// What a thread keeps (more than it may keep, here) is freed when it ends.
TEST(KeptRecords, AreFreedWhenTheirThreadEnds) {
    alloc_hook::startTracking();
    std::thread([] {
        vValue *chain = nullptr;
        for (unsigned i = 0; i < vmem::kKept + 100; ++i)
            chain = VLIB_new_vValue(0, "x", -1, chain);
        VLIB_destroy_vValue(&chain);
        vProperty *property = VLIB_new_vProperty(0, "TEL", nullptr, nullptr, nullptr);
        VLIB_destroy_vProperty(&property);
    }).join();
    alloc_hook::stopTracking();
    EXPECT_EQ(alloc_hook::live(), 0u);
}

} // namespace

// A kept block is given again only for a size its room holds: blocks of
// every small size, released in a scrambled order and asked for in
// another, are each filled to their size (the address checker sees an
// overrun) and hold their own bytes afterwards (no two overlap). A client
// may free what it is given.
TEST(KeptRecords, SmallBlocksComeBackForSizesTheyHold) {
#if defined(_WIN32)
    GTEST_SKIP() << "nothing is kept on Windows";
#endif
    vmem::dropKept();
    constexpr size_t kSizes = 300;
    std::vector<unsigned char *> blocks(kSizes);
    bool reused = false;
    std::set<const void *> released;
    for (int round = 0; round < 6; ++round) {
        for (size_t i = 0; i < kSizes; ++i) {
            const size_t size = (i * (7 + 2 * static_cast<size_t>(round))) % kSizes + 1;
            blocks[i] = static_cast<unsigned char *>(vmem::allocate(size));
            ASSERT_NE(blocks[i], nullptr);
#if defined(__GLIBC__)
            ASSERT_GE(malloc_usable_size(blocks[i]), size);
#endif
            reused = reused || released.count(blocks[i]) > 0;
            std::memset(blocks[i], static_cast<int>(i % 251), size);
        }
        for (size_t i = 0; i < kSizes; ++i) {
            const size_t size = (i * (7 + 2 * static_cast<size_t>(round))) % kSizes + 1;
            for (size_t b = 0; b < size; ++b)
                ASSERT_EQ(blocks[i][b], i % 251) << "block " << i << " of " << size << " bytes";
        }
        released.clear();
        for (size_t i = 0; i < kSizes; ++i) {
            const size_t at = (i * 37) % kSizes;
            released.insert(blocks[at]);
            if (round == 5 && at % 3 == 0)
                std::free(blocks[at]);
            else
                vmem::release(blocks[at]);
        }
    }
#if defined(__GLIBC__)
    EXPECT_TRUE(reused);
#endif
    vmem::dropKept();
}

// Kept records are linked through their first word, which a leak check
// must be able to read: a chain of them is not taken for lost.
#if defined(__SANITIZE_ADDRESS__)
TEST(KeptRecords, AChainOfThemIsNoLeak) {
    vmem::dropKept();
    std::vector<vProperty *> made;
    for (int i = 0; i < 50; ++i)
        made.push_back(VLIB_new_vProperty(0, "NOTE", nullptr, nullptr, nullptr));
    for (vProperty *&p : made)
        VLIB_destroy_vProperty(&p);
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
    vmem::dropKept();
}
#endif
