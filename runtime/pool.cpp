// Pools of equal-sized blocks carved out of chunks, and the module's list of shared pools.
#include "runtime/runtime.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr int64_t kHeaderWord = sizeof(void*);

pthread_once_t sharedListOnce = PTHREAD_ONCE_INIT;
pthread_mutex_t sharedListMutex;
SharedPoolEntry* sharedList = nullptr;

void InitSharedListMutex() {
    InitRecursiveMutex(&sharedListMutex);
}

// Holds the pool's own lock for a scope when the pool has one.
class PoolLock {
  public:
    explicit PoolLock(BlockPool* pool) : pool_(pool->threadSafe ? pool : nullptr) {
        if (pool_) pthread_mutex_lock(&pool_->lock);
    }
    ~PoolLock() {
        if (pool_) pthread_mutex_unlock(&pool_->lock);
    }
    PoolLock(const PoolLock&) = delete;
    PoolLock& operator=(const PoolLock&) = delete;

  private:
    BlockPool* pool_;
};

void LinkChunk(PoolChunk** head, PoolChunk* chunk) {
    chunk->previous = nullptr;
    chunk->next = *head;
    if (*head) (*head)->previous = chunk;
    *head = chunk;
}

void UnlinkChunk(PoolChunk** head, PoolChunk* chunk) {
    if (chunk->previous)
        chunk->previous->next = chunk->next;
    else
        *head = chunk->next;
    if (chunk->next) chunk->next->previous = chunk->previous;
}

// A chunk sits on the full list exactly when it has nothing left to hand out.
bool IsFull(const PoolChunk* chunk) {
    return !chunk->freeList && chunk->handedOut == chunk->capacity;
}

void* HandOut(PoolChunk* chunk, void* block) {
    *static_cast<PoolChunk**>(block) = chunk;
    return static_cast<char*>(block) + kHeaderWord;
}

int32_t NextChunkCapacity(const BlockPool* pool) {
    int64_t capacity = (pool->totalBlocks / 16) & ~int64_t{15};
    if (capacity < pool->minChunkBlocks) return pool->minChunkBlocks;
    return capacity > pool->maxChunkBlocks ? pool->maxChunkBlocks : static_cast<int32_t>(capacity);
}

PoolChunk* NewChunk(const BlockPool* pool, int32_t capacity) {
    int64_t room = (PTRDIFF_MAX - static_cast<int64_t>(sizeof(PoolChunk))) / capacity;
    if (pool->blockStride > room) return nullptr;
    size_t bytes = sizeof(PoolChunk) + static_cast<size_t>(capacity) * pool->blockStride;
    auto* chunk = static_cast<PoolChunk*>(std::calloc(1, bytes));
    if (chunk) chunk->capacity = capacity;
    return chunk;
}

void ReleaseChunks(PoolChunk* chunk) {
    while (chunk) {
        PoolChunk* next = chunk->next;
        std::free(chunk);
        chunk = next;
    }
}

BlockPool* NewPrivatePool(int64_t blockStride, int32_t minChunkBlocks, int32_t maxChunkBlocks,
                          int32_t flags) {
    auto* pool = static_cast<BlockPool*>(std::calloc(1, sizeof(BlockPool)));
    if (!pool) return nullptr;
    pool->blockStride = blockStride;
    pool->minChunkBlocks = minChunkBlocks;
    pool->maxChunkBlocks = maxChunkBlocks;
    if ((flags & 3) == PoolThreadSafe) {
        pool->threadSafe = 1;
        InitRecursiveMutex(&pool->lock);
    }
    return pool;
}

void FreePrivatePool(BlockPool* pool) {
    ClearBlockPool(pool);
    if (pool->threadSafe) pthread_mutex_destroy(&pool->lock);
    std::free(pool);
}

BlockPool* NewSharedPool(int64_t blockStride, int32_t minChunkBlocks, int32_t maxChunkBlocks,
                         int32_t flags) {
    pthread_once(&sharedListOnce, InitSharedListMutex);
    pthread_mutex_lock(&sharedListMutex);
    BlockPool* pool = nullptr;
    for (SharedPoolEntry* entry = sharedList; entry; entry = entry->next) {
        if (entry->blockStride == blockStride && entry->flags == flags) {
            ++entry->referenceCount;
            pool = entry->pool;
            break;
        }
    }
    if (!pool) {
        auto* entry = static_cast<SharedPoolEntry*>(std::calloc(1, sizeof(SharedPoolEntry)));
        pool =
            entry ? NewPrivatePool(blockStride, minChunkBlocks, maxChunkBlocks, flags & ~PoolShared)
                  : nullptr;
        if (pool) {
            entry->pool = pool;
            entry->blockStride = blockStride;
            entry->flags = flags;
            entry->referenceCount = 1;
            pool->sharedEntry = entry;
            entry->next = sharedList;
            if (sharedList) sharedList->previous = entry;
            sharedList = entry;
        } else {
            std::free(entry);
        }
    }
    pthread_mutex_unlock(&sharedListMutex);
    return pool;
}

