// The records' memory: an arena's blocks in its scope, malloc's outside
// it, and release() telling the two apart wherever a record was made.
#include <cstdint>
#include <cstring>
#include <set>

#include <gtest/gtest.h>

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

} // namespace
