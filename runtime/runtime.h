// The runtime core: sized heap blocks and list blocks, runtime text (UTF-16) with its
// conversions and the string accumulator, numbered object tables, library state blocks and
// pools of equal-sized blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <pthread.h>

// ---------------------------------------------------------------------------------------------
// Sized blocks: a 64-bit length field in front of a zero-filled payload. Callers hold the
// payload address (the block handle).

void* AllocateBlock(int64_t size);            // null when the size is impossible or malloc refuses
void* ResizeBlock(void* block, int64_t size); // null (old block untouched) on failure
void FreeBlock(void* block);                  // null is ignored
int64_t BlockSize(const void* block);         // the payload size last requested

// List blocks: a sized block whose payload starts with two links. The head names the newest
// block; `next` is the block added before it, `previous` the one added after it.
struct ListBlock {
    ListBlock* next;
    ListBlock* previous;
};
static_assert(sizeof(ListBlock) == 16);

// Allocates a block of `size` bytes (links included) and makes it the head. Returns the address
// behind the links, or null with the list unchanged when the block cannot be had.
void* AddListBlock(ListBlock** head, int32_t size);
void RemoveListBlock(ListBlock** head, void* data);
void FreeListBlocks(ListBlock** head);

// ---------------------------------------------------------------------------------------------
// Runtime text: UTF-16 units ending in a zero unit; a null text is the empty text.

int64_t TextLength(const char16_t* text);

// With a null output these count, with an output they write. Callers pass the length plus one
// so that the terminator is converted too. Both return 0 on failure.
int64_t TextToUTF8(const char16_t* text, int64_t units, char* out, int64_t outSize);
// A zero byte ends any sequence cut short before it (with the value gathered so far) and becomes
// the zero unit, so the terminator is never lost.
int64_t UTF8ToText(const char* utf8, int64_t bytes, char16_t* out, int64_t outUnits);

char* ToToolkitText(const char16_t* text); // from g_malloc, never null
void FreeToolkitText(char* text);
char* ToSystemText(const char16_t* text); // from malloc, never null
void FreeSystemText(char* text);

// Writes UTF-8 `text` (null is "") as runtime text into the string accumulator at byte
// `position`; returns the units written, terminator included, or 0 when it cannot grow.
int64_t FromToolkitText(const char* text, int64_t position);

// The string accumulator, in which operations that return runtime text build their results.
extern char* QX_StringBase;
extern int64_t QX_StringBaseSize;
extern int64_t QX_StringBasePosition;

void InitStrings();
void EndStrings();
// Room for `chars` units (plus terminator) at byte `position`; null when the buffer cannot grow,
// in which case the accumulator is left exactly as it was.
void* ReserveString(int32_t chars, int32_t position);

// ---------------------------------------------------------------------------------------------
// Numbered object tables. Numbers 0.. index a slot array that grows on demand; `Any` makes a
// record of its own whose address is its number. A record is live while its first machine
// word is non-zero.

constexpr intptr_t Any = -1;

using DynamicNode = ListBlock; // the record follows the two links
using FreeCallback = void (*)(intptr_t number);

struct ObjectTable {
    int32_t objectSize;
    int32_t growStep;
    int64_t slotCount;
    void** slots;
    DynamicNode* dynamicHead;
    FreeCallback freeCallback;
    int64_t walkIndex;
    DynamicNode* walkNode;
};
static_assert(offsetof(ObjectTable, slotCount) == 8);
static_assert(offsetof(ObjectTable, slots) == 16);
static_assert(offsetof(ObjectTable, dynamicHead) == 24);
static_assert(offsetof(ObjectTable, freeCallback) == 32);
static_assert(offsetof(ObjectTable, walkIndex) == 40);
static_assert(offsetof(ObjectTable, walkNode) == 48);

ObjectTable* NewObjectTable(int32_t objectSize, int32_t growStep, FreeCallback freeCallback);
void NewObjectTableOnce(ObjectTable** global, int32_t objectSize, int32_t growStep,
                        FreeCallback freeCallback);
// Zero-filled record for the number, or null when memory cannot be had.
void* AllocateObject(ObjectTable* table, intptr_t number);
void* GetObject(ObjectTable* table, intptr_t number);
void* IsObject(ObjectTable* table, intptr_t number);
void FreeObject(ObjectTable* table, intptr_t number);
void FreeAllObjects(ObjectTable* table);
void ResetObjectEnumeration(ObjectTable* table);
void* NextObject(ObjectTable* table, intptr_t* number);