void FreeSharedPool(BlockPool* pool) {
    pthread_mutex_lock(&sharedListMutex);
    SharedPoolEntry* entry = pool->sharedEntry;
    if (entry->referenceCount-- <= 1) {
        pool->sharedEntry = nullptr;
        FreePrivatePool(pool);
        if (entry->previous)
            entry->previous->next = entry->next;
        else
            sharedList = entry->next;
        if (entry->next) entry->next->previous = entry->previous;
        std::free(entry);
    }
    pthread_mutex_unlock(&sharedListMutex);
}

// The chunk-level work, kept out of line so that handing out and taking back a block of an
// open chunk stays a few instructions.
[[gnu::noinline]] void* TakeFromNewChunk(BlockPool* pool) {
    PoolChunk* chunk = NewChunk(pool, NextChunkCapacity(pool));
    if (!chunk) chunk = NewChunk(pool, 1);
    if (!chunk) return nullptr;
    chunk->handedOut = 1;
    pool->totalBlocks += chunk->capacity;
    LinkChunk(chunk->capacity == 1 ? &pool->fullChunks : &pool->openChunks, chunk);
    return HandOut(chunk, chunk + 1);
}

[[gnu::noinline]] void MoveChunk(PoolChunk** from, PoolChunk** to, PoolChunk* chunk) {
    UnlinkChunk(from, chunk);
    LinkChunk(to, chunk);
}

[[gnu::noinline]] void ReleaseChunk(BlockPool* pool, PoolChunk* chunk, bool wasFull) {
    UnlinkChunk(wasFull ? &pool->fullChunks : &pool->openChunks, chunk);
    pool->totalBlocks -= chunk->capacity;
    std::free(chunk);
}

inline void* TakeBlock(BlockPool* pool) {
    PoolChunk* chunk = pool->openChunks;
    if (!chunk) [[unlikely]]
        return TakeFromNewChunk(pool);
    void* block = chunk->freeList;
    if (block) {
        chunk->freeList = *static_cast<void**>(block);
        --chunk->freeCount;
    } else {
        block = reinterpret_cast<char*>(chunk + 1) + chunk->handedOut * pool->blockStride;
        ++chunk->handedOut;
    }
    if (IsFull(chunk)) [[unlikely]]
        MoveChunk(&pool->openChunks, &pool->fullChunks, chunk);
    return HandOut(chunk, block);
}

inline void GiveBack(BlockPool* pool, void* block) {
    void* start = static_cast<char*>(block) - kHeaderWord;
    PoolChunk* chunk = *static_cast<PoolChunk**>(start);
    bool wasFull = IsFull(chunk);
    *static_cast<void**>(start) = chunk->freeList;
    chunk->freeList = start;
    ++chunk->freeCount;
    if (chunk->freeCount == chunk->handedOut) [[unlikely]]
        ReleaseChunk(pool, chunk, wasFull);
    else if (wasFull) [[unlikely]]
        MoveChunk(&pool->fullChunks, &pool->openChunks, chunk);
}

} // namespace

BlockPool* NewBlockPool(int64_t blockSize, int32_t minChunkBlocks, int32_t maxChunkBlocks,
                        int32_t flags) {
    // A chunk of no blocks would hand out its first block past its end.
    if (blockSize < 0 || blockSize > INT32_MAX || minChunkBlocks < 1 || maxChunkBlocks < 1)
        return nullptr;
    int64_t blockStride = (blockSize + kHeaderWord + 7) & ~int64_t{7};
    if (flags & PoolShared)
        return NewSharedPool(blockStride, minChunkBlocks, maxChunkBlocks, flags);
    return NewPrivatePool(blockStride, minChunkBlocks, maxChunkBlocks, flags);
}

void* AllocatePoolBlock(BlockPool* pool) {
    if (!pool) return nullptr;
    if (pool->threadSafe) [[unlikely]] {
        PoolLock lock(pool);
        return TakeBlock(pool);
    }
    return TakeBlock(pool);
}

void* AllocateClearedPoolBlock(BlockPool* pool) {
    void* block = AllocatePoolBlock(pool);
    if (block) std::memset(block, 0, static_cast<size_t>(pool->blockStride - kHeaderWord));
    return block;
}

void FreePoolBlock(BlockPool* pool, void* block) {
    if (!pool || !block) return;
    if (pool->threadSafe) [[unlikely]] {
        PoolLock lock(pool);
        GiveBack(pool, block);
        return;
    }
    GiveBack(pool, block);
}

void ClearBlockPool(BlockPool* pool) {
    if (!pool) return;
    PoolLock lock(pool);
    ReleaseChunks(pool->fullChunks);
    ReleaseChunks(pool->openChunks);
    pool->fullChunks = nullptr;
    pool->openChunks = nullptr;
    pool->totalBlocks = 0;
}

void FreeBlockPool(BlockPool* pool) {
    if (!pool) return;
    if (pool->sharedEntry)
        FreeSharedPool(pool);
    else
        FreePrivatePool(pool);
}
