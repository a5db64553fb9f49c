// Block pools: chunk growth and release, shared and thread-safe pools, refused memory.
#include "runtime/runtime.h"
#include "tests/support/faults.h"

#include <cstring>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

int ChunkCount(const PoolChunk* chunk) {
    int count = 0;
    for (; chunk; chunk = chunk->next)
        ++count;
    return count;
}

// Capacities of the chunks in the order they were made (lists keep the newest at the head).
std::vector<int32_t> Capacities(const PoolChunk* chunk) {
    std::vector<int32_t> capacities;
    for (; chunk; chunk = chunk->next)
        capacities.insert(capacities.begin(), chunk->capacity);
    return capacities;
}

} // namespace

TEST(BlockPool, ChunkOfSixteenIsReleasedWhenEveryBlockItHandedOutIsBack) {
    BlockPool* pool = NewBlockPool(20, 16, 256, 2);
    ASSERT_NE(pool, nullptr);
    EXPECT_EQ(pool->blockStride, 32); // 20 + 8, rounded up to 8
    EXPECT_EQ(pool->threadSafe, 0);

    std::vector<char*> blocks;
    for (int i = 0; i < 16; ++i) {
        blocks.push_back(static_cast<char*>(AllocatePoolBlock(pool)));
        ASSERT_NE(blocks.back(), nullptr);
        std::memset(blocks.back(), i, 20);
    }
    EXPECT_EQ(pool->totalBlocks, 16);
    EXPECT_EQ(pool->openChunks, nullptr);
    EXPECT_EQ(ChunkCount(pool->fullChunks), 1);

    char* seventeenth = static_cast<char*>(AllocatePoolBlock(pool));
    ASSERT_NE(seventeenth, nullptr);
    EXPECT_EQ(pool->totalBlocks, 32);
    EXPECT_EQ(ChunkCount(pool->openChunks), 1);
    FreePoolBlock(pool, seventeenth); // its chunk handed out nothing else
    EXPECT_EQ(pool->totalBlocks, 16);
    EXPECT_EQ(pool->openChunks, nullptr);

    // A block given back to a full chunk reopens it and is the next one handed out.
    FreePoolBlock(pool, blocks[5]);
    EXPECT_EQ(pool->fullChunks, nullptr);
    EXPECT_EQ(ChunkCount(pool->openChunks), 1);
    auto* again = static_cast<char*>(AllocateClearedPoolBlock(pool));
    EXPECT_EQ(again, blocks[5]);
    EXPECT_EQ(std::memcmp(again, std::vector<char>(24, 0).data(), 24), 0);
    for (int i = 0; i < 16; ++i) {
        if (i == 5) continue;
        EXPECT_EQ(blocks[i][19], static_cast<char>(i)) << "block " << i;
    }

    for (char* block : blocks)
        FreePoolBlock(pool, block);
    EXPECT_EQ(pool->totalBlocks, 0);
    EXPECT_EQ(pool->openChunks, nullptr);
    EXPECT_EQ(pool->fullChunks, nullptr);
    FreePoolBlock(pool, nullptr);
    FreeBlockPool(pool);
}

TEST(BlockPool, ChunksGrowPastFiveHundredTwelveBlocksUpToTwoHundredFiftySix) {
    BlockPool* pool = NewBlockPool(56, 16, 256, 2);
    ASSERT_NE(pool, nullptr);
    for (int i = 0; i < 600; ++i)
        ASSERT_NE(AllocatePoolBlock(pool), nullptr);
    std::vector<int32_t> capacities = Capacities(pool->fullChunks);
    if (pool->openChunks) capacities.push_back(pool->openChunks->capacity);
    ASSERT_GE(capacities.size(), 33u);
    for (size_t i = 0; i < 32; ++i)
        EXPECT_EQ(capacities[i], 16) << "chunk " << i;
    for (size_t i = 32; i < capacities.size(); ++i)
        EXPECT_EQ(capacities[i], 32) << "chunk " << i;

    for (int i = 600; i < 12000; ++i)
        ASSERT_NE(AllocatePoolBlock(pool), nullptr);
    capacities = Capacities(pool->fullChunks);
    if (pool->openChunks) capacities.push_back(pool->openChunks->capacity);
    int64_t total = 0;
    for (int32_t capacity : capacities) {
        EXPECT_LE(capacity, 256);
        if (total >= 4096) {
            EXPECT_EQ(capacity, 256);
        }
        total += capacity;
    }
    EXPECT_EQ(total, pool->totalBlocks);
    ClearBlockPool(pool);
    EXPECT_EQ(pool->totalBlocks, 0);
    EXPECT_NE(AllocatePoolBlock(pool), nullptr); // usable again after a clear
    FreeBlockPool(pool);                         // with a block still out: nothing may leak
}