void* NewGlobalsBlock(int64_t size, void (*initialiser)(void* block));

// Initialises a mutex that its holder may lock again (the thread-safe paths of the runtime).
void InitRecursiveMutex(pthread_mutex_t* mutex);
void* GetGlobalsBlock(void* block);

// ---------------------------------------------------------------------------------------------
// The command line as the toolkit sees it, and the toolkit's one start.

extern int32_t QX_ArgC;
extern char** QX_ArgV;

void InitToolkit(); // gtk_init on the first call only

// ---------------------------------------------------------------------------------------------
// Block pools: equal-sized blocks handed out of chunks that the pool allocates and releases as a
// whole. Chunks grow with the pool from minChunkBlocks to maxChunkBlocks blocks; a chunk is
// released the moment every block it ever handed out is back.

struct PoolChunk;
struct SharedPoolEntry;

struct BlockPool {
    PoolChunk* fullChunks; // nothing left to hand out
    PoolChunk* openChunks; // allocation always uses the head
    SharedPoolEntry* sharedEntry;
    int64_t totalBlocks; // capacities of all chunks together
    int64_t blockStride; // caller's size plus the header word, a multiple of 8
    int32_t minChunkBlocks;
    int32_t maxChunkBlocks;
    int32_t threadSafe;
    pthread_mutex_t lock; // recursive; initialised only when threadSafe
};
static_assert(offsetof(BlockPool, openChunks) == 8);
static_assert(offsetof(BlockPool, sharedEntry) == 16);
static_assert(offsetof(BlockPool, totalBlocks) == 24);
static_assert(offsetof(BlockPool, blockStride) == 32);
static_assert(offsetof(BlockPool, minChunkBlocks) == 40);
static_assert(offsetof(BlockPool, maxChunkBlocks) == 44);
static_assert(offsetof(BlockPool, threadSafe) == 48);
static_assert(offsetof(BlockPool, lock) == 56);

// A chunk's header; `capacity` blocks of blockStride bytes follow it. A block is one header
// word, then the caller's bytes: while handed out the word names the chunk, while on the free
// list it links to the next free block.
struct PoolChunk {
    PoolChunk* next;
    PoolChunk* previous;
    void* freeList;
    int32_t capacity;
    int32_t handedOut; // taken from the untouched area; never falls
    int32_t freeCount; // length of freeList
};
static_assert(offsetof(PoolChunk, freeList) == 16);
static_assert(offsetof(PoolChunk, capacity) == 24);
static_assert(offsetof(PoolChunk, handedOut) == 28);
static_assert(offsetof(PoolChunk, freeCount) == 32);
static_assert(sizeof(PoolChunk) % 8 == 0);

// One entry per shared pool in the module's list of them.
struct SharedPoolEntry {
    SharedPoolEntry* next;
    SharedPoolEntry* previous;
    BlockPool* pool;
    int64_t blockStride;
    int32_t flags;
    int32_t referenceCount;
};
static_assert(offsetof(SharedPoolEntry, pool) == 16);
static_assert(offsetof(SharedPoolEntry, blockStride) == 24);
static_assert(offsetof(SharedPoolEntry, flags) == 32);
static_assert(offsetof(SharedPoolEntry, referenceCount) == 36);

// Pool flags. A pool is thread-safe when the low two bits of its flags equal PoolThreadSafe;
// PoolShared hands every creator asking for the same stride and flags the same pool.
enum BlockPoolFlags : int32_t {
    PoolThreadSafe = 1,
    PoolShared = 4,
};

// Null when the record cannot be allocated or the sizes make no sense (a negative block size,
// chunk capacities below 1).
BlockPool* NewBlockPool(int64_t blockSize, int32_t minChunkBlocks, int32_t maxChunkBlocks,
                        int32_t flags);
void* AllocatePoolBlock(BlockPool* pool); // null only when not even a one-block chunk can be had
void* AllocateClearedPoolBlock(BlockPool* pool);
void FreePoolBlock(BlockPool* pool, void* block); // null is ignored
void ClearBlockPool(BlockPool* pool);             // every block of the pool is invalid afterwards
void FreeBlockPool(BlockPool* pool);
