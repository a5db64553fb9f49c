// Numbered object tables and library state blocks.
#include "runtime/runtime.h"

#include <cstring>
#include <pthread.h>

namespace {

pthread_once_t tableCreationOnce = PTHREAD_ONCE_INIT;
pthread_mutex_t tableCreationMutex;

void InitTableCreationMutex() {
    InitRecursiveMutex(&tableCreationMutex);
}

bool IsSlotNumber(const ObjectTable* table, intptr_t number) {
    return number >= 0 && number < table->slotCount;
}

// No heap record lives in the lowest 64 KiB, so such a number outside the slot range can only
// be a caller's mistake; it is refused instead of being dereferenced.
bool CanBeRecordAddress(intptr_t number) {
    return number >= 0x10000;
}

void* RecordOf(DynamicNode* node) {
    return node + 1;
}

DynamicNode* NodeOf(intptr_t number) {
    return reinterpret_cast<DynamicNode*>(number) - 1;
}

bool IsLive(const void* record) {
    return record && *static_cast<const uintptr_t*>(record) != 0;
}

} // namespace

ObjectTable* NewObjectTable(int32_t objectSize, int32_t growStep, FreeCallback freeCallback) {
    if (objectSize < static_cast<int32_t>(sizeof(void*)) || growStep <= 0) return nullptr;
    auto* table = static_cast<ObjectTable*>(AllocateBlock(sizeof(ObjectTable)));
    if (!table) return nullptr;
    table->slots = static_cast<void**>(AllocateBlock(int64_t{growStep} * sizeof(void*)));
    if (!table->slots) {
        FreeBlock(table);
        return nullptr;
    }
    table->objectSize = objectSize;
    table->growStep = growStep;
    table->slotCount = growStep;
    table->freeCallback = freeCallback;
    return table;
}

void NewObjectTableOnce(ObjectTable** global, int32_t objectSize, int32_t growStep,
                        FreeCallback freeCallback) {
    pthread_once(&tableCreationOnce, InitTableCreationMutex);
    pthread_mutex_lock(&tableCreationMutex);
    if (!*global) *global = NewObjectTable(objectSize, growStep, freeCallback);
    pthread_mutex_unlock(&tableCreationMutex);
}

void* AllocateObject(ObjectTable* table, intptr_t number) {
    if (!table || number < Any) return nullptr;
    if (number == Any) {
        int64_t size = int64_t{table->objectSize} + int64_t{sizeof(DynamicNode)};
        if (size > INT32_MAX) return nullptr;
        return AddListBlock(&table->dynamicHead, static_cast<int32_t>(size));
    }
    if (number >= table->slotCount) {
        if (number > INT64_MAX / static_cast<int64_t>(sizeof(void*)) - table->growStep)
            return nullptr;
        int64_t count = number + table->growStep;
        auto* slots = static_cast<void**>(ResizeBlock(table->slots, count * sizeof(void*)));
        if (!slots) return nullptr;
        table->slots = slots;
        table->slotCount = count;
    }
    void*& slot = table->slots[number];
    if (slot) {
        // The library frees whatever still lives there; its FreeObject zero-fills the record.
        if (table->freeCallback) table->freeCallback(number);
        return slot;
    }
    slot = AllocateBlock(table->objectSize);
    return slot;
}

void* GetObject(ObjectTable* table, intptr_t number) {
    if (!table) return nullptr;
    void* record = nullptr;
    if (IsSlotNumber(table, number))
        record = table->slots[number];
    else if (CanBeRecordAddress(number))
        record = reinterpret_cast<void*>(number);
    return IsLive(record) ? record : nullptr;
}

void* IsObject(ObjectTable* table, intptr_t number) {
    if (!table) return nullptr;
    if (IsSlotNumber(table, number)) return GetObject(table, number);
    for (DynamicNode* node = table->dynamicHead; node; node = node->next)
        if (reinterpret_cast<intptr_t>(RecordOf(node)) == number) return RecordOf(node);
    return nullptr;
}

void FreeObject(ObjectTable* table, intptr_t number) {
    if (!table) return;
    if (IsSlotNumber(table, number)) {
        if (table->slots[number]) std::memset(table->slots[number], 0, table->objectSize);
        return;
    }
    if (!CanBeRecordAddress(number)) return;
    DynamicNode* node = NodeOf(number);
    // A walk in progress must not be left holding the node about to be released.
    if (table->walkNode == node) table->walkNode = node->previous;
    RemoveListBlock(&table->dynamicHead, RecordOf(node));
}

void ResetObjectEnumeration(ObjectTable* table) {
    table->walkIndex = 0;
    DynamicNode* oldest = table->dynamicHead;
    while (oldest && oldest->next)
        oldest = oldest->next;
    table->walkNode = oldest;
}

void* NextObject(ObjectTable* table, intptr_t* number) {
    while (table->walkIndex >= 0 && table->walkIndex < table->slotCount) {
        int64_t index = table->walkIndex++;
        void* record = table->slots[index];
        if (IsLive(record)) {
            *number = static_cast<intptr_t>(index);
            return record;
        }
    }
    DynamicNode* node = table->walkNode;
    if (!node) return nullptr;
    table->walkNode = node->previous;
    *number = reinterpret_cast<intptr_t>(RecordOf(node));
    return RecordOf(node);
}

void FreeAllObjects(ObjectTable* table) {
    if (!table || !table->freeCallback) return;
    ResetObjectEnumeration(table);
    intptr_t number = 0;
    while (NextObject(table, &number))
        table->freeCallback(number);
}

void InitRecursiveMutex(pthread_mutex_t* mutex) {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

void* NewGlobalsBlock(int64_t size, void (*initialiser)(void* block)) {
    void* block = AllocateBlock(size);
    if (block && initialiser) initialiser(block);
    return block;
}

void* GetGlobalsBlock(void* block) {
    return block;
}