TEST(BlockPool, SharedPoolsAreCountedPerStrideAndFlags) {
    BlockPool* a = NewBlockPool(24, 16, 256, PoolShared);
    BlockPool* b = NewBlockPool(17, 8, 64, PoolShared); // same stride (32): same pool
    BlockPool* c = NewBlockPool(40, 16, 256, PoolShared);
    BlockPool* d = NewBlockPool(24, 16, 256, PoolShared | PoolThreadSafe);
    ASSERT_TRUE(a && c && d);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    EXPECT_NE(a, d);
    ASSERT_NE(a->sharedEntry, nullptr);
    EXPECT_EQ(a->sharedEntry->referenceCount, 2);
    EXPECT_EQ(a->threadSafe, 0);
    EXPECT_EQ(d->threadSafe, 1);

    void* block = AllocatePoolBlock(a);
    FreeBlockPool(b); // one reference left: the pool and its block stay
    EXPECT_EQ(a->sharedEntry->referenceCount, 1);
    std::memset(block, 0x5A, 24);
    FreePoolBlock(a, block);
    FreeBlockPool(a);
    BlockPool* fresh = NewBlockPool(24, 16, 256, PoolShared);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->sharedEntry->referenceCount, 1); // a new pool, not the released one
    FreeBlockPool(fresh);
    FreeBlockPool(c);
    FreeBlockPool(d);
}

TEST(BlockPool, OnlyLowBitsEqualToOneMakeAThreadSafePool) {
    for (int32_t flags : {0, 2, 3, 8}) {
        BlockPool* pool = NewBlockPool(8, 16, 256, flags);
        ASSERT_NE(pool, nullptr);
        EXPECT_EQ(pool->threadSafe, 0) << flags;
        FreeBlockPool(pool);
    }
    EXPECT_EQ(NewBlockPool(-1, 16, 256, 0), nullptr);
    EXPECT_EQ(NewBlockPool(8, 0, 256, 0), nullptr);

    BlockPool* pool = NewBlockPool(sizeof(int64_t), 16, 256, PoolThreadSafe | 8);
    ASSERT_NE(pool, nullptr);
    ASSERT_EQ(pool->threadSafe, 1);
    // Threads taking and giving back blocks at once: every block stays its thread's own, and
    // once all are back every chunk has been released.
    std::vector<std::thread> threads;
    std::vector<int> corrupted(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([pool, t, &corrupted] {
            std::vector<int64_t*> mine;
            for (int round = 0; round < 200; ++round) {
                for (int i = 0; i < 50; ++i) {
                    auto* block = static_cast<int64_t*>(AllocatePoolBlock(pool));
                    *block = t * 1000000 + round * 100 + i;
                    mine.push_back(block);
                }
                for (size_t i = 0; i < mine.size(); ++i)
                    if (*mine[i] != t * 1000000 + round * 100 + static_cast<int64_t>(i))
                        ++corrupted[t];
                for (int64_t* block : mine)
                    FreePoolBlock(pool, block);
                mine.clear();
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < 4; ++t)
        EXPECT_EQ(corrupted[t], 0) << "thread " << t;
    EXPECT_EQ(pool->totalBlocks, 0);
    EXPECT_EQ(pool->openChunks, nullptr);
    EXPECT_EQ(pool->fullChunks, nullptr);
    FreeBlockPool(pool);
}

TEST(BlockPool, RefusedMemoryGivesNullAndLeavesThePoolAsItWas) {
    {
        FailAllocations refuse;
        EXPECT_EQ(NewBlockPool(24, 16, 256, 2), nullptr);
        EXPECT_EQ(NewBlockPool(24, 16, 256, PoolShared), nullptr);
    }
    {
        FailAllocations refuseEntryPool(1); // the shared entry is had, its pool is not
        EXPECT_EQ(NewBlockPool(24, 16, 256, PoolShared), nullptr);
    }
    BlockPool* pool = NewBlockPool(24, 16, 256, 2);
    ASSERT_NE(pool, nullptr);
    void* block = nullptr;
    {
        FailAllocations refuse;
        block = AllocatePoolBlock(pool);
        EXPECT_EQ(refuse.Refused(), 2); // the chunk of 16, then a chunk of one
    }
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(pool->totalBlocks, 0);
    EXPECT_EQ(pool->openChunks, nullptr);
    EXPECT_EQ(pool->fullChunks, nullptr);
    block = AllocatePoolBlock(pool);
    EXPECT_NE(block, nullptr);
    EXPECT_EQ(pool->totalBlocks, 16);
    FreeBlockPool(pool);
}
